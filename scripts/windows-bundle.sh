#!/usr/bin/env bash
# Makes the Windows SDK: one zip per word size,
#   build-win32/sdk/volneda-1.23.0-win32.zip, build-win64/sdk/volneda-1.23.0-win64.zip,
# each holding
#   bin/      VOLNEDA.dll, TAGDRV.dll (the simulated driver), volneda.exe; stripped
#   include/  volneda.h, tagdrv.h
#   lib/      VOLNEDA.def, VOLNEDA.lib (Microsoft's linker, lld-link),
#             libVOLNEDA.dll.a (MinGW), the same three for TAGDRV,
#             cmake/VOLNEDA (find_package), pkgconfig/volneda.pc
#   java/     volneda.jar, volneda-javadoc.jar
#   docs/, examples/
# Each import library is checked to name every export of its DLL.
# Usage: scripts/windows-bundle.sh [32|64|all]   (default: all)
# The Windows builds are made first when missing (scripts/windows-build.sh);
# the jar comes from the native build (BUILD, default build).
set -u
cd "$(dirname "$0")/.."
which=${1:-all}
native=${BUILD:-build}
version=$(sed -n 's/^project(VOLNEDA VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt).0

for tool in llvm-dlltool llvm-nm zip; do
  command -v $tool >/dev/null || { echo "windows-bundle: $tool is missing (Debian: llvm, zip)" >&2; exit 1; }
done

# The jar is the same for every system: take the native build's.
jars() {
  if [ ! -f "$native/java/volneda.jar" ] || [ ! -f "$native/java/volneda-javadoc.jar" ]; then
    [ -f "$native/build.ninja" ] || cmake -S . -B "$native" -G Ninja >/dev/null || return 1
    cmake --build "$native" --target volneda_jar volneda_javadoc >/dev/null || return 1
  fi
}

# The export names of a DLL, from its export table.
exports_of() {  # objdump dll
  "$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p'
}

# NAME.def from the DLL's own export table, NAME.lib from it, and the check
# that both import libraries name every export.
import_libs() {  # objdump machine symbol-prefix stage NAME
  local objdump=$1 machine=$2 prefix=$3 stage=$4 name=$5 e missing=0
  local dll=$stage/bin/$name.dll def=$stage/lib/$name.def
  local names
  names=$(exports_of "$objdump" "$dll")
  [ -n "$names" ] || { echo "windows-bundle: $dll exports nothing" >&2; return 1; }
  { echo "LIBRARY $name.dll"; echo "EXPORTS"; sed 's/^/  /' <<<"$names"; } >"$def"
  llvm-dlltool -m "$machine" -d "$def" -l "$stage/lib/$name.lib" || return 1
  for lib in "$stage/lib/$name.lib" "$stage/lib/lib$name.dll.a"; do
    local symbols
    symbols=$(llvm-nm "$lib" 2>/dev/null | awk '{print $NF}')
    while read -r e; do
      grep -qxF "__imp_$prefix$e" <<<"$symbols" || { echo "windows-bundle: $lib does not name $e" >&2; missing=1; }
    done <<<"$names"
  done
  [ $missing -eq 0 ] && echo "  $name: $(wc -l <<<"$names") exports, named in $name.lib and lib$name.dll.a"
  return $missing
}

bundle() {  # bits
  local bits=$1 dir triple machine prefix
  if [ "$bits" = 32 ]; then
    dir=${BUILD_WIN32:-build-win32}; triple=i686-w64-mingw32; machine=i386; prefix=_
  else
    dir=${BUILD_WIN64:-build-win64}; triple=x86_64-w64-mingw32; machine=i386:x86-64; prefix=
  fi
  if [ ! -f "$dir/bin/VOLNEDA.dll" ]; then
    scripts/windows-build.sh "$bits" || return 1
  else
    cmake --build "$dir" --target volneda tagdrv volneda_cli >/dev/null || return 1
  fi
  local name=volneda-$version-win$bits
  local sdk=$dir/sdk stage=$dir/sdk/$name
  echo "== windows-bundle ($bits-bit): $sdk/$name.zip"
  rm -rf "$sdk"
  cmake --install "$dir" --prefix "$stage" --strip >"$dir/sdk-install.log" 2>&1 ||
    { cat "$dir/sdk-install.log"; return 1; }
  jars || { echo "windows-bundle: the jar could not be built in $native" >&2; return 1; }
  mkdir -p "$stage/java"
  cp "$native/java/volneda.jar" "$native/java/volneda-javadoc.jar" "$stage/java/"
  import_libs "$triple-objdump" "$machine" "$prefix" "$stage" VOLNEDA || return 1
  import_libs "$triple-objdump" "$machine" "$prefix" "$stage" TAGDRV || return 1
  # Nothing of this machine's file system inside.
  if grep -rlaF "$PWD" "$stage"; then
    echo "windows-bundle: the files above name $PWD" >&2
    return 1
  fi
  (cd "$sdk" && zip -qr "$name.zip" "$name") || return 1
  echo "  $(cd "$sdk" && unzip -l "$name.zip" | tail -1 | awk '{print $2 " files, " $1 " bytes"}')"
}

status=0
case "$which" in
  32) bundle 32 || status=1 ;;
  64) bundle 64 || status=1 ;;
  all) bundle 32 || status=1; bundle 64 || status=1 ;;
  *) echo "usage: $0 [32|64|all]" >&2; exit 2 ;;
esac
exit $status

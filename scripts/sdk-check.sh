#!/usr/bin/env bash
# Uses the SDK as someone outside the project would, and fails when that
# does not work.
#
#   scripts/sdk-check.sh install   install into a temporary prefix; no file
#                                  there names the build tree; the installed
#                                  documentation's links resolve; the examples
#                                  build against it with find_package (CMake)
#                                  and with pkg-config (plain Makefile), and
#                                  run against the simulated reader, in C,
#                                  C++ and Java; the Python package installs with
#                                  pip into a fresh virtual environment of the
#                                  python3 on PATH and runs the Python examples
#   scripts/sdk-check.sh deb       make the .deb; check that every library
#                                  its ELF files need is in the package or in
#                                  a package of its Depends; install it with
#                                  dpkg -i, run the installed tool and a Java
#                                  example, and purge it again (the install
#                                  as root only; skipped else)
#   scripts/sdk-check.sh windows   make the Windows SDK zips; per word size,
#                                  link a C example against the zip's
#                                  VOLNEDA.lib with lld and another against
#                                  libVOLNEDA.dll.a with MinGW, build the
#                                  examples with the zip's CMake package
#                                  (32-bit), and run the programs under Wine
#                                  (32-bit and 64-bit, each where it can run
#                                  here; at least one must)
#   scripts/sdk-check.sh all       the three
#
# BUILD names the native build directory (default build); it is built first.
set -u
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD:-build}
what=${1:-all}
tmp=$(mktemp -d /tmp/volneda-sdk.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
status=0

fail() { echo "sdk-check: FAILED: $*" >&2; status=1; }

# Runs the four example programs in a copy of the example files.
run_examples() {  # label directory-of-the-programs
  local label=$1 bin=$2 dir
  dir=$(mktemp -d "$tmp/run.XXXX")
  cp examples/rfconfig.ini examples/SWTT.INI examples/tagfield.ini "$dir/"
  for p in inventory read_fields write_readback status_thread; do
    if (cd "$dir" && TAGDRV_FIELD=tagfield.ini RF_RFID_CONFIG= timeout 60 "$bin/$p" >"$dir/$p.out" 2>&1); then
      echo "  $label $p: ok ($(grep -cv '^$' "$dir/$p.out") lines)"
    else
      cat "$dir/$p.out"; fail "$label $p"
    fi
  done
}

check_install() {
  echo "== sdk: install into a temporary prefix"
  local prefix=$tmp/prefix
  cmake --build "$build" >/dev/null || { fail "build"; return; }
  cmake --install "$build" --prefix "$prefix" >/dev/null || { fail "cmake --install"; return; }
  # No installed file names the source or build tree; every run path of an
  # installed program or library is relative.
  local named
  named=$(grep -rlaF "$root" "$prefix")
  [ -z "$named" ] || fail "installed files name $root: $named"
  local elf
  for elf in "$prefix"/bin/* "$prefix"/lib/*.so*; do
    [ -L "$elf" ] && continue
    local rpath
    rpath=$(readelf -d "$elf" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p;s/.*(RPATH).*\[\(.*\)\]/\1/p')
    case "$rpath" in ''|'$ORIGIN'*) echo "  ${elf#"$prefix"/}: RUNPATH ${rpath:-none}" ;;
      *) fail "${elf#"$prefix"/} has RUNPATH $rpath" ;; esac
  done
  ldd "$prefix/bin/volneda" | grep -q "$prefix/bin/../lib/libvolneda.so.1" || fail "the tool does not find its library"
  "$prefix/bin/volneda" version >/dev/null || fail "the installed tool does not run"
  # The installed pages' links lead to installed files.
  python3 tests/sdk/check_docs.py --links "$prefix/share/doc/volneda" "$prefix" | sed 's/^/  /'
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "links of the installed documentation"

  echo "== sdk: outside project with find_package(VOLNEDA) and CMake"
  local src=$prefix/share/volneda/examples
  if cmake -S "$src" -B "$tmp/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >"$tmp/cmake.log" 2>&1 &&
     cmake --build "$tmp/cmake-build" >>"$tmp/cmake.log" 2>&1; then
    run_examples cmake "$tmp/cmake-build"
    local cpp_dir
    cpp_dir=$(mktemp -d "$tmp/run.XXXX")
    cp examples/rfconfig.ini examples/SWTT.INI examples/tagfield.ini "$cpp_dir/"
    for p in session presence_watch; do
      if (cd "$cpp_dir" && TAGDRV_FIELD=tagfield.ini RF_RFID_CONFIG= timeout 60 "$tmp/cmake-build/$p" >"$cpp_dir/$p.out" 2>&1); then
        echo "  cmake C++ $p: ok ($(grep -cv '^$' "$cpp_dir/$p.out") lines)"
      else
        cat "$cpp_dir/$p.out"; fail "cmake C++ $p"
      fi
    done
    if [ -f "$tmp/cmake-build/volneda-examples.jar" ]; then
      local jars=$tmp/cmake-build/volneda-examples.jar:$tmp/cmake-build/volneda-layer-examples.jar
      for p in Inventory ReadFields WriteReadBack StatusThread \
               ReaderInventory ReaderReadFields ReaderWriteReadBack ReaderStatusMessages; do
        (cd "$tmp" && cp "$root"/examples/{rfconfig.ini,SWTT.INI,tagfield.ini} . &&
         TAGDRV_FIELD=tagfield.ini timeout 60 java -Djava.library.path="$prefix/lib" \
           -cp "$prefix/share/java/volneda.jar:$jars" $p >"$tmp/$p.out" 2>&1) &&
          echo "  java $p: ok" || { cat "$tmp/$p.out"; fail "java $p"; }
      done
    fi
  else
    cat "$tmp/cmake.log"; fail "the CMake project does not build"
  fi

  echo "== sdk: pip install of the Python package from the prefix into a fresh venv ($(command -v python3))"
  sh tests/sdk/venv_install.sh python3 "$prefix/share/volneda/python" "$tmp/venv" "$prefix/share/volneda/examples" \
    inventory read_fields write_readback status_messages | sed 's/^/  /'
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "the Python package from the prefix in a virtual environment"

  echo "== sdk: outside project with pkg-config and a plain Makefile"
  cp -r "$src" "$tmp/make-project"
  if make -C "$tmp/make-project/c" PKG_CONFIG_PATH="$prefix/lib/pkgconfig" >"$tmp/make.log" 2>&1; then
    run_examples make "$tmp/make-project/c"
  else
    cat "$tmp/make.log"; fail "the Makefile project does not build"
  fi
}

# Every library that an ELF file of the .deb needs is in the package itself
# or in a package its Depends field names (the sonames resolved to Debian
# packages with dpkg -S).
check_deb_needs() {  # deb
  local deb=$1 root=$tmp/deb-files depends elf soname providers
  rm -rf "$root" && dpkg-deb -x "$deb" "$root" || { fail "dpkg-deb -x $deb"; return; }
  # The package names of Depends, alternatives included, without versions.
  depends=" $(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/(.*//;s/:.*//;s/[[:space:]]//g' | tr '\n' ' ') "
  echo "  Depends: $(dpkg-deb -f "$deb" Depends)"
  local checked=0
  while IFS= read -r -d '' elf; do
    readelf -h "$elf" >/dev/null 2>&1 || continue
    for soname in $(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      checked=$((checked + 1))
      if [ -n "$(find "$root" -name "$soname" -print -quit)" ]; then
        continue
      fi
      providers=$(dpkg -S "*/$soname" 2>/dev/null | sed 's/[:,].*//' | sort -u)
      local ok=0 p
      for p in $providers; do
        case "$depends" in *" $p "*) ok=1 ;; esac
      done
      [ $ok = 1 ] || fail "${elf#"$root"} needs $soname (package: ${providers:-none found}), which Depends does not name"
    done
  done < <(find "$root" -type f -print0)
  echo "  $checked needed libraries of the package's ELF files checked against the package and its Depends"
}

check_deb() {
  echo "== sdk: .deb"
  if ! command -v dpkg >/dev/null; then
    echo "  SKIPPED: no dpkg"
    return
  fi
  cmake --build "$build" --target package >"$tmp/package.log" 2>&1 || { cat "$tmp/package.log"; fail "make package"; return; }
  local deb
  deb=$(ls "$build"/packages/volneda_*.deb 2>/dev/null | head -1)
  [ -n "$deb" ] && ls "$build"/packages/volneda-*.tar.gz >/dev/null 2>&1 || { fail "no .deb or .tar.gz"; return; }
  check_deb_needs "$deb"
  # A tool built with the gateway brings the gateway's systemd unit.
  if readelf -d "$tmp/deb-files/usr/bin/volneda" 2>/dev/null | grep -q libmosquitto; then
    [ -f "$tmp/deb-files/usr/lib/systemd/system/volneda-gateway.service" ] &&
      echo "  volneda-gateway.service: in the package" || fail "the .deb lacks volneda-gateway.service"
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "  SKIPPED: installing the .deb needs root"
    return
  fi
  if dpkg-query -W -f='${Status}' volneda 2>/dev/null | grep -q "install ok installed"; then
    echo "  SKIPPED: a volneda package is installed on this machine already"
    return
  fi
  dpkg -i "$deb" >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fail "dpkg -i"; dpkg -P volneda >/dev/null 2>&1; return; }
  echo "  installed $(dpkg-query -W -f='${Package} ${Version}' volneda)"
  /usr/bin/volneda version && echo "  /usr/bin/volneda version: ok" || fail "the installed tool does not run"
  [ "$(pkg-config --modversion volneda 2>/dev/null)" = "$(dpkg-query -W -f='${Version}' volneda)" ] ||
    fail "pkg-config does not find the installed volneda.pc"
  mkdir -p "$tmp/jdeb" && cp "$root"/examples/{rfconfig.ini,SWTT.INI,tagfield.ini} "$tmp/jdeb/"
  # Java finds the library in /usr/lib without -Djava.library.path.
  if command -v javac >/dev/null; then
    javac -d "$tmp/jdeb" -cp /usr/share/java/volneda.jar /usr/share/volneda/examples/java/*.java \
        /usr/share/volneda/examples/java-layer/*.java &&
      (cd "$tmp/jdeb" && TAGDRV_FIELD=tagfield.ini timeout 60 java -cp /usr/share/java/volneda.jar:. Inventory >out 2>&1 &&
       TAGDRV_FIELD=tagfield.ini timeout 60 java -cp /usr/share/java/volneda.jar:. ReaderWriteReadBack >>out 2>&1) &&
      echo "  java Inventory and ReaderWriteReadBack against the installed package: ok" ||
      { cat "$tmp/jdeb/out" 2>/dev/null; fail "java against the .deb"; }
  fi
  # Debian's python3 finds the package without PYTHONPATH, and the package
  # finds the library.
  if [ -x /usr/bin/python3 ]; then
    (cd "$tmp/jdeb" && TAGDRV_FIELD=tagfield.ini timeout 60 /usr/bin/python3 \
       /usr/share/volneda/examples/python/read_fields.py >py.out 2>&1) &&
      echo "  Python read_fields against the installed package: ok" || { cat "$tmp/jdeb/py.out"; fail "Python against the .deb"; }
  fi
  dpkg -P volneda >/dev/null 2>&1 || fail "dpkg -P volneda"
}

check_windows() {
  echo "== sdk: Windows SDK zips"
  scripts/windows-bundle.sh all || { fail "windows-bundle"; return; }
  export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=;mshtml=}
  local prefix_base=${VOLNEDA_WINE_PREFIXES:-$HOME/.cache/volneda-wine}
  local bits wine triple zip
  for bits in 32 64; do
    if [ $bits = 32 ]; then wine=/usr/lib/wine/wine; triple=i686-w64-mingw32; zip=build-win32
    else wine=/usr/lib/wine/wine64; triple=x86_64-w64-mingw32; zip=build-win64; fi
    zip=$(ls ${zip}/sdk/volneda-*-win$bits.zip)
    local dir=$tmp/win$bits
    mkdir -p "$dir" && (cd "$dir" && unzip -q "$root/$zip") || { fail "unzip $zip"; continue; }
    local sdk
    sdk=$(ls -d "$dir"/volneda-*)
    # The Microsoft-style import library, linked by lld (the COFF linker
    # that reads what Microsoft's linker reads); libgcc from mingw-w64.
    local libgcc
    libgcc=$(dirname "$($triple-gcc -print-libgcc-file-name)")
    if clang --target=$triple -fuse-ld=lld -std=c11 -O2 -I"$sdk/include" "$sdk/examples/c/write_readback.c" \
         -L"$libgcc" "$sdk/lib/VOLNEDA.lib" -o "$dir/write_readback.exe" 2>"$dir/link.log"; then
      echo "  win$bits: write_readback.exe linked with lld against lib/VOLNEDA.lib"
    else
      cat "$dir/link.log"; fail "win$bits: linking against VOLNEDA.lib"; continue
    fi
    $triple-objdump -p "$dir/write_readback.exe" | grep -q 'DLL Name: VOLNEDA.dll' || fail "win$bits: the program does not import VOLNEDA.dll"
    # The zip's CMake package, with the mingw-w64 tool chain (a cross build
    # finds packages only through VOLNEDA_DIR).
    if [ $bits = 32 ]; then
      cmake -S "$sdk/examples" -B "$dir/cmake" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
        -DVOLNEDA_DIR="$sdk/lib/cmake/VOLNEDA" >"$dir/cmake.log" 2>&1 && cmake --build "$dir/cmake" >>"$dir/cmake.log" 2>&1 &&
        echo "  win$bits: the examples built with find_package(VOLNEDA) against the zip" ||
        { tail -20 "$dir/cmake.log"; fail "win$bits: the examples do not build with the zip's CMake package"; }
    fi
    # MinGW's own import library, with MinGW's linker.
    $triple-gcc -std=c11 -O2 -I"$sdk/include" "$sdk/examples/c/inventory.c" -L"$sdk/lib" -lVOLNEDA \
      -o "$dir/inventory.exe" 2>"$dir/link.log" || { cat "$dir/link.log"; fail "win$bits: linking against libVOLNEDA.dll.a"; }

    if ! timeout 120 "$wine" --version >/dev/null 2>&1; then
      echo "  win$bits: not run: $wine cannot run on this machine"
      continue
    fi
    export WINEPREFIX=$prefix_base/win$bits
    mkdir -p "$WINEPREFIX"
    timeout 600 "$wine" wineboot --init >/dev/null 2>&1
    cp "$sdk"/bin/*.dll "$sdk"/examples/{rfconfig.ini,SWTT.INI,tagfield.ini} "$dir/"
    if (cd "$dir" && TAGDRV_FIELD=tagfield.ini timeout 120 "$wine" write_readback.exe >run.out 2>&1 &&
        TAGDRV_FIELD=tagfield.ini timeout 120 "$wine" inventory.exe >>run.out 2>&1); then
      echo "  win$bits: both programs ran under $(basename "$wine") ($(grep -c '^tag ' "$dir/run.out") tags listed)"
      ran_windows=1
    else
      cat "$dir/run.out"; fail "win$bits: the program failed under $(basename "$wine")"
    fi
  done
  [ "${ran_windows:-0}" = 1 ] || fail "no Windows program could run under Wine here"
}

case "$what" in
  install) check_install ;;
  deb) check_deb ;;
  windows) check_windows ;;
  all) check_install; check_deb; check_windows ;;
  *) echo "usage: $0 [install|deb|windows|all]" >&2; exit 2 ;;
esac
[ $status -eq 0 ] && echo "sdk-check: $what passed"
exit $status

#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build, each for a given time, from its seed
# corpus (fuzz/corpus/NAME) and what earlier runs found (BUILD/fuzz-corpus/NAME,
# where new inputs go).  A crash, hang, leak, sanitizer report or failed check
# fails the run; the input that caused it is kept in BUILD/fuzz-findings/.
# Usage: fuzz/run.sh BUILD SECONDS [NAME ...]   (default: every target built)
set -u
build=$1
seconds=$2
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then  # every target the build made
  for f in "$build"/bin/fuzz_*; do [ -x "$f" ] && targets+=("${f##*/fuzz_}"); done
fi
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $build/bin" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/fuzz-findings"
status=0
for t in "${targets[@]}"; do
  corpus=$build/fuzz-corpus/$t
  log=$build/fuzz-$t.log
  mkdir -p "$corpus"
  dict=()
  # Longest input: long enough for the surface's texts, short enough that
  # the run does not drift to huge inputs (a tag field of hundreds of tags).
  case $t in
    command) max_len=1024 ;;
    tagfield) max_len=2048 ;;
    ini) max_len=4096 ;;
    *) max_len=8192 ;;
  esac
  [ -f "$here/dict/$t.dict" ] && dict=("-dict=$here/dict/$t.dict")
  echo "== fuzz $t, ${seconds}s"
  # The outer limit also catches a process that does not end.
  timeout -k 10 $((seconds + 300)) "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=20 -max_len=$max_len \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-findings/$t-" "${dict[@]}" "$corpus" "$here/corpus/$t" \
    >"$log" 2>&1
  rc=$?
  grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units' "$log" | sed 's/^/  /'
  if [ $rc -ne 0 ]; then
    echo "fuzz $t failed (exit $rc); the end of $log:" >&2
    tail -40 "$log" >&2
    status=1
  fi
done
exit $status

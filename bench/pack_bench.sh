#!/usr/bin/env bash
# pack_bench.sh — packs a copy of /usr/include and a set of large /usr/bin binaries with
# Kestrel and with `zip -r -N` (N = 1, 6, 9) in one run, times `7z a -tzip -mx5 -mmt1` on the
# same data, and prints time and size ratios (best of REPEAT runs each).
#
#   bench/pack_bench.sh [BUILD_DIR]     (BUILD_DIR defaults to build/bench, configured with
#                                        -DKESTREL_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release)
#
# While the command has no `kestrel zip` yet, Kestrel's side is deflate_bench --pack: the same
# files read from disk, CRC-32 and Deflate into one output file, with the archive size
# estimated from the entries (local and central headers, no extra fields). Once `kestrel zip`
# exists it is timed as well and its archive size is the real one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
repeat=${REPEAT:-3}
work=${KESTREL_BENCH_DIR:-/tmp/kestrel-pack-bench}
bench=$build/bench/deflate_bench
kestrel=$build/kestrel
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 1; }

mkdir -p "$work"
corpus=$work/corpus
if [ ! -d "$corpus" ]; then
  mkdir -p "$corpus/bin"
  cp -r /usr/include "$corpus/include"
  # The largest distinct binaries, up to about 60 MB in all.
  total=0
  for f in $(ls -S /usr/bin); do
    p=/usr/bin/$f
    [ -f "$p" ] && [ ! -L "$p" ] || continue
    size=$(stat -c %s "$p")
    [ "$size" -lt 40000000 ] || continue
    cmp -s "$p" "$corpus/bin/$(ls "$corpus/bin" | tail -1)" 2>/dev/null && continue
    cp "$p" "$corpus/bin/"
    total=$((total + size))
    [ "$total" -lt 60000000 ] || break
  done
fi
cd "$corpus"
echo "corpus: $(du -sh include | cut -f1) include, $(du -sh bin | cut -f1) bin ($(ls bin | wc -l) files)"

calc() { python3 -c "print($1)"; }
best() {  # best REPEAT-run wall time of a command, in seconds
  local t b=""
  for _ in $(seq "$repeat"); do
    local s=$(date +%s.%N)
    "$@" >/dev/null
    t=$(calc "$(date +%s.%N) - $s")
    if [ -z "$b" ] || [ "$(calc "int($t < $b)")" = 1 ]; then b=$t; fi
  done
  echo "$b"
}

has_kestrel_zip=0
if [ -x "$kestrel" ] && "$kestrel" zip --help >/dev/null 2>&1; then has_kestrel_zip=1; fi

printf "%-5s %9s %9s %7s %12s %12s %8s\n" level zip_s kestrel_s speedup zip_bytes kestrel_bytes size
for n in 1 6 9; do
  tz=$(best sh -c "rm -f '$work/z.zip'; zip -q -r -$n '$work/z.zip' include bin")
  zbytes=$(stat -c %s "$work/z.zip")
  if [ $has_kestrel_zip = 1 ]; then
    tk=$(best sh -c "rm -f '$work/k.zip'; '$kestrel' zip -r -$n '$work/k.zip' include bin")
    kbytes=$(stat -c %s "$work/k.zip")
  else
    tk=$(best "$bench" --pack "$n" "$work/k.bin" include bin)
    kbytes=$("$bench" --pack "$n" "$work/k.bin" include bin | sed 's/.*estimate \([0-9]*\) bytes.*/\1/')
  fi
  printf "%-5s %9.3f %9.3f %7.2f %12d %12d %7.3f%%\n" "$n" "$tz" "$tk" \
    "$(calc "$tz / $tk")" "$zbytes" "$kbytes" "$(calc "100 * $kbytes / $zbytes")"
done
t7=$(best sh -c "rm -f '$work/7.zip'; 7z a -tzip -mx5 -mmt1 '$work/7.zip' include bin")
echo "7z a -tzip -mx5 -mmt1: $t7 s, $(stat -c %s "$work/7.zip") bytes"
[ $has_kestrel_zip = 1 ] || echo "(kestrel side: deflate_bench --pack; archive size estimated, see the script's header)"

#!/usr/bin/env bash
# pack_bench.sh — packs the two corpora (bench/corpus.sh: a copy of /usr/include, large
# /usr/bin binaries) with `kestrel zip -r -N` and with `zip -r -N` (N = 1, 6, 9) in one run,
# times `7z a -tzip -mx5 -mmt1` on the same data, and prints time and size ratios.
#
#   bench/pack_bench.sh [BUILD_DIR]     (default build/, configured with
#                                        -DKESTREL_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release)
#
# REPEAT (default 3) runs per tool; wall and CPU times are medians (timing.py). Every Kestrel
# archive is checked with `unzip -tq` once. speedup = zip's time / Kestrel's (target: 1.3 or
# more); size = Kestrel's archive over zip's (target: 100.1 % or less).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
repeat=${REPEAT:-3}
kestrel=$build/kestrel
[ -x "$kestrel" ] || { echo "build $kestrel first" >&2; exit 1; }
# shellcheck source=corpus.sh
. "$root/bench/corpus.sh"
make_corpus
cd "$corpus"
calc() { python3 -c "print($1)"; }
timed() {  # ARCHIVE COMMAND...: median "WALL CPU" of packing into a fresh ARCHIVE
  local archive=$1
  shift
  python3 "$root/bench/timing.py" --repeat "$repeat" --prepare "rm -f '$archive'" -- "$@"
}

echo "corpus: $(du -sh include | cut -f1) include, $(du -sh bin | cut -f1) bin; $repeat runs each, medians"
printf "%-8s %-5s %8s %8s %8s %8s %12s %12s %8s\n" corpus level zip_s kes_s speedup cpu_spd \
  zip_bytes kes_bytes size
for name in include bin; do
  for n in 1 6 9; do
    read -r zw zc < <(timed "$work/z.zip" zip -q -r -$n "$work/z.zip" "$name")
    read -r kw kc < <(timed "$work/k.zip" "$kestrel" zip "$work/k.zip" "$name" -r -$n)
    unzip -tq "$work/k.zip" >/dev/null || { echo "kestrel's $name -$n archive fails unzip -t" >&2; exit 1; }
    zb=$(stat -c %s "$work/z.zip")
    kb=$(stat -c %s "$work/k.zip")
    printf "%-8s %-5s %8.3f %8.3f %8.2f %8.2f %12d %12d %7.3f%%\n" "$name" "$n" "$zw" "$kw" \
      "$(calc "$zw / $kw")" "$(calc "$zc / $kc")" "$zb" "$kb" "$(calc "100 * $kb / $zb")"
  done
  read -r sw _ < <(timed "$work/7.zip" 7z a -tzip -mx5 -mmt1 "$work/7.zip" "$name")
  echo "$name: 7z a -tzip -mx5 -mmt1 $sw s, $(stat -c %s "$work/7.zip") bytes"
done
rm -f "$work/z.zip" "$work/k.zip" "$work/7.zip"

#!/usr/bin/env bash
# pack_bench.sh — packs the two corpora (bench/corpus.sh: a copy of /usr/include, large
# /usr/bin binaries) at levels 1, 6 and 9 with `kestrel zip -T 1` and `kestrel zip` on every
# core, beside `zip`, `7z a -tzip` on one core and on all, `bsdtar --format zip` and
# `python3 -m zipfile -c`, in one run, and prints each tool's speed as a ratio to zip's.
#
#   bench/pack_bench.sh [BUILD_DIR]     (default build/, configured with
#                                        -DCMAKE_BUILD_TYPE=Release or RelWithDebInfo)
#
# REPEAT (default 3) runs per tool; wall and CPU times are medians (timing.py).
#   wall_x = zip's wall time / the tool's (higher is faster; targets: kestrel -T 1 at least
#            1.3 at every level, kestrel on all cores at least 2.5 at level 6)
#   cpu_x  = zip's CPU time / the tool's
#   size   = the archive's size over zip's
# The archives of -T 1 and of all cores must be identical (checked), and each passes
# `unzip -tq`. Peak memory (maximum resident set, /usr/bin/time) of kestrel -T 1 and on all
# cores is printed per corpus at level 6 (target: all cores at most 64 MB above -T 1).
# python3's zipfile has no level option: its rows are the same command at every level.
# The load (uptime) is printed at the start and the end: the machine may be shared.
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
peak_kb() {  # ARCHIVE COMMAND...: maximum resident set in KB of one run
  local archive=$1
  shift
  rm -f "$archive"
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
}

echo "$(nproc) cores; load:$(uptime | sed 's/.*load average//')"
echo "corpus: $(du -sh include | cut -f1) include, $(du -sh bin | cut -f1) bin; $repeat runs each, medians"
printf "%-8s %-5s %-18s %8s %8s %8s %8s %12s %8s\n" corpus level tool wall_s cpu_s wall_x cpu_x \
  bytes size
for name in include bin; do
  for n in 1 6 9; do
    archive=$work/pack.zip
    read -r zw zc < <(timed "$archive" zip -q -r -$n "$archive" "$name")
    zb=$(stat -c %s "$archive")
    row() {  # TOOL COMMAND...
      local tool=$1 w c b
      shift
      read -r w c < <(timed "$archive" "$@")
      b=$(stat -c %s "$archive")
      printf "%-8s %-5s %-18s %8.3f %8.3f %8.2f %8.2f %12d %7.2f%%\n" "$name" "$n" "$tool" "$w" \
        "$c" "$(calc "$zw / $w")" "$(calc "$zc / $c")" "$b" "$(calc "100 * $b / $zb")"
    }
    row zip zip -q -r -$n "$archive" "$name"
    row "kestrel -T 1" "$kestrel" zip -T 1 "$archive" "$name" -r -$n
    unzip -tq "$archive" >/dev/null || { echo "kestrel's $name -$n archive fails unzip -t" >&2; exit 1; }
    mv "$archive" "$work/one.zip"
    row "kestrel -T $(nproc)" "$kestrel" zip "$archive" "$name" -r -$n
    cmp -s "$archive" "$work/one.zip" ||
      { echo "kestrel's $name -$n archive differs between -T 1 and all cores" >&2; exit 1; }
    row "7z -mmt1" 7z a -tzip -mx$n -mmt1 "$archive" "$name"
    row "7z -mmt" 7z a -tzip -mx$n -mmt "$archive" "$name"
    row bsdtar bsdtar --format zip --options zip:compression-level=$n -cf "$archive" "$name"
    row "python3 zipfile" python3 -m zipfile -c "$archive" "$name"
    if [ "$n" = 6 ]; then
      one=$(peak_kb "$archive" "$kestrel" zip -T 1 "$archive" "$name" -r -6)
      all=$(peak_kb "$archive" "$kestrel" zip "$archive" "$name" -r -6)
      echo "$name: peak memory -T 1 $((one / 1024)) MB, all cores $((all / 1024)) MB, +$(((all - one) / 1024)) MB"
    fi
  done
done
rm -f "$work/pack.zip" "$work/one.zip"
echo "load at the end:$(uptime | sed 's/.*load average//')"

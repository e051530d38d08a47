#!/usr/bin/env bash
# unpack_bench.sh — unpacks the two corpora (bench/corpus.sh: /usr/include, large /usr/bin
# binaries, each packed by `zip -r -6`) with Kestrel, with `unzip -qo -d` and with
# `python3 -m zipfile -e`, in one run, and prints the median times and Kestrel's ratios.
#
#   bench/unpack_bench.sh [BUILD_DIR]    (default build/, configured with
#                                         -DKESTREL_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release)
#
# Kestrel is `kestrel unzip ARCHIVE -d DIR` (quiet when its output is not a terminal). Each run
# starts from an empty output
# directory; Kestrel's output is compared with the corpus once before timing. REPEAT (default
# 5) runs per tool; wall time and CPU time (user + system) are medians. The ratio is Kestrel's
# time over unzip's: the target is 0.67 or less. BASELINE=/path/to/an/older/kestrel times that
# build too, in the same run, and prints kestrel / baseline (a slowdown shows above 1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
repeat=${REPEAT:-5}
# shellcheck source=corpus.sh
. "$root/bench/corpus.sh"
make_corpus
out=$work/unpacked

kestrel=$build/kestrel
[ -x "$kestrel" ] || { echo "build $kestrel first" >&2; exit 1; }
baseline=${BASELINE:-}
tools=(kestrel unzip python)
[ -n "$baseline" ] && tools+=(baseline)

command_of() {  # TOOL ARCHIVE: sets cmd to the command that unpacks ARCHIVE into $out
  case $1 in
    kestrel) cmd=("$kestrel" unzip "$2" -d "$out") ;;
    baseline) cmd=("$baseline" unzip "$2" -d "$out") ;;
    unzip) cmd=(unzip -qo "$2" -d "$out") ;;
    python) cmd=(python3 -m zipfile -e "$2" "$out") ;;
  esac
}
calc() { python3 -c "print($1)"; }

echo "kestrel: $kestrel unzip; $repeat runs each, medians; ratio = kestrel / unzip"
printf "%-8s %-8s %9s %9s\n" corpus tool wall_s cpu_s
for name in include bin; do
  zip=$work/$name.zip
  rm -rf "$out"
  command_of kestrel "$zip"
  "${cmd[@]}" >/dev/null
  diff -r "$out/$name" "$corpus/$name" >/dev/null || { echo "kestrel's $name differs from the corpus" >&2; exit 1; }
  declare -A wall cpu
  for tool in "${tools[@]}"; do
    command_of "$tool" "$zip"
    read -r w c < <(python3 "$root/bench/timing.py" --repeat "$repeat" --prepare "rm -rf '$out'" -- "${cmd[@]}")
    wall[$tool]=$w; cpu[$tool]=$c
    printf "%-8s %-8s %9.3f %9.3f\n" "$name" "$tool" "$w" "$c"
  done
  printf "%-8s %-8s %9.2f %9.2f   (python / kestrel: %.2f wall)\n" "$name" ratio \
    "$(calc "${wall[kestrel]} / ${wall[unzip]}")" "$(calc "${cpu[kestrel]} / ${cpu[unzip]}")" \
    "$(calc "${wall[python]} / ${wall[kestrel]}")"
  if [ -n "$baseline" ]; then
    printf "%-8s %-8s %9.2f %9.2f   (kestrel / baseline)\n" "$name" vs_base \
      "$(calc "${wall[kestrel]} / ${wall[baseline]}")" "$(calc "${cpu[kestrel]} / ${cpu[baseline]}")"
  fi
done
rm -rf "$out"

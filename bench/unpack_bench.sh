#!/usr/bin/env bash
# unpack_bench.sh — unpacks the two corpora (bench/corpus.sh: /usr/include, large /usr/bin
# binaries, each packed by `zip -r -6`) with Kestrel on one thread and on every core, and with
# `unzip -qo`, `7z x -mmt` and `-mmt1`, `bsdtar -xf` and `python3 -m zipfile -e`, in one run,
# and prints the median times and each tool's ratio to unzip's.
#
#   bench/unpack_bench.sh [BUILD_DIR]    (default build/, configured with
#                                         -DKESTREL_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release)
#
# Kestrel is `kestrel unzip ARCHIVE -d DIR -T 1` and `-T 0` (one thread per core; quiet when
# its output is not a terminal). Each run starts from an empty output directory; Kestrel's
# output on both settings is compared with the corpus once before timing. REPEAT (default 5)
# runs per tool; wall time and CPU time (user + system) are medians. ratio = the tool's time
# over unzip's. Targets on two cores: kes_T1 at most 0.72 (include) and 0.35 (bin), kes_Tall
# at most 0.5 and 0.25 of unzip's wall time. The machine's load is printed at the start and
# the end: on a shared machine, read the CPU ratios beside the wall ones. BASELINE=/path/to/
# an older kestrel times that build (-T 1) too, in the same run.
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
tools=(kes_T1 kes_Tall unzip)
command -v 7z >/dev/null && tools+=(7z_mmt 7z_mmt1)
command -v bsdtar >/dev/null && tools+=(bsdtar)
tools+=(python)
[ -n "$baseline" ] && tools+=(baseline)

command_of() {  # TOOL ARCHIVE: sets cmd to the command that unpacks ARCHIVE into $out
  case $1 in
    kes_T1) cmd=("$kestrel" unzip "$2" -d "$out" -T 1) ;;
    kes_Tall) cmd=("$kestrel" unzip "$2" -d "$out" -T 0) ;;
    baseline) cmd=("$baseline" unzip "$2" -d "$out") ;;
    unzip) cmd=(unzip -qo "$2" -d "$out") ;;
    7z_mmt) cmd=(7z x -y -bd -mmt "-o$out" "$2") ;;
    7z_mmt1) cmd=(7z x -y -bd -mmt1 "-o$out" "$2") ;;
    bsdtar) cmd=(bsdtar -xf "$2" -C "$out") ;;
    python) cmd=(python3 -m zipfile -e "$2" "$out") ;;
  esac
}
calc() { python3 -c "print($1)"; }

echo "cores: $(nproc); load at the start:$(uptime | sed 's/.*load average://')"
echo "$repeat runs each, medians; ratio = the tool's time / unzip's"
printf "%-8s %-9s %9s %9s %9s %9s\n" corpus tool wall_s cpu_s wall_ratio cpu_ratio
for name in include bin; do
  zip=$work/$name.zip
  for tool in kes_T1 kes_Tall; do
    rm -rf "$out"
    command_of "$tool" "$zip"
    "${cmd[@]}" >/dev/null
    diff -r "$out/$name" "$corpus/$name" >/dev/null ||
      { echo "kestrel's $name ($tool) differs from the corpus" >&2; exit 1; }
  done
  declare -A wall cpu
  for tool in "${tools[@]}"; do
    command_of "$tool" "$zip"
    read -r w c < <(python3 "$root/bench/timing.py" --repeat "$repeat" \
      --prepare "rm -rf '$out' && mkdir -p '$out'" -- "${cmd[@]}")
    wall[$tool]=$w; cpu[$tool]=$c
  done
  for tool in "${tools[@]}"; do
    printf "%-8s %-9s %9.3f %9.3f %9.2f %9.2f\n" "$name" "$tool" "${wall[$tool]}" "${cpu[$tool]}" \
      "$(calc "${wall[$tool]} / ${wall[unzip]}")" "$(calc "${cpu[$tool]} / ${cpu[unzip]}")"
  done
done
echo "load at the end:$(uptime | sed 's/.*load average://')"
rm -rf "$out"

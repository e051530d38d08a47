#!/usr/bin/env bash
# corpus.sh — the two benchmark corpora, made once from files every machine has and shared by
# the benchmark scripts (sourced, or run to print the paths):
#   $work/corpus/include   a copy of /usr/include (thousands of small text files)
#   $work/corpus/bin       distinct large binaries from /usr/bin, about 50 MB in all
#   $work/include.zip, $work/bin.zip   each packed by `zip -r -6` (the unpack benchmarks' input)
# work is KESTREL_BENCH_DIR, by default /tmp/kestrel-bench.
set -euo pipefail
work=${KESTREL_BENCH_DIR:-/tmp/kestrel-bench}
corpus=$work/corpus

make_corpus() {
  mkdir -p "$work"
  if [ ! -d "$corpus/include" ]; then
    mkdir -p "$corpus.tmp"
    # -L: store what the links point at, as zip -r does; dangling links are left out.
    cp -rL /usr/include "$corpus.tmp/include" 2>/dev/null || true
    # Names that differ only in case are one file to a Windows library: keep neither, so every
    # unpacker does the same work and the results can be compared file by file.
    (cd "$corpus.tmp" && find include | sort -f | uniq -Di | tr '\n' '\0' | xargs -0r rm -rf)
    mkdir -p "$corpus.tmp/bin"
    # Largest first, up to 12 MB each (so several programs, not one), identical copies skipped.
    local total=0 sums=" " f size sum
    for f in $(ls -S /usr/bin); do
      f=/usr/bin/$f
      [ -f "$f" ] && [ ! -L "$f" ] && [ -r "$f" ] || continue
      size=$(stat -c %s "$f")
      [ "$size" -le 12000000 ] || continue
      sum=$(cksum < "$f" | cut -d' ' -f1)
      case $sums in *" $sum "*) continue ;; esac
      sums="$sums$sum "
      cp "$f" "$corpus.tmp/bin/"
      total=$((total + size))
      [ "$total" -lt 50000000 ] || break
    done
    mkdir -p "$corpus"
    mv "$corpus.tmp/include" "$corpus.tmp/bin" "$corpus/"
    rmdir "$corpus.tmp"
  fi
  local name
  for name in include bin; do
    [ -f "$work/$name.zip" ] || (cd "$corpus" && zip -q -r -6 "$work/$name.zip" "$name")
  done
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  make_corpus
  echo "$corpus/include $corpus/bin $work/include.zip $work/bin.zip"
fi

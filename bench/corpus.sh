#!/usr/bin/env bash
# corpus.sh — the two benchmark corpora, made once from files every machine has and shared by
# the benchmark scripts (sourced, or run to print the paths):
#   $work/corpus/include   a copy of /usr/include (thousands of small text files)
#   $work/corpus/bin       distinct large binaries from /usr/bin, about 50 MB in all
#   $work/include.zip, $work/bin.zip   each packed by `zip -r -6` (the unpack benchmarks' input)
# work is KESTREL_BENCH_DIR, by default /tmp/kestrel-bench. make_corpus also locks work for
# the whole benchmark (flock on $work/.lock, released when the script ends), so two benchmarks
# sharing it run one after the other instead of spoiling each other's times and files; the
# corpus and the archives are made under temporary names and renamed into place, so a run that
# is stopped half-way never leaves a partial corpus for the next one.
set -euo pipefail
work=${KESTREL_BENCH_DIR:-/tmp/kestrel-bench}
corpus=$work/corpus

# Takes the lock on work, once per process tree: a script started by one that holds it (run_all.sh
# starting pack_bench.sh) goes on under its parent's lock.
lock_work() {
  [ "${KESTREL_BENCH_LOCKED:-}" = "$work" ] && return
  exec {bench_lock}>"$work/.lock"
  if ! flock -n "$bench_lock"; then
    echo "waiting for another benchmark using $work (KESTREL_BENCH_DIR picks another folder)" >&2
    flock "$bench_lock"
  fi
  export KESTREL_BENCH_LOCKED=$work
}

make_corpus() {
  mkdir -p "$work"
  lock_work
  if [ ! -d "$corpus/include" ]; then
    local made
    rm -rf "$work"/corpus.??????  # what runs stopped half-way left (none runs: we hold the lock)
    made=$(mktemp -d "$work/corpus.XXXXXX")
    # -L: store what the links point at, as zip -r does; dangling links are left out.
    cp -rL /usr/include "$made/include" 2>/dev/null || true
    # Names that differ only in case are one file to a Windows library: keep neither, so every
    # unpacker does the same work and the results can be compared file by file.
    (cd "$made" && find include | sort -f | uniq -Di | tr '\n' '\0' | xargs -0r rm -rf)
    mkdir -p "$made/bin"
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
      cp "$f" "$made/bin/"
      total=$((total + size))
      [ "$total" -lt 50000000 ] || break
    done
    chmod 755 "$made"
    rm -rf "$corpus"
    mv -T "$made" "$corpus"
  fi
  local name
  for name in include bin; do
    if [ ! -f "$work/$name.zip" ]; then
      rm -f "$work/$name.zip.tmp"
      (cd "$corpus" && zip -q -r -6 "$work/$name.zip.tmp" "$name")
      mv "$work/$name.zip.tmp" "$work/$name.zip"
    fi
  done
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  make_corpus
  echo "$corpus/include $corpus/bin $work/include.zip $work/bin.zip"
fi

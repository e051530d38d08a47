#!/usr/bin/env bash
# run_all.sh — runs every benchmark once, one after the other (about ten minutes):
#
#   bench/run_all.sh [BUILD_DIR]     (default build/, configured with
#                                     -DKESTREL_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release)
#
# See bench/README.md for what each prints. The corpora are made on the first run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
for program in kestrel bench/deflate_bench bench/inflate_bench bench/legacy_bench; do
  [ -x "$build/$program" ] || { echo "build $build/$program first" >&2; exit 1; }
done
# shellcheck source=corpus.sh
. "$root/bench/corpus.sh"
make_corpus

echo "== pack_bench.sh: kestrel zip beside zip and 7z"
"$root/bench/pack_bench.sh" "$build"
echo "== unpack_bench.sh: kestrel unzip on one thread and every core beside unzip, 7z, bsdtar and python's zipfile"
"$root/bench/unpack_bench.sh" "$build"
echo "== deflate_bench: the compressor beside zlib, in memory"
"$build/bench/deflate_bench" --repeat 3 "$corpus/include" "$corpus/bin"
echo "== inflate_bench: Inflate beside zlib on the corpora's streams"
"$build/bench/inflate_bench" --repeat 3 "$work/include.zip" "$work/bin.zip"
echo "== legacy_bench: shrink, reduce and implode beside unzip"
"$build/bench/legacy_bench"

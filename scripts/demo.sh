#!/usr/bin/env bash
# The main job: builds the kestrel command and runs what it offers so far on the bundled
# sample (tests/data/sample/ and sample.zip, see tests/data/README.md). Packing and unpacking
# the sample join here as those commands land: add each as one more line at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTREL_BUILD_ROOT:-$root/build}/linux
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target kestrel_cli >/dev/null
kestrel=$build/kestrel
sample=$root/tests/data/sample.zip

set -x
"$kestrel" --help
"$kestrel" version
"$kestrel" iszip "$sample"
"$kestrel" list "$sample"
"$kestrel" test "$sample"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
"$kestrel" unzip "$sample" -d "$unpacked"
diff -r "$root/tests/data/sample" "$unpacked"

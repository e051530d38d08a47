#!/usr/bin/env bash
# The main job on the bundled sample: builds the kestrel command and runs it on
# tests/data/sample (the sample archive, and the sample tree it was made from).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTREL_BUILD_ROOT:-$root/build}/linux
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target kestrel_cli >/dev/null
kestrel=$build/kestrel
sample=$root/tests/data/sample

set -x
"$kestrel" version
"$kestrel" iszip "$sample/sample.zip"
"$kestrel" list "$sample/sample.zip"

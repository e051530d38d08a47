#!/usr/bin/env bash
# The main job: builds the kestrel command and runs what it offers so far. Packing, listing
# and unpacking the bundled sample join here as those commands land.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTREL_BUILD_ROOT:-$root/build}/linux
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target kestrel_cli >/dev/null
kestrel=$build/kestrel

set -x
"$kestrel" --help
"$kestrel" version

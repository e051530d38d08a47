#!/usr/bin/env bash
# The main job: builds the kestrel command and runs it on the bundled sample (tests/data/sample/
# and sample.zip, see tests/data/README.md): looks at sample.zip, unpacks it, then packs the
# sample tree again, checks, unpacks and compares the new archive.
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
packed=$(mktemp -d)
trap 'rm -rf "$unpacked" "$packed"' EXIT
"$kestrel" unzip "$sample" -d "$unpacked"
diff -r "$root/tests/data/sample" "$unpacked"
(cd "$root/tests/data/sample" && "$kestrel" zip -r -9 "$packed/sample.zip" .)
"$kestrel" list "$packed/sample.zip"
"$kestrel" test "$packed/sample.zip"
"$kestrel" unzip "$packed/sample.zip" -d "$packed/out"
diff -r "$root/tests/data/sample" "$packed/out"

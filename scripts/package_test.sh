#!/usr/bin/env bash
# Makes the Debian package from a finished native build and uses it as a consumer would:
# lintian must report no error; the package is unpacked into a scratch root, where the
# installed command runs, the installed library exports only kestrel.h's names, and the
# examples are built against the installed files with pkg-config and with find_package
# (shared and static) and run on archives made by the peers. The scratch root is removed.
#   package_test.sh BUILD_DIR
set -euo pipefail
shopt -s nullglob
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

rm -f "$build"/kestrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(echo "$build"/kestrel_*_"$(dpkg --print-architecture)".deb)
echo "package: $(basename "$deb")"
lintian --fail-on error "$deb"

dpkg-deb -x "$deb" "$scratch/root"
usr=$scratch/root/usr
libdir=$(dirname "$(find "$usr" -name libkestrel.so)")
"$usr/bin/kestrel" version
python3 "$root/tests/package/check_exports.py" "$libdir/libkestrel.so" "$usr/include/kestrel.h"

# pkg-config finds the unpacked tree from the .pc file's own place.
export PKG_CONFIG_PATH=$libdir/pkgconfig
mkdir -p "$scratch/pc"
for source in "$root"/examples/*.c; do
  name=$(basename "$source" .c)
  # shellcheck disable=SC2046
  cc -Wall -Wextra -Werror "$source" $(pkg-config --cflags --libs kestrel) -o "$scratch/pc/$name"
done
cmake -S "$root/examples" -B "$scratch/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$usr" -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$scratch/cmake" >/dev/null

# The build tree's CMake package works as well as the installed one.
cmake -S "$root/examples" -B "$scratch/build-tree" -G Ninja -Dkestrel_DIR="$build" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$scratch/build-tree" >/dev/null

export LD_LIBRARY_PATH=$libdir
if [ -x "$root/tests/package/check_examples.sh" ]; then
  for bin in "$scratch/pc" "$scratch/cmake" "$scratch/cmake/static"; do
    "$root/tests/package/check_examples.sh" "$bin" "$scratch/run"
  done
fi
echo "package: all checks passed"

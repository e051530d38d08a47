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
"$usr/bin/kestrel" --version
python3 "$root/tests/package/check_exports.py" "$libdir/libkestrel.so" "$usr/include/kestrel.h"

# pkg-config finds the unpacked tree from the .pc file's own place.
export PKG_CONFIG_PATH=$libdir/pkgconfig
mkdir -p "$scratch/pc"
for source in "$root"/examples/*.c; do
  name=$(basename "$source" .c)
  # shellcheck disable=SC2046
  cc -Wall -Wextra -Werror "$source" $(pkg-config --cflags --libs kestrel) -o "$scratch/pc/$name"
done
# The README's library example, as printed there.
sed -n '/^```c$/,/^```$/{/^```/d;p}' "$root/README.md" > "$scratch/pc/readme.c"
# shellcheck disable=SC2046
cc -Wall -Wextra -Werror "$scratch/pc/readme.c" $(pkg-config --cflags --libs kestrel) \
  -o "$scratch/pc/readme"
cmake -S "$root/examples" -B "$scratch/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$usr" -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$scratch/cmake" >/dev/null

# The build tree's CMake package works as well as the installed one.
cmake -S "$root/examples" -B "$scratch/build-tree" -G Ninja -Dkestrel_DIR="$build" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$scratch/build-tree" >/dev/null

export LD_LIBRARY_PATH=$libdir
listing=$("$scratch/pc/readme" "$root/tests/data/legacy/HWIMPODE.ZIP")
[ "$listing" = "      2009  TESTDAT1.TXT
       469  TESTDAT2.TXT
     81410  TESTDAT3.TXT" ] || { echo "package: the README example printed $listing" >&2; exit 1; }
check=$root/tests/package/check_examples.sh
"$check" "$scratch/pc" "$scratch/run"
"$check" "$scratch/cmake" "$scratch/run"
"$check" "$scratch/cmake" "$scratch/run" _static
"$check" "$scratch/build-tree" "$scratch/run"
# The Python module, installed by pip (without the package index) and finding the library
# through the system loader.
cp -r "$root/python" "$scratch/python-source"
/usr/bin/python3 -m pip install -q --root-user-action=ignore --no-build-isolation --no-index --target "$scratch/site" \
  "$scratch/python-source"
PYTHONPATH=$scratch/site /usr/bin/python3 -c '
import kestrel, sys
with kestrel.open(sys.argv[1]) as archive:
    print(kestrel.version(), [entry.name for entry in archive])' "$root/tests/data/legacy/HWIMPODE.ZIP"
echo "package: all checks passed"

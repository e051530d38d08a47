#!/usr/bin/env bash
# Builds every artefact and runs the whole test suite:
#   1. the Windows DLLs (i686 and x86_64) and the Windows test programs, with MinGW;
#   2. the native library, command and tests (unit, interop, windows-under-Wine), with g++;
#   3. the Debian package from that build, checked and used from a scratch root;
#   4. the unit tests and short fuzz runs again under AddressSanitizer and UBSan, with clang.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTREL_BUILD_ROOT:-$root/build}
fuzz_seconds=${KESTREL_FUZZ_SECONDS:-15}

configure() {  # configure DIR [cmake args...]
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DKESTREL_WERROR=ON "$@" >/dev/null
}

echo "== Windows builds (MinGW)"
configure "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_TESTS=OFF
cmake --build "$build/win32"
configure "$build/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_TESTS=ON
cmake --build "$build/win64"

echo "== Native build and tests"
configure "$build/linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTREL_WIN32_DIR="$build/win32" -DKESTREL_WIN64_DIR="$build/win64"
cmake --build "$build/linux"
# Cases labelled slow (huge files, tens of thousands of entries) run only when asked for.
slow_filter=(-LE slow)
[ "${KESTREL_SLOW_TESTS:-0}" = 1 ] && slow_filter=()
ctest --test-dir "$build/linux" --output-on-failure -j "$(nproc)" "${slow_filter[@]}"

echo "== Debian package"
"$root/scripts/package_test.sh" "$build/linux"

echo "== Sanitizer build: unit tests and fuzz runs (clang, ASan + UBSan)"
CC=clang CXX=clang++ configure "$build/sanitize" -DCMAKE_BUILD_TYPE=Debug \
  -DKESTREL_SANITIZE=ON -DKESTREL_BUILD_FUZZERS=ON -DKESTREL_FUZZ_SECONDS="$fuzz_seconds"
cmake --build "$build/sanitize"
ctest --test-dir "$build/sanitize" --output-on-failure -j "$(nproc)" -L 'unit|fuzz' -LE slow

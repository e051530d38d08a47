#!/usr/bin/env bash
# Runs examples/windows-host under Wine on a small tree and checks its work: the exact
# output, the exit status, and the unpacked tree equal to the source.
#   run_example_host.sh PREFIX HOST_EXE DLL_DIR WORKDIR
# The host and Kestrel64.dll are copied together into WORKDIR/bin, as an application ships.
set -euo pipefail
prefix=$1 dll_dir=$3 work=$4
runner=$(dirname "$0")
rm -rf "$work" && mkdir -p "$work/src/sub" "$work/bin"
cp "$2" "$dll_dir/Kestrel64.dll" "$work/bin/"
host=$work/bin/$(basename "$2")
printf 'hello\n' > "$work/src/hello.txt"
head -c 5000 /dev/zero | tr '\0' 'k' > "$work/src/sub/five.txt"
win() { echo "Z:${1//\//\\}"; }

status=0
out=$("$runner/run_wine.sh" "$prefix" "$host" "$(win "$work/src")" "$(win "$work")" \
  2>"$work/stderr" | tr -d '\r') || status=$?
expected="Kestrel 1.0.0.0
packed 2 files into example.zip
unpacked:
  hello.txt (6 bytes)
  sub\\five.txt (5000 bytes)"
# The listing's order is the directory's; sort it below the three header lines.
sorted=$(printf '%s\n' "$out" | sed -n 1,3p; printf '%s\n' "$out" | sed -n '4,$p' | sort)
if [ "$status" -ne 0 ] || [ "$sorted" != "$expected" ]; then
  printf 'exit status %s, output:\n%s\nstderr:\n' "$status" "$out"; cat "$work/stderr"
  exit 1
fi
diff -r "$work/src" "$work/unpacked"
unzip -tq "$work/example.zip"

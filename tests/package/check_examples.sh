#!/usr/bin/env bash
# Runs the examples (list, extract, create) on archives made by the peers and checks their
# exact output and exit status, the files they write, and create's archive with the peers.
#   check_examples.sh BIN_DIR WORK_DIR [SUFFIX]     (SUFFIX: _static for the static builds)
set -euo pipefail
bin=$1 work=$2 suffix=${3:-}
rm -rf "$work" && mkdir -p "$work/tree/docs"
cd "$work"
printf 'hello\n' > tree/hello.txt
seq 1 2000 > tree/docs/numbers.txt
find tree -exec touch -d '2024-05-06 07:08:10' {} +

fail() { echo "check_examples: $*" >&2; exit 1; }
expect() {  # expect STATUS EXPECTED_OUTPUT COMMAND...: exact stdout and exit status
  local status=$1 expected=$2 actual code=0; shift 2
  actual=$("$@" 2>"$work/stderr") || code=$?
  [ "$code" = "$status" ] || fail "$*: exit status $code, expected $status ($(cat "$work/stderr"))"
  [ "$actual" = "$expected" ] || fail "$*: output
$actual
expected
$expected"
}

zip -qr peer_zip.zip tree
# Python marks its non-ASCII name as UTF-8.
python3 - <<'PY'
import zipfile
with zipfile.ZipFile("peer_python.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.write("tree/hello.txt")
    z.write("tree/docs/numbers.txt")
    z.writestr(zipfile.ZipInfo("数据/说明.txt", (2024, 5, 6, 7, 8, 10)), "中文\n")
PY

listing='         0  stored    2024-05-06 07:08  tree/
         6  stored    2024-05-06 07:08  tree/hello.txt
         0  stored    2024-05-06 07:08  tree/docs/
      8893  deflated  2024-05-06 07:08  tree/docs/numbers.txt
      8899  4 entries'
expect 0 "$listing" "$bin/list$suffix" peer_zip.zip
listing='         6  deflated  2024-05-06 07:08  tree/hello.txt
      8893  deflated  2024-05-06 07:08  tree/docs/numbers.txt
         7  stored    2024-05-06 07:08  数据/说明.txt
      8906  3 entries'
expect 0 "$listing" "$bin/list$suffix" peer_python.zip
expect 1 "" "$bin/list$suffix" missing.zip

for peer in peer_zip peer_python; do
  "$bin/extract$suffix" $peer.zip "out_$peer" >/dev/null || fail "extract $peer.zip failed"
  diff -r tree "out_$peer/tree" || fail "extract $peer.zip: the tree differs"
done
expect 0 "one/数据/说明.txt" "$bin/extract$suffix" peer_python.zip one '数据/说明.txt'
[ "$(cat one/数据/说明.txt)" = "中文" ] || fail "extract of one entry: wrong data"
expect 1 "" "$bin/extract$suffix" peer_zip.zip none no-such-entry

created='tree/ (0 -> 0 bytes)
tree/docs/ (0 -> 0 bytes)
tree/docs/numbers.txt (8893 -> 4200 bytes)
tree/hello.txt (6 -> 6 bytes)'
expect 0 "$created" "$bin/create$suffix" made.zip tree
unzip -tqq made.zip || fail "unzip -t rejects create's archive"
python3 - <<'PY' || fail "zipfile reads create's archive differently"
import pathlib, zipfile
with zipfile.ZipFile("made.zip", metadata_encoding="gbk") as z:
    assert z.testzip() is None
    got = {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}
want = {p.as_posix(): p.read_bytes() for p in pathlib.Path("tree").rglob("*") if p.is_file()}
assert got == want, (sorted(got), sorted(want))
PY
echo "examples$suffix in $bin: all checks passed"

"""The Python binding against the peers: Python's zipfile reads what it writes and the
reverse, byte for byte, with non-ASCII names; the legacy methods; failures as exceptions."""
import os
import pathlib
import subprocess
import sys
import zipfile

import pytest

import kestrel

LEGACY = pathlib.Path(os.environ.get("KESTREL_LEGACY_DIR",
                                      pathlib.Path(__file__).parents[2] / "tests/data/legacy"))
# Names with characters outside ASCII (Chinese and Latin), stored and read in both directions.
FILES = {
    "readme.txt": b"plain text\n" * 100,
    "数据/报告.txt": "中文内容\n".encode() * 50,
    "数据/深/empty.bin": b"",
    "café/noise.bin": bytes((i * 7919) % 251 for i in range(70000)),
}


def make_tree(root):
    for name, data in FILES.items():
        path = root.joinpath(*name.split("/"))
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return root


def tree_contents(root):
    return {p.relative_to(root).as_posix(): p.read_bytes()
            for p in root.rglob("*") if p.is_file()}


def test_reads_and_extracts_what_zipfile_wrote(tmp_path):
    archive = tmp_path / "peer.zip"
    with zipfile.ZipFile(archive, "w") as z:
        for i, (name, data) in enumerate(FILES.items()):
            z.writestr(name, data, zipfile.ZIP_DEFLATED if i % 2 else zipfile.ZIP_STORED)
    with kestrel.open(archive) as a:
        assert [e.name for e in a] == list(FILES)
        assert [e.size for e in a] == [len(d) for d in FILES.values()]
        assert {n: a.read(n) for n in FILES} == FILES
        a.extractall(tmp_path / "all")
        one = a.extract("数据/报告.txt", tmp_path / "one")
    assert tree_contents(tmp_path / "all") == FILES
    assert pathlib.Path(one).read_bytes() == FILES["数据/报告.txt"]
    assert tree_contents(tmp_path / "one") == {"数据/报告.txt": FILES["数据/报告.txt"]}


def test_zipfile_reads_what_kestrel_wrote(tmp_path):
    tree = make_tree(tmp_path / "tree")
    archive = tmp_path / "made.zip"
    with kestrel.create(archive, level=9) as w:
        w.add(tree)
        w.write("extra/说明.txt", "从内存写入")
    expected = {f"tree/{n}": d for n, d in FILES.items()}
    expected["extra/说明.txt"] = "从内存写入".encode()
    # A name the library stores without the UTF-8 flag is in code page 936 (GBK).
    with zipfile.ZipFile(archive, metadata_encoding="gbk") as z:
        assert z.testzip() is None
        files = {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}
    assert files == expected
    assert subprocess.run(["unzip", "-tqq", str(archive)]).returncode == 0


def test_threads_give_the_same_archive_and_a_bad_count_raises(tmp_path):
    tree = make_tree(tmp_path / "tree")
    for n in range(40):
        (tree / f"many/{n}.txt").parent.mkdir(exist_ok=True)
        (tree / f"many/{n}.txt").write_bytes(bytes(range(n * 3 % 256)) * (n + 1))
    made = {}
    for threads in (1, 4, 0):
        made[threads] = tmp_path / f"t{threads}.zip"
        with kestrel.create(made[threads], threads=threads) as w:
            w.add(tree)
    assert made[1].read_bytes() == made[4].read_bytes() == made[0].read_bytes()
    assert subprocess.run(["unzip", "-tqq", str(made[4])]).returncode == 0
    with pytest.raises(kestrel.KestrelError) as error:
        kestrel.create(tmp_path / "bad.zip", threads=-1)
    assert error.value.code == -1 and "-1 threads" in error.value.message
    assert not (tmp_path / "bad.zip").exists()


def test_legacy_reduced_and_imploded_archives(tmp_path):
    # The three archives hold the same three files; unzip reads the imploded one (it cannot
    # read reduce), so its output is the reference for both.
    names = ["TESTDAT1.TXT", "TESTDAT2.TXT", "TESTDAT3.TXT"]
    reference = {n: subprocess.run(["unzip", "-p", str(LEGACY / "HWIMPODE.ZIP"), n],
                                   capture_output=True, check=True).stdout for n in names}
    for archive, methods in (("HWREDUCE.ZIP", [5, 0, 5]), ("HWIMPODE.ZIP", [6, 6, 6])):
        with kestrel.open(LEGACY / archive) as a:
            assert [(e.name, e.method) for e in a] == list(zip(names, methods))
            assert {n: a.read(n) for n in names} == reference
            a.extractall(tmp_path / archive)
        assert tree_contents(tmp_path / archive) == reference


def test_extract_takes_a_name_literally(tmp_path):
    archive = tmp_path / "brackets.zip"
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("a[1].txt", b"bracketed")
        z.writestr("a1.txt", b"plain")
    with kestrel.open(archive) as a:
        written = a.extract("a[1].txt", tmp_path / "out")
    assert written == str(tmp_path / "out" / "a[1].txt")
    assert tree_contents(tmp_path / "out") == {"a[1].txt": b"bracketed"}


def test_failures_raise_with_the_library_message(tmp_path):
    not_zip = tmp_path / "plain.zip"
    not_zip.write_bytes(b"not an archive" * 10)
    with pytest.raises(kestrel.KestrelError) as error:
        kestrel.open(not_zip)
    assert error.value.code == -4 and error.value.message
    with pytest.raises(kestrel.KestrelError) as error:
        kestrel.open(tmp_path / "missing.zip")
    assert error.value.code == -3

    hostile = tmp_path / "hostile.zip"
    with zipfile.ZipFile(hostile, "w") as z:
        z.writestr("../escaped.txt", b"outside")
        z.writestr("inside.txt", b"inside")
    with kestrel.open(hostile) as a:
        with pytest.raises(kestrel.KestrelError) as error:
            a.read("no such entry")
        assert error.value.code == -3
        with pytest.raises(kestrel.KestrelError) as error:
            a.extractall(tmp_path / "dest")
        assert error.value.code == -8 and "escaped.txt" in error.value.message
    assert not (tmp_path / "escaped.txt").exists()
    assert (tmp_path / "dest" / "inside.txt").read_bytes() == b"inside"


def test_extractall_on_threads_gives_the_one_thread_outcome(tmp_path):
    # Many small entries, a large stored one, an unsafe name in the middle and an existing
    # file to replace: the tree, the error and its message do not depend on the threads.
    files = {f"d{i % 7}/f{i}.txt": f"entry {i}\n".encode() * (i % 50 + 1) for i in range(300)}
    files["big/stored.bin"] = bytes(range(256)) * 8000
    archive = tmp_path / "many.zip"
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for i, (name, data) in enumerate(files.items()):
            z.writestr(name, data, zipfile.ZIP_STORED if name.startswith("big/") else None)
            if i == 150:
                z.writestr("../escaped.txt", b"outside")
    outcomes = set()
    for threads in (1, 4, 0):
        dest = tmp_path / f"t{threads}"
        (dest / "d3").mkdir(parents=True)
        (dest / "d3" / "f3.txt").write_bytes(b"old")
        with kestrel.open(archive) as a:
            with pytest.raises(kestrel.KestrelError) as error:
                a.extractall(dest, threads=threads)
            outcomes.add((error.value.code, error.value.message))
            assert tree_contents(dest) == files
    assert len(outcomes) == 1 and next(iter(outcomes))[0] == -8
    assert not (tmp_path / "escaped.txt").exists()
    with kestrel.open(archive) as a:
        with pytest.raises(kestrel.KestrelError) as error:
            a.extractall(tmp_path / "none", threads=-1)
        assert error.value.code == -1


def test_writer_left_by_an_exception_keeps_the_old_archive(tmp_path):
    archive = tmp_path / "keep.zip"
    with kestrel.create(archive) as w:
        w.write("old.txt", b"old")
    before = archive.read_bytes()
    with pytest.raises(RuntimeError):
        with kestrel.create(archive) as w:
            w.write("new.txt", b"new")
            raise RuntimeError("stop")
    assert archive.read_bytes() == before
    with kestrel.create(archive, update=True) as w:
        w.write("new.txt", b"new")
    with kestrel.open(archive) as a:
        assert {e.name: a.read(e.name) for e in a} == {"old.txt": b"old", "new.txt": b"new"}


def test_finds_the_library_beside_the_module_first(tmp_path):
    package = pathlib.Path(kestrel.__file__).parent
    copy = tmp_path / "kestrel"
    copy.mkdir()
    for source in package.glob("*.py"):
        (copy / source.name).write_bytes(source.read_bytes())
    library = pathlib.Path(kestrel._lib._name)
    (copy / "libkestrel.so.1").write_bytes(library.read_bytes())
    env = {k: v for k, v in os.environ.items() if k != "KESTREL_LIBRARY"}
    env["PYTHONPATH"] = str(tmp_path)
    script = "import kestrel; print(kestrel._lib._name, kestrel.version())"
    found = subprocess.run([sys.executable, "-c", script], env=env, cwd=tmp_path,
                           capture_output=True, text=True, check=True).stdout.split()
    assert found == [str(copy / "libkestrel.so.1"), kestrel.version()]
    env["KESTREL_LIBRARY"] = str(tmp_path / "nowhere.so")
    failed = subprocess.run([sys.executable, "-c", script], env=env, cwd=tmp_path,
                            capture_output=True, text=True)
    assert failed.returncode != 0 and "nowhere.so" in failed.stderr

// api_reader_test.cpp — the reading half of the entry-level interface, through kestrel.h only:
// peers' archives listed and extracted every way, enciphered entries, legacy methods, the
// selection and overwrite options, cancellation, and bad handles and callbacks.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <utility>
#include <vector>

#include "exports/unpack_fixture.h"
#include "kestrel.h"

namespace kestrel::testing {
namespace {

using Reader = std::unique_ptr<kestrel_reader, decltype(&kestrel_reader_close)>;

Reader Open(const fs::path& archive, const char* password = nullptr) {
  Reader reader(kestrel_reader_new(), &kestrel_reader_close);
  if (password != nullptr) kestrel_reader_set_password(reader.get(), password);
  EXPECT_EQ(kestrel_reader_open(reader.get(), archive.c_str()), KESTREL_OK)
      << kestrel_reader_error(reader.get());
  return reader;
}

int Collect(void* context, const void* data, size_t size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size);
  return 0;
}

// The entry's data through the write callback; the result code in *code.
std::string ReadEntry(kestrel_reader* reader, uint64_t index, int* code = nullptr) {
  std::string data;
  const int result = kestrel_reader_extract_to_callback(reader, index, &Collect, &data);
  if (code != nullptr) *code = result;
  else EXPECT_EQ(result, KESTREL_OK) << kestrel_reader_error(reader);
  return data;
}

// A tree of a few kinds of file: text, a larger binary, an empty file, a subdirectory.
void MakeTree(const fs::path& root) {
  std::string binary;
  std::mt19937 random(7);
  for (int i = 0; i < 300000; ++i) binary += char(random() % 7 == 0 ? random() : 'a' + i % 5);
  WriteBytes(root / "a.txt", "alpha\n");
  WriteBytes(root / "sub/b.bin", binary);
  WriteBytes(root / "sub/empty", "");
  fs::permissions(root / "a.txt", fs::perms(0640));
}

TEST(ApiReader, ListsAndExtractsZipsArchiveEveryWay) {
  if (!HavePeer("zip")) GTEST_SKIP() << "zip missing";
  ScratchFolder dir("api_read");
  MakeTree(dir / "tree");
  const fs::path archive = dir / "t.zip";
  ASSERT_EQ(Shell("cd " + Quoted(dir / "tree") + " && echo 'the comment' | zip -qr -z " +
                  Quoted(archive) + " ."), 0);
  Reader reader = Open(archive);
  const char* comment = nullptr;
  ASSERT_EQ(kestrel_reader_comment(reader.get(), &comment), KESTREL_OK);
  EXPECT_STREQ(comment, "the comment");

  std::map<std::string, kestrel_entry> byName;
  kestrel_entry entry;
  uint64_t seen = 0;
  while (kestrel_reader_next(reader.get(), &entry) == KESTREL_OK) {
    EXPECT_EQ(entry.index, seen++);
    byName[entry.name] = entry;
  }
  uint64_t count = 0;
  ASSERT_EQ(kestrel_reader_count(reader.get(), &count), KESTREL_OK);
  EXPECT_EQ(count, seen);
  ASSERT_EQ(byName.count("sub/"), 1u);
  EXPECT_TRUE(byName["sub/"].is_directory);
  const kestrel_entry& a = byName["a.txt"];
  EXPECT_EQ(a.uncompressed_size, 6u);
  EXPECT_EQ(a.unix_mode, 0100640u);
  EXPECT_EQ(a.crc32, BitwiseCrc32("alpha\n"));
  EXPECT_FALSE(a.is_directory || a.encrypted || a.is_symlink);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "tree/a.txt").c_str(), &st), 0);
  EXPECT_LE(std::abs(a.mtime - int64_t(st.st_mtime)), 2);  // DOS times step by 2 s

  const std::string binary = ReadBytes(dir / "tree/sub/b.bin");
  const kestrel_entry& b = byName["sub/b.bin"];
  EXPECT_EQ(ReadEntry(reader.get(), b.index), binary);
  EXPECT_EQ(ReadEntry(reader.get(), byName["sub/empty"].index), "");

  const fs::path viaFd = dir / "fd.bin";
  const int fd = ::open(viaFd.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(kestrel_reader_extract_to_fd(reader.get(), b.index, fd), KESTREL_OK);
  ::close(fd);
  EXPECT_EQ(ReadBytes(viaFd), binary);

  const fs::path viaPath = dir / "new/dirs/b.bin";
  EXPECT_EQ(kestrel_reader_extract_to_path(reader.get(), b.index, viaPath.c_str()), KESTREL_OK);
  EXPECT_EQ(ReadBytes(viaPath), binary);
  EXPECT_EQ(kestrel_reader_test(reader.get(), b.index), KESTREL_OK);

  kestrel_entry found;
  EXPECT_EQ(kestrel_reader_find(reader.get(), "sub/b.bin", &found), KESTREL_OK);
  EXPECT_EQ(found.index, b.index);
  EXPECT_EQ(kestrel_reader_find(reader.get(), "nope", &found), KESTREL_E_NOT_FOUND);
  EXPECT_STREQ(kestrel_reader_error(reader.get()), "nope: no such entry");

  ASSERT_EQ(kestrel_reader_extract_all(reader.get(), (dir / "all").c_str(), nullptr), KESTREL_OK)
      << kestrel_reader_error(reader.get());
  EXPECT_EQ(Shell("diff -r " + Quoted(dir / "tree") + " " + Quoted(dir / "all")), 0);
}

TEST(ApiReader, EveryLegacyEntryDecodesWithItsCrc) {
  int entries = 0;
  for (const auto& file : fs::directory_iterator(fs::path(KESTREL_TEST_DATA) / "legacy")) {
    if (file.path().extension() == ".md") continue;
    Reader reader = Open(file.path());
    kestrel_entry entry;
    while (kestrel_reader_next(reader.get(), &entry) == KESTREL_OK) {
      const std::string data = ReadEntry(reader.get(), entry.index);
      EXPECT_EQ(BitwiseCrc32(data), entry.crc32) << file.path() << " " << entry.name;
      EXPECT_EQ(data.size(), entry.uncompressed_size);
      ++entries;
    }
  }
  EXPECT_GT(entries, 9);
}

// zip -P and 7z -p write the traditional cipher (7z with or without a descriptor).
TEST(ApiReader, EncipheredEntriesNeedTheRightPassword) {
  ScratchFolder dir("api_cipher");
  MakeTree(dir / "tree");
  std::vector<fs::path> archives;
  if (HavePeer("zip")) {
    archives.push_back(dir / "zip.zip");
    ASSERT_EQ(Shell("cd " + Quoted(dir / "tree") + " && zip -qr -P s3cret " + Quoted(archives.back()) + " ."), 0);
  }
  if (HavePeer("7z")) {
    archives.push_back(dir / "7z.zip");
    ASSERT_EQ(Shell("cd " + Quoted(dir / "tree") + " && 7z a -tzip -ps3cret -mem=ZipCrypto " +
                    Quoted(archives.back()) + " . >/dev/null"), 0);
  }
  if (archives.empty()) GTEST_SKIP() << "no peer";
  const std::string binary = ReadBytes(dir / "tree/sub/b.bin");
  for (const fs::path& archive : archives) {
    kestrel_entry b;
    Reader none = Open(archive);
    ASSERT_EQ(kestrel_reader_find(none.get(), "sub/b.bin", &b), KESTREL_OK);
    EXPECT_TRUE(b.encrypted);
    int code = 0;
    ReadEntry(none.get(), b.index, &code);
    EXPECT_EQ(code, KESTREL_E_PASSWORD);
    EXPECT_STREQ(kestrel_reader_error(none.get()), "sub/b.bin: encrypted (a password is needed)");
    Reader wrong = Open(archive, "guess");
    EXPECT_EQ(kestrel_reader_test(wrong.get(), b.index), KESTREL_E_PASSWORD);
    EXPECT_STREQ(kestrel_reader_error(wrong.get()), "sub/b.bin: incorrect password");
    Reader right = Open(archive, "s3cret");
    EXPECT_EQ(ReadEntry(right.get(), b.index), binary) << archive;
    ASSERT_EQ(kestrel_reader_extract_all(right.get(), (dir / archive.stem()).c_str(), nullptr), KESTREL_OK)
        << kestrel_reader_error(right.get());
    EXPECT_EQ(Shell("diff -r " + Quoted(dir / "tree") + " " + Quoted(dir / archive.stem())), 0);
  }
}

struct Outcome {
  std::map<std::string, std::pair<int, std::string>> entries;  // name -> result, message
  static void Record(void* self, const kestrel_entry* entry, int result, const char* message,
                     const char*) {
    static_cast<Outcome*>(self)->entries[entry->name] = {result, message};
  }
};

TEST(ApiReader, ExtractAllSelectsJunksRefusesAndKeepsExistingFiles) {
  ScratchFolder dir("api_all");
  const fs::path archive = dir / "p.zip";
  WritePyZip(archive, {{"docs/a.txt", "A"}, {"docs/b.log", "B"}, {"src/c.txt", "C"},
                       {"../evil.txt", "E"}, {"src/old.txt", "new"}});
  WriteBytes(dir / "out/src/old.txt", "old");
  Reader reader = Open(archive);
  const char* include[] = {"*.txt"};
  const char* exclude[] = {"docs/*"};
  Outcome outcome;
  kestrel_extract_options options{};
  options.include = include;
  options.include_count = 1;
  options.exclude = exclude;
  options.exclude_count = 1;
  options.entry_done = &Outcome::Record;
  options.entry_context = &outcome;
  EXPECT_EQ(kestrel_reader_extract_all(reader.get(), (dir / "out").c_str(), &options), KESTREL_E_UNSAFE);
  EXPECT_STREQ(kestrel_reader_error(reader.get()),
               "2 of 3 entries failed; the first: ../evil.txt: unsafe name (would be written "
               "outside the destination)");
  EXPECT_EQ(outcome.entries.size(), 3u);
  EXPECT_EQ(outcome.entries["src/c.txt"].first, KESTREL_OK);
  EXPECT_EQ(outcome.entries["src/old.txt"],
            std::make_pair(int(KESTREL_E_EXISTS), "exists, not replaced: " + (dir / "out/src/old.txt").string()));
  EXPECT_EQ(ReadBytes(dir / "out/src/old.txt"), "old");
  EXPECT_FALSE(fs::exists(dir / "out/docs"));
  EXPECT_FALSE(fs::exists(dir / "evil.txt"));

  // Asked: rename the first existing file, then replace all.
  struct Asker {
    int asked = 0;
    std::string renameTo;
    static int Ask(void* self, const char*, const char*, char* newPath, size_t size) {
      auto* a = static_cast<Asker*>(self);
      if (a->asked++ > 0) return KESTREL_ANSWER_ALL;
      std::snprintf(newPath, size, "%s", a->renameTo.c_str());
      return KESTREL_ANSWER_RENAME;
    }
  } asker{0, (dir / "out/renamed.txt").string()};
  kestrel_extract_options ask{};
  ask.overwrite = KESTREL_OVERWRITE_ASK;
  ask.ask = &Asker::Ask;
  ask.ask_context = &asker;
  ask.junk_paths = 1;
  const char* texts[] = {"src/*"};
  ask.include = texts;
  ask.include_count = 1;
  WriteBytes(dir / "out/c.txt", "old c");
  WriteBytes(dir / "out/old.txt", "old");
  EXPECT_EQ(kestrel_reader_extract_all(reader.get(), (dir / "out").c_str(), &ask), KESTREL_OK);
  EXPECT_EQ(asker.asked, 2);
  EXPECT_EQ(ReadBytes(dir / "out/c.txt"), "old c");
  EXPECT_EQ(ReadBytes(dir / "out/renamed.txt"), "C");
  EXPECT_EQ(ReadBytes(dir / "out/old.txt"), "new");

  const char* nothing[] = {"*.none"};
  ask.include = nothing;
  EXPECT_EQ(kestrel_reader_extract_all(reader.get(), (dir / "out").c_str(), &ask), KESTREL_E_NOT_FOUND);
}

TEST(ApiReader, ProgressCancelsAndLeavesNoFile) {
  ScratchFolder dir("api_cancel");
  std::string big(4 << 20, 'x');
  for (size_t i = 0; i < big.size(); i += 97) big[i] = char(i);
  const fs::path archive = dir / "big.zip";
  WritePyZip(archive, {{"big.bin", big}});
  Reader reader = Open(archive);
  struct Counter {
    int calls = 0;
    uint64_t last = 0, total = 0;
    static int Stop(void* self, const char* name, uint64_t done, uint64_t total) {
      auto* c = static_cast<Counter*>(self);
      EXPECT_STREQ(name, "big.bin");
      c->last = done;
      c->total = total;
      return ++c->calls >= 3;
    }
  } counter;
  kestrel_reader_set_progress(reader.get(), &Counter::Stop, &counter);
  EXPECT_EQ(kestrel_reader_extract_to_path(reader.get(), 0, (dir / "big.bin").c_str()), KESTREL_E_CANCELLED);
  EXPECT_FALSE(fs::exists(dir / "big.bin"));
  EXPECT_EQ(counter.total, big.size());
  EXPECT_GT(counter.last, 0u);
  EXPECT_LT(counter.last, big.size());
  kestrel_reader_set_progress(reader.get(), nullptr, nullptr);
  EXPECT_EQ(kestrel_reader_extract_to_path(reader.get(), 0, (dir / "big.bin").c_str()), KESTREL_OK);
  EXPECT_EQ(ReadBytes(dir / "big.bin"), big);
}

// The callback stays with the reader, but each call reports on its own: bytes from 0 up to
// that call's total, and a cancel ends that call alone.
TEST(ApiReader, ProgressCountsEachCallOnItsOwn) {
  ScratchFolder dir("api_progress_calls");
  const std::string a(300000, 'a'), b(200000, 'b');
  WritePyZip(dir / "two.zip", {{"a.bin", a}, {"b.bin", b}});
  Reader reader = Open(dir / "two.zip");
  struct Seen {
    bool cancel = true;
    std::vector<std::pair<uint64_t, uint64_t>> reports;  // bytes done, bytes total
    static int On(void* self, const char*, uint64_t done, uint64_t total) {
      auto* s = static_cast<Seen*>(self);
      s->reports.emplace_back(done, total);
      return s->cancel ? 1 : 0;
    }
    // Every report of the call had this total, and the bytes rose to it.
    void ExpectCall(uint64_t total) {
      ASSERT_FALSE(reports.empty());
      for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].second, total);
        if (i > 0) {
          EXPECT_GE(reports[i].first, reports[i - 1].first);
        }
      }
      EXPECT_EQ(reports.back().first, total);
      reports.clear();
    }
  } seen;
  kestrel_reader_set_progress(reader.get(), &Seen::On, &seen);
  EXPECT_EQ(kestrel_reader_extract_to_path(reader.get(), 1, (dir / "b.bin").c_str()),
            KESTREL_E_CANCELLED);
  ASSERT_EQ(seen.reports.size(), 1u);
  EXPECT_EQ(seen.reports[0].second, b.size());
  seen.reports.clear();
  seen.cancel = false;
  EXPECT_EQ(kestrel_reader_extract_all(reader.get(), (dir / "out").c_str(), nullptr), KESTREL_OK);
  EXPECT_LE(seen.reports.front().first, a.size());
  seen.ExpectCall(a.size() + b.size());
  EXPECT_EQ(kestrel_reader_test(reader.get(), 1), KESTREL_OK);
  seen.ExpectCall(b.size());
  EXPECT_EQ(ReadBytes(dir / "out/b.bin"), b);
}

struct MemoryStream {
  std::string bytes;
  size_t at = 0;
  bool failRead = false;
  static int64_t Read(void* self, void* buffer, size_t size) {
    auto* m = static_cast<MemoryStream*>(self);
    if (m->failRead) return -1;
    const size_t n = std::min(size, m->bytes.size() - m->at);
    std::memcpy(buffer, m->bytes.data() + m->at, n);
    m->at += n;
    return int64_t(n);
  }
  static int64_t Seek(void* self, int64_t offset, int whence) {
    auto* m = static_cast<MemoryStream*>(self);
    if (whence != SEEK_SET) return -1;
    m->at = size_t(offset);
    return offset;
  }
};

TEST(ApiReader, CallbacksAndBadInputGiveCodesAndMessages) {
  ScratchFolder dir("api_bad");
  const fs::path archive = dir / "m.zip";
  WritePyZip(archive, {{"x.txt", "hello"}});
  MemoryStream stream{ReadBytes(archive), 3};
  Reader reader(kestrel_reader_new(), &kestrel_reader_close);
  ASSERT_EQ(kestrel_reader_open_callbacks(reader.get(), &MemoryStream::Read, &MemoryStream::Seek, &stream), KESTREL_OK);
  EXPECT_EQ(ReadEntry(reader.get(), 0), "hello");
  EXPECT_EQ(kestrel_reader_open(reader.get(), archive.c_str()), KESTREL_E_INVALID);
  const auto failing = [](void*, const void*, size_t) { return 1; };
  EXPECT_EQ(kestrel_reader_extract_to_callback(reader.get(), 0, failing, nullptr), KESTREL_E_CALLBACK);
  EXPECT_STREQ(kestrel_reader_error(reader.get()), "x.txt: the write callback reported a failure");
  EXPECT_EQ(kestrel_reader_test(reader.get(), 1), KESTREL_E_NOT_FOUND);
  // A call made from inside a callback is refused; the call in progress goes on unharmed.
  struct Nested {
    kestrel_reader* reader;
    int inner = 1;
    static int Write(void* self, const void*, size_t) {
      auto* n = static_cast<Nested*>(self);
      n->inner = kestrel_reader_test(n->reader, 0);
      return 0;
    }
  } nested{reader.get()};
  EXPECT_EQ(kestrel_reader_extract_to_callback(reader.get(), 0, &Nested::Write, &nested), KESTREL_OK);
  EXPECT_EQ(nested.inner, KESTREL_E_INVALID);
  EXPECT_EQ(kestrel_reader_extract_to_fd(reader.get(), 0, -1), KESTREL_E_INVALID);

  Reader broken(kestrel_reader_new(), &kestrel_reader_close);
  stream.failRead = true;
  EXPECT_EQ(kestrel_reader_open_callbacks(broken.get(), &MemoryStream::Read, nullptr, &stream), KESTREL_E_CALLBACK);
  EXPECT_EQ(kestrel_reader_test(broken.get(), 0), KESTREL_E_INVALID);
  EXPECT_STREQ(kestrel_reader_error(broken.get()), "the reader has no archive open");

  Reader missing(kestrel_reader_new(), &kestrel_reader_close);
  EXPECT_EQ(kestrel_reader_open(missing.get(), (dir / "none.zip").c_str()), KESTREL_E_NOT_FOUND);
  WriteBytes(dir / "text.zip", "not an archive at all");
  Reader text(kestrel_reader_new(), &kestrel_reader_close);
  EXPECT_EQ(kestrel_reader_open(text.get(), (dir / "text.zip").c_str()), KESTREL_E_NOT_ZIP);
  EXPECT_EQ(kestrel_reader_set_code_page(text.get(), 123456), KESTREL_E_INVALID);

  kestrel_entry entry;
  uint64_t count;
  EXPECT_EQ(kestrel_reader_next(nullptr, &entry), KESTREL_E_INVALID);
  EXPECT_EQ(kestrel_reader_count(nullptr, &count), KESTREL_E_INVALID);
  EXPECT_EQ(kestrel_reader_extract_all(nullptr, "x", nullptr), KESTREL_E_INVALID);
  EXPECT_EQ(kestrel_reader_entry(reader.get(), 0, nullptr), KESTREL_E_INVALID);
  EXPECT_STRNE(kestrel_reader_error(nullptr), "");
  kestrel_reader_close(nullptr);
}

TEST(ApiReader, PatternsMatchLikeUnzip) {
  EXPECT_TRUE(kestrel_pattern_match("*.txt", "a/b/c.txt"));
  EXPECT_TRUE(kestrel_pattern_match("a/?.t[x-z]t", "a/b.txt"));
  EXPECT_FALSE(kestrel_pattern_match("a/[!b].txt", "a/b.txt"));
  EXPECT_TRUE(kestrel_pattern_match("?.txt", "说.txt"));
  EXPECT_TRUE(kestrel_pattern_match("[", "["));
  EXPECT_FALSE(kestrel_pattern_match("*.txt", "a.txt.bak"));
  EXPECT_TRUE(kestrel_pattern_match("*a*a*a*a*b", std::string(200, 'a').append("b").c_str()));
}


// Names marked UTF-8, and names in a code page the reader is told, list and unpack under the
// names they stand for.
TEST(ApiReader, NamesAreDecodedForListingAndForTheFilesCreated) {
  ScratchFolder dir("api_names");
  const fs::path archive = dir / "n.zip";
  ASSERT_EQ(Shell("python3 -c \"import zipfile; z = zipfile.ZipFile('" + archive.string() +
                  "', 'w'); z.writestr('名字/é.txt', 'u'); z.close()\""), 0);
  Reader reader = Open(archive);
  kestrel_entry entry;
  ASSERT_EQ(kestrel_reader_find(reader.get(), "名字/é.txt", &entry), KESTREL_OK);
  ASSERT_EQ(kestrel_reader_extract_all(reader.get(), (dir / "utf8").c_str(), nullptr), KESTREL_OK)
      << kestrel_reader_error(reader.get());
  EXPECT_EQ(ReadBytes(dir / "utf8/名字/é.txt"), "u");

  WritePyZip(dir / "cp437.zip", {{"cafX.txt", "c"}});
  std::string bytes = ReadBytes(dir / "cp437.zip");
  for (size_t at; (at = bytes.find("cafX")) != std::string::npos;) bytes[at + 3] = '\x82';  // é in 437
  WriteBytes(dir / "cp437.zip", bytes);
  Reader legacy(kestrel_reader_new(), &kestrel_reader_close);
  ASSERT_EQ(kestrel_reader_set_code_page(legacy.get(), 437), KESTREL_OK);
  ASSERT_EQ(kestrel_reader_open(legacy.get(), (dir / "cp437.zip").c_str()), KESTREL_OK);
  ASSERT_EQ(kestrel_reader_entry(legacy.get(), 0, &entry), KESTREL_OK);
  EXPECT_STREQ(entry.name, "café.txt");
  ASSERT_EQ(kestrel_reader_extract_all(legacy.get(), (dir / "cp437").c_str(), nullptr), KESTREL_OK)
      << kestrel_reader_error(legacy.get());
  EXPECT_EQ(ReadBytes(dir / "cp437/café.txt"), "c");
}

}  // namespace
}  // namespace kestrel::testing

// api_host_cancel_test.cpp — the host's cancel request (kestrel_set_cancel, meant for ZipFile
// and UnZipFile) neither stops the entry-level interface's calls nor is taken by them: set
// while a commit or an extraction runs, they finish, and the request is still there for the
// UnZipFile after them. A repairing open asks the reader's own progress callback instead.
#include "exports/unpack_fixture.h"
#include "kestrel.h"

namespace kestrel::testing {
namespace {

// A progress callback that requests the host's cancel as soon as the call reports.
int RequestHostCancel(void* calls, const char*, uint64_t, uint64_t) {
  ++*static_cast<int*>(calls);
  kestrel_set_cancel(1);
  return 0;
}

class ApiHostCancel : public ::testing::Test {
 protected:
  void SetUp() override { kestrel_set_cancel(0); }
  void TearDown() override { kestrel_set_cancel(0); }
};

TEST_F(ApiHostCancel, InterfaceCallsRunToTheirEndAndLeaveTheRequest) {
  ScratchFolder dir("api_host_cancel");
  std::string data(3 << 20, '\0');
  std::mt19937 random(3);
  for (size_t i = 0; i < data.size(); ++i) data[i] = i % 5 != 0 ? char('a' + i % 23) : char(random());
  WriteBytes(dir / "src" / "big.bin", data);
  WriteBytes(dir / "src" / "small.txt", "small\n");

  kestrel_writer* w = nullptr;
  ASSERT_EQ(kestrel_writer_open((dir / "a.zip").c_str(), KESTREL_WRITE_CREATE, &w), KESTREL_OK);
  kestrel_add_options add{};
  add.recurse = 1;
  add.base_dir = dir.root().c_str();
  ASSERT_EQ(kestrel_writer_add_path(w, (dir / "src").c_str(), &add), KESTREL_OK);
  int calls = 0;
  EXPECT_EQ(kestrel_writer_commit(w, &RequestHostCancel, &calls), KESTREL_OK) << kestrel_writer_error(w);
  kestrel_writer_close(w);
  EXPECT_GT(calls, 1);
  EXPECT_EQ(Shell("unzip -tqq " + Quoted(dir / "a.zip")), 0);

  kestrel_reader* r = kestrel_reader_new();
  ASSERT_EQ(kestrel_reader_open(r, (dir / "a.zip").c_str()), KESTREL_OK) << kestrel_reader_error(r);
  calls = 0;
  kestrel_reader_set_progress(r, &RequestHostCancel, &calls);
  EXPECT_EQ(kestrel_reader_extract_all(r, (dir / "out").c_str(), nullptr), KESTREL_OK)
      << kestrel_reader_error(r);
  kestrel_reader_close(r);
  EXPECT_GT(calls, 1);
  EXPECT_TRUE(ReadBytes(dir / "out" / "src" / "big.bin") == data);
  EXPECT_EQ(ReadBytes(dir / "out" / "src" / "small.txt"), "small\n");

  // Not taken by any of them: the next UnZipFile acts on it.
  std::string archive, dest;
  ASSERT_TRUE(os::host::DrivePath((dir / "a.zip").string(), archive));
  ASSERT_TRUE(os::host::DrivePath((dir / "again").string(), dest));
  EXPECT_EQ(UnZipFile(archive.c_str(), dest.c_str(), ""), 1);
  EXPECT_STREQ(kestrel_last_error(), "cancelled");
  EXPECT_FALSE(fs::exists(dir / "again" / "src" / "small.txt"));
}

TEST_F(ApiHostCancel, ARepairingOpenAsksTheReadersProgressCallback) {
  ScratchFolder dir("api_open_cancel");
  // Forty stored entries behind 100 kB of other data, and no central directory: only the
  // scan finds them, and looks for the first one byte by byte.
  const fs::path archive = dir / "cut.zip";
  ASSERT_EQ(Shell("python3 -c \"import zipfile\n"
                  "with zipfile.ZipFile('" + archive.string() + "', 'w') as z:\n"
                  "  for i in range(40): z.writestr('f%02d.txt' % i, 'abcdefghij' * 2000)\n"
                  "d = open('" + archive.string() + "', 'rb').read()\n"
                  "open('" + archive.string() + "', 'wb').write(b'x' * 100000 + d[:d.index(b'PK\\x01\\x02')])\""),
            0);
  struct Asked {
    int calls = 0;
    int answer = 0;
  };
  const auto open = [&](Asked& asked, uint64_t& count) {
    kestrel_reader* r = kestrel_reader_new();
    kestrel_reader_set_directory_source(r, KESTREL_DIRECTORY_REPAIR);
    kestrel_reader_set_progress(r, [](void* c, const char* name, uint64_t done, uint64_t total) {
      auto* a = static_cast<Asked*>(c);
      ++a->calls;
      return *name == '\0' && done == 0 && total == 0 ? a->answer : -1;
    }, &asked);
    const int result = kestrel_reader_open(r, archive.c_str());
    const std::string message = kestrel_reader_error(r);
    count = 0;
    if (result == KESTREL_OK) kestrel_reader_count(r, &count);
    kestrel_reader_close(r);
    return std::make_pair(result, message);
  };
  Asked goOn, stop{0, 1};
  uint64_t count = 0;
  kestrel_set_cancel(1);  // not the host's request: the callback's answer counts
  EXPECT_EQ(open(goOn, count), std::make_pair(int(KESTREL_OK), std::string()));
  EXPECT_EQ(count, 40u);
  EXPECT_GT(goOn.calls, 1);
  EXPECT_EQ(open(stop, count), std::make_pair(int(KESTREL_E_CANCELLED), archive.string() + ": cancelled"));
  EXPECT_EQ(stop.calls, 1);
}

}  // namespace
}  // namespace kestrel::testing

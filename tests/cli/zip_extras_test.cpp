// The password and multi-volume options of kestrel zip: parsing, sizes, the password file,
// and what they set on the component.
#include "cli/zip_extras.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "writer/lyn_zip.h"

namespace kestrel::cli {
namespace {

TEST(ZipExtras, SizesTakeKAndMSuffixes) {
  int32_t b = 0;
  EXPECT_TRUE(ParseSize("1457600", b));
  EXPECT_EQ(b, 1457600);
  EXPECT_TRUE(ParseSize("64k", b));
  EXPECT_EQ(b, 65536);
  EXPECT_TRUE(ParseSize("2M", b));
  EXPECT_EQ(b, 2 * 1024 * 1024);
  for (const char* bad : {"", "0", "k", "12x", "-5", "3g", "2048m", "99999999999"})
    EXPECT_FALSE(ParseSize(bad, b)) << bad;
}

TEST(ZipExtras, OptionsAreTakenOutOfTheArguments) {
  std::vector<std::string> args = {"a.zip", "--split", "64k", "src", "-r", "--password-file", "pw"};
  ZipExtras extras;
  std::string error;
  ASSERT_TRUE(TakeZipExtras(args, extras, error)) << error;
  EXPECT_EQ(args, (std::vector<std::string>{"a.zip", "src", "-r"}));
  EXPECT_EQ(extras.splitSize, 65536);
  EXPECT_EQ(extras.passwordFile, "pw");

  struct Bad {
    std::vector<std::string> args;
    const char* error;
  } bad[] = {
      {{"--split"}, "--split needs a value"},
      {{"--split", "lots"}, "--split needs a size in bytes (k or m for KiB or MiB), not 'lots'"},
      {{"--split", "1m", "--span"}, "--split and --span cannot be used together"},
      {{"--password", "--password-file", "f"},
       "--password and --password-file cannot be used together"},
  };
  for (Bad& b : bad) {
    ZipExtras e;
    EXPECT_FALSE(TakeZipExtras(b.args, e, error));
    EXPECT_EQ(error, b.error);
  }
}

TEST(ZipExtras, PasswordFileGivesItsFirstLine) {
  const std::string path = ::testing::TempDir() + "kestrel-password";
  std::ofstream(path, std::ios::binary) << "s3cret words\r\nsecond line\n";
  ZipExtras extras;
  extras.passwordFile = path;
  std::string error;
  ASSERT_TRUE(ResolvePassword(extras, error)) << error;
  EXPECT_EQ(extras.password, "s3cret words");

  std::ofstream(path, std::ios::binary) << "\n";
  EXPECT_FALSE(ResolvePassword(extras, error));
  EXPECT_EQ(error, "the password is empty");
  std::remove(path.c_str());
  EXPECT_FALSE(ResolvePassword(extras, error));
  EXPECT_EQ(error, "cannot read a password from " + path);
  ZipExtras none;
  EXPECT_TRUE(ResolvePassword(none, error));
  EXPECT_EQ(none.password, "");
}

TEST(ZipExtras, AppliedToTheComponent) {
  ZipExtras extras;
  extras.password = "pw";
  extras.splitSize = 100000;
  writer::TLynZip zip;
  ApplyZipExtras(extras, zip);
  EXPECT_EQ(zip.Password(), "pw");
  EXPECT_EQ(zip.MultiMode(), archive::mmBlocks);
  EXPECT_EQ(zip.MultiZipInfo().BlockSize, 100000);
  EXPECT_EQ(zip.MultiZipInfo().FirstBlockSize, 100000);
  ZipExtras span;
  span.span = true;
  writer::TLynZip spanned;
  ApplyZipExtras(span, spanned);
  EXPECT_EQ(spanned.MultiMode(), archive::mmSpan);
  EXPECT_EQ(spanned.Password(), "");
}

}  // namespace
}  // namespace kestrel::cli

namespace kestrel::cli {
namespace {

// The command with the options: an enciphered archive the peers open with the password from
// the file, and block files of the size asked for.
TEST(ZipExtrasCommand, PasswordFileAndSplitReachTheArchive) {
  const std::string dir = ::testing::TempDir() + "kestrel-zip-extras";
  const std::string run = "cd '" + dir + "' && ";
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/src' && " + run +
                         "head -c 250000 /dev/urandom > src/r.bin && echo hi > src/a.txt && "
                         "printf 'pw one\\n' > pw")
                            .c_str()),
            0);
  const std::string cli = std::string("'") + KESTREL_CLI_PATH + "'";
  EXPECT_EQ(std::system((run + cli + " zip e.zip src --password-file pw 2>/dev/null").c_str()), 0);
  EXPECT_EQ(std::system((run + "unzip -tq -P 'pw one' e.zip >/dev/null").c_str()), 0);
  EXPECT_NE(std::system((run + "unzip -tq -P 'pw two' e.zip >/dev/null 2>&1").c_str()), 0);
  EXPECT_EQ(std::system((run + cli + " zip s.zip src --split 100k 2>/dev/null").c_str()), 0);
  EXPECT_EQ(std::system((run + "test $(stat -c %s s.001) -eq 102400 && test -f s.003 && "
                               "! test -e s.zip && mv s.001 s.z01 && mv s.002 s.z02 && "
                               "mv s.003 s.zip && zip -q -s 0 s.zip --out j.zip && unzip -tq j.zip")
                            .c_str()),
            0);
  EXPECT_NE(std::system((run + cli + " zip t.zip src --split 0 2>/dev/null").c_str()), 0);
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
}  // namespace kestrel::cli

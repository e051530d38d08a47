// The command line of kestrel zip: combined flags, pattern lists, -d's patterns after the
// archive, value options, sizes, and the contradictions refused before anything runs.
#include "cli/zip_options.h"

#include <gtest/gtest.h>

namespace kestrel::cli {
namespace {

TEST(ZipOptions, FlagsListsAndValues) {
  ZipOptions o;
  std::string error;
  ASSERT_TRUE(ParseZipOptions({"-rq9", "a.zip", "src", "x.c", "-x", "*.o", "tmp/*", "-j",
                               "--split", "64k", "--comment", "c", "--", "-odd"},
                              o, error))
      << error;
  EXPECT_EQ(o.archive, "a.zip");
  EXPECT_EQ(o.sources, (std::vector<std::string>{"src", "x.c", "-odd"}));
  EXPECT_EQ(o.exclude, (std::vector<std::string>{"*.o", "tmp/*"}));
  EXPECT_TRUE(o.recurse && o.junkPaths && o.commentGiven);
  EXPECT_EQ(o.verbosity, ZipVerbosity::Quiet);
  EXPECT_EQ(o.level, 9);
  EXPECT_EQ(o.splitSize, 65536u);

  ZipOptions d;
  ASSERT_TRUE(ParseZipOptions({"-d", "a.zip", "*.o", "b/*"}, d, error)) << error;
  EXPECT_TRUE(d.deleteMode);
  EXPECT_EQ(d.sources, (std::vector<std::string>{"*.o", "b/*"}));
}

TEST(ZipOptions, SizesTakeKAndMSuffixes) {
  uint32_t b = 0;
  EXPECT_TRUE(ParseSize("1457600", b));
  EXPECT_EQ(b, 1457600u);
  EXPECT_TRUE(ParseSize("2M", b));
  EXPECT_EQ(b, 2u * 1024 * 1024);
  for (const char* bad : {"", "0", "k", "12x", "-5", "3g", "2048m", "99999999999"})
    EXPECT_FALSE(ParseSize(bad, b)) << bad;
}

TEST(ZipOptions, ContradictionsAreUsageErrors) {
  struct Bad {
    std::vector<std::string> args;
    const char* error;
  } bad[] = {
      {{"a.zip", "-P"}, "-P needs a value"},
      {{"a.zip", "src", "-x"}, "-x needs at least one pattern"},
      {{"-e", "-P", "p", "a.zip"}, "give the password one way only: -e, -P or --password-file"},
      {{"--split", "1m", "--span", "--floppy", "d", "a.zip"},
       "--split and --span cannot be used together"},
      {{"-z", "--comment", "c", "a.zip"}, "-z and --comment cannot be used together"},
      {{"-z", "-@", "a.zip"}, "-z and -@ cannot both read standard input"},
      {{"-d", "a.zip"}, "-d needs the patterns of the entries to delete after the archive"},
  };
  for (const Bad& b : bad) {
    ZipOptions o;
    std::string error;
    EXPECT_FALSE(ParseZipOptions(b.args, o, error)) << b.error;
    EXPECT_EQ(error, b.error);
  }
}

}  // namespace
}  // namespace kestrel::cli

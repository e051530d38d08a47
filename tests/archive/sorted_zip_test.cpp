// TSortedZip: every TZipSortMode comparison and its effect on a sorted list.
#include "archive/sorted_zip.h"

#include <gtest/gtest.h>

#include <memory>

#include "classlib/exception.h"

namespace kestrel::archive {
namespace {

std::unique_ptr<TZipHeaderInfo> Entry(const std::string& dir, const std::string& name) {
  auto h = std::make_unique<TZipHeaderInfo>();
  h->SetDirectory(dir);
  h->SetFileName(name);
  return h;
}

uint32_t Dos(int year, int month, int day, int hour, int minute, int second) {
  uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return date << 16 | time;
}

TEST(SortedZip, NamesFoldOnlyAsciiLettersToUpperCase) {
  EXPECT_EQ(CompareNamesNoCase("A.TXT", "a.txt"), 0);
  EXPECT_LT(CompareNamesNoCase("abc", "abd"), 0);
  EXPECT_LT(CompareNamesNoCase("ab", "abc"), 0);  // a prefix sorts first
  EXPECT_GT(CompareNamesNoCase("a_", "aZ"), 0);    // the underscore sorts after the letters
  EXPECT_GT(CompareNamesNoCase("\xC4", "z"), 0);   // other bytes compare unsigned
}

TEST(SortedZip, ByNameEqualNamesAreDuplicates) {
  TSortedZip list(dupErrorObject);
  list.SetSortMode(ByName);
  list.Add(Entry("docs", "A.TXT").release());
  auto second = Entry("docs", "a.txt");
  try {
    list.Add(second.get());
    FAIL() << "a duplicate name was accepted";
  } catch (const classlib::EListError& e) {
    EXPECT_STREQ(e.what(), "Duplicate Object index");
  }
  EXPECT_EQ(list.Count(), 1);
}

TEST(SortedZip, NameModesOrderByTheirPart) {
  auto a = Entry("b", "a");
  auto b = Entry("a", "b");
  EXPECT_GT(CompareZipEntries(ByName, *a, *b), 0);
  EXPECT_LT(CompareZipEntries(ByFileName, *a, *b), 0);
  EXPECT_GT(CompareZipEntries(ByDirectoryName, *a, *b), 0);
}

TEST(SortedZip, ByDateIsNewestFirstAndNeverEqual) {
  auto old = Entry("", "old");
  auto young = Entry("", "new");
  auto invalid = Entry("", "bad");
  old->dateTime = Dos(1999, 5, 1, 12, 0, 0);
  young->dateTime = Dos(2020, 5, 1, 12, 0, 0);
  invalid->dateTime = Dos(2021, 2, 30, 0, 0, 0);  // not a calendar date: counts as earliest
  EXPECT_EQ(CompareZipEntries(ByDate, *old, *young), 1);
  EXPECT_EQ(CompareZipEntries(ByDate, *young, *old), -1);
  EXPECT_EQ(CompareZipEntries(ByDate, *old, *old), -1);
  EXPECT_EQ(CompareZipEntries(ByDate, *invalid, *old), 1);

  TSortedZip list(dupErrorObject);
  list.SetSortMode(ByDate);
  list.SetOwnsItems(false);
  list.Add(old.get());
  list.Add(invalid.get());
  list.Add(young.get());
  auto tie = Entry("", "tie");
  tie->dateTime = old->dateTime;
  list.Add(tie.get());  // equal dates go after the existing ones, no duplicate error
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Header(0), young.get());
  EXPECT_EQ(list.Header(1), old.get());
  EXPECT_EQ(list.Header(2), tie.get());
  EXPECT_EQ(list.Header(3), invalid.get());
}

TEST(SortedZip, SizesAreLargestFirstBySignedDifference) {
  auto small = Entry("", "s");
  auto large = Entry("", "l");
  small->compressedSize = small->uncompressedSize = 10;
  large->compressedSize = large->uncompressedSize = 20;
  EXPECT_EQ(CompareZipEntries(ByCompressedSize, *small, *large), 1);
  EXPECT_EQ(CompareZipEntries(ByCompressedSize, *large, *small), -1);
  EXPECT_EQ(CompareZipEntries(ByUnCompressedSize, *small, *small), -1);
  // The 32-bit difference is taken as signed: 0x90000000 - 0x10 is negative.
  large->uncompressedSize = 0x90000000u;
  small->uncompressedSize = 0x10;
  EXPECT_EQ(CompareZipEntries(ByUnCompressedSize, *small, *large), -1);
}

TEST(SortedZip, ByRateRoundsHalvesToEven) {
  auto zero = Entry("", "z");
  zero->compressedSize = 50;
  zero->uncompressedSize = 0;
  EXPECT_EQ(CompressionRate(*zero), 0);
  auto half = Entry("", "h");
  half->compressedSize = 1;
  half->uncompressedSize = 200;
  EXPECT_EQ(CompressionRate(*half), 0);
  auto oneAndHalf = Entry("", "o");
  oneAndHalf->compressedSize = 3;
  oneAndHalf->uncompressedSize = 200;
  EXPECT_EQ(CompressionRate(*oneAndHalf), 2);
  auto over = Entry("", "v");
  over->compressedSize = 50;
  over->uncompressedSize = 10;
  EXPECT_EQ(CompressionRate(*over), 100);
  EXPECT_EQ(CompareZipEntries(ByRate, *half, *oneAndHalf), 2);
  EXPECT_EQ(CompareZipEntries(ByRate, *over, *zero), -100);
}

TEST(SortedZip, ByNoneIsDiskThenOffset) {
  auto first = Entry("", "a");
  auto second = Entry("", "b");
  first->diskNumberStart = 0;
  first->localHeaderOffset = 5000;
  second->diskNumberStart = 1;
  second->localHeaderOffset = 0;
  EXPECT_LT(CompareZipEntries(ByNone, *first, *second), 0);
  EXPECT_GT(CompareZipEntries(ByNone, *second, *first), 0);
  second->diskNumberStart = 0;
  EXPECT_EQ(CompareZipEntries(ByNone, *first, *second), 1);
  second->localHeaderOffset = 5000;
  EXPECT_EQ(CompareZipEntries(ByNone, *first, *second), 0);
  // Offsets past 2 GiB come after the smaller ones, as the data lies.
  second->localHeaderOffset = 0x90000000u;
  EXPECT_LT(CompareZipEntries(ByNone, *first, *second), 0);
  EXPECT_EQ(CompareZipEntries(static_cast<TZipSortMode>(42), *first, *second), -1);

  TSortedZip list(dupErrorObject);
  EXPECT_EQ(list.SortMode(), ByNone);
}

}  // namespace
}  // namespace kestrel::archive

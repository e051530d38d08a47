// dir_search_test.cpp — TDirSearch on the documented trees and on generated ones (random
// names, masks, exclusions, recursion, wildcard directory parts) against a model computed
// from the tree itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "classlib/ansi_string.h"
#include "classlib/path_utils.h"
#include "classlib/string_list.h"
#include "support/dir_search.h"
#include "support/mask_list.h"
#include "support/wildcard.h"
#include "tests/support/test_dir.h"

namespace kestrel::support {
namespace {

using testing::TestDir;

std::vector<std::string> Search(const std::string& start, const std::string& mask, bool recurse,
                             std::map<std::string, int64_t>* sizes = nullptr) {
  TDirSearch search(start, mask, recurse);
  std::vector<std::string> results;
  for (int guard = 0; guard < 100000; ++guard) {
    classlib::SearchRec record;
    record.Size = -1;
    std::string name;
    search.Next(record, name);
    if (name.empty()) break;
    if (sizes != nullptr && name.back() != '\\') (*sizes)[name] = record.Size;
    results.push_back(name);
  }
  return results;
}

bool MakeFile(const std::string& path, size_t size) {
  return testing::WriteWholeFile(path, std::string(size, 'x'));
}

class DirSearchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.ok()); }
  std::string D(const std::string& rest = "") const { return dir.path() + rest; }
  TestDir dir;
};

TEST_F(DirSearchTest, DocumentedTree) {
  ASSERT_TRUE(MakeFile(D("a.txt"), 3));
  ASSERT_TRUE(MakeFile(D("b.dat"), 4));
  ASSERT_TRUE(os::CreateDirectory(D("s")));
  ASSERT_TRUE(MakeFile(D("s\\c.txt"), 5));
  std::map<std::string, int64_t> sizes;
  EXPECT_EQ(Search(D(), "*.txt", false, &sizes), (std::vector<std::string>{D("a.txt")}));
  EXPECT_EQ(sizes[D("a.txt")], 3);

  std::vector<std::string> all = Search(D(), "*.txt", true, &sizes);
  ASSERT_EQ(all.size(), 3u);
  const auto sub = std::find(all.begin(), all.end(), D("s\\"));
  ASSERT_NE(sub, all.end());
  ASSERT_NE(sub + 1, all.end());
  EXPECT_EQ(*(sub + 1), D("s\\c.txt"));  // the contents right after the subdirectory
  EXPECT_NE(std::find(all.begin(), all.end(), D("a.txt")), all.end());
  EXPECT_EQ(sizes[D("s\\c.txt")], 5);
  // Without a trailing "\" the start directory is the same.
  EXPECT_EQ(Search(D().substr(0, D().size() - 1), "*.txt", false),
            (std::vector<std::string>{D("a.txt")}));
}

TEST_F(DirSearchTest, NamesWithoutExtensionMatchStarDotStar) {
  ASSERT_TRUE(MakeFile(D("README"), 1));
  EXPECT_EQ(Search(D(), "*.*", false), (std::vector<std::string>{D("README")}));
  EXPECT_EQ(Search(D(), "README.", false), (std::vector<std::string>{D("README")}));
  EXPECT_TRUE(Search(D(), "*.txt", false).empty());
}

TEST_F(DirSearchTest, RecursionEntersDirectoriesWhateverTheMask) {
  ASSERT_TRUE(os::CreateDirectory(D("nomatch")));
  ASSERT_TRUE(MakeFile(D("nomatch\\x.txt"), 1));
  EXPECT_EQ(Search(D(), "*.txt", true),
            (std::vector<std::string>{D("nomatch\\"), D("nomatch\\x.txt")}));
}

TEST_F(DirSearchTest, WildcardDirectoryPart) {
  for (const char* d : {"x1", "y1", "x2", "x1\\logs", "x2\\other"})
    ASSERT_TRUE(os::CreateDirectory(D(d)));
  ASSERT_TRUE(MakeFile(D("top.txt"), 1));
  ASSERT_TRUE(MakeFile(D("x1\\a.txt"), 1));
  ASSERT_TRUE(MakeFile(D("y1\\b.txt"), 1));
  ASSERT_TRUE(MakeFile(D("x1\\logs\\l.txt"), 1));
  ASSERT_TRUE(MakeFile(D("x2\\other\\o.txt"), 1));
  std::vector<std::string> got = Search(D("x*\\"), "*.txt", false);
  EXPECT_EQ(got, (std::vector<std::string>{D("x1\\a.txt")}));
  got = Search(D("x*\\logs\\"), "*.*", false);
  EXPECT_EQ(got, (std::vector<std::string>{D("x1\\logs\\l.txt")}));
  got = Search(D("?2\\*"), "*.*", false);
  EXPECT_EQ(got, (std::vector<std::string>{D("x2\\other\\o.txt")}));
  TDirSearch search(D("x*\\logs\\"), "*", false);
  EXPECT_EQ(search.FixedDirectory(), D());
  EXPECT_EQ(search.DirectoryPatterns(), (std::vector<std::string>{"x*", "logs"}));
}

TEST_F(DirSearchTest, RelativeStartWithoutFixedPart) {
  TDirSearch search("x*\\", "*", false);
  EXPECT_EQ(search.FixedDirectory(), "");
  EXPECT_EQ(search.DirectoryPatterns(), (std::vector<std::string>{"x*"}));
  ASSERT_TRUE(os::CreateDirectory(D("x9")));
  ASSERT_TRUE(MakeFile(D("x9\\f.txt"), 1));
  const std::string saved = os::GetCurrentDirectory();
  ASSERT_TRUE(os::SetCurrentDirectory(D()));
  const std::vector<std::string> got = Search("x*\\", "*.txt", false);
  os::SetCurrentDirectory(saved);
  EXPECT_EQ(got, (std::vector<std::string>{"x9\\f.txt"}));
}

TEST_F(DirSearchTest, TwoByteCharactersAreNotSeparatorsOrWildcards) {
  TDirSearch pattern("C:\\\x95\x5C\\x*\\", "*", false);
  EXPECT_EQ(pattern.FixedDirectory(), "C:\\\x95\x5C\\");
  EXPECT_EQ(pattern.DirectoryPatterns(), (std::vector<std::string>{"x*"}));
  TDirSearch plain("C:\\d\\\x81\x7Cx", "*", false);
  EXPECT_EQ(plain.FixedDirectory(), "C:\\d\\\x81\x7Cx\\");
  EXPECT_TRUE(plain.DirectoryPatterns().empty());
  TDirSearch trail("C:\\x*\\\x95\x5C", "*", false);
  EXPECT_EQ(trail.DirectoryPatterns(), (std::vector<std::string>{"x*", "\x95\x5C"}));
}

TEST_F(DirSearchTest, MissingStartAndEndOfSearch) {
  TDirSearch search(D("missing\\"), "*", true);
  classlib::SearchRec record;
  std::string name = "x";
  search.Next(record, name);
  EXPECT_EQ(name, "");
  search.Next(record, name);  // again after the end
  EXPECT_EQ(name, "");
}

TEST_F(DirSearchTest, AbandonedSearchClosesItsListings) {
  for (const char* d : {"a", "a\\b", "a\\b\\c"}) ASSERT_TRUE(os::CreateDirectory(D(d)));
  ASSERT_TRUE(MakeFile(D("a\\b\\c\\f.txt"), 1));
  {
    TDirSearch search(D(), "*", true);
    classlib::SearchRec record;
    std::string name;
    search.Next(record, name);
    search.Next(record, name);
    EXPECT_EQ(name, D("a\\b\\"));
  }  // three levels open here; the destructor closes them (checked by the leak checker)
  testing::RemoveTree(D("a\\"));
  EXPECT_EQ(os::GetFileAttributes(D("a")), os::kInvalidAttributes);
}

// ---- Generated trees -----------------------------------------------------------------------

struct Node {
  std::vector<std::string> files;
  std::map<std::string, Node> dirs;
};

const char* const kFileNames[] = {"a.txt", "B.TXT", "readme", "c.dat", "x1.log", "Ab.txt",
                                  "d.tar.gz", "z", "q.Txt", "e9.dat"};
const char* const kDirNames[] = {"s", "x1", "Y2", "xa", "sub dir", "x.d"};

void Generate(std::mt19937& random, Node& node, const std::string& path, int depth) {
  for (const char* f : kFileNames)
    if (random() % 3 == 0) {
      node.files.push_back(f);
      ASSERT_TRUE(MakeFile(path + f, random() % 50));
    }
  if (depth >= 3) return;
  for (const char* d : kDirNames)
    if (random() % 4 == 0) {
      ASSERT_TRUE(os::CreateDirectory(path + d));
      Generate(random, node.dirs[d], path + d + "\\", depth + 1);
    }
}

std::string Tested(const std::string& name) {
  return name.find('.') == std::string::npos ? name + "." : name;
}

void Expect(const Node& node, const std::string& path, const std::string& mask, bool recurse,
            std::multiset<std::string>& out) {
  for (const std::string& f : node.files)
    if (IsMatch(mask, Tested(f))) out.insert(path + f);
  if (!recurse) return;
  for (const auto& [name, child] : node.dirs) {
    out.insert(path + name + "\\");
    Expect(child, path + name + "\\", mask, recurse, out);
  }
}

// Each returned directory is followed by exactly its own contents, contiguously.
void CheckDepthFirst(const std::vector<std::string>& results) {
  for (size_t i = 0; i < results.size(); ++i) {
    const std::string& d = results[i];
    if (d.back() != '\\') continue;
    size_t j = i + 1;
    while (j < results.size() && results[j].rfind(d, 0) == 0) ++j;
    for (size_t k = j; k < results.size(); ++k)
      ASSERT_NE(results[k].rfind(d, 0), 0u) << results[k] << " after leaving " << d;
  }
}

TEST_F(DirSearchTest, GeneratedTreesMatchTheModel) {
  const char* const masks[] = {"*", "*.*", "*.txt", "a*", "?.dat", "<a-c>*", "*<0-9>.*",
                               "readme.", "x1.log", "*.t?t"};
  for (unsigned seed = 1; seed <= 12; ++seed) {
    std::mt19937 random(seed);
    const std::string root = D(std::to_string(seed) + "\\");
    ASSERT_TRUE(os::CreateDirectory(root.substr(0, root.size() - 1)));
    Node tree;
    Generate(random, tree, root, 0);
    for (const char* mask : masks)
      for (const bool recurse : {false, true}) {
        std::multiset<std::string> expected;
        Expect(tree, root, mask, recurse, expected);
        const std::vector<std::string> got = Search(root, mask, recurse);
        EXPECT_EQ(std::multiset<std::string>(got.begin(), got.end()), expected)
            << "seed " << seed << " mask " << mask << " recurse " << recurse;
        CheckDepthFirst(got);
      }
    // A wildcard directory part: every first-level directory matching x*.
    std::multiset<std::string> expected;
    for (const auto& [name, child] : tree.dirs)
      if (IsMatch("x*", name)) Expect(child, root + name + "\\", "*.*", true, expected);
    const std::vector<std::string> got = Search(root + "x*\\", "*.*", true);
    EXPECT_EQ(std::multiset<std::string>(got.begin(), got.end()), expected) << "seed " << seed;

    // Exclusions as the zip operation applies them to what the search returns.
    classlib::StringList excludes;
    excludes.Add("*.TXT");
    excludes.Add(classlib::AnsiLowerCase(root) + "s\\*");
    std::multiset<std::string> kept;
    for (const std::string& name : Search(root, "*", true))
      if (name.back() != '\\' && !MatchesMaskList(excludes, name)) kept.insert(name);
    for (const std::string& name : kept) {
      EXPECT_FALSE(IsMatch("*.txt", classlib::AnsiLowerCase(classlib::ExtractFileName(name))));
      EXPECT_NE(classlib::AnsiLowerCase(name).rfind(classlib::AnsiLowerCase(root) + "s\\", 0), 0u);
    }
  }
}

}  // namespace
}  // namespace kestrel::support

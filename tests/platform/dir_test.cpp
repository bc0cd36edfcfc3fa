#include "platform/dir.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "platform/os_text.h"

namespace {

// A fresh temporary folder, removed with its content afterwards.
class DirReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    for (;;) {
      root_ = std::filesystem::temp_directory_path() / ("foldweb-dir-" + std::to_string(rd()));
      if (std::filesystem::create_directory(root_)) break;
    }
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  void File(const std::string& name) { std::ofstream(root_ / name) << "x"; }
  std::wstring Path() const { return platform::OsText_Decode(root_.native()); }

  std::filesystem::path root_;
};

TEST_F(DirReadTest, ListsEveryEntrySortedWithoutRegardToCase) {
  File("b.txt");
  File("A.html");
  File("c");
  File("_under");
  File(".hidden");
  std::filesystem::create_directory(root_ / "Docs");
  std::vector<platform::DirEntry> got;
  ASSERT_TRUE(platform::Dir_Read(Path(), got));
  std::vector<std::wstring> names;
  for (const auto& e : got) names.push_back(e.name);
  // Upper-case order, as a case-insensitive file system keeps it: '_' after
  // the letters, '.' before them.
  const std::vector<std::wstring> want = {L".",     L"..", L".hidden", L"A.html",
                                          L"b.txt", L"c",  L"Docs",    L"_under"};
  EXPECT_EQ(names, want);
}

TEST_F(DirReadTest, NamesEqualButForCaseKeepAFixedOrder) {
  File("a");
  File("A");
  std::vector<platform::DirEntry> got;
  ASSERT_TRUE(platform::Dir_Read(Path(), got));
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[2].name, L"A");
  EXPECT_EQ(got[3].name, L"a");
}

TEST_F(DirReadTest, OrderDoesNotDependOnTheUsersLocale) {
  // The process runs under the plain C locale here, which folds ASCII only.
  File(
      "\xC3\xA9"
      "b");  // e-acute, small
  File(
      "\xC3\x89"
      "a");  // E-acute, capital
  std::vector<platform::DirEntry> got;
  ASSERT_TRUE(platform::Dir_Read(Path(), got));
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[2].name, L"\u00C9a");
  EXPECT_EQ(got[3].name, L"\u00E9b");
}

// Many names that share long prefixes and differ in case, length and
// letters beyond ASCII come back complete and in the same order as a plain
// fold-and-compare of each pair gives.
TEST_F(DirReadTest, ManyNamesComeBackCompleteAndInOrder) {
  std::vector<std::string> made;
  const char* stems[] = {"page", "Page", "PAGE", "pag", "page_", "p\xC3\xA9ge", "P\xC3\x89GE", "z"};
  std::mt19937 shuffle(7);
  for (const char* stem : stems) {
    for (int i = 0; i < 40; ++i) made.push_back(std::string(stem) + std::to_string(i * 37 % 101));
  }
  std::shuffle(made.begin(), made.end(), shuffle);
  for (const std::string& name : made) File(name);
  std::vector<platform::DirEntry> got;
  ASSERT_TRUE(platform::Dir_Read(Path(), got));
  ASSERT_EQ(got.size(), made.size() + 2);

  std::vector<std::wstring> want;
  for (const std::string& name : made) want.push_back(platform::OsText_Decode(name));
  std::vector<std::wstring> names;
  for (std::size_t i = 2; i < got.size(); ++i) names.push_back(got[i].name);
  std::vector<std::wstring> sortedWant = want;
  std::sort(sortedWant.begin(), sortedWant.end());
  std::vector<std::wstring> sortedNames = names;
  std::sort(sortedNames.begin(), sortedNames.end());
  EXPECT_EQ(sortedNames, sortedWant);

  // The fold the listing promises: upper case by the fixed C.UTF-8 tables.
  const locale_t loc = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  ASSERT_NE(loc, nullptr);
  const auto folded = [loc](const std::wstring& name) {
    std::wstring out;
    for (const wchar_t c : name) out += static_cast<wchar_t>(::towupper_l(static_cast<wint_t>(c), loc));
    return out;
  };
  for (std::size_t i = 1; i < names.size(); ++i) {
    SCOPED_TRACE(platform::OsText_Encode(names[i]));
    const std::wstring a = folded(names[i - 1]);
    const std::wstring b = folded(names[i]);
    EXPECT_TRUE(a < b || (a == b && names[i - 1] < names[i]));
  }
  ::freelocale(loc);
}

TEST_F(DirReadTest, FolderFlagFollowsLinks) {
  File("file");
  std::filesystem::create_directory(root_ / "dir");
  std::filesystem::create_directory_symlink(root_ / "dir", root_ / "link-to-dir");
  std::filesystem::create_symlink(root_ / "file", root_ / "link-to-file");
  std::filesystem::create_symlink(root_ / "nowhere", root_ / "broken");
  std::vector<platform::DirEntry> got;
  ASSERT_TRUE(platform::Dir_Read(Path(), got));
  struct Row {
    const wchar_t* name;
    bool folder;
  };
  const Row rows[] = {{L".", true},     {L"..", true},          {L"broken", false},      {L"dir", true},
                      {L"file", false}, {L"link-to-dir", true}, {L"link-to-file", false}};
  ASSERT_EQ(got.size(), std::size(rows));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_EQ(got[i].name, rows[i].name);
    EXPECT_EQ(got[i].is_folder, rows[i].folder);
  }
}

TEST_F(DirReadTest, NamesAreDecodedWithoutLoss) {
  File("caf\xC3\xA9");
  File("caf\xE9");  // Latin-1, not UTF-8
  std::vector<platform::DirEntry> got;
  ASSERT_TRUE(platform::Dir_Read(Path(), got));
  std::vector<std::wstring> names;
  for (const auto& e : got) names.push_back(e.name);
  EXPECT_NE(std::find(names.begin(), names.end(), L"caf\u00E9"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), std::wstring(L"caf") + wchar_t(0xDCE9)), names.end());
}

TEST_F(DirReadTest, WhatIsNoReadableFolderListsNothing) {
  File("file");
  const std::wstring cases[] = {Path() + L"/nosuch", Path() + L"/file", Path() + L"/file/",
                                Path() + std::wstring(1, L'\0') + L"x", L""};
  for (const std::wstring& path : cases) {
    SCOPED_TRACE(platform::OsText_Encode(path));
    std::vector<platform::DirEntry> got = {{L"stale", false}};
    EXPECT_FALSE(platform::Dir_Read(path, got));
    EXPECT_TRUE(got.empty());
  }
}

TEST_F(DirReadTest, TrailingSeparatorIsAccepted) {
  File("one");
  std::vector<platform::DirEntry> got;
  ASSERT_TRUE(platform::Dir_Read(Path() + L"/", got));
  EXPECT_EQ(got.size(), 3u);
}

}  // namespace

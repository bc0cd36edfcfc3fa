#include "index/folder_list.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "tests/index/temp_tree.h"

namespace {

using List = std::vector<wstring>;

TEST(FolderList, WildcardTable) {
  struct Row {
    const wchar_t* pattern;
    const wchar_t* name;
    bool match;
  };
  const Row rows[] = {
      {L"*.htm*", L"index.html", true},
      {L"*.htm*", L"INDEX.HTM", true},
      {L"*.htm*", L"a.htm.bak", true},
      {L"*.htm*", L".htm", true},
      {L"*.htm*", L"page.shtml", false},
      {L"*.htm*", L"a.xhtml", false},
      {L"*.htm*", L"photo.jpg", false},
      {L"*.*", L"a.txt", true},
      {L"*.*", L".profile", true},
      {L"*.*", L"README", false},
      {L"trace*.log", L"trace.log", true},
      {L"trace*.log", L"Trace_01.LOG", true},
      {L"trace*.log", L"trace.log.bak", false},
      {L"trace*.log", L"my_trace.log", false},
      {L"abc", L"abc", true},
      {L"abc", L"ABC", true},
      {L"abc", L"abcabc", true},
      {L"abc", L"abcxabc", true},
      {L"abc", L"xabc", false},
      {L"abc", L"abcx", false},
      {L"a?c", L"abc", false},
      {L"a?c", L"a?c", true},
      {L"", L"anything", true},
      {L"*", L"anything", true},
      {L"**", L"x", true},
      {L"a*b*c", L"aXbYc", true},
      {L"a*b*c", L"acb", false},
      // The pieces are found in order, each after the one before.
      {L"*b*a", L"ab", false},
      // Only the last component counts.
      {L"*.htm*", L"/site/folder.html/page.txt", false},
      {L"page*", L"/site/folder/page.txt", true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "pattern " << testing::PrintToString(wstring(r.pattern)) << " name "
                                    << testing::PrintToString(wstring(r.name)));
    EXPECT_EQ(ExtractFiles_match(r.name, r.pattern), r.match);
  }
}

class FolderListTree : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.Folder("docs");
    tree_.File("a.txt");
    tree_.File("b.html");
  }
  wstring P(const wchar_t* rest) const { return tree_.Path() + rest; }
  TempTree tree_;
};

TEST_F(FolderListTree, EntriesAreFullPathsAndFoldersEndInASeparator) {
  const List want = {P(L"/a.txt"), P(L"/b.html"), P(L"/docs/")};
  for (const wstring& path : {P(L""), P(L"/"), P(L"/a.txt"), P(L"/nosuch/"), P(L"/nosuch.txt")}) {
    SCOPED_TRACE(testing::PrintToString(path));
    EXPECT_EQ(EnumFiles(path.c_str(), true), want);
  }
  // A missing folder is not looked for further up.
  EXPECT_EQ(EnumFiles(P(L"/gone/deeper/").c_str(), true), List{});
}

TEST_F(FolderListTree, DotEntriesOnlyWhenAsked) {
  const List all = EnumFiles(P(L"").c_str(), false);
  const List want = {P(L"/./"), P(L"/../"), P(L"/a.txt"), P(L"/b.html"), P(L"/docs/")};
  EXPECT_EQ(all, want);
  EXPECT_EQ(ExtractFolders(all), (List{P(L"/./"), P(L"/../"), P(L"/docs/")}));
  EXPECT_EQ(EnumFiles_MSC(P(L"/"), true), EnumFiles_MSC(P(L""), true));
}

TEST_F(FolderListTree, FoldersAndMatchingFiles) {
  tree_.Folder("x.html");
  EXPECT_EQ(EnumFolders(P(L"").c_str()), (List{P(L"/docs/"), P(L"/x.html/")}));
  EXPECT_EQ(EnumFiles(P(L"").c_str(), L"*"), (List{P(L"/a.txt"), P(L"/b.html")}));
  EXPECT_EQ(EnumFiles(P(L"").c_str(), wstring(L"*.htm*")), (List{P(L"/b.html")}));
  // Folder entries never count as files, whatever their name.
  EXPECT_EQ(ExtractFiles({P(L"/x.html/"), P(L"/y.html")}, L"*.htm*"), (List{P(L"/y.html")}));
}

TEST_F(FolderListTree, LinksCountAsWhatTheyPointTo) {
  tree_.Link(tree_.Bytes() + "/docs", "linked");
  tree_.Link(tree_.Bytes() + "/nowhere", "broken.html");
  EXPECT_EQ(EnumFolders(P(L"").c_str()), (List{P(L"/docs/"), P(L"/linked/")}));
  EXPECT_EQ(EnumFiles(P(L"").c_str(), L"*.htm*"), (List{P(L"/b.html"), P(L"/broken.html")}));
}

TEST_F(FolderListTree, ManyEntriesKeepTheirOrder) {
  // Enough entries for the progress display to take part.
  List want;
  for (int i = 10; i < 40; ++i) {
    const std::string name = "p" + std::to_string(i) + ".html";
    tree_.File(name);
    want.push_back(P(L"/") + wstring(name.begin(), name.end()));
  }
  want.insert(want.begin(), P(L"/b.html"));
  EXPECT_EQ(EnumFiles(P(L"").c_str(), L"*.htm*"), want);
}

TEST(FolderList, EmptyFolders) {
  TempTree tree;
  tree.Folder("empty");
  tree.Folder("hidden");
  tree.File("hidden/.dot");
  EXPECT_TRUE(Folder_IsEmpty((tree.Path() + L"/empty").c_str()));
  EXPECT_TRUE(Folder_IsEmpty((tree.Path() + L"/empty/").c_str()));
  EXPECT_FALSE(Folder_IsEmpty((tree.Path() + L"/hidden").c_str()));
  EXPECT_TRUE(Folder_IsEmpty_MSC(tree.Path() + L"/missing"));
  // A missing folder stands for its parent, which is not empty.
  EXPECT_FALSE(Folder_IsEmpty((tree.Path() + L"/missing").c_str()));
  EXPECT_TRUE(Folder_IsEmpty((tree.Path() + L"/empty/missing").c_str()));
}

TEST(FolderList, BareNameListsTheRoot) {
  const List got = EnumFiles(L"nosuch-foldweb-name", true);
  ASSERT_FALSE(got.empty());
  for (const wstring& entry : got) {
    EXPECT_EQ(entry[0], L'/');
    EXPECT_NE(entry[1], L'/');
  }
}

}  // namespace

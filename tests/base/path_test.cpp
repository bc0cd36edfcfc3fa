#include "base/path.h"

#include <gtest/gtest.h>

#include "platform/separator.h"

namespace {

// NOTE: the folder part of a bare name (and of the empty path) is the
// system's own separator, '/' here; every other row holds as written for
// '\' input.
TEST(PathTest, SeparatorTable) {
  struct Row {
    const wchar_t* path;
    bool lastIsSP;
    const wchar_t* add;
    const wchar_t* del;
    const wchar_t* name;
    const wchar_t* dir;
  };
  const Row rows[] = {
      {L"", false, L"", L"", L"", L"/"},
      {L"\\", true, L"\\", L"", L"", L""},
      {L"C:", false, L"C:\\", L"C:", L"C:", L"/"},
      {L"C:\\", true, L"C:\\", L"C:", L"", L"C:"},
      {L"C:/", true, L"C:/", L"C:", L"", L"C:"},
      {L"C:\\a", false, L"C:\\a\\", L"C:\\a", L"a", L"C:"},
      {L"C:\\a\\", true, L"C:\\a\\", L"C:\\a", L"", L"C:\\a"},
      {L"a\\\\", true, L"a\\\\", L"a\\", L"", L"a\\"},
      {L"\\a", false, L"\\a\\", L"\\a", L"a", L""},
      {L"a", false, L"a\\", L"a", L"a", L"/"},
      {L"C:/a/b", false, L"C:/a/b\\", L"C:/a/b", L"b", L"C:/a"},
      {L"a/b\\c/d", false, L"a/b\\c/d\\", L"a/b\\c/d", L"c/d", L"a/b"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "path [" << r.path << "]");
    const wstring path = r.path;
    EXPECT_EQ(Path_LastIsSP(path), r.lastIsSP);
    EXPECT_EQ(Path_AddLastSP(path, L'\\'), r.add);
    EXPECT_EQ(Path_DelLastSP(path), r.del);
    EXPECT_EQ(Path_DelLastSP(r.path), r.del);
    EXPECT_EQ(Path_GetName(path), r.name);
    EXPECT_EQ(Path_GetName(r.path), r.name);
    EXPECT_EQ(Path_GetDir(path), r.dir);
    EXPECT_EQ(Path_GetDir(r.path), r.dir);
  }
}

TEST(PathTest, SystemSeparatorIsWhatIsAdded) {
  EXPECT_EQ(Path_AddLastSP(L"/srv/site", platform::kPathSeparator), L"/srv/site/");
  EXPECT_EQ(Path_GetDir(L"index.html"), wstring(1, platform::kPathSeparator));
  EXPECT_EQ(String_GetLast_TC(L""), L'\0');
  EXPECT_EQ(String_GetLast_TC(L"ab"), L'b');
}

TEST(PathTest, TitleAndExtensionTable) {
  struct Row {
    const wchar_t* path;
    const wchar_t* title;
    const wchar_t* ext;
    const wchar_t* extLow;
  };
  const Row rows[] = {
      {L"C:\\Dir\\File.HTML", L"File", L"HTML", L"html"},
      {L"file.tar.gz", L"file.tar", L"gz", L"gz"},
      {L"noext", L"noext", L"", L""},
      {L"name.", L"name", L"", L""},
      {L".htaccess", L"", L"htaccess", L"htaccess"},
      {L"dir\\.hidden", L"", L"hidden", L"hidden"},
      {L"a.b\\c", L"c", L"", L""},
      {L"x?y.txt", L"", L"", L""},
      {L" ", L"", L"", L""},
      {L"C:\\a\\", L"", L"", L""},
      {L"/srv/site/Page.Htm", L"Page", L"Htm", L"htm"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "path [" << r.path << "]");
    const wstring path = r.path;
    EXPECT_EQ(Path_GetTitle(path), r.title);
    EXPECT_EQ(Path_GetTitle(r.path), r.title);
    EXPECT_EQ(Path_GetExt(path), r.ext);
    EXPECT_EQ(Path_GetExt(r.path), r.ext);
    EXPECT_EQ(Path_GetExtLow(path), r.extLow);
    EXPECT_EQ(Path_GetExtLow(r.path), r.extLow);
  }
}

TEST(PathTest, NormalizeTable) {
  struct Row {
    const wchar_t* path;
    const wchar_t* want;
  };
  const Row rows[] = {
      {L"", L""},
      {L"\\", L""},
      {L"/", L""},
      {L"C:\\", L"C:"},
      {L"C:/", L"C:"},
      {L"C:\\a\\", L"C:\\a"},
      {L"C:/a/b", L"C:\\a\\b"},
      {L"C:\\a/b\\c.txt", L"C:\\a\\b\\c.txt"},
      {L"a\\\\", L"a"},
      {L"a\\\\\\", L"a\\"},
      {L"x///", L"x\\"},
      {L"C:\\a\\\\\\", L"C:\\a"},
      {L"a\\\\\\b", L"a\\\\b"},
      {L"a\\b\\\\\\c", L"a\\b\\c"},
      {L"C:\\\\a", L"C:\\\\a"},
      {L"a/\\b", L"a\\\\b"},
      {L"\\a", L"\\a"},
      {L"\\\\srv\\share\\", L"\\\\srv\\share"},
      {L"//srv/share/x/", L"\\\\srv\\share\\x"},
      {L"a\\.\\..\\b", L"a\\.\\..\\b"},
      {L"C:\\'x y\\\\z", L"C:\\'x y\\\\z"},
      {L"C:\\'q\\r'\\s", L"C:\\'q\\r'\\s"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "path [" << r.path << "]");
    EXPECT_EQ(Path_Normalize(r.path, L'\\'), r.want);
  }
}

TEST(PathTest, NormalizeJoinsWithTheGivenSeparator) {
  EXPECT_EQ(Path_Normalize(L"C:\\a\\b", L'/'), L"C:/a/b");
  EXPECT_EQ(Path_Normalize(L"/srv//site/sub/", platform::kPathSeparator), L"/srv/site/sub");
  EXPECT_EQ(Path_Normalize(L"/a/b/c/d/e/f/g/h/i/j/k/l", L'/'), L"/a/b/c/d/e/f/g/h/i/j/k/l");
}

}  // namespace

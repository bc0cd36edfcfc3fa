#include "workdir/temp_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "tests/workdir/workdir_test_support.h"

namespace {

using namespace workdir_test;

class GetTmpPathTest : public ScratchTest {};

TEST_F(GetTmpPathTest, CandidatesInTheirOrder) {
  const std::string a = (root_ / "a").string();
  const std::string b = (root_ / "b").string() + "/";
  const std::string c = (root_ / "c").string();
  const std::string user = "foldweb_test_user_" + std::to_string(::getpid());
  using Opt = std::optional<std::string>;
  const Opt none;
  const struct {
    const char* name;
    Opt tmp, tmpdir, temp, user, username;
    std::string expected;
    std::string own_below;
  } cases[] = {
      {"TMP first", a, b, c, user, none, a, a},
      {"then TMPDIR, unchanged", none, b, c, user, none, b, b},
      {"an empty TMP counts as none", std::string(), b, c, user, none, b, b},
      {"then TEMP", none, none, c, user, none, c, c},
      {"then /tmp/USER", none, none, none, user, "other", "/tmp/" + user, "/tmp/"},
      {"then /tmp/USERNAME", none, none, none, none, user + "_name", "/tmp/" + user + "_name", "/tmp/"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    env_.Set("TMP", row.tmp);
    env_.Set("TMPDIR", row.tmpdir);
    env_.Set("TEMP", row.temp);
    env_.Set("USER", row.user);
    env_.Set("USERNAME", row.username);
    std::wstring own_below;
    EXPECT_EQ(N(GetTmpPath(own_below)), row.expected);
    EXPECT_EQ(N(own_below), row.own_below);
    EXPECT_EQ(N(GetTmpPath()), row.expected);
  }
  // Only the per-user folder is made, and privately.
  EXPECT_FALSE(fs::exists(a));
  EXPECT_FALSE(fs::exists(b));
  EXPECT_FALSE(fs::exists(c));
  for (const std::string& made : {"/tmp/" + user, "/tmp/" + user + "_name"}) {
    EXPECT_TRUE(fs::is_directory(made));
    EXPECT_EQ(Mode(made), fs::perms::owner_all);
    fs::remove(made);
  }
}

TEST_F(GetTmpPathTest, WithoutAnyNameThePerUserFolderIsThreeUnderscores) {
  for (const char* name : {"TMP", "TMPDIR", "TEMP", "USER", "USERNAME"}) env_.Set(name, std::nullopt);
  const bool existed = fs::exists("/tmp/___");
  EXPECT_EQ(GetTmpPath(), L"/tmp/___");
  EXPECT_TRUE(fs::is_directory("/tmp/___"));
  if (!existed) fs::remove("/tmp/___");
}

class FolderCreateTest : public ScratchTest {};

TEST_F(FolderCreateTest, MakesEveryMissingLevelPrivately) {
  fs::create_directories(root_ / "a");
  const struct {
    const char* name;
    std::wstring path;
    std::vector<const char*> made;
  } cases[] = {
      {"several levels", W(root_) + L"/a/b/c/", {"a/b", "a/b/c"}},
      {"backslashes", W(root_) + L"\\x\\y", {"x", "x/y"}},
      {"doubled separators", W(root_) + L"//p//q", {"p", "p/q"}},
      {"an existing folder", W(root_) + L"/a", {}},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(Folder_Create(row.path));
    for (const char* level : row.made) {
      SCOPED_TRACE(level);
      EXPECT_TRUE(fs::is_directory(root_ / level));
      EXPECT_EQ(Mode(root_ / level), fs::perms::owner_all);
    }
  }
  // An existing folder is left as it is.
  fs::permissions(root_ / "a", fs::perms::all, fs::perm_options::replace);
  EXPECT_TRUE(Folder_Create(W(root_ / "a")));
  EXPECT_EQ(Mode(root_ / "a"), fs::perms::all);
}

TEST_F(FolderCreateTest, StopsAtALevelThatIsAFile) {
  WriteBytes(root_ / "file", "x");
  EXPECT_FALSE(Folder_Create(W(root_ / "file")));
  EXPECT_FALSE(Folder_Create(W(root_ / "file" / "sub" / "deeper")));
  EXPECT_TRUE(fs::is_regular_file(root_ / "file"));
  // The levels made before the failing one stay.
  fs::create_directories(root_ / "up");
  WriteBytes(root_ / "up" / "f", "x");
  EXPECT_FALSE(Folder_Create(W(root_) + L"/made/../up/f/sub"));
  EXPECT_TRUE(fs::is_directory(root_ / "made"));
}

TEST_F(FolderCreateTest, ServerAndShareLevelsAreNeverMade) {
  // "//SERVER/SHARE/dir" spelled with a first-level folder of this machine.
  const fs::path base = fs::path("/tmp") / ("foldweb_share_" + std::to_string(::getpid()));
  if (!fs::is_directory("/tmp")) GTEST_SKIP() << "needs /tmp";
  fs::create_directories(base);
  const std::wstring unc = L"/" + W(base);
  EXPECT_TRUE(Folder_Create(unc + L"/dir"));
  EXPECT_TRUE(fs::is_directory(base / "dir"));
  EXPECT_FALSE(Folder_Create(unc + L"_nosuch/dir"));
  EXPECT_FALSE(fs::exists(base.string() + "_nosuch"));
  fs::remove_all(base);
}

class FolderIsPrivateTest : public ScratchTest {};

TEST_F(FolderIsPrivateTest, EveryLevelBelowTheTopIsLookedAt) {
  const fs::path top = root_ / "top";
  ASSERT_TRUE(Folder_Create(W(top / "a" / "b" / "c")));
  fs::create_directories(root_ / "elsewhere");
  fs::permissions(root_ / "elsewhere", fs::perms::owner_all, fs::perm_options::replace);
  fs::create_directory_symlink(root_ / "elsewhere", top / "link");
  fs::create_directories(top / "open" / "x");
  fs::permissions(top / "open", fs::perms::all, fs::perm_options::replace);
  fs::permissions(top / "open" / "x", fs::perms::owner_all, fs::perm_options::replace);
  WriteBytes(top / "file", "x");
  // The top itself is not judged: it may be the shared temporary folder.
  fs::permissions(top, fs::perms::all | fs::perms::sticky_bit, fs::perm_options::replace);
  const struct {
    const char* name;
    std::wstring top;
    std::wstring folder;
    bool is_private;
  } cases[] = {
      {"own levels", W(top), W(top / "a" / "b" / "c"), true},
      {"trailing separators", W(top) + L"/", W(top / "a" / "b" / "c") + L"/", true},
      {"the top itself", W(top), W(top), true},
      {"a link level", W(top), W(top / "link"), false},
      {"below a link level", W(top), W(top / "link" / "x"), false},
      {"an open level above", W(top), W(top / "open" / "x"), false},
      {"a file level", W(top), W(top / "file"), false},
      {"a missing level", W(top), W(top / "a" / "missing"), false},
      {"not below the top", W(top / "a"), W(root_ / "elsewhere"), false},
      {"a name that only begins like the top", W(top / "a"), W(top / "ab"), false},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Folder_IsPrivate(row.top, row.folder), row.is_private);
  }
}

TEST_F(FolderIsPrivateTest, CreatePrivateMakesNothingInsideALevelThatIsNotTheUsersOwn) {
  const fs::path top = root_ / "top";
  fs::create_directories(root_ / "elsewhere");
  fs::create_directories(top / "open");
  fs::permissions(top / "open", fs::perms::all, fs::perm_options::replace);
  fs::create_directories(top / "mine");
  fs::create_directory_symlink(root_ / "elsewhere", top / "link");
  WriteBytes(top / "file", "x");
  const struct {
    const char* name;
    std::wstring top;
    std::wstring folder;
    bool made;
  } cases[] = {
      {"new levels", W(top), W(top / "a" / "b"), true},
      {"a missing top", W(root_ / "newtop"), W(root_ / "newtop" / "c"), true},
      {"below an own level", W(top), W(top / "mine" / "d"), true},
      {"below an open level", W(top), W(top / "open" / "d"), false},
      {"below a link", W(top), W(top / "link" / "d"), false},
      {"a file level", W(top), W(top / "file" / "d"), false},
      {"not below the top", W(top / "a"), W(root_ / "else"), false},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Folder_CreatePrivate(row.top, row.folder), row.made);
    EXPECT_EQ(fs::is_directory(N(row.folder)), row.made);
    if (row.made) {
      EXPECT_EQ(Mode(N(row.folder)), fs::perms::owner_all);
    }
  }
  EXPECT_TRUE(fs::is_empty(root_ / "elsewhere"));
  EXPECT_TRUE(fs::is_empty(top / "open"));
}

TEST_F(FolderIsPrivateTest, ALevelOfAnotherUserIsNot) {
  if (::geteuid() != 0) GTEST_SKIP() << "handing a folder to another user needs root";
  const fs::path top = root_ / "top";
  ASSERT_TRUE(Folder_Create(W(top / "theirs" / "mine")));
  ASSERT_EQ(::chown((top / "theirs").c_str(), 65534, 65534), 0);
  EXPECT_FALSE(Folder_IsPrivate(W(top), W(top / "theirs" / "mine")));
  EXPECT_TRUE(Folder_IsPrivate(W(top / "theirs"), W(top / "theirs" / "mine")));
}

}  // namespace

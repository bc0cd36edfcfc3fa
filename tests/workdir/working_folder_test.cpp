#include "workdir/working_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

#include "tests/workdir/workdir_test_support.h"

namespace {

using namespace workdir_test;

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16] = {};
  std::strftime(text, sizeof text, "%Y%m%d", &local);
  return text;
}

TEST(ProgramTitleTest, OriginalNameWinsUnlessItDiffersOnlyInCase) {
  const struct {
    const wchar_t* running;
    const wchar_t* original;
    const wchar_t* title;
  } cases[] = {
      {L"copy.exe", L"viewer.exe", L"viewer"},  // renamed after build
      {L"Viewer.EXE", L"viewer.exe", L"Viewer"},
      {L"tool.part.exe", L"", L"tool.part"},
      {L"renamed", L"foldweb", L"foldweb"},
      {L"foldweb", L"foldweb", L"foldweb"},
      {L".exe", L"", L""},  // no program level
      {L"x", L"?", L""},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(N(row.running) + " / " + N(row.original));
    EXPECT_EQ(Program_Title(row.running, row.original), row.title);
  }
  const std::string before = Today();
  const std::string dated = N(Program_Title(L"", L""));
  EXPECT_TRUE(dated == before || dated == Today()) << dated;
}

TEST(OriginalFilenameTest, ARenamedCopyOfTheProgramKeepsItsOriginalName) {
  const char* binary = std::getenv("FOLDWEB_BINARY");
  if (binary == nullptr || *binary == '\0') GTEST_SKIP() << "FOLDWEB_BINARY is set by ctest";
  const fs::path copy = fs::temp_directory_path() / ("foldweb_renamed_" + std::to_string(::getpid()));
  fs::copy_file(binary, copy, fs::copy_options::overwrite_existing);
  const std::wstring original = Get_OriginalFilename(W(copy));
  fs::remove(copy);
  EXPECT_EQ(original, L"foldweb");
  EXPECT_EQ(Program_Title(W(copy.filename()), original), L"foldweb");
}

TEST(OriginalFilenameTest, AProgramWithoutRecordIsKnownByItsFileName) {
  EXPECT_EQ(Get_OriginalFilename(L"/proc/self/exe"), L"");
  EXPECT_EQ(N(Get_Self_Original()), fs::read_symlink("/proc/self/exe").filename().string());
}

// The program here is the test binary itself, which has no version record.
class WorkingFolderTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    title_ = fs::read_symlink("/proc/self/exe").filename().string();
    tmp_ = root_ / "tmp";
    suite_ = tmp_ / "Vantre.tmp";
    program_ = suite_ / title_;
    fallback_ = root_ / "cache" / "Temp" / "Temp" / "Vantre.tmp" / title_;
  }

  // `folder` with the trailing separator the path functions give.
  static std::string F(const fs::path& folder) { return folder.string() + "/"; }

  std::string title_;
  fs::path tmp_, suite_, program_, fallback_;
};

TEST_F(WorkingFolderTest, LevelsAreMadeWhenAskedForAndPrivately) {
  EXPECT_EQ(N(Get_Vantre_tmp_Path()), F(program_));
  EXPECT_FALSE(fs::exists(suite_));

  EXPECT_EQ(N(Get_Vantre_tmp()), F(program_));
  EXPECT_TRUE(fs::is_directory(program_));

  const std::string day = Today();
  const std::string dated = N(Get_Vantre_tmp_date());
  const std::string expected_day = Today() == day ? day : Today();
  EXPECT_EQ(dated, F(program_ / expected_day));
  for (const fs::path& level : {suite_, program_, program_ / expected_day}) {
    SCOPED_TRACE(level.string());
    EXPECT_TRUE(fs::is_directory(level));
    EXPECT_EQ(Mode(level), fs::perms::owner_all);
  }

  bool is_private = false;
  EXPECT_EQ(N(Get_Vantre_tmp_name(L"_trace_", is_private)), (suite_ / "_trace_").string());
  EXPECT_TRUE(is_private);
  EXPECT_TRUE(fs::is_directory(suite_ / "_trace_"));
  EXPECT_EQ(N(Get_Vantre_tmp_name(L"other")), (suite_ / "other").string());
  EXPECT_TRUE(fs::is_directory(suite_ / "other"));
}

TEST_F(WorkingFolderTest, ALevelThatIsNotTheUsersOwnSendsPagesToTheFallback) {
  const std::string day = Today();
  const fs::path elsewhere = root_ / "elsewhere";
  const struct {
    const char* name;
    std::function<void()> arrange;
    fs::path day_folder;  // what Get_Vantre_tmp_date gives
  } cases[] = {
      {"the suite folder is a file", [&] { WriteBytes(suite_, "x"); }, fallback_ / day},
      {"the suite folder is writable by all",
       [&] {
         fs::create_directories(program_ / day);
         fs::permissions(suite_, fs::perms::all, fs::perm_options::replace);
       },
       fallback_ / day},
      {"the suite folder is writable by its group",
       [&] {
         fs::create_directories(suite_);
         fs::permissions(suite_, fs::perms::owner_all | fs::perms::group_all, fs::perm_options::replace);
       },
       fallback_ / day},
      {"the suite folder is a link",
       [&] {
         fs::create_directories(elsewhere / title_ / day);
         fs::permissions(elsewhere, fs::perms::owner_all, fs::perm_options::replace);
         fs::create_directory_symlink(elsewhere, suite_);
       },
       fallback_ / day},
      {"the program folder is writable by all",
       [&] {
         fs::create_directories(program_);
         fs::permissions(program_, fs::perms::all, fs::perm_options::replace);
       },
       fallback_ / day},
      {"the day folder is a file",
       [&] {
         fs::create_directories(program_);
         WriteBytes(program_ / day, "x");
       },
       program_},
      {"the day folder is writable by all",
       [&] {
         fs::create_directories(program_ / day);
         fs::permissions(program_ / day, fs::perms::all, fs::perm_options::replace);
       },
       program_},
      {"neither place can be made",
       [&] {
         WriteBytes(suite_, "x");
         fs::remove_all(root_ / "cache");
         WriteBytes(root_ / "cache", "x");
       },
       fallback_},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    fs::remove_all(tmp_ / "Vantre.tmp");
    fs::remove_all(elsewhere);
    fs::remove_all(root_ / "cache");
    fs::create_directories(root_ / "cache");
    row.arrange();
    if (Today() != day) GTEST_SKIP() << "the day changed during the test";
    EXPECT_EQ(N(Get_Vantre_tmp_date()), F(row.day_folder));
  }
  // Nothing was put where it must not be.
  EXPECT_FALSE(fs::exists(elsewhere / title_ / day / "x"));
}

TEST_F(WorkingFolderTest, ASuiteFolderOfAnotherUserIsNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "handing a folder to another user needs root";
  const std::string day = Today();
  fs::create_directories(program_ / day);
  ASSERT_EQ(::chown(suite_.c_str(), 65534, 65534), 0);
  EXPECT_EQ(N(Get_Vantre_tmp()), F(fallback_));
  EXPECT_EQ(N(Get_Vantre_tmp_date()), F(fallback_ / day));
  bool is_private = true;
  Get_Vantre_tmp_name(L"_trace_", is_private);
  EXPECT_FALSE(is_private);
  EXPECT_FALSE(fs::exists(suite_ / "_trace_"));
}

TEST_F(WorkingFolderTest, APerUserTemporaryFolderSomeoneElseMadeFirstIsNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "handing a folder to another user needs root";
  const std::string user = "foldweb_test_user_" + std::to_string(::getpid());
  const fs::path theirs = fs::path("/tmp") / user;
  for (const char* name : {"TMP", "TMPDIR", "TEMP", "USERNAME"}) env_.Set(name, std::nullopt);
  env_.Set("USER", user);
  fs::create_directories(theirs);
  ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
  const std::string folder = N(Get_Vantre_tmp());
  const bool made_inside = fs::exists(theirs / "Vantre.tmp");
  fs::remove_all(theirs);
  EXPECT_EQ(folder, F(fallback_));
  EXPECT_FALSE(made_inside);
}

}  // namespace

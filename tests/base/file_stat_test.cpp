#include "base/file_stat.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os_text.h"
#include "tests/support/scratch.h"

namespace {

namespace fs = std::filesystem;

// Shows the recorded error number, which no slot reports.
class ErrorOf : public F_Stat {
 public:
  using F_Stat::F_Stat;
  std::int32_t Number() const { return err_no_; }
};

// A folder with a file of three bytes, an empty file and a sub-folder; the
// current folder is moved into it for the relative names.
class FileStatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = test_support::ScratchFolder("foldweb_file_stat_test_");
    fs::create_directories(root_ / "folder");
    Write("file.txt", "abc");
    Write("empty", "");
    before_ = fs::current_path();
    fs::current_path(root_);
  }
  void TearDown() override {
    fs::current_path(before_);
    fs::remove_all(root_);
  }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ / name, std::ios::binary) << bytes;
  }

  std::wstring P(const std::string& name) const { return platform::OsText_Decode((root_ / name).native()); }

  fs::path root_;
  fs::path before_;
};

TEST_F(FileStatTest, MissingPathIsAnError) {
  for (const std::wstring& path : {P("missing"), std::wstring(), P("file.txt/inner")}) {
    SCOPED_TRACE(platform::OsText_Encode(path));
    const ErrorOf st(path.c_str());
    EXPECT_TRUE(st.IsError());
    EXPECT_NE(st.Number(), 0);
    EXPECT_EQ(st.GetSize(), 0u);
    EXPECT_EQ(st.GetMode(), 0u);
    EXPECT_EQ(st.GetMTime(), 0);
    EXPECT_FALSE(st.IsRegular());
    EXPECT_FALSE(st.IsDirectory());
    EXPECT_FALSE(F_Stat::IsDirectory(path.c_str()));
  }
  EXPECT_EQ(ErrorOf(P("missing").c_str()).Number(), ENOENT);
}

TEST_F(FileStatTest, ReportsSizeTypeAndTimes) {
  const auto at = [](std::int64_t seconds) {
    return std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds)));
  };
  fs::last_write_time(root_ / "file.txt", at(1'500'000'000));

  const F_Stat file(P("file.txt").c_str());
  EXPECT_FALSE(file.IsError());
  EXPECT_EQ(file.GetSize(), 3u);
  EXPECT_TRUE(file.IsRegular());
  EXPECT_FALSE(file.IsDirectory());
  EXPECT_EQ(file.GetMode() & 0xF000, 0x8000);
  EXPECT_EQ(file.GetMTime(), 1'500'000'000);
  EXPECT_GT(file.GetCTime(), 1'500'000'000);  // the time was changed just now
  EXPECT_GT(file.GetATime(), 0);

  const F_Stat folder(P("folder").c_str());
  EXPECT_FALSE(folder.IsError());
  EXPECT_TRUE(folder.IsDirectory());
  EXPECT_FALSE(folder.IsRegular());
  EXPECT_EQ(folder.GetMode() & 0xF000, 0x4000);
}

TEST_F(FileStatTest, PathsWithSlashesAreNormalised) {
  struct Row {
    std::wstring path;
    bool error;
    bool directory;
  };
  const Row rows[] = {
      {P("folder") + L"/", false, true},
      {P("folder") + L"//", false, true},
      {P("folder") + L"//.", false, true},
      // The trailing separator goes with normalising, so a file written as a
      // folder is still found (as C:/dir/ is queried as C:\dir).
      {P("file.txt") + L"/", false, false},
      {platform::OsText_Decode(root_.native()) + L"///folder", false, true},
      // The root stays the root.
      {L"/", false, true},
      {L"//", false, true},
      // Without '/' the name reaches the system unchanged: here a
      // relative name with a trailing backslash.
      {L"folder\\", true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::OsText_Encode(row.path));
    const F_Stat st(row.path.c_str());
    EXPECT_EQ(st.IsError(), row.error);
    EXPECT_EQ(st.IsDirectory(), row.directory);
    EXPECT_EQ(F_Stat::IsDirectory(row.path.c_str()), row.directory);
  }
  Write("folder\\", "");
  EXPECT_TRUE(F_Stat(L"folder\\").IsRegular());
}

TEST_F(FileStatTest, FolderAndFileExistence) {
  // A name beginning with two backslashes is only tested for existence
  // (here a file of that literal name in the current folder).
  Write("\\\\share", "");
  struct Row {
    std::wstring path;
    bool folder;
    bool file;            // File_IsExist without needSize
    bool file_with_size;  // File_IsExist with needSize
  };
  const Row rows[] = {
      {P("folder"), true, true, true},     {P("folder") + L"/", true, true, true},
      {L"folder", true, true, true},       {L"/", true, true, true},
      {P("file.txt"), false, true, true},  {P("empty"), false, true, false},
      {P("missing"), false, false, false}, {P("missing") + L"/", false, false, false},
      {L"", false, false, false},          {L"\\", false, false, false},
      {L"\\\\share", true, true, true},    {L"\\\\nothing", false, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::OsText_Encode(row.path));
    EXPECT_EQ(Folder_IsExist(row.path.c_str()), row.folder);
    EXPECT_EQ(Folder_IsNothing(row.path), !row.folder);
    EXPECT_EQ(File_IsExist(row.path.c_str(), false), row.file);
    EXPECT_EQ(File_IsNothing(row.path), !row.file);
    EXPECT_EQ(File_IsExist(row.path.c_str(), true), row.file_with_size);
  }
}

TEST_F(FileStatTest, NamesThatTheSystemCannotTakeNameNothing) {
  // Cut at the NUL, these would name the folder and the file.
  EXPECT_TRUE(Folder_IsNothing(P("folder") + std::wstring(1, L'\0') + L"x"));
  EXPECT_TRUE(File_IsNothing(P("file.txt") + std::wstring(1, L'\0') + L"x"));

  // A name that is not UTF-8 is found through its decoded form.
  Write("\xff\xfe.bin", "data");
  EXPECT_TRUE(File_IsExist(P("\xff\xfe.bin").c_str(), true));
  EXPECT_EQ(F_Stat(P("\xff\xfe.bin").c_str()).GetSize(), 4u);
}

}  // namespace

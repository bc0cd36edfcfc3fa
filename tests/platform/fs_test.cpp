#include "platform/fs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os_text.h"

namespace {

namespace fs = std::filesystem;

// A folder holding one thing of every kind the queries tell apart.
class FsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("foldweb_fs_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "folder");
    Write("file.txt", "abc");
    Write("empty", "");
    // A name that is not UTF-8 must still be reachable.
    Write("\xff\xfe name", "x");
    fs::create_symlink(root_ / "file.txt", root_ / "link_to_file");
    fs::create_symlink(root_ / "folder", root_ / "link_to_folder");
    fs::create_symlink(root_ / "missing", root_ / "broken_link");
    const std::string fifo = (root_ / "fifo").string();
    ASSERT_EQ(std::system(("mkfifo '" + fifo + "'").c_str()), 0);
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ / name, std::ios::binary) << bytes;
  }

  // The path of `name` in the system's own terms.
  std::wstring P(const std::string& name) const { return platform::OsText_Decode((root_ / name).native()); }

  fs::path root_;
};

TEST_F(FsTest, StatReportsTypeSizeAndError) {
  struct Row {
    std::wstring path;
    int error;
    std::uint16_t type;
    std::int64_t size;
  };
  const Row rows[] = {
      {P("file.txt"), 0, platform::kModeRegular, 3},
      {P("empty"), 0, platform::kModeRegular, 0},
      {P("folder"), 0, platform::kModeDirectory, -1},
      {P("\xff\xfe name"), 0, platform::kModeRegular, 1},
      {P("link_to_file"), 0, platform::kModeRegular, 3},
      {P("link_to_folder"), 0, platform::kModeDirectory, -1},
      {P("broken_link"), ENOENT, 0, 0},
      {P("missing"), ENOENT, 0, 0},
      {P("file.txt") + L"/inner", ENOTDIR, 0, 0},
      {L"", ENOENT, 0, 0},
      // The NUL would cut the path short and name the file before it.
      {P("file.txt") + std::wstring(1, L'\0') + L"x", ENOENT, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::OsText_Encode(row.path));
    platform::FileStatus st;
    st.mode = 0xFFFF;
    st.size = 99;
    st.modify_time = 99;
    EXPECT_EQ(platform::Fs_Stat(row.path, st), row.error);
    EXPECT_EQ(st.mode & platform::kModeTypeMask, row.type);
    if (row.error != 0) {
      EXPECT_EQ(st.size, 0);
      EXPECT_EQ(st.modify_time, 0);
      EXPECT_EQ(st.inode, 0u);
    } else {
      EXPECT_NE(st.inode, 0u);
      EXPECT_GE(st.links, 1u);
      if (row.size >= 0) {
        EXPECT_EQ(st.size, row.size);
      }
    }
  }
}

TEST_F(FsTest, StatReportsTheTimesSeparately) {
  const auto at = [](std::int64_t seconds) {
    return std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds)));
  };
  fs::last_write_time(root_ / "file.txt", at(1'000'000'000));
  platform::FileStatus st;
  ASSERT_EQ(platform::Fs_Stat(P("file.txt"), st), 0);
  EXPECT_EQ(st.modify_time, 1'000'000'000);
  // Changing the time just now changed the inode.
  EXPECT_GT(st.change_time, 1'000'000'000);
  EXPECT_GT(st.access_time, 0);
}

TEST_F(FsTest, ExistenceAndRegularFile) {
  struct Row {
    std::wstring path;
    bool exists;
    bool regular;
  };
  const Row rows[] = {
      {P("file.txt"), true, true},
      {P("empty"), true, true},
      {P("folder"), true, false},
      {P("link_to_file"), true, true},
      {P("link_to_folder"), true, false},
      {P("broken_link"), false, false},
      {P("fifo"), true, false},
      {L"/dev/null", true, false},
      {P("missing"), false, false},
      {L"", false, false},
      {P("file.txt") + std::wstring(1, L'\0'), false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::OsText_Encode(row.path));
    EXPECT_EQ(platform::Fs_Exists(row.path), row.exists);
    EXPECT_EQ(platform::Fs_IsRegularFile(row.path), row.regular);
  }
}

TEST_F(FsTest, MakeFolderCreatesOneOwnerOnlyFolder) {
  ASSERT_TRUE(platform::Fs_MakeFolder(P("new")));
  const fs::file_status st = fs::status(root_ / "new");
  EXPECT_TRUE(fs::is_directory(st));
  EXPECT_EQ(st.permissions() & fs::perms::all, fs::perms::owner_all);

  EXPECT_FALSE(platform::Fs_MakeFolder(P("new")));       // exists already
  EXPECT_FALSE(platform::Fs_MakeFolder(P("file.txt")));  // a file is there
  EXPECT_FALSE(platform::Fs_MakeFolder(P("no/such")));   // no parent
  EXPECT_FALSE(platform::Fs_MakeFolder(P("n") + std::wstring(1, L'\0')));
  EXPECT_TRUE(platform::Fs_MakeFolder(P("\xe9t\xe9")));  // not UTF-8
  EXPECT_TRUE(fs::is_directory(root_ / "\xe9t\xe9"));
}

TEST_F(FsTest, ReadWholeFileReadsRegularFilesOnly) {
  // Larger than one read, with NUL bytes and every byte value.
  std::string big;
  for (int i = 0; i < 300'000; ++i) big.push_back(static_cast<char>(i * 7));
  Write("big.bin", big);

  std::string out;
  ASSERT_TRUE(platform::Fs_ReadWholeFile(P("big.bin"), out));
  EXPECT_EQ(out, big);
  ASSERT_TRUE(platform::Fs_ReadWholeFile(P("link_to_file"), out));
  EXPECT_EQ(out, "abc");
  ASSERT_TRUE(platform::Fs_ReadWholeFile(P("empty"), out));
  EXPECT_EQ(out, "");

  // None of these is opened for reading; a FIFO would block for good.
  for (const std::wstring& path : {P("fifo"), P("folder"), P("missing"), P("broken_link"),
                                   std::wstring(L"/dev/zero"), P("file.txt") + std::wstring(1, L'\0')}) {
    SCOPED_TRACE(platform::OsText_Encode(path));
    out = "unchanged";
    EXPECT_FALSE(platform::Fs_ReadWholeFile(path, out));
    EXPECT_EQ(out, "unchanged");
  }
}

}  // namespace

#include "platform/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/os_text.h"

namespace {

namespace fs = std::filesystem;
using platform::OpenFailure;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("foldweb_files_test_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
  }

  std::wstring W(const std::string& name) const { return platform::OsText_Decode((root_ / name).string()); }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(root_ / name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(root_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path root_;
};

TEST_F(FilesTest, OpenModesCreateTruncateAndAppend) {
  OpenFailure why = OpenFailure::Lasting;
  std::FILE* f = platform::Files_Open(W("new.txt"), L"wb", why);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(why, OpenFailure::None);
  std::fputs("first", f);
  std::fclose(f);
  // A file the system creates is the user's alone.
  EXPECT_EQ(fs::status(root_ / "new.txt").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  f = platform::Files_Open(W("new.txt"), L"ab", why);
  ASSERT_NE(f, nullptr);
  std::fputs("+more", f);
  std::fclose(f);
  EXPECT_EQ(Read("new.txt"), "first+more");

  f = platform::Files_Open(W("new.txt"), L"w", why);
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(Read("new.txt"), "");

  Write("data.txt", "abc");
  f = platform::Files_Open(W("data.txt"), L"r+b", why);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fgetc(f), 'a');
  std::fclose(f);
  EXPECT_EQ(Read("data.txt"), "abc");

  EXPECT_EQ(platform::Files_Open(W("data.txt"), L"wx", why), nullptr);
  EXPECT_EQ(why, OpenFailure::Lasting);
}

TEST_F(FilesTest, FailuresTellWhetherWaitingMayHelp) {
  fs::create_directories(root_ / "folder");
  ASSERT_EQ(std::system(("mkfifo '" + (root_ / "fifo").string() + "'").c_str()), 0);
  const struct {
    std::wstring path;
    std::wstring mode;
  } lasting[] = {
      {W("missing.txt"), L"rb"},          // ENOENT
      {W("nosuch/file.txt"), L"wb"},      // ENOENT in the folder part
      {W("folder"), L"wb"},               // EISDIR
      {W("x.txt"), L"qb"},                // not a mode
      {W("x.txt"), L""},
      {L"", L"wb"},
      {W("a") + std::wstring(1, L'\0') + L"b", L"wb"},
      {W("fifo"), L"wb"},  // nobody reads it: fails without waiting
  };
  for (const auto& row : lasting) {
    SCOPED_TRACE(platform::OsText_Encode(row.path) + " " + platform::OsText_Encode(row.mode));
    OpenFailure why = OpenFailure::None;
    EXPECT_EQ(platform::Files_Open(row.path, row.mode, why), nullptr);
    EXPECT_EQ(why, OpenFailure::Lasting);
  }

  // A running program's file cannot be written while it runs (ETXTBSY): a
  // wait may mend that.
  const fs::path program = root_ / "busy";
  fs::copy_file("/bin/sleep", program);
  ASSERT_EQ(std::system(("'" + program.string() + "' 30 & echo $! > '" + (root_ / "pid").string() + "'").c_str()), 0);
  std::string pid = Read("pid");
  while (!pid.empty() && pid.back() == '\n') pid.pop_back();
  // NOTE: no open for writing before the program runs: it would make the
  // start fail instead.
  bool running = false;
  for (int i = 0; i < 500 && !running; ++i) {
    std::error_code error;
    running = fs::read_symlink("/proc/" + pid + "/exe", error) == program;
    if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(running);
  OpenFailure why = OpenFailure::None;
  std::FILE* f = platform::Files_Open(platform::OsText_Decode(program.string()), L"ab", why);
  if (f != nullptr) std::fclose(f);
  std::system(("kill " + pid + " 2>/dev/null").c_str());
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(why, OpenFailure::Transient);
}

TEST_F(FilesTest, PrivateFolders) {
  fs::create_directories(root_ / "own");
  fs::permissions(root_ / "own", fs::perms::owner_all, fs::perm_options::replace);
  fs::create_directories(root_ / "readable");
  fs::permissions(root_ / "readable", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_exec,
                  fs::perm_options::replace);
  fs::create_directories(root_ / "group_writable");
  fs::permissions(root_ / "group_writable", fs::perms::owner_all | fs::perms::group_all, fs::perm_options::replace);
  fs::create_directories(root_ / "all_writable");
  fs::permissions(root_ / "all_writable", fs::perms::all | fs::perms::sticky_bit, fs::perm_options::replace);
  fs::create_directory_symlink(root_ / "own", root_ / "link");
  Write("file", "x");
  const struct {
    const char* name;
    bool is_private;
  } cases[] = {
      {"own", true},           {"readable", true}, {"group_writable", false}, {"all_writable", false},
      {"link", false},         {"file", false},    {"missing", false},        {"own/", true},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(platform::Files_IsPrivateFolder(W(row.name)), row.is_private);
  }
  EXPECT_FALSE(platform::Files_IsPrivateFolder(L""));
}

TEST_F(FilesTest, FolderOfAnotherUserIsNotPrivate) {
  if (::geteuid() != 0) GTEST_SKIP() << "handing a folder to another user needs root";
  fs::create_directories(root_ / "theirs");
  fs::permissions(root_ / "theirs", fs::perms::owner_all, fs::perm_options::replace);
  ASSERT_EQ(::chown((root_ / "theirs").c_str(), 65534, 65534), 0);
  EXPECT_FALSE(platform::Files_IsPrivateFolder(W("theirs")));
}

TEST_F(FilesTest, RemoveAndCopy) {
  Write("a.txt", "alpha");
  Write("b.txt", "beta");
  fs::create_directories(root_ / "full");
  Write("full/x", "x");
  fs::create_directories(root_ / "empty");

  EXPECT_TRUE(platform::Files_Copy(W("a.txt"), W("c.txt"), true));
  EXPECT_EQ(Read("c.txt"), "alpha");
  EXPECT_FALSE(platform::Files_Copy(W("b.txt"), W("c.txt"), true));
  EXPECT_EQ(Read("c.txt"), "alpha");
  EXPECT_TRUE(platform::Files_Copy(W("b.txt"), W("c.txt"), false));
  EXPECT_EQ(Read("c.txt"), "beta");
  EXPECT_FALSE(platform::Files_Copy(W("missing"), W("d.txt"), false));
  EXPECT_FALSE(platform::Files_Copy(W("a.txt"), W("nosuch/d.txt"), false));

  EXPECT_FALSE(platform::Files_RemoveFolder(W("full")));
  EXPECT_TRUE(platform::Files_RemoveFolder(W("empty")));
  EXPECT_FALSE(platform::Files_Remove(W("full")));
  EXPECT_TRUE(platform::Files_Remove(W("a.txt")));
  EXPECT_FALSE(fs::exists(root_ / "a.txt"));
  EXPECT_FALSE(fs::exists(root_ / "empty"));
  EXPECT_FALSE(platform::Files_Remove(W("a.txt")));
}

TEST_F(FilesTest, AttributesAndReadOnly) {
  Write("plain.txt", "x");
  Write(".hidden", "x");
  fs::create_directories(root_ / "folder");
  using namespace platform;
  EXPECT_EQ(Files_GetAttributes(W("plain.txt")), kAttributeNormal);
  EXPECT_EQ(Files_GetAttributes(W(".hidden")), kAttributeHidden);
  EXPECT_EQ(Files_GetAttributes(W("folder")), kAttributeDirectory);
  EXPECT_EQ(Files_GetAttributes(W("folder/")), kAttributeDirectory);
  EXPECT_EQ(Files_GetAttributes(W("missing")), kAttributeInvalid);

  ASSERT_TRUE(Files_SetAttributes(W("plain.txt"), kAttributeReadOnly));
  EXPECT_EQ(fs::status(root_ / "plain.txt").permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_EQ(Files_GetAttributes(W("plain.txt")), kAttributeReadOnly);
  ASSERT_TRUE(Files_SetAttributes(W("plain.txt"), kAttributeNormal));
  EXPECT_EQ(Files_GetAttributes(W("plain.txt")), kAttributeNormal);
  EXPECT_FALSE(Files_SetAttributes(W("missing"), kAttributeNormal));
}

TEST_F(FilesTest, ModifyTimeFollowsTheFile) {
  Write("t.txt", "x");
  const auto when = fs::file_time_type::clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(1000000000)));
  fs::last_write_time(root_ / "t.txt", when);
  std::int64_t ns = 0;
  ASSERT_TRUE(platform::Files_GetModifyTime(W("t.txt"), ns));
  EXPECT_EQ(ns, 1000000000LL * 1000000000LL);
  EXPECT_FALSE(platform::Files_GetModifyTime(W("missing"), ns));
}

}  // namespace

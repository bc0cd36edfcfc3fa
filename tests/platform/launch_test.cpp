#include "platform/launch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/os_text.h"
#include "platform/process.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// State letter and process group of a process, from /proc; nullopt once the
// process is gone (reaped).
struct ProcState {
  char state;
  long parent;
  long group;
};
std::optional<ProcState> ReadProcState(const std::string& pid) {
  const std::string stat = ReadFile("/proc/" + pid + "/stat");
  const std::size_t end_of_name = stat.rfind(')');
  if (end_of_name == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(end_of_name + 1));
  ProcState st{};
  fields >> st.state >> st.parent >> st.group;
  if (!fields) return std::nullopt;
  return st;
}

// Children of this process that ended and were never reaped.
std::vector<std::string> ZombieChildren() {
  const long self = std::stol(fs::read_symlink("/proc/self").string());
  std::vector<std::string> zombies;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const auto st = ReadProcState(name);
    if (st && st->parent == self && st->state == 'Z') zombies.push_back(name);
  }
  return zombies;
}

// A fake xdg-open first on PATH, written per test.
class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("foldweb_launch_test_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "bin");
    if (const char* path = std::getenv("PATH")) old_path_ = path;
    UsePath((dir_ / "bin").string() + ":" + old_path_);
  }
  void TearDown() override {
    ::setenv("PATH", old_path_.c_str(), 1);
    EXPECT_EQ(ZombieChildren(), std::vector<std::string>());
    fs::remove_all(dir_);
  }

  void UsePath(const std::string& path) { ::setenv("PATH", path.c_str(), 1); }

  // Writes the opener as a shell script; "@" in `body` stands for the
  // test's folder.
  void WriteOpener(std::string body, bool executable = true) {
    for (std::size_t at = body.find('@'); at != std::string::npos; at = body.find('@', at)) {
      body.replace(at, 1, dir_.string());
    }
    const fs::path opener = dir_ / "bin" / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(opener, executable ? fs::perms::owner_all : fs::perms::owner_read);
  }

  fs::path dir_;
  std::string old_path_;
};

TEST_F(LaunchTest, MapsTheOpenersExitStatus) {
  struct Row {
    const char* body;
    int expected;
  };
  const Row rows[] = {
      {"exit 0", 33}, {"exit 2", 2}, {"exit 3", 31}, {"exit 1", 1}, {"exit 4", 1}, {"kill -KILL $$", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.body);
    WriteOpener(row.body);
    EXPECT_EQ(platform::Launch_Open(L"http://127.0.0.1:50000/"), row.expected);
  }
}

TEST_F(LaunchTest, AnOpenerThatCannotStartMeansNoAssociation) {
  // Only the test's folders on PATH: the search would go on to a real
  // xdg-open past one that is not executable.
  UsePath((dir_ / "bin").string());
  WriteOpener("exit 0", /*executable=*/false);
  EXPECT_EQ(platform::Launch_Open(L"http://127.0.0.1:50000/"), 31);
  UsePath((dir_ / "empty").string());
  EXPECT_EQ(platform::Launch_Open(L"http://127.0.0.1:50000/"), 31);
}

TEST_F(LaunchTest, PassesTheTargetAsOneArgumentWithQuietStreams) {
  WriteOpener(
      "echo \"$(readlink /proc/$$/fd/0) $(readlink /proc/$$/fd/1) $(readlink /proc/$$/fd/2)\""
      " > @/streams\n"
      "echo $# > @/count\n"
      "printf '%s' \"$1\" > @/argument\n"
      "echo to the terminal; echo to the terminal >&2");
  const std::wstring target = L"/tmp/a b/\"q\" & $(x) \u00e9\xdcff.html";
  EXPECT_EQ(platform::Launch_Open(target), 33);
  EXPECT_EQ(ReadFile(dir_ / "streams"), "/dev/null /dev/null /dev/null\n");
  EXPECT_EQ(ReadFile(dir_ / "count"), "1\n");
  EXPECT_EQ(ReadFile(dir_ / "argument"), platform::OsText_Encode(target));
}

TEST_F(LaunchTest, ATargetWithNulIsRefusedUnopened) {
  WriteOpener("touch @/started");
  EXPECT_EQ(platform::Launch_Open(std::wstring(L"http://a\0b", 10)), 1);
  EXPECT_FALSE(fs::exists(dir_ / "started"));
}

TEST_F(LaunchTest, AnOpenerStillRunningCountsAsLaunchedAndIsReapedLater) {
  WriteOpener("echo $$ > @/pid\nexec sleep 600");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::Launch_Open(L"http://127.0.0.1:50000/"), 33);
  // Far below the opener's 600 s: the call did not wait for it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

  std::string pid = ReadFile(dir_ / "pid");
  while (!pid.empty() && pid.back() == '\n') pid.pop_back();
  ASSERT_FALSE(pid.empty());
  const auto running = ReadProcState(pid);
  ASSERT_TRUE(running.has_value());
  // In a group of its own, out of reach of an interrupt typed at the
  // server's terminal.
  EXPECT_EQ(running->group, std::stol(pid));

  ASSERT_EQ(std::system(("kill " + pid).c_str()), 0);
  for (int i = 0; i < 400 && ReadProcState(pid); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_FALSE(ReadProcState(pid).has_value()) << "the ended opener was not reaped";
}

int LaunchesOnce(int, wchar_t**) { return platform::Launch_Open(L"http://127.0.0.1:50000/"); }

// Runs `wmain` as the program's entry would, with its signal handling.
[[noreturn]] void RunAndExit(int (*wmain)(int, wchar_t**)) {
  std::string name = "prog";
  char* argv[] = {name.data(), nullptr};
  std::exit(platform::Process_RunWideMain(1, argv, wmain));
}

TEST_F(LaunchTest, TheOpenerDoesNotInheritTheServersSignalHandling) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Exit 4: signals blocked (a browser started by the opener could not be
  // ended by SIGTERM); exit 5: SIGPIPE ignored.
  WriteOpener(
      "blocked=$(sed -n 's/^SigBlk:[[:space:]]*//p' /proc/$$/status)\n"
      "ignored=$(sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status)\n"
      "[ $((0x$blocked)) -eq 0 ] || exit 4\n"
      "[ $((0x$ignored & 0x1000)) -eq 0 ] || exit 5\n"
      "exit 0");
  EXPECT_EXIT(RunAndExit(LaunchesOnce), ::testing::ExitedWithCode(33), "");
}

}  // namespace

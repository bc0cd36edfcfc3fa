#include "platform/launch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/os_text.h"
#include "tests/support/process_env.h"
#include "tests/support/scratch.h"

namespace {

namespace fs = std::filesystem;

using test_support::ReadBytes;
using test_support::ReadProcState;
using test_support::RunAndExit;

// A fake xdg-open first on PATH, written per test.
class LaunchTest : public test_support::FakeProgramTest {
 protected:
  LaunchTest() : FakeProgramTest("foldweb_launch_test_") {}

  // Writes the opener as a shell script; "@" in `body` stands for the
  // test's folder.
  void WriteOpener(const std::string& body, bool executable = true) {
    WriteShellScript(root_ / "bin" / "xdg-open", InRoot(body), executable);
  }
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
  Set("PATH", (root_ / "bin").string());
  WriteOpener("exit 0", /*executable=*/false);
  EXPECT_EQ(platform::Launch_Open(L"http://127.0.0.1:50000/"), 31);
  Set("PATH", (root_ / "empty").string());
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
  EXPECT_EQ(ReadBytes(root_ / "streams"), "/dev/null /dev/null /dev/null\n");
  EXPECT_EQ(ReadBytes(root_ / "count"), "1\n");
  EXPECT_EQ(ReadBytes(root_ / "argument"), platform::OsText_Encode(target));
}

TEST_F(LaunchTest, ATargetWithNulIsRefusedUnopened) {
  WriteOpener("touch @/started");
  EXPECT_EQ(platform::Launch_Open(std::wstring(L"http://a\0b", 10)), 1);
  EXPECT_FALSE(fs::exists(root_ / "started"));
}

TEST_F(LaunchTest, AnOpenerStillRunningCountsAsLaunchedAndIsReapedLater) {
  WriteOpener("echo $$ > @/pid\nexec sleep 600");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::Launch_Open(L"http://127.0.0.1:50000/"), 33);
  // Far below the opener's 600 s: the call did not wait for it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

  std::string pid = ReadBytes(root_ / "pid");
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
  EXPECT_EXIT(RunAndExit({"prog"}, LaunchesOnce), ::testing::ExitedWithCode(33), "");
}

}  // namespace

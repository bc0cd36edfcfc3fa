#pragma once
// Test support: a scratch folder per test, fake programs (shell scripts)
// written into it, and the children that a test leaves unreaped.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ios>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/process_env.h"

namespace test_support {

namespace fs = std::filesystem;

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// temp/`prefix`<test name>, empty; the caller creates it. Named after the
// running test, so a failed test's leftovers say whose they are.
inline fs::path ScratchFolder(const std::string& prefix) {
  const fs::path folder = fs::temp_directory_path() /
                          (prefix + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  fs::remove_all(folder);
  return folder;
}

// State letter, parent and process group of a process, from /proc; nullopt
// once the process is gone (reaped).
struct ProcState {
  char state;
  long parent;
  long group;
};
inline std::optional<ProcState> ReadProcState(const std::string& pid) {
  std::string stat;
  try {
    stat = ReadBytes("/proc/" + pid + "/stat");
  } catch (const std::ios_base::failure&) {
    return std::nullopt;  // reaped between opening the file and reading it
  }
  // The name in parentheses may hold spaces and ')'; the fields follow the last one.
  const std::size_t end_of_name = stat.rfind(')');
  if (end_of_name == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(end_of_name + 1));
  ProcState st{};
  fields >> st.state >> st.parent >> st.group;
  if (!fields) return std::nullopt;
  return st;
}

// Children of this process that ended and were never reaped.
inline std::vector<std::string> ZombieChildren() {
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

// A scratch folder per test (root_, named `prefix` and the test's name) with
// root/bin first on PATH for fake programs. The environment is put back
// after the test, which must leave no child unreaped.
class FakeProgramTest : public ::testing::Test {
 protected:
  explicit FakeProgramTest(std::string prefix) : prefix_(std::move(prefix)) {}

  void SetUp() override {
    root_ = ScratchFolder(prefix_);
    fs::create_directories(root_ / "bin");
    Set("PATH", (root_ / "bin").string() + ":" + ScopedEnv::Get("PATH").value_or("/usr/bin:/bin"));
  }
  void TearDown() override {
    env_.Restore();
    EXPECT_EQ(ZombieChildren(), std::vector<std::string>());
    fs::remove_all(root_);
  }

  void Set(const std::string& name, const std::optional<std::string>& value) { env_.Set(name, value); }

  // `body` with each "@" replaced by root, so a fake can name the test's files.
  std::string InRoot(std::string body) const {
    for (std::size_t at = body.find('@'); at != std::string::npos; at = body.find('@', at)) {
      body.replace(at, 1, root_.string());
    }
    return body;
  }

  // Writes `body` as a shell script; a script that is not executable cannot
  // be started.
  static fs::path WriteShellScript(const fs::path& path, const std::string& body, bool executable = true) {
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read);
    return path;
  }

  // A shell script that records its arguments (a NUL after each) in
  // root/`record` and then runs `body`, in which "@" stands for root.
  fs::path WriteScript(const fs::path& path, const std::string& record, const std::string& body) const {
    const std::string log = "'" + (root_ / record).string() + "'";
    return WriteShellScript(path, ": >> " + log + "\n[ $# -eq 0 ] || printf '%s\\0' \"$@\" >> " + log + "\n" +
                                      InRoot(body));
  }

  // The arguments that every start so far recorded in root/`record`, in
  // order; the record is removed.
  std::vector<std::string> Recorded(const std::string& record) const {
    std::vector<std::string> words;
    const std::string all = ReadBytes(root_ / record);
    for (std::size_t at = 0; at < all.size();) {
      const std::size_t end = all.find('\0', at);
      words.push_back(all.substr(at, end - at));
      at = end + 1;
    }
    fs::remove(root_ / record);
    return words;
  }
  bool Ran(const std::string& record) const { return fs::exists(root_ / record); }

  fs::path root_;

 private:
  std::string prefix_;
  ScopedEnv env_;
};

}  // namespace test_support

#pragma once
// Test support for the working-folder tests: a scratch folder per test with
// the temporary and cache folders pointed into it, file times set days back,
// and a running program whose file cannot be written meanwhile.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/os_text.h"

namespace workdir_test {

namespace fs = std::filesystem;

inline std::wstring W(const fs::path& p) { return platform::OsText_Decode(p.string()); }
inline std::string N(const std::wstring& w) { return platform::OsText_Encode(w); }

inline std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

// Sets the modification time `days` days and `seconds` seconds back from now.
inline void SetAge(const fs::path& p, int days, int seconds = 0) {
  const auto then = std::chrono::system_clock::now() - std::chrono::hours(24 * days) - std::chrono::seconds(seconds);
  fs::last_write_time(p, std::chrono::file_clock::from_sys(then));
}

inline fs::perms Mode(const fs::path& p) { return fs::symlink_status(p).permissions() & fs::perms::all; }

// Environment variables set for one test and restored after it.
class ScopedEnv {
 public:
  ScopedEnv() = default;
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// A scratch folder per test: root/tmp is the temporary folder (TMPDIR, with
// TMP and TEMP unset) and root/cache the shared documents folder
// (XDG_CACHE_HOME).
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("foldweb_workdir_test_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "tmp");
    fs::create_directories(root_ / "cache");
    env_.Set("TMP", std::nullopt);
    env_.Set("TEMP", std::nullopt);
    env_.Set("TMPDIR", (root_ / "tmp").string());
    env_.Set("XDG_CACHE_HOME", (root_ / "cache").string());
  }
  void TearDown() override {
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(root_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
      if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(root_, ignored);
  }

  fs::path root_;
  ScopedEnv env_;
};

// A copy of a program that runs for `seconds` in the background: while it
// runs, its file cannot be opened for writing (ETXTBSY).
class BusyProgram {
 public:
  BusyProgram(const fs::path& path, int seconds) : path_(path) {
    fs::copy_file("/bin/sleep", path_, fs::copy_options::overwrite_existing);
    const fs::path pid_file = path_.string() + ".pid";
    const std::string command =
        "'" + path_.string() + "' " + std::to_string(seconds) + " & echo $! > '" + pid_file.string() + "'";
    if (std::system(command.c_str()) != 0) return;
    pid_ = ReadBytes(pid_file);
    while (!pid_.empty() && (pid_.back() == '\n' || pid_.back() == ' ')) pid_.pop_back();
    // Running once the process image is this file; no open for writing is
    // tried before that, since it would make the start fail instead.
    for (int i = 0; i < 500 && !running_; ++i) {
      std::error_code error;
      running_ = fs::read_symlink("/proc/" + pid_ + "/exe", error) == path_;
      if (!running_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~BusyProgram() {
    if (!pid_.empty()) std::system(("kill " + pid_ + " 2>/dev/null").c_str());
  }
  BusyProgram(const BusyProgram&) = delete;
  BusyProgram& operator=(const BusyProgram&) = delete;

  bool running() const { return running_; }

 private:
  fs::path path_;
  std::string pid_;
  bool running_ = false;
};

}  // namespace workdir_test

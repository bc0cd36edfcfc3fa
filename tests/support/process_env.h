#pragma once
// Test support: environment variables changed for a while, and a wide main
// run in a death-test child the way the program's entry runs it.
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"

namespace test_support {

// Sets (or with nullopt unsets) environment variables; each goes back to
// what it was before its first change when the ScopedEnv ends or Restore()
// is called.
class ScopedEnv {
 public:
  ScopedEnv() = default;
  ScopedEnv(const std::string& name, const std::optional<std::string>& value) { Set(name, value); }
  ~ScopedEnv() { Restore(); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  static std::optional<std::string> Get(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
  }

  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) saved_[name] = Get(name);
    Put(name, value);
  }

  void Restore() {
    for (const auto& [name, value] : saved_) Put(name, value);
    saved_.clear();
  }

 private:
  static void Put(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }

  std::map<std::string, std::optional<std::string>> saved_;
};

// Runs `wmain` as the program's entry would (decoded arguments, its signal
// handling) and exits with its result; for EXPECT_EXIT.
[[noreturn]] inline void RunAndExit(std::vector<std::string> arguments, int (*wmain)(int, wchar_t**)) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::exit(platform::Process_RunWideMain(static_cast<int>(arguments.size()), argv.data(), wmain));
}

}  // namespace test_support

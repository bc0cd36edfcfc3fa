#pragma once
// Test support for the desktop tests: a scratch folder per test with fake
// programs first on PATH and the temporary folder inside it, the trace
// records written meanwhile, and the children left unreaped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/os_text.h"

namespace desktop_test {

namespace fs = std::filesystem;

inline std::wstring W(const fs::path& p) { return platform::OsText_Decode(p.string()); }

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// UTF-16LE bytes as text (the trace log's encoding).
inline std::wstring DecodeUtf16(const std::string& bytes) {
  std::wstring out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1])
                                                                     << 8;
    if (unit >= 0xDC00 && unit < 0xE000 && !out.empty() && out.back() >= 0xD800 && out.back() < 0xDC00) {
      out.back() = static_cast<wchar_t>(0x10000 + ((out.back() - 0xD800) << 10) + (unit - 0xDC00));
    } else {
      out += static_cast<wchar_t>(unit);
    }
  }
  return out;
}

inline std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& sep) {
  std::vector<std::wstring> out;
  for (std::size_t at = 0;;) {
    const std::size_t end = text.find(sep, at);
    out.push_back(text.substr(at, end - at));
    if (end == std::wstring::npos) return out;
    at = end + sep.size();
  }
}

// Children of this process that ended and were never reaped.
inline std::vector<std::string> ZombieChildren() {
  const std::string self = fs::read_symlink("/proc/self").string();
  std::vector<std::string> zombies;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadBytes(entry.path() / "stat");
    const std::size_t end_of_name = stat.rfind(')');
    if (end_of_name == std::string::npos) continue;
    std::istringstream fields(stat.substr(end_of_name + 1));
    char state = 0;
    std::string parent;
    fields >> state >> parent;
    if (parent == self && state == 'Z') zombies.push_back(name);
  }
  return zombies;
}

// A scratch folder per test: root/bin first on PATH for the fakes, root/tmp
// the temporary folder (TMPDIR; TMP and TEMP unset), a display named
// (DISPLAY; the fakes never use it). The environment is put back after.
class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("foldweb_desktop_test_" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "bin");
    fs::create_directories(root_ / "tmp");
    Set("PATH", (root_ / "bin").string() + ":" + Old("PATH").value_or("/usr/bin:/bin"));
    Set("TMPDIR", (root_ / "tmp").string());
    Set("TMP", std::nullopt);
    Set("TEMP", std::nullopt);
    Set("DISPLAY", ":97");
    Set("WAYLAND_DISPLAY", std::nullopt);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    EXPECT_EQ(ZombieChildren(), std::vector<std::string>());
    fs::remove_all(root_);
  }

  static std::optional<std::string> Old(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
  }
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) saved_[name] = Old(name);
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }

  // A shell script that records its arguments (a NUL after each) in
  // root/`record` and then runs `body`, in which "@" stands for root.
  fs::path WriteScript(const fs::path& path, const std::string& record, std::string body) {
    for (std::size_t at = body.find('@'); at != std::string::npos; at = body.find('@', at)) {
      body.replace(at, 1, root_.string());
    }
    const std::string log = "'" + (root_ / record).string() + "'";
    std::ofstream(path) << "#!/bin/sh\n: >> " << log << "\n[ $# -eq 0 ] || printf '%s\\0' \"$@\" >> " << log
                        << "\n"
                        << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }

  // The arguments that every start so far recorded in root/`record`, in
  // order; the record is removed.
  std::vector<std::string> Recorded(const std::string& record) {
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

  // The trace records written so far, without the files' headers, each as
  // its fields.
  std::vector<std::vector<std::wstring>> TraceRecords() const {
    std::vector<std::vector<std::wstring>> records;
    const fs::path wc = root_ / "tmp" / "Vantre.tmp" / "_trace_" / "WC";
    if (!fs::exists(wc)) return records;
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(wc)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      const std::string bytes = ReadBytes(file);
      EXPECT_EQ(bytes.substr(0, 2), "\xff\xfe") << file;
      std::vector<std::wstring> lines = Split(DecodeUtf16(bytes.substr(2)), L"\r\n");
      EXPECT_TRUE(lines.size() >= 2 && lines.back().empty()) << file;
      for (std::size_t i = 1; i + 1 < lines.size(); ++i) records.push_back(Split(lines[i], L"\t"));
    }
    return records;
  }

  fs::path root_;
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace desktop_test

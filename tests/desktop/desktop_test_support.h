#pragma once
// Test support for the desktop tests: a scratch folder per test with fake
// programs first on PATH and the temporary folder inside it, and the trace
// records written meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/os_text.h"
#include "tests/support/scratch.h"

namespace desktop_test {

namespace fs = std::filesystem;

inline std::wstring W(const fs::path& p) { return platform::OsText_Decode(p.string()); }

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

// A scratch folder per test: root/bin first on PATH for the fakes, root/tmp
// the temporary folder (TMPDIR; TMP and TEMP unset), a display named
// (DISPLAY; the fakes never use it). The environment is put back after.
class DesktopTest : public test_support::FakeProgramTest {
 protected:
  DesktopTest() : FakeProgramTest("foldweb_desktop_test_") {}

  void SetUp() override {
    FakeProgramTest::SetUp();
    fs::create_directories(root_ / "tmp");
    Set("TMPDIR", (root_ / "tmp").string());
    Set("TMP", std::nullopt);
    Set("TEMP", std::nullopt);
    Set("DISPLAY", ":97");
    Set("WAYLAND_DISPLAY", std::nullopt);
  }

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
      const std::string bytes = test_support::ReadBytes(file);
      EXPECT_EQ(bytes.substr(0, 2), "\xff\xfe") << file;
      std::vector<std::wstring> lines = Split(DecodeUtf16(bytes.substr(2)), L"\r\n");
      EXPECT_TRUE(lines.size() >= 2 && lines.back().empty()) << file;
      for (std::size_t i = 1; i + 1 < lines.size(); ++i) records.push_back(Split(lines[i], L"\t"));
    }
    return records;
  }
};

}  // namespace desktop_test

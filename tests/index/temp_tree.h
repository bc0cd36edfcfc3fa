#pragma once
// Test support: a fresh folder under the system's temporary folder, removed
// with everything in it when the object goes. Names are given as the bytes
// the file system holds, so non-UTF-8 names can be made too.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/os_text.h"

class TempTree {
 public:
  TempTree() {
    std::random_device rd;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      root_ = base / ("foldweb-test-" + std::to_string(rd()));
      if (std::filesystem::create_directory(root_)) break;
    }
  }
  ~TempTree() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // The folder as the system names it, and as the system under test sees it.
  std::string Bytes() const { return root_.native(); }
  std::wstring Path() const { return platform::OsText_Decode(root_.native()); }

  void File(const std::string& rel, const std::string& content = "") const {
    std::ofstream(root_ / rel, std::ios::binary) << content;
  }
  void Folder(const std::string& rel) const { std::filesystem::create_directories(root_ / rel); }
  void Link(const std::string& target, const std::string& rel) const {
    std::filesystem::create_symlink(target, root_ / rel);
  }

 private:
  std::filesystem::path root_;
};

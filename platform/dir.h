#pragma once
// Directory enumeration: the entries of one folder, not recursive.
#include <string>
#include <vector>

namespace platform {

struct DirEntry {
  std::wstring name;       // the entry's own name, decoded without loss
  bool is_folder = false;  // a folder after following symbolic links
};

// The entries of the folder `path`, "." and ".." included, sorted by name
// without regard to letter case (so listings read alphabetically whatever
// order the file system keeps). A broken symbolic link is a file. False,
// and `out` empty, when the folder cannot be opened: it does not exist, is
// not a folder, or may not be read.
bool Dir_Read(const std::wstring& path, std::vector<DirEntry>& out);

}  // namespace platform

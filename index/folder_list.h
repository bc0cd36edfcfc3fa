#pragma once
// Listing one folder, not recursively: every entry as a full path (the
// folder, the system's separator, the name; a sub-folder's entry ends in the
// separator, a file's does not), picking the sub-folders or the files whose
// names match a wildcard pattern, and telling whether a folder is empty.
// Entries keep the order of the platform's enumeration. A folder that cannot
// be read lists nothing; nothing is reported.
#include <vector>

#include "base/types.h"

// The entries of the folder `path`; "." and ".." only when `skipDot` is
// false.
std::vector<wstring> EnumFiles_MSC(const wstring& path, bool skipDot);
// True when the folder holds nothing besides "." and "..", or cannot be
// read.
bool Folder_IsEmpty_MSC(const wstring& path);

// These first find the folder: one trailing separator is dropped, and a path
// that is not an existing folder stands for its folder part (a file's
// folder, a missing folder's parent; "/" for a bare name).
std::vector<wstring> EnumFiles(const wchar_t* path_, bool skipDot);
bool Folder_IsEmpty(const wchar_t* path_);

// True when the last component of `filePath` matches `wildName_`, letter
// case aside. '*' is any run of characters; nothing else is special. A
// pattern without '*' matches the names that begin and end with it.
bool ExtractFiles_match(const wstring& filePath, const wstring& wildName_);

// The file entries (never folders) that match, in their order.
std::vector<wstring> ExtractFiles(const std::vector<wstring>& foundFiles, const wstring& wildName);
// The folder entries, in their order.
std::vector<wstring> ExtractFolders(const std::vector<wstring>& foundFiles);

// The matching files, and the sub-folders, of the folder found from `path`.
std::vector<wstring> EnumFiles(const wchar_t* path, const wstring& wildName);
std::vector<wstring> EnumFiles(const wchar_t* path, const wchar_t* wildName);
std::vector<wstring> EnumFolders(const wchar_t* path);

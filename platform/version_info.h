#pragma once
// Version records of program files: the small string table a build puts in
// the section ".foldweb_version" of an ELF executable (pairs of
// NUL-terminated UTF-8 strings, key then value, "Translation" first, ended by
// an empty key). Any file can be asked; one without the section, or no ELF
// file at all, has a record of size 0.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Size in bytes of the version record of the file at `path`; 0 when it has
// none or cannot be read. `handle` is set to 0 (it has no use here but keeps
// the shape of the size query callers know).
std::uint32_t VersionInfo_GetSize(const std::wstring& path, std::uint32_t& handle);

// Reads at most `length` bytes of the record into `data`. False when the file
// has no record or cannot be read.
bool VersionInfo_Read(const std::wstring& path, std::uint32_t handle, std::uint32_t length, void* data);

struct VersionTranslation {
  std::uint16_t language = 0;
  std::uint16_t code_page = 0;
};

// What a query found: for "\VarFileInfo\Translation" the translations, for a
// string the text. `length` is 4 bytes per translation, or the string's
// number of characters (no terminator); 0 for an empty value.
struct VersionValue {
  std::vector<VersionTranslation> translations;
  std::wstring text;
  std::uint32_t length = 0;
};

// Looks `sub_block` up in a record read by VersionInfo_Read:
// "\VarFileInfo\Translation", or "\StringFileInfo\LLLLCCCC\Key" with the
// translation's language and code page as eight hexadecimal digits. False
// when the record holds no such value.
bool VersionInfo_Query(const void* data, std::size_t size, const std::wstring& sub_block, VersionValue& out);

}  // namespace platform

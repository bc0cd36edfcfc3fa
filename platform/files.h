#pragma once
// Files and folders as the working-folder code needs them: opening a file as
// a C stream, telling a private folder from a shared one, removing, copying,
// attribute bits and modification times.
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// Why an open failed. Transient: an error a later attempt may not meet (the
// file is a running program's, the process or the system is out of file
// handles or memory, the call was interrupted); Lasting: an error no wait can
// mend (no such file or folder, no permission, a read-only file system, a
// folder, no space, a bad mode).
enum class OpenFailure { None, Transient, Lasting };

// Opens `path` as a C stream in the fopen `mode` ("rb", "wb", "ab", "r+b",
// "w+", ... ; "x" asks for a new file). A file it creates gets mode 0600. On
// failure returns null and says in `why` whether waiting may help.
std::FILE* Files_Open(const std::wstring& path, const std::wstring& mode, OpenFailure& why);

// True when `path` is a folder itself (not a symbolic link to one), owned by
// the effective user, and writable by no one else (neither its group nor
// others). A folder only such a user can change cannot be swapped or filled
// by another local user.
bool Files_IsPrivateFolder(const std::wstring& path);

// Deletes a file, or a symbolic link itself. True when it is gone.
bool Files_Remove(const std::wstring& path);

// Removes an empty folder. True when it is gone.
bool Files_RemoveFolder(const std::wstring& path);

// Copies the regular file `src` to `dst` with its permissions; an existing
// `dst` is replaced unless `fail_if_exists`. True when the copy was made.
bool Files_Copy(const std::wstring& src, const std::wstring& dst, bool fail_if_exists);

// Attribute bits in the Windows sense.
inline constexpr std::uint32_t kAttributeReadOnly = 0x01;  // the owner may not write
inline constexpr std::uint32_t kAttributeHidden = 0x02;    // the name begins with "."
inline constexpr std::uint32_t kAttributeSystem = 0x04;    // never set here
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeNormal = 0x80;  // none of the others
inline constexpr std::uint32_t kAttributeInvalid = 0xFFFFFFFFu;

// The attribute bits of `path` (after following links), or
// kAttributeInvalid when its status cannot be read.
std::uint32_t Files_GetAttributes(const std::wstring& path);

// Sets the bits that can be set here: read-only turns the owner's write
// permission off, its absence turns it on. Hidden and system follow from the
// name and are left alone. True when the permission change succeeded.
bool Files_SetAttributes(const std::wstring& path, std::uint32_t bits);

// The last-modification time of `path` (after following links) in
// nanoseconds since 1970-01-01 UTC. False when its status cannot be read.
bool Files_GetModifyTime(const std::wstring& path, std::int64_t& nanoseconds);

}  // namespace platform

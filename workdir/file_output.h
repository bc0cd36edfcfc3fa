#pragma once
// Writing and copying files. Opening waits for a file that cannot be opened
// for a moment (retried every 100 ms, with console progress), and a write
// that leaves an empty file behind is repeated.
#include <cstdint>
#include <cstdio>

#include "base/types.h"
#include "platform/files.h"

// Writes `tStr` (up to its first NUL) as UTF-8 to `pathName`, with the
// byte-order mark EF BB BF first when `with_BOM`. The result of v_c_Save.
bool SaveUTF8(const wchar_t* pathName, const wstring& tStr, bool with_BOM);

// Writes `buff` as the whole file `pathName` (a new file gets mode 0600).
// True when every byte was written and, for a non-empty `buff`, the file is
// not empty on disk; a file left empty is written again, up to 12 times in
// all from a `count` of 0 (outside callers pass 0).
bool v_c_Save(const wchar_t* pathName, v_char buff, std::int32_t count);

// Opens `pathName` in the C mode `nMode` ("wb", "ab", ...), trying every
// 100 ms for `wait_sec` seconds (at least once) while the failure is one a
// wait may mend; any other failure ends the wait at once. Null when no
// attempt succeeded or the name is empty.
std::FILE* Open_File(const wchar_t* pathName, const wchar_t* nMode, std::int32_t wait_sec);

// The one place a file is opened. Null for an empty name or a failed open;
// the second form also says whether a later attempt may succeed.
std::FILE* TFOpen(const wstring& fileName, const wstring& mode);
std::FILE* TFOpen(const wstring& fileName, const wstring& mode, platform::OpenFailure& why);

// Copies the file `src` to `dst`, creating `dst`'s folder with every missing
// level first. An existing `dst` is replaced unless `bFailIfExists`. True
// when the copy was made.
bool File_Copy(const wchar_t* src, const wchar_t* dst, bool bFailIfExists);

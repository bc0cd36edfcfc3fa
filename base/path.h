#pragma once
// Path names as plain text: trailing separators, taking a path apart,
// uniform separators. Both '\' and '/' count as separators when a path is
// taken apart; nothing here touches the file system. Callers pass the
// system's own separator, platform::kPathSeparator, as `sp`.
#include "base/types.h"

// The last character, or NUL for the empty text.
wchar_t String_GetLast_TC(const wstring& str);

// True when `fold` ends in '\' or '/'.
bool Path_LastIsSP(const wstring& fold);

// `folder` with `sp` appended unless it already ends in a separator; the
// empty path stays empty.
wstring Path_AddLastSP(const wstring& folder, wchar_t sp);

// `folder` less exactly one trailing separator.
wstring Path_DelLastSP(const wstring& folder);
wstring Path_DelLastSP(const wchar_t* folder);

// Every '/' becomes `sp`, one trailing separator is dropped, runs of
// separators shrink to one (two directly after the first component, so a
// UNC prefix survives). "." and ".." stay; quoted pieces are left alone.
wstring Path_Normalize(const wstring& path_, wchar_t sp);

// The separator for these is the last '\', or the last '/' only when the
// path holds no '\'.
// The last component; the whole path when it holds no separator.
wstring Path_GetName(const wstring& pathName_);
wstring Path_GetName(const wchar_t* pathName_);
// The name up to its last dot; empty when the name is empty, " ", or holds '?'.
wstring Path_GetTitle(const wstring& pathName_);
wstring Path_GetTitle(const wchar_t* pathName_);
// What follows the name's last dot; empty in the same cases as the title.
wstring Path_GetExt(const wstring& pathName_);
wstring Path_GetExt(const wchar_t* pathName_);
// Path_GetExt lower-cased by the current locale.
wstring Path_GetExtLow(const wstring& pathName_);
wstring Path_GetExtLow(const wchar_t* pathName_);
// Everything before the separator. NOTE: a path without separator (a bare
// name, also the empty path) gives the system's own separator alone, "/".
wstring Path_GetDir(const wstring& pathName_);
wstring Path_GetDir(const wchar_t* pathName_);

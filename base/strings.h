#pragma once
// Text operations on wstring values and lists of them. All return new values
// and leave their arguments unchanged; pointer arguments are NUL-terminated
// wide text and never null.
#include <cstdint>
#include <vector>

#include "base/types.h"

// The pieces of `str_` (up to its first NUL) between separators. In character
// mode every character of `sp` is a separator; in line mode (`isLine`) the
// whole text `sp` is one. Empty pieces at the start and between separators
// are kept, a separator at the very end gives no empty last piece. A piece
// that begins with '"' or '\'' runs to the first separator after its closing
// mark, or to the end of the text when the mark is never closed.
std::vector<wstring> String_Split(const wstring& str_, bool isLine, const wchar_t* sp);
std::vector<wstring> String_Split(const wstring& str, wchar_t sp);

// The items with `sp` between neighbours. Lists of ten or more items show
// the console progress display while joining.
wstring String_Join(const std::vector<wstring>& srcAry, const wchar_t* sp);
wstring String_Join(const std::vector<wstring>& srcAry, const wstring& sp);
wstring String_Join(const std::vector<wstring>& srcAry, wchar_t sp);

// The non-empty pieces of `strL` split at any character of `sp`.
std::vector<wstring> String_SplitSpace(const wchar_t* strL, const wchar_t* sp);

// Copies of a list: without empty items; sorted ascending (by code point,
// case-sensitive, locale-free); reversed; sorted with duplicates removed.
std::vector<wstring> SkipEmpty(const std::vector<wstring>& srcAry);
std::vector<wstring> Sort(const std::vector<wstring>& srcAry);
std::vector<wstring> Reverse(const std::vector<wstring>& srcAry);
std::vector<wstring> Unique(const std::vector<wstring>& srcAry);

// Lower-cased by the process's current locale; a NUL ends the result.
wstring String_ToLower(const wstring& str_);
bool String_CompareNoCase(const wstring& str1, const wstring& str2);

// Not-found value of String_FindNoCase.
inline constexpr std::uint32_t kStringNotFound = 0xFFFFFFFFu;

// Position of `str2` in `str1` from `pos`: an exact match first, else a match
// of the lower-cased forms; kStringNotFound when neither occurs.
std::uint32_t String_FindNoCase(const wstring& str1, const wstring& str2, std::uint32_t pos);

// Each carriage return becomes the first character of `sp`, each line feed
// the rest of `sp` (possibly nothing). `sp` must not be empty.
wstring String_CrLfToSP(const wchar_t* str, const wchar_t* sp);
wstring String_CrLfToSP(const wstring& str, const wchar_t* sp);

// Every `src` replaced by `dst`; the length never changes (also for NUL).
wstring String_Change(const wstring& str_, wchar_t src, wchar_t dst);

// `q` + `str` + `q`.
wstring QuotM_Add(const wstring& str, wchar_t q);
// `q` + `str` + the partner of `q`: ( ), < >, [ ], { }; any other is its own.
wstring Bracket_Add(const wstring& str, wchar_t q);

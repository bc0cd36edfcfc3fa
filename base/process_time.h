#pragma once
// What the process asks its environment: environment variables, the
// command-line arguments, its own executable, the current folder, special
// folders, the user's name, and the local time formatted by a pattern. Every
// failure ends as an empty or unchanged result.
#include <cstdint>
#include <ctime>
#include <vector>

#include "base/types.h"

// The variable's value; empty when it is not set (or set to the empty text).
wstring TGetEnv(const wstring& var);

// The process-wide argument list, the invocation name first; filled on the
// first call that finds the process's arguments stored.
std::vector<wstring>* get_argv();
// A copy of the argument list.
std::vector<wstring> get_arg();

// Full path of the program's own executable (`hModule` is null for it; no
// other module is known here). When it differs from the first argument, both
// are written to the error stream, on every call. With an empty argument
// list the first call writes "::get_arv() ... empty" and the path. Without
// a path from the system the result is the first argument, or empty.
wstring Get_module_name(void* hModule);

// The text, unchanged.
wstring Get_abs_path(const wchar_t* path_);

// Current folder; empty when it cannot be read or is longer than 259
// characters.
wstring GetCWD();

// The long form of a path; here every path already is one.
wstring GetLngPathName(const wstring& fileName);

// The folder standing for a special-folder id (46: shared documents, here
// the user's cache folder; 36, 37, 38: system, system programs, programs),
// without a trailing separator; empty for an unknown id.
wstring SH_GetFolderPath(void* hwnd, std::int32_t csidl, void* hToken, std::uint32_t dwFlags);
wstring SH_GetFolderPath(std::int32_t csidl);

// The effective user's login name, else $USER, else $USERNAME, else empty.
wstring Get_user_name();

// `stm` formatted by the wcsftime pattern `fmt`; empty when the text is
// empty or longer than 254 characters.
wstring Time_Format(const std::tm& stm, const wchar_t* fmt);
// The local time of `tim_v` (seconds since 1970-01-01 UTC) formatted; empty
// when it cannot be converted.
wstring Time_Format(std::int64_t tim_v, const wchar_t* fmt);
// The current local time formatted.
wstring Now_Format(const wchar_t* fmt);

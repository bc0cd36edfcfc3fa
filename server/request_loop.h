#pragma once
#include <cstdint>

#include "base/types.h"

// One row of the content-type table: extension (lower case, no dot) and type.
struct MIME_type {
  const wchar_t* ext;
  const wchar_t* type;
};
inline constexpr int MIME_type_count = 17;
extern const MIME_type MIME_type_tbl[MIME_type_count];

// The content type for an extension without its dot; "application/octet-stream"
// for the empty extension and any extension not in the table.
wstring get_MIME_type(const wchar_t* ext_);

// Text handed over by the HTTP layer, up to its first NUL character.
wstring to_tstring(const wstring& str);

// The local path of a request: the raw URL with '/' turned into the system's
// separator, form-decoded (%XX bytes read as UTF-8, '+' a space, a '%'
// without two hex digits kept), after the served folder. May hold a NUL.
wstring Url_to_local_path(const wstring& fold, const wstring& rawUrl);

// True when a request must not be mapped: its decoded path holds a ".."
// component (between separators of either kind, a NUL, or the ends), or it
// does not begin with a separator and so would name a sibling of the folder.
bool Url_leaves_folder(const wstring& fold, const wstring& localPath);

// Serves `fold` on 127.0.0.1:`port`, one request at a time, for good.
// Returns false only when the listener cannot start (after saying why on the
// error stream).
bool web_server(const wstring& fold, std::uint16_t port);

#include "server/request_loop.h"

#include <exception>

#include "base/convert.h"
#include "base/path.h"
#include "base/strings.h"
#include "index/index_page.h"
#include "platform/console.h"
#include "platform/fs.h"
#include "platform/http_listener.h"
#include "platform/memory.h"
#include "platform/os_text.h"
#include "platform/separator.h"
#include "workdir/file_output.h"
#include "workdir/working_folder.h"

using platform::ConsoleStream;
using platform::Console_WriteLine;

// NOTE: css, js and mjs sit after zip: browsers refuse style sheets and
// module scripts sent as octet-stream.
const MIME_type MIME_type_tbl[MIME_type_count] = {
    {L"htm", L"text/html"},
    {L"html", L"text/html"},
    {L"txt", L"text/plain"},
    {L"bmp", L"image/bmp"},
    {L"jpeg", L"image/jpeg"},
    {L"jpg", L"image/jpeg"},
    {L"png", L"image/png"},
    {L"svg", L"image/svg+xml"},
    {L"bin", L"application/octet-stream"},
    {L"pdf", L"application/pdf"},
    {L"zip", L"application/zip"},
    {L"css", L"text/css"},
    {L"js", L"text/javascript"},
    {L"mjs", L"text/javascript"},
    {L"   ", L""},
    {L"", L""},
    {L"", L""},
};

wstring get_MIME_type(const wchar_t* ext_) {
  const wstring fallback = L"application/octet-stream";
  const wstring ext = String_ToLower(ext_);
  if (ext.empty()) return fallback;
  for (const MIME_type& row : MIME_type_tbl) {
    if (row.ext[0] == L'\0') continue;
    if (ext == row.ext) return row.type;
  }
  return fallback;
}

wstring to_tstring(const wstring& str) { return str.substr(0, str.find(L'\0')); }

namespace {

int Hex_value(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Form decoding: runs of %XX bytes are read as UTF-8 (losslessly, so a
// non-UTF-8 file name can still be reached), '+' is a space.
wstring Url_form_decode(const wstring& text) {
  wstring out;
  std::string bytes;
  auto flush = [&] {
    if (bytes.empty()) return;
    out += platform::OsText_Decode(bytes);
    bytes.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'%' && i + 2 < text.size() && Hex_value(text[i + 1]) >= 0 && Hex_value(text[i + 2]) >= 0) {
      bytes += static_cast<char>(Hex_value(text[i + 1]) * 16 + Hex_value(text[i + 2]));
      i += 2;
      continue;
    }
    flush();
    out += c == L'+' ? L' ' : c;
  }
  flush();
  return out;
}

bool Is_separator(wchar_t c) { return c == L'/' || c == L'\\' || c == L'\0'; }

}  // namespace

wstring Url_to_local_path(const wstring& fold, const wstring& rawUrl) {
  return fold + Url_form_decode(String_Change(rawUrl, L'/', platform::kPathSeparator));
}

bool Url_leaves_folder(const wstring& fold, const wstring& localPath) {
  const wstring rest = localPath.substr(fold.size());
  // Only the system separator may follow the folder: a backslash there names a sibling ("site\x").
  if (rest.empty() || rest[0] != platform::kPathSeparator) return true;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (!Is_separator(rest[i])) continue;
    std::size_t end = i + 1;
    while (end < rest.size() && !Is_separator(rest[end])) ++end;
    if (rest.compare(i + 1, end - i - 1, L"..") == 0) return true;
  }
  return false;
}

namespace {

void Answer_plain(platform::HttpContext& ctx, int status, const char* text) {
  ctx.SetStatus(status);
  ctx.SetContentType(L"text/plain; charset=utf-8");
  ctx.SetBody(text);
}

// The index answer: the page is saved in the working folder and served from
// the copy on disk, so what the browser shows is what was kept.
void Answer_index(platform::HttpContext& ctx, const wstring& local, std::uint16_t port) {
  static int counter = 0;
  const wstring page = Make_index(to_tstring(local));
  ++counter;
  const wstring file = Path_AddLastSP(Get_Vantre_tmp_date(), platform::kPathSeparator) +
                       To_tstring(port, 10) + L"_" + u32to0t(static_cast<std::uint32_t>(counter), 10, 4) +
                       L".htm";
  string body;
  // NOTE: a failed save must not serve a stale page left under the same
  // name by an earlier run on the same port and day.
  if (!SaveUTF8(file.c_str(), page, false) || !platform::Fs_ReadWholeFile(file, body)) {
    // A full disk or an unwritable folder still gets its page.
    Console_WriteLine(ConsoleStream::Err, L"foldweb: cannot write the page file " + file);
    body = To_UTF8(page.c_str());
  }
  ctx.SetContentType(get_MIME_type(L"htm"));
  ctx.SetBody(std::move(body));
}

void Answer(platform::HttpContext& ctx, const wstring& fold, std::uint16_t port) {
  const wstring& raw = ctx.RawUrl();
  const wstring local = Url_to_local_path(fold, raw);
  Console_WriteLine(ConsoleStream::Out, raw);
  Console_WriteLine(ConsoleStream::Out, local);
  if (Url_leaves_folder(fold, local)) {
    Answer_plain(ctx, 403, "403 Forbidden: outside the served folder\n");
    return;
  }
  if (platform::Fs_IsRegularFile(local)) {
    const wstring ext = Path_GetExtLow(to_tstring(local));
    if (!ctx.SetBodyFile(local)) {
      Answer_plain(ctx, 403, "403 Forbidden: the file cannot be read\n");
      return;
    }
    ctx.SetContentType(get_MIME_type(ext.c_str()));
    return;
  }
  Answer_index(ctx, local, port);
}

}  // namespace

bool web_server(const wstring& fold, std::uint16_t port) {
  platform::Memory_KeepFreedBlocks();
  const wstring prefix = L"http://127.0.0.1:" + To_tstring(port, 10) + L"/";
  Console_WriteLine(ConsoleStream::Out, prefix);
  platform::HttpListener listener;
  listener.AddPrefix(prefix);
  wstring reason;
  if (!listener.Start(reason)) {
    Console_WriteLine(ConsoleStream::Err, L"foldweb: " + reason);
    return false;
  }
  while (std::unique_ptr<platform::HttpContext> ctx = listener.GetContext()) {
    try {
      Answer(*ctx, fold, port);
    } catch (const std::exception&) {
      // One failed request never ends the loop.
      Answer_plain(*ctx, 500, "500 Internal Server Error\n");
    }
    ctx->Close();
  }
  return true;
}

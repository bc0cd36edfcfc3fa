#include "index/htmout.h"

#include <string_view>

#include "base/path.h"
#include "base/process_time.h"
#include "index/build_stamp.h"
#include "platform/os_text.h"

namespace {

constexpr const wchar_t* kLibraryName = L"Pagolinecraft";
constexpr const wchar_t* kLibraryVersion = L"1.02";
// The author's site (12 characters, so with one space it fills the first
// column of 13) and contact address.
constexpr const wchar_t* kAuthorSite = L"foldweb.test";
constexpr const wchar_t* kAuthorAddress = L"dev@foldweb.example.org";

constexpr const wchar_t* kStampHint = L"%a %b %d %H:%M:%S %Y";

// Letters, digits and the marks a URL path carries as they are.
bool IsKeptInPath(unsigned char b) {
  if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) return true;
  return std::string_view("-._~/!$&'()*,;=:@").find(static_cast<char>(b)) != std::string_view::npos;
}

}  // namespace

namespace HtmOut {

wstring Url_encode_path(const wstring& ref) {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  // The bytes the file system holds, so a name carried from non-UTF-8 bytes
  // links to exactly those bytes.
  const string bytes = platform::OsText_Encode(ref);
  wstring out;
  out.reserve(bytes.size());
  bool inFirstSegment = true;
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b == '/') inFirstSegment = false;
    if (IsKeptInPath(b) && !(b == ':' && inFirstSegment)) {
      out += static_cast<wchar_t>(b);
    } else {
      out += L'%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

Xml_E html() {
  Xml_E e(L"html");
  e.AddAttribute(L"lang", L"ja");
  return e;
}

Xml_E charset_UTF_8() {
  Xml_E e(L"meta");
  e.AddAttribute(L"charset", L"UTF-8");
  return e;
}

Xml_E meta_viewport() {
  Xml_E e(L"meta");
  e.AddAttribute(L"name", L"viewport");
  e.AddAttribute(L"content", L"width=device-width,initial-scale=1.0");
  return e;
}

Xml_E title(const wstring& name) {
  Xml_E e(L"");
  if (!name.empty()) {
    e.SetName(L"title");
    e.SetText(name);
  }
  return e;
}

Xml_E comment(const wstring& cmmnt) {
  Xml_E e(L"");
  e.SetComment(cmmnt);
  return e;
}

Xml_E comment() {
  const wstring sourceStamp = TS_to_Time_string(L"" __TIMESTAMP__, L"%Y/%m/%d %H:%M:%S", kStampHint);
  const wstring sourceName = Path_GetName(platform::OsText_Decode(__FILE__));
  const wstring buildDate = TS_to_Time_string(L"" __DATE__, L"%Y/%m/%d", kStampHint);
  // The program's path is asked before the clock is read.
  const wstring program = Get_module_name(nullptr);
  const wstring now = Now_Format(L"%Y/%m/%d %H:%M:%S");

  wstring text = L"\r\n";
  text +=
      wstring(kLibraryName) + L"\t" + kLibraryVersion + L"\t" + sourceStamp + L"\t" + sourceName + L"\r\n";
  text += L"EXE          \t    \t" + buildDate + L" " + L"" __TIME__ + L"\t" + program + L"\r\n";
  text += L"Time         \t    \t" + now + L"\r\n";
  text += wstring(kAuthorSite) + L" \t    \t" + kAuthorAddress + L"\r\n";
  return comment(text);
}

Xml_E br() { return Xml_E(L"br"); }

Xml_E hr() { return Xml_E(L"hr"); }

Xml_E a(const wstring& ref, const wstring& text) {
  Xml_E e(L"a");
  e.AddAttribute(L"href", Url_encode_path(ref));
  if (text.empty()) {
    e.SetText(L" ");
  } else {
    e.SetText(text);
  }
  return e;
}

Xml_E a(const wstring& name) { return a(name, name); }

Xml_E a_parent() { return a(L"..", L"../"); }

}  // namespace HtmOut

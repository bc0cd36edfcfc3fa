#include "base/strings.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "base/progress.h"

namespace {

using List = std::vector<wstring>;

constexpr std::size_t kNone = wstring::npos;

// The first separator at or after `from`: in character mode any character
// of `sp`, in line mode the whole text `sp`.
std::size_t FindSeparator(const wstring& text, bool isLine, const wstring& sp,
                          std::size_t from) {
  if (from > text.size()) return kNone;
  return isLine ? text.find(sp, from) : text.find_first_of(sp, from);
}

bool CodePointLess(const wstring& a, const wstring& b) {
  // wchar_t is signed here; the order is that of unsigned code values.
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return static_cast<std::uint32_t>(x) < static_cast<std::uint32_t>(y);
      });
}

std::uint32_t ToPosition(std::size_t found) {
  return found == kNone ? kStringNotFound : static_cast<std::uint32_t>(found);
}

}  // namespace

List String_Split(const wstring& str_, bool isLine, const wchar_t* sp) {
  const wstring text = str_.substr(0, str_.find(L'\0'));
  const wstring seps(sp);
  List pieces;
  // An empty separator text in line mode would never advance: take the text
  // whole, as character mode does with an empty set.
  const std::size_t step = isLine ? seps.size() : 1;
  if (seps.empty()) {
    if (!text.empty()) pieces.push_back(text);
    return pieces;
  }
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t sep;
    const wchar_t first = text[pos];
    if (first == L'"' || first == L'\'') {
      const std::size_t close = text.find(first, pos + 1);
      if (close == kNone) break;
      sep = FindSeparator(text, isLine, seps, close + 1);
    } else {
      sep = FindSeparator(text, isLine, seps, pos);
    }
    if (sep == kNone) break;
    pieces.push_back(text.substr(pos, sep - pos));
    pos = sep + step;
  }
  if (pos < text.size()) pieces.push_back(text.substr(pos));
  return pieces;
}

List String_Split(const wstring& str, wchar_t sp) {
  const wchar_t set[2] = {sp, L'\0'};
  return String_Split(str, false, set);
}

wstring String_Join(const List& srcAry, const wchar_t* sp) {
  MessageCon progress(L"::String_Join ...", static_cast<std::uint32_t>(srcAry.size()));
  // One allocation: a page's markup is joined from thousands of pieces.
  const std::size_t spLength = std::wcslen(sp);
  std::size_t total = srcAry.empty() ? 0 : spLength * (srcAry.size() - 1);
  for (const wstring& item : srcAry) total += item.size();
  wstring joined;
  joined.reserve(total);
  for (std::size_t i = 0; i < srcAry.size(); ++i) {
    progress.SetBarInc();
    joined += srcAry[i];
    if (i + 1 < srcAry.size()) joined += sp;
  }
  return joined;
}

wstring String_Join(const List& srcAry, const wstring& sp) {
  return String_Join(srcAry, sp.c_str());
}

wstring String_Join(const List& srcAry, wchar_t sp) {
  return String_Join(srcAry, wstring(1, sp));
}

List String_SplitSpace(const wchar_t* strL, const wchar_t* sp) {
  if (*strL == L'\0') return {};
  return SkipEmpty(String_Split(strL, false, sp));
}

List SkipEmpty(const List& srcAry) {
  List kept;
  std::copy_if(srcAry.begin(), srcAry.end(), std::back_inserter(kept),
               [](const wstring& s) { return !s.empty(); });
  return kept;
}

List Sort(const List& srcAry) {
  List sorted = srcAry;
  std::sort(sorted.begin(), sorted.end(), CodePointLess);
  return sorted;
}

List Reverse(const List& srcAry) { return List(srcAry.rbegin(), srcAry.rend()); }

List Unique(const List& srcAry) {
  List sorted = Sort(srcAry);
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  return sorted;
}

wstring String_ToLower(const wstring& str_) {
  wstring lower;
  lower.reserve(str_.size());
  for (const wchar_t c : str_) {
    if (c == L'\0') break;
    lower += static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
  }
  return lower;
}

bool String_CompareNoCase(const wstring& str1, const wstring& str2) {
  return str1 == str2 || String_ToLower(str1) == String_ToLower(str2);
}

std::uint32_t String_FindNoCase(const wstring& str1, const wstring& str2, std::uint32_t pos) {
  const std::size_t exact = str1.find(str2, pos);
  if (exact != kNone) return ToPosition(exact);
  return ToPosition(String_ToLower(str1).find(String_ToLower(str2), pos));
}

wstring String_CrLfToSP(const wchar_t* str, const wchar_t* sp) {
  // An empty `sp` is a caller error; it then drops the line breaks rather
  // than reading past its end.
  const wstring seps(sp);
  const wstring forCr = seps.substr(0, 1);
  const wstring forLf = seps.size() > 1 ? seps.substr(1) : wstring();
  wstring out;
  for (const wchar_t* p = str; *p != L'\0'; ++p) {
    if (*p == L'\r') {
      out += forCr;
    } else if (*p == L'\n') {
      out += forLf;
    } else {
      out += *p;
    }
  }
  return out;
}

wstring String_CrLfToSP(const wstring& str, const wchar_t* sp) {
  return String_CrLfToSP(str.c_str(), sp);
}

wstring String_Change(const wstring& str_, wchar_t src, wchar_t dst) {
  wstring changed = str_;
  std::replace(changed.begin(), changed.end(), src, dst);
  return changed;
}

wstring QuotM_Add(const wstring& str, wchar_t q) { return q + str + q; }

wstring Bracket_Add(const wstring& str, wchar_t q) {
  wchar_t close = q;
  switch (q) {
    case L'(': close = L')'; break;
    case L'<': close = L'>'; break;
    case L'[': close = L']'; break;
    case L'{': close = L'}'; break;
    default: break;
  }
  return q + str + close;
}

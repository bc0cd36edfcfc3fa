// Path_Normalize on any text, with either separator. Invariants: only
// separators are ever removed or changed, so the other characters come out
// in order; the result is never longer; and, where no quoted piece can shield
// a separator, no foreign separator is left and no run of three appears.
#include "base/path.h"

#include "fuzz_support.h"

namespace {

bool Is_separator(wchar_t c) { return c == L'/' || c == L'\\'; }

wstring Without_separators(const wstring& text) {
  wstring out;
  for (const wchar_t c : text) {
    if (!Is_separator(c)) out += c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const wchar_t sp = (data[0] & 1) != 0 ? L'/' : L'\\';
  const wchar_t other = sp == L'/' ? L'\\' : L'/';
  const wstring path = fuzz::Text(data + 1, size - 1);
  const wstring normal = Path_Normalize(path, sp);
  // Everything works on the text up to its first NUL.
  const wstring seen = path.substr(0, path.find(L'\0'));

  fuzz::Check(normal.size() <= seen.size(), "result is longer than the path", path);
  fuzz::Check(Without_separators(normal) == Without_separators(seen), "a character other than a separator changed",
              path);
  if (seen.find_first_of(L"\"'") == wstring::npos) {
    fuzz::Check(normal.find(other) == wstring::npos, "a foreign separator is left", path);
    fuzz::Check(normal.find(wstring(3, sp)) == wstring::npos, "a run of three separators is left", path);
    // A run of separators shrinks to one, or to two just after the first
    // component (a UNC prefix, "C:\\a").
    const std::size_t doubled = normal.find(wstring(2, sp));
    if (doubled != wstring::npos) {
      fuzz::Check(normal.find(sp) == doubled && normal.find(wstring(2, sp), doubled + 1) == wstring::npos,
                  "a doubled separator after the first component", path);
    }
  }
  return 0;
}

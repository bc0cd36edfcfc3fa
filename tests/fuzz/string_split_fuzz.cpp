// String_Split in both modes and String_SplitSpace. Invariants: the pieces
// are the text (up to its first NUL) cut at single separators, so joining
// them again gives the text back less at most one final separator; and
// String_SplitSpace never returns an empty word.
#include "base/strings.h"

#include "fuzz_support.h"

namespace {

// Separator sets the system uses, and a few awkward ones.
const wchar_t* const kSets[] = {L"\\", L"/", L"*", L":", L" \t\r\n", L",;", L"'", L"\"", L"ab", L""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool isLine = (data[0] & 0x80) != 0;
  const wstring sp = kSets[(data[0] & 0x7F) % (sizeof kSets / sizeof kSets[0])];
  const wstring text = fuzz::Text(data + 1, size - 1);
  const wstring seen = text.substr(0, text.find(L'\0'));

  const std::vector<wstring> pieces = String_Split(text, isLine, sp.c_str());
  if (sp.empty()) {
    fuzz::Check(seen.empty() ? pieces.empty() : pieces.size() == 1 && pieces[0] == seen,
                "an empty set does not give the whole text", text);
    return 0;
  }
  if (isLine || sp.size() == 1) {
    const wstring joined = String_Join(pieces, sp);
    fuzz::Check(joined == seen || joined + sp == seen, "the pieces are not the text", text);
  } else {
    // Character mode with a set: each cut is one character of the set.
    std::size_t length = 0;
    for (const wstring& piece : pieces) length += piece.size();
    const std::size_t cuts = pieces.empty() ? 0 : pieces.size() - 1;
    fuzz::Check(length + cuts == seen.size() || length + cuts + 1 == seen.size(),
                "the pieces do not add up to the text", text);
  }
  for (const wstring& word : String_SplitSpace(text.c_str(), sp.c_str())) {
    fuzz::Check(!word.empty(), "String_SplitSpace gave an empty word", text);
  }
  return 0;
}

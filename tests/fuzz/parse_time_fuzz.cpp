// Parse_time and TS_to_Time_string on any text, with each of the formats
// the build comment passes and one of no known shape. Invariants: every
// field lies in the range the reader can give (names from their tables,
// numbers modulo 65536, the day of the year and the daylight-saving flag 0),
// and writing the record never fails for the build comment's formats.
#include "index/build_stamp.h"

#include "fuzz_support.h"

namespace {

const wchar_t* const kHints[] = {L"%a %b %d %H:%M:%S %Y", L"%b %d %Y", L"%H:%M:%S", L"%Y"};
const wchar_t* const kOutputs[] = {L"%Y/%m/%d %H:%M:%S", L"%Y/%m/%d"};

bool In(int value, int low, int high) { return value >= low && value <= high; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const wchar_t* hint = kHints[data[0] % (sizeof kHints / sizeof kHints[0])];
  const wstring text = fuzz::Text(data + 1, size - 1);
  const std::tm t = Parse_time(text.c_str(), hint);
  fuzz::Check(In(t.tm_sec, 0, 65535) && In(t.tm_min, 0, 65535) && In(t.tm_hour, 0, 65535) &&
                  In(t.tm_mday, 0, 65535),
              "a number outside 0..65535", text);
  fuzz::Check(In(t.tm_year, -1900, 65535 - 1900), "a year outside 0..65535", text);
  fuzz::Check(In(t.tm_mon, 0, 11) && In(t.tm_wday, 0, 6), "a name outside its table", text);
  fuzz::Check(t.tm_yday == 0 && t.tm_isdst == 0, "day of the year or daylight flag set", text);
  for (const wchar_t* out : kOutputs) {
    fuzz::Check(!TS_to_Time_string(text.c_str(), out, hint).empty(), "the stamp cannot be written", text);
  }
  return 0;
}

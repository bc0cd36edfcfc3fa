#include "index/build_stamp.h"

#include <cstdint>
#include <cwchar>
#include <vector>

#include "base/process_time.h"
#include "base/strings.h"

namespace {

constexpr const wchar_t* kFullFormat = L"%a %b %d %H:%M:%S %Y";
constexpr const wchar_t* kDateFormat = L"%b %d %Y";
constexpr const wchar_t* kTimeFormat = L"%H:%M:%S";

constexpr const wchar_t* kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                      L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
constexpr const wchar_t* kWeekdays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};

// The raw texts of the fields; an empty text is a field not taken.
struct Fields {
  wstring weekday, month, day, year, hours, minutes, seconds;
};

// Unsigned decimal as wcstoul reads it, kept to 16 bits.
int ReadNumber(const wstring& text) {
  return static_cast<std::uint16_t>(std::wcstoul(text.c_str(), nullptr, 10));
}

template <std::size_t N>
int LookUp(const wchar_t* const (&names)[N], const wstring& name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (name == names[i]) return static_cast<int>(i);
  }
  return 0;
}

wstring At(const std::vector<wstring>& parts, std::size_t i) {
  return i < parts.size() ? parts[i] : wstring();
}

void TakeTime(const wstring& word, Fields& f) {
  const std::vector<wstring> parts = String_Split(word, L':');
  f.hours = At(parts, 0);
  f.minutes = At(parts, 1);
  f.seconds = At(parts, 2);
}

}  // namespace

std::tm Parse_time(const wchar_t* dtStr, const wchar_t* p_fmt) {
  std::tm t{};
  const std::vector<wstring> words = String_SplitSpace(dtStr, L" \t\r\n");
  const std::size_t n = words.size();
  wstring format = p_fmt;
  if (n == 1) {
    if (String_Split(dtStr, L':').size() == 3) format = kTimeFormat;
  } else if (n == 3) {
    format = kDateFormat;
  }

  Fields f;
  if (n == 3 || format == kDateFormat) {
    f.month = At(words, 0);
    f.day = At(words, 1);
    f.year = At(words, 2);
  } else if (n == 5 || format == kFullFormat) {
    f.weekday = At(words, 0);
    f.month = At(words, 1);
    f.day = At(words, 2);
    if (n > 3) TakeTime(words[3], f);
    f.year = At(words, 4);
  } else if (n == 1) {
    TakeTime(words[0], f);
  }

  if (!f.hours.empty()) t.tm_hour = ReadNumber(f.hours);
  if (!f.minutes.empty()) t.tm_min = ReadNumber(f.minutes);
  if (!f.seconds.empty()) t.tm_sec = ReadNumber(f.seconds);
  if (!f.day.empty()) t.tm_mday = ReadNumber(f.day);
  if (!f.year.empty()) t.tm_year = ReadNumber(f.year) - 1900;
  if (!f.month.empty()) t.tm_mon = LookUp(kMonths, f.month);
  if (!f.weekday.empty()) t.tm_wday = LookUp(kWeekdays, f.weekday);
  return t;
}

wstring TS_to_Time_string(const wchar_t* dtStr, const wchar_t* fmt, const wchar_t* p_fmt) {
  return Time_Format(Parse_time(dtStr, p_fmt), fmt);
}

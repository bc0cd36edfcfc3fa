#pragma once
// Reading the compiler's build stamps ("Wed Jul  7 16:51:38 2021",
// "Jun  3 2025", "22:05:21") into a broken-down time and writing them again
// in another form. The shape is chosen mainly by the number of words: five
// are a full stamp, three a date, one with two colons a time of day; the
// caller's format only decides where the count leaves it open.
#include <ctime>

#include "base/types.h"

// The fields the text supplies; every other field, the day of the year and
// the daylight-saving flag included, is 0. Names are compared exactly
// ("Jul", "Wed"); numbers are read as by wcstoul and kept modulo 65536; no
// field is checked against its range.
std::tm Parse_time(const wchar_t* dtStr, const wchar_t* p_fmt);

// Parse_time(dtStr, p_fmt) written by Time_Format with `fmt`; empty when
// formatting fails.
wstring TS_to_Time_string(const wchar_t* dtStr, const wchar_t* fmt, const wchar_t* p_fmt);

#pragma once
// Number and character conversion: unsigned numbers to digit strings in any
// radix from 2 to 36, left fill to a fixed width, and text between the three
// carriers wstring, string (UTF-8) and v_char.
#include <cstdint>

#include "base/types.h"

// Digits of `val_` in `radix_`, most significant first, lower-case letters for
// 10..35. `radix_` must be 2..36; every other operation clamps it first.
wstring utot(std::uint64_t val_, std::uint32_t radix_);

// Radix clamped to 2..36. With a non-zero `is_neg` the result is "-" and the
// digits of the two's-complement negation of `val_` (so a caller holding a
// negative number passes its bits unchanged); the sign is written even for 0.
wstring x32tot(std::uint32_t val_, std::uint32_t radix_, std::int32_t is_neg);
wstring x64tot(std::uint64_t val_, std::uint32_t radix_, std::int32_t is_neg);

// Unsigned, never a sign. A negative radix counts as 36.
wstring u32tot(std::uint32_t value, std::int32_t radix);
wstring u64tot(std::uint64_t value, std::int32_t radix);

// `str_` filled on the left with `c` up to `width` characters; never cut.
wstring tto0t(const wstring& str_, std::int32_t width, wchar_t c);

// Digits of `value` filled with '0' to `len` characters: u32to0t(1200, 16, 4)
// is "04b0".
wstring u32to0t(std::uint32_t value, std::int32_t radix, std::int32_t len);

wstring To_tstring(std::uint16_t v, std::int32_t r);
wstring To_tstring(std::uint32_t v, std::int32_t r);
wstring To_tstring(std::uint64_t v, std::int32_t r);

// The bytes of `m_str`, no terminator.
v_char To_v_char(const string& m_str);
// UTF-16LE without byte-order mark or terminator; code points above U+FFFF
// become surrogate pairs, a value above U+10FFFF becomes U+FFFD.
v_char To_v_char(const wstring& w_str);

// Copies of NUL-terminated wide text.
wstring ts_toWCs(const wchar_t* w_Str);
wstring To_wstring(const wchar_t* str);

// UTF-8 of `wLen` wide characters of `wcStr`, or of the NUL-terminated text
// when `wLen` is negative (the terminator is not kept). Never fails: a
// surrogate or a value above U+10FFFF becomes U+FFFD (EF BF BD).
string ws_To_UTF8(const wchar_t* wcStr, std::int32_t wLen);
string To_UTF8(const wchar_t* strP);

#pragma once
// The carriers of text and bytes that the whole system shares.
#include <string>
#include <vector>

// Wide text: one element is one Unicode code point.
using std::wstring;
// 8-bit text; in this system it only carries UTF-8.
using std::string;
// A growable vector of bytes with no terminator: file contents, encoded text.
using v_char = std::vector<char>;

#include "platform/console.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/support/fd_capture.h"

namespace {

using platform::ConsoleStream;

TEST(ConsoleTest, WriteLineEscapesWhatWouldActOnATerminal) {
  struct Row {
    std::wstring text;
    std::string want;
  };
  const Row rows[] = {
      {L"plain", "plain\n"},
      {L"caf\u00e9 \u20ac", "caf\xC3\xA9 \xE2\x82\xAC\n"},
      {L"a\tb", "a\tb\n"},
      {L"\x1b[2J", "\\x1b[2J\n"},
      {L"a\rb\nc", "a\\x0db\\x0ac\n"},
      {std::wstring(L"a\0b", 3), "a\\x00b\n"},
      {L"\x7f\x80\x9b\x9f\xa0", "\\x7f\\x80\\x9b\\x9f\xC2\xA0\n"},
      // Bytes carried from non-UTF-8 names.
      {std::wstring{L'x', static_cast<wchar_t>(0xDCE9)}, "x\\xe9\n"},
      {std::wstring{static_cast<wchar_t>(0xD800)}, "\xEF\xBF\xBD\n"},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    FdCapture err(2);
    platform::Console_WriteLine(ConsoleStream::Err, rows[i].text);
    EXPECT_EQ(err.Take(), rows[i].want);
  }
}

TEST(ConsoleTest, StreamsGoToTheirDescriptors) {
  FdCapture out(1);
  FdCapture err(2);
  platform::Console_WriteLine(ConsoleStream::Out, L"to out");
  platform::Console_WriteLine(ConsoleStream::Err, L"to err");
  EXPECT_EQ(err.Take(), "to err\n");
  EXPECT_EQ(out.Take(), "to out\n");
}

TEST(ConsoleTest, WriteKeepsTheTextAsItIs) {
  FdCapture err(2);
  platform::Console_Write(ConsoleStream::Err, L"line\r");
  platform::Console_Write(ConsoleStream::Err, L"  \u00e9\r");
  EXPECT_EQ(err.Take(), "line\r  \xC3\xA9\r");
}

}  // namespace

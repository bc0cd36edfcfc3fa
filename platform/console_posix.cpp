#include "platform/console.h"

#include <cerrno>
#include <cstdint>
#include <string>

#include <unistd.h>

#include "platform/os_text.h"

namespace platform {

namespace {

int Descriptor(ConsoleStream stream) {
  return stream == ConsoleStream::Err ? STDERR_FILENO : STDOUT_FILENO;
}

// Writes all of `bytes`; a short write or an interruption continues where it
// stopped. Failures are ignored: there is nowhere left to report them.
void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    done += static_cast<std::size_t>(n);
  }
}

bool ActsOnTerminal(std::uint32_t cp) {
  return (cp < 0x20 && cp != L'\t') || (cp >= 0x7F && cp <= 0x9F);
}

bool IsCarriedByte(std::uint32_t cp) { return cp >= 0xDC80 && cp <= 0xDCFF; }

void AppendEscape(std::wstring& out, std::uint32_t value) {
  static const wchar_t kHex[] = L"0123456789abcdef";
  out += L"\\x";
  out += kHex[(value >> 4) & 0xF];
  out += kHex[value & 0xF];
}

}  // namespace

void Console_WriteLine(ConsoleStream stream, const std::wstring& text) {
  std::wstring shown;
  shown.reserve(text.size() + 1);
  for (const wchar_t c : text) {
    const auto cp = static_cast<std::uint32_t>(c);
    if (ActsOnTerminal(cp)) {
      AppendEscape(shown, cp);
    } else if (IsCarriedByte(cp)) {
      AppendEscape(shown, cp - 0xDC00);
    } else {
      shown += c;
    }
  }
  shown += L'\n';
  WriteAll(Descriptor(stream), OsText_Encode(shown));
}

void Console_Write(ConsoleStream stream, const std::wstring& text) {
  WriteAll(Descriptor(stream), OsText_Encode(text));
}

}  // namespace platform

#include "base/progress.h"

#include <cmath>

#include "base/convert.h"
#include "base/strings.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace {

// Bars shorter than this are never shown.
constexpr std::uint32_t kMinBar = 10;
constexpr double kDrawInterval = 100.0;  // ms between two drawings
constexpr std::uint32_t kBarWidth = 20;

double NowMs() { return static_cast<double>(platform::Clock_TickCount()) * 0.001 * 1000.0; }

wstring CountText(std::uint32_t count, std::uint32_t max) {
  return Bracket_Add(QuotM_Add(u32tot(count, 10) + L" / " + u32tot(max, 10), L' '), L'(');
}

}  // namespace

std::int32_t MessageBase::NestLevel = 0;
std::uint32_t MessageBase::R_Counter = 0;
std::uint32_t MessageBase::RMCounter = 0;
double MessageBase::Last_Tick = 0.0;

MessageBase::MessageBase(const wchar_t* msg, std::uint32_t max) : message_(msg) {
  if (NestLevel < 0) NestLevel = 0;
  if (NestLevel == 0) {
    R_Counter = 0;
    RMCounter = 0;
  }
  ++NestLevel;
  if (max >= kMinBar) {
    RMCounter += max;
    bar_max_ = max;
  }
  if (Last_Tick == 0.0) Last_Tick = NowMs();
}

MessageBase::~MessageBase() {
  NestLevel = NestLevel > 0 ? NestLevel - 1 : 0;
  if (NestLevel == 0) {
    R_Counter = 0;
    RMCounter = 0;
  }
}

bool MessageBase::Reset() {
  bar_count_ = 0;
  bar_max_ = 0;
  drawn_ = false;
  return true;
}

bool MessageBase::SetBar(const wchar_t* msg, std::uint32_t max) {
  SetMessage(msg);
  SetBarMax(max);
  return true;
}

bool MessageBase::SetBarMax(std::uint32_t max) {
  if (max < kMinBar) return false;
  RMCounter += max - bar_max_;
  bar_max_ = max;
  return true;
}

bool MessageBase::SetMessage(const wchar_t* msg) {
  message_ = msg;
  return true;
}

bool MessageBase::SetBarInc() {
  const std::uint32_t max = GetBarMax();
  if (max == 0) return false;
  const std::uint32_t count = GetBarCount() >= max ? 0 : GetBarCount() + 1;
  bar_count_ = count;
  ++R_Counter;
  // Unsigned on purpose: after a wrap to 0 the "before" value wraps too, so
  // the two differ and the wrap is drawn.
  const std::uint32_t before = (count - 1) * 100 / max;
  const std::uint32_t after = count * 100 / max;
  if (before == after) return true;
  return SetBarCount(count);
}

bool MessageBase::SetBarCount(std::uint32_t cnt) {
  if (cnt > GetBarMax()) return false;
  bar_count_ = cnt;
  if (R_Counter < cnt) R_Counter = cnt;
  if (CheckDraw()) return Draw();
  return true;
}

std::uint32_t MessageBase::GetBarCount() const { return bar_count_; }

std::uint32_t MessageBase::GetBarMax() const { return bar_max_; }

std::uint32_t MessageBase::GetCountPos(std::uint32_t m) const {
  return static_cast<std::uint32_t>(GetCountPos() * m);
}

double MessageBase::GetCountPos() const {
  const std::uint32_t max = GetBarMax();
  const std::uint32_t count = GetBarCount();
  if (max == 0 || count > max) return 0.0;
  return static_cast<double>(count) / max;
}

std::uint32_t MessageBase::GetCountR_Pos(std::uint32_t m) const {
  return static_cast<std::uint32_t>(GetCountR_Pos() * m);
}

double MessageBase::GetCountR_Pos() const {
  if (RMCounter == 0 || R_Counter > RMCounter) return 0.0;
  return static_cast<double>(R_Counter) / RMCounter;
}

wstring MessageBase::GetCountStr() const { return CountText(GetBarCount(), GetBarMax()); }

wstring MessageBase::GetCountR_Str() const {
  if (RMCounter <= 1) return wstring();
  return CountText(R_Counter, RMCounter);
}

bool MessageBase::Draw() { return false; }

bool MessageBase::CheckDraw() {
  const double now = NowMs();
  if (std::fabs(now - Last_Tick) < kDrawInterval) return false;
  Last_Tick = now;
  return true;
}

MessageCon::MessageCon(const wchar_t* msg, std::uint32_t max) : MessageBase(L"", 0) {
  bar_count_ = 0;
  bar_max_ = 0;
  line_width_ = 0;
  drawn_ = false;
  message_ = msg;
  if (max >= kMinBar) {
    RMCounter += max - bar_max_;
    bar_max_ = max;
  }
}

MessageCon::~MessageCon() { MessageCon::Reset(); }

bool MessageCon::Reset() {
  if (drawn_) {
    platform::Console_Write(platform::ConsoleStream::Err, wstring(line_width_, L' ') + L"\r");
    // The next loop may draw at once.
    Last_Tick = 0.0;
  }
  bar_count_ = 0;
  bar_max_ = 0;
  line_width_ = 0;
  drawn_ = false;
  return true;
}

bool MessageCon::Draw() {
  const wstring overall = GetCountR_Str();
  // The bar shows the overall progress of all nested loops.
  const std::uint32_t stars = GetBarMax() > 0 ? GetCountR_Pos(kBarWidth) : 0;
  const wstring bar = wstring(stars, L'*') + wstring(kBarWidth - stars, L'.');
  const wstring line = message_ + L"    " + overall + L"    " + bar + L"\r";
  platform::Console_Write(platform::ConsoleStream::Err, line);
  if (line.size() > line_width_) line_width_ = static_cast<std::uint32_t>(line.size());
  drawn_ = true;
  return true;
}

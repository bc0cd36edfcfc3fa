#pragma once
// Console progress display for long loops: one line on the error stream,
// redrawn in place at most once per 100 ms and blanked when the loop ends.
// Bars of fewer than 10 steps are never shown. Objects nest: the drawn bar
// shows the overall progress of all objects alive at the same time.
#include <cstdint>

#include "base/types.h"

// The counting. Its operations reach one another through the virtual slots,
// so a derived class sees every change through its overrides.
class MessageBase {
 public:
  MessageBase(const wchar_t* msg, std::uint32_t max);
  virtual ~MessageBase();
  MessageBase(const MessageBase&) = delete;
  MessageBase& operator=(const MessageBase&) = delete;

  // Ends the bar; always true.
  virtual bool Reset();
  // SetMessage then SetBarMax; always true.
  virtual bool SetBar(const wchar_t* msg, std::uint32_t max);
  // False (and nothing changes) when `max` is below 10.
  virtual bool SetBarMax(std::uint32_t max);
  virtual bool SetMessage(const wchar_t* msg);
  // One step; the count wraps to 0 after the maximum. False without a bar.
  virtual bool SetBarInc();
  // False (and nothing changes) when `cnt` exceeds the bar maximum;
  // otherwise the result of drawing when the 100 ms limit allows, else true.
  virtual bool SetBarCount(std::uint32_t cnt);
  virtual std::uint32_t GetBarCount() const;
  virtual std::uint32_t GetBarMax() const;
  // This bar's fraction, scaled to `m` and truncated, or as a double.
  virtual std::uint32_t GetCountPos(std::uint32_t m) const;
  virtual double GetCountPos() const;
  // The overall fraction R_Counter / RMCounter.
  virtual std::uint32_t GetCountR_Pos(std::uint32_t m) const;
  virtual double GetCountR_Pos() const;
  // "( 3 / 12 )"; the overall form is empty while RMCounter is 0 or 1.
  virtual wstring GetCountStr() const;
  virtual wstring GetCountR_Str() const;
  // Draws nothing here; false.
  virtual bool Draw();

  // True, and the time stored in Last_Tick, when 100 ms or more lie between
  // now and Last_Tick.
  static bool CheckDraw();

  // Progress objects alive. A loop unrelated to those alive may set it to 0
  // before making its object, which restarts the overall counts.
  static std::int32_t NestLevel;
  static std::uint32_t R_Counter;  // overall steps
  static std::uint32_t RMCounter;  // overall maximum
  static double Last_Tick;         // ms of the last drawing; 0.0 = not set

 protected:
  wstring message_;
  std::uint32_t bar_count_ = 0;
  std::uint32_t bar_max_ = 0;  // 0: no bar, else at least 10
  bool drawn_ = false;
};

// Draws the line on the console's error stream: the message, four spaces,
// the overall count, four spaces, a bar of 20 characters and "\r".
class MessageCon : public MessageBase {
 public:
  MessageCon(const wchar_t* msg, std::uint32_t max);
  ~MessageCon() override;  // blanks a drawn line

  // Blanks a drawn line, then ends the bar.
  bool Reset() override;
  bool Draw() override;

 protected:
  std::uint32_t line_width_ = 0;  // longest line drawn, its "\r" included
};

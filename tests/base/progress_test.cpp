#include "base/progress.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/strings.h"
#include "platform/clock.h"
#include "tests/support/fd_capture.h"

namespace {

double NowMs() { return static_cast<double>(platform::Clock_TickCount()); }

const std::string kJoinLine =
    "::String_Join ...    ( 1 / 30 )    ....................\r";

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageBase::NestLevel = 0;
    MessageBase::R_Counter = 0;
    MessageBase::RMCounter = 0;
    MessageBase::Last_Tick = 0.0;
  }
  // Makes the next CheckDraw true: the last drawing lies far away.
  static void AllowDrawing() { MessageBase::Last_Tick = NowMs() + 100000.0; }
};

TEST_F(ProgressTest, FirstStepDrawsTheExampleLineAndDestructionBlanksIt) {
  ASSERT_EQ(kJoinLine.size(), 56u);
  FdCapture err(2);
  {
    MessageCon progress(L"::String_Join ...", 30);
    AllowDrawing();
    EXPECT_TRUE(progress.SetBarInc());
    EXPECT_NE(MessageBase::Last_Tick, 0.0);
  }
  EXPECT_EQ(err.Take(), kJoinLine + std::string(56, ' ') + "\r");
  // Blanking clears the time, so the next loop may draw at once.
  EXPECT_EQ(MessageBase::Last_Tick, 0.0);
  EXPECT_EQ(MessageBase::NestLevel, 0);
}

TEST_F(ProgressTest, JoinOfThirtyItemsStartsWithTheExampleLine) {
  std::vector<wstring> items(30, L"x");
  AllowDrawing();
  FdCapture err(2);
  EXPECT_EQ(String_Join(items, L','), L"x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x");
  const std::string out = err.Take();
  EXPECT_EQ(out.substr(0, kJoinLine.size()), kJoinLine);
  EXPECT_EQ(out.back(), '\r');
}

TEST_F(ProgressTest, BarBelowTenStepsNeverDraws) {
  FdCapture err(2);
  {
    MessageCon progress(L"short", 9);
    for (int i = 0; i < 30; ++i) {
      AllowDrawing();
      EXPECT_FALSE(progress.SetBarInc());
    }
    EXPECT_EQ(progress.GetBarMax(), 0u);
  }
  EXPECT_EQ(err.Take(), "");
}

TEST_F(ProgressTest, BarOfTenStepsDraws) {
  FdCapture err(2);
  {
    MessageCon progress(L"ten", 10);
    AllowDrawing();
    EXPECT_TRUE(progress.SetBarInc());
  }
  EXPECT_NE(err.Take(), "");
}

TEST_F(ProgressTest, QuickLoopPrintsNothing) {
  FdCapture err(2);
  const std::uint32_t start = platform::Clock_TickCount();
  {
    MessageCon progress(L"::String_Join ...", 30);
    for (int i = 0; i < 30; ++i) progress.SetBarInc();
  }
  const std::uint32_t elapsed = platform::Clock_TickCount() - start;
  const std::string out = err.Take();
  // Only meaningful when the loop really stayed inside the 100 ms.
  if (elapsed >= 99) GTEST_SKIP() << "loop took " << elapsed << " ms";
  EXPECT_EQ(out, "");
}

TEST_F(ProgressTest, CheckDrawHonoursTheInterval) {
  AllowDrawing();
  EXPECT_TRUE(MessageBase::CheckDraw());
  const double stored = MessageBase::Last_Tick;
  EXPECT_LE(std::abs(stored - NowMs()), 1000.0);
  const std::uint32_t start = platform::Clock_TickCount();
  const bool again = MessageBase::CheckDraw();
  if (platform::Clock_TickCount() - start >= 99) GTEST_SKIP();
  EXPECT_FALSE(again);
  EXPECT_EQ(MessageBase::Last_Tick, stored);
}

TEST_F(ProgressTest, WithoutOverallMaximumTheCountTextIsEmpty) {
  FdCapture err(2);
  {
    MessageCon progress(L"msg", 0);
    EXPECT_EQ(MessageBase::RMCounter, 0u);
    EXPECT_EQ(progress.GetCountR_Str(), L"");
    EXPECT_TRUE(progress.Draw());
  }
  const std::string line = "msg        ....................\r";
  EXPECT_EQ(err.Take(), line + std::string(line.size(), ' ') + "\r");
}

TEST_F(ProgressTest, StarsShowTheOverallFraction) {
  const std::string line = "::Open_File ...    ( 7 / 50 )    **..................\r";
  FdCapture err(2);
  {
    MessageCon progress(L"::Open_File ...", 50);
    for (int i = 0; i < 7; ++i) progress.SetBarInc();
    EXPECT_EQ(progress.GetCountR_Pos(20), 2u);
    EXPECT_EQ(progress.GetCountStr(), L"( 7 / 50 )");
    EXPECT_EQ(progress.GetCountR_Str(), L"( 7 / 50 )");
    EXPECT_TRUE(progress.Draw());
  }
  // Earlier steps may have drawn too; their lines are as long as this one.
  const std::string tail = line + std::string(line.size(), ' ') + "\r";
  const std::string out = err.Take();
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST_F(ProgressTest, RefusedCountsChangeNothing) {
  MessageBase progress(L"m", 20);
  EXPECT_TRUE(progress.SetBarCount(5));
  EXPECT_FALSE(progress.SetBarCount(21));
  EXPECT_EQ(progress.GetBarCount(), 5u);
  EXPECT_FALSE(progress.SetBarMax(5));
  EXPECT_EQ(progress.GetBarMax(), 20u);
  EXPECT_EQ(MessageBase::RMCounter, 20u);
  EXPECT_TRUE(progress.SetBarMax(30));
  EXPECT_EQ(MessageBase::RMCounter, 30u);
  EXPECT_TRUE(progress.SetBar(L"n", 3));
  EXPECT_EQ(progress.GetBarMax(), 30u);
  EXPECT_DOUBLE_EQ(progress.GetCountPos(), 5.0 / 30.0);
  EXPECT_EQ(progress.GetCountPos(60), 10u);
}

TEST_F(ProgressTest, CountWrapsWhileOverallCountGrows) {
  MessageBase progress(L"m", 10);
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(progress.SetBarInc());
  EXPECT_EQ(progress.GetBarCount(), 10u);
  EXPECT_TRUE(progress.SetBarInc());
  EXPECT_EQ(progress.GetBarCount(), 0u);
  EXPECT_EQ(MessageBase::R_Counter, 11u);
  // Past the overall maximum the bar reads empty.
  EXPECT_EQ(progress.GetCountR_Pos(20), 0u);
  EXPECT_DOUBLE_EQ(progress.GetCountR_Pos(), 0.0);
}

TEST_F(ProgressTest, NestedObjectsShareTheOverallCounts) {
  {
    MessageBase outer(L"outer", 10);
    outer.SetBarInc();
    {
      MessageBase inner(L"inner", 20);
      EXPECT_EQ(MessageBase::NestLevel, 2);
      EXPECT_EQ(MessageBase::RMCounter, 30u);
      for (int i = 0; i < 5; ++i) inner.SetBarInc();
      EXPECT_EQ(MessageBase::R_Counter, 6u);
      EXPECT_EQ(inner.GetCountR_Str(), L"( 6 / 30 )");
      EXPECT_EQ(inner.GetCountStr(), L"( 5 / 20 )");
    }
    EXPECT_EQ(MessageBase::NestLevel, 1);
    EXPECT_EQ(MessageBase::RMCounter, 30u);
    // A count raised past the overall steps lifts them.
    outer.SetBarCount(9);
    EXPECT_EQ(MessageBase::R_Counter, 9u);
  }
  EXPECT_EQ(MessageBase::NestLevel, 0);
  EXPECT_EQ(MessageBase::R_Counter, 0u);
  EXPECT_EQ(MessageBase::RMCounter, 0u);
}

TEST_F(ProgressTest, ZeroNestLevelRestartsTheOverallCounts) {
  MessageBase outer(L"outer", 40);
  outer.SetBarInc();
  MessageBase::NestLevel = 0;
  MessageBase fresh(L"fresh", 10);
  EXPECT_EQ(MessageBase::RMCounter, 10u);
  EXPECT_EQ(MessageBase::R_Counter, 0u);
  EXPECT_EQ(MessageBase::NestLevel, 1);
}

}  // namespace

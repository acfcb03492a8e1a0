#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "core/log_pane.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;

// Sets up a log file and pane for one test and restores the log after.
class LogFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFileName(dir_.File("Zepcon.log").c_str());
    SetLogPane(&pane_);
  }
  void TearDown() override {
    SetLogPane(nullptr);
    SetLogMode(0);
    SetLogFileName("xx.log");
  }
  std::string FileText() const {
    const auto bytes = test::ReadBytes(dir_.File("Zepcon.log"));
    return std::string(bytes.begin(), bytes.end());
  }
  void LogAllThree() {
    LogMessage("detail\n", LOG_DETAIL);
    LogMessage("major\n", LOG_MAJOR);
    LogMessage("error\n", LOG_ERROR);
  }

  test::TempDir dir_;
  TextLogPane pane_;
};

TEST_F(LogFixture, ModesChooseTargetsByLevel) {
  SetLogMode(0);
  LogAllThree();
  EXPECT_EQ(pane_.Text(), "");
  EXPECT_EQ(FileText(), "");

  SetLogMode(1);
  LogAllThree();
  EXPECT_EQ(pane_.Text(), "major\r\nerror\r\n");
  EXPECT_EQ(FileText(), "major\nerror\n");

  pane_.Clear();
  SetLogMode(2);
  LogAllThree();
  EXPECT_EQ(pane_.Text(), "detail\r\nmajor\r\nerror\r\n");
  EXPECT_EQ(FileText(), "major\nerror\nerror\n");

  pane_.Clear();
  SetLogMode(3);
  LogAllThree();
  EXPECT_EQ(pane_.Text(), "detail\r\nmajor\r\nerror\r\n");
  EXPECT_EQ(FileText(), "major\nerror\nerror\ndetail\nmajor\nerror\n");

  SetLogMode(7);  // ignored
  EXPECT_EQ(GetLogMode(), 3u);
}

TEST_F(LogFixture, WithoutAPaneMode2WritesOnlyErrorsToTheFile) {
  SetLogPane(nullptr);
  SetLogMode(2);
  LogAllThree();
  EXPECT_EQ(FileText(), "error\n");
}

TEST_F(LogFixture, TextIsWrittenVerbatimAndPiecesJoinOneLine) {
  SetLogMode(3);
  LogMessage("100% done %s %n", LOG_MAJOR);
  LogMessage(" more\n", LOG_MAJOR);
  EXPECT_EQ(FileText(), "100% done %s %n more\n");
  EXPECT_EQ(pane_.Text(), "100% done %s %n more\r\n");
  LogFormatted(LOG_ERROR, "%s", std::string(3000, 'x').c_str());  // cut to the scratch buffer
  EXPECT_EQ(FileText().size(), std::string("100% done %s %n more\n").size() + 511);
}

TEST_F(LogFixture, ThePaneKeepsTheNewest200LinesOnceItPasses400) {
  SetLogMode(3);
  SetLogFileName("/dev/null");
  for (int i = 1; i <= 399; ++i) LogMessage("line " + std::to_string(i) + "\n", LOG_MAJOR);
  EXPECT_EQ(pane_.LineCount(), 400u);  // 399 lines and the empty last one
  LogMessage("line 400\n", LOG_MAJOR);
  EXPECT_EQ(pane_.LineCount(), 200u);  // the newest 199 and the empty last one
  const std::string text = pane_.Text();
  EXPECT_EQ(text.rfind("line 202\r\n", 0), 0u) << text.substr(0, 40);
  EXPECT_EQ(text.substr(text.size() - 10), "line 400\r\n");
  // A message without a line end continues the last line.
  LogMessage("tail", LOG_MAJOR);
  EXPECT_EQ(pane_.LineCount(), 200u);
}

}  // namespace
}  // namespace zepcon

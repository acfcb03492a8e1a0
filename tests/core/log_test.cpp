#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

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

// Several threads logging at once: every message reaches the file and the
// pane whole, none lost, and each thread's own observer sees only its own.
TEST_F(LogFixture, ThreadsLogWholeMessagesAndObserveTheirOwn) {
  SetLogMode(3);
  constexpr int kThreads = 4;
  constexpr int kMessages = 200;
  std::vector<std::string> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &seen] {
      SetThreadLogObserver([&mine = seen[static_cast<size_t>(t)]](std::string_view text, int) { mine.append(text); });
      const std::string line = "thread " + std::to_string(t) + " says something long enough to tear\n";
      for (int i = 0; i < kMessages; ++i) LogMessage(line, LOG_DETAIL);
      SetThreadLogObserver(nullptr);
    });
  }
  for (std::thread& thread : threads) thread.join();
  LogMessage("after\n", LOG_DETAIL);  // no observer left behind on this thread either

  const std::string file = FileText();
  for (int t = 0; t < kThreads; ++t) {
    const std::string line = "thread " + std::to_string(t) + " says something long enough to tear\n";
    std::string expected_own;
    for (int i = 0; i < kMessages; ++i) expected_own += line;
    EXPECT_EQ(seen[static_cast<size_t>(t)], expected_own) << t;
    size_t count = 0;
    for (size_t at = file.find(line); at != std::string::npos; at = file.find(line, at + 1)) ++count;
    EXPECT_EQ(count, size_t{kMessages}) << t;
  }
  EXPECT_EQ(file.size(), size_t{kThreads} * kMessages * 44 + 6);
  // The pane holds whole lines only, the last one logged at the end.
  const std::string& pane = pane_.Text();
  ASSERT_GE(pane.size(), 7u);
  EXPECT_EQ(pane.substr(pane.size() - 7), "after\r\n");
  size_t start = 0;
  for (size_t end = pane.find("\r\n"); end != std::string::npos; end = pane.find("\r\n", start)) {
    const std::string line = pane.substr(start, end - start);
    EXPECT_TRUE(line == "after" || (line.size() == 43 && line.rfind("thread ", 0) == 0)) << line;
    start = end + 2;
  }
}

TEST(LogTargets, PaneDependsOnModeAndLevel) {
  const uint32_t before = GetLogMode();
  struct Case {
    uint32_t mode;
    int level;
    bool shown;
  };
  for (const Case& c : {Case{0, LOG_ERROR, false}, Case{1, LOG_DETAIL, false}, Case{1, LOG_MAJOR, true},
                        Case{2, LOG_DETAIL, true}, Case{3, LOG_DETAIL, true}}) {
    SetLogMode(c.mode);
    EXPECT_EQ(LogReachesPane(c.level), c.shown) << c.mode << " " << c.level;
  }
  SetLogMode(before);
}

}  // namespace
}  // namespace zepcon

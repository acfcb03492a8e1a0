// The batch scheduler: groups of jobs that touch the same files, order of
// the results, and failures that stop nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli/batch_runner.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using Groups = std::vector<std::vector<size_t>>;

TEST(BatchGroups, JobsSharingAFileDirectlyOrThroughOthersShareAGroup) {
  struct Case {
    const char* what;
    std::vector<std::vector<std::string>> files;
    Groups expected;
  };
  const Case cases[] = {
      {"all apart", {{"a", "A"}, {"b", "B"}, {"c", "C"}}, {{0}, {1}, {2}}},
      {"same destination", {{"a.bmp", "a.tga"}, {"b", "B"}, {"a.jpg", "a.tga"}}, {{0, 2}, {1}}},
      {"destination is a later source", {{"x", "y"}, {"q", "r"}, {"y", "z"}}, {{0, 2}, {1}}},
      // 3 links 0 and 1, which met no common file before it.
      {"joined late", {{"a", "b"}, {"c", "d"}, {"e", "f"}, {"b", "d"}}, {{0, 1, 3}, {2}}},
      {"same source twice", {{"s", "t1"}, {"s", "t2"}}, {{0, 1}}},
      {"none", {}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(GroupJobsSharingFiles(c.files), c.expected) << c.what;
}

TEST(BatchGroups, FileKeysResolveSpellingsOfOnePath) {
  test::TempDir dir;
  test::WriteText(dir.Path() / "a.txt", "x");
  const std::string plain = BatchFileKey(dir.File("a.txt"));
  EXPECT_EQ(BatchFileKey((dir.Path() / "." / "a.txt").string()), plain);
  EXPECT_EQ(BatchFileKey((dir.Path() / "sub" / ".." / "a.txt").string()), plain);
  // Files that do not exist yet (destinations) still get one key per path.
  EXPECT_EQ(BatchFileKey((dir.Path() / "." / "new.tga").string()), BatchFileKey(dir.File("new.tga")));
  EXPECT_NE(BatchFileKey(dir.File("new.tga")), plain);
}

std::vector<std::vector<std::string>> Apart(size_t count) {
  std::vector<std::vector<std::string>> files;
  for (size_t i = 0; i < count; ++i) files.push_back({"in" + std::to_string(i), "out" + std::to_string(i)});
  return files;
}

// Later jobs finish first, yet the results come out in input order; no
// more workers run than asked for.
TEST(BatchRun, ResultsComeOutInInputOrderWhateverFinishesFirst) {
  for (int workers : {1, 3, 8}) {
    constexpr size_t kJobs = 12;
    std::mutex lock;
    std::set<int> workers_seen;
    std::vector<size_t> emitted;
    RunBatchInOrder(
        Apart(kJobs), workers,
        [&](size_t job, int worker) {
          std::this_thread::sleep_for(std::chrono::milliseconds(2 * (kJobs - job)));
          {
            std::lock_guard<std::mutex> guard(lock);
            workers_seen.insert(worker);
          }
          return BatchOutcome{job % 3 != 0, "line " + std::to_string(job), "", ""};
        },
        [&](size_t job, const BatchOutcome& outcome) {
          EXPECT_EQ(outcome.line, "line " + std::to_string(job));
          EXPECT_EQ(outcome.ok, job % 3 != 0);
          emitted.push_back(job);
        });
    std::vector<size_t> expected(kJobs);
    for (size_t i = 0; i < kJobs; ++i) expected[i] = i;
    EXPECT_EQ(emitted, expected) << workers;
    EXPECT_LE(workers_seen.size(), static_cast<size_t>(workers));
    EXPECT_GE(*workers_seen.begin(), 0);
    EXPECT_LT(*workers_seen.rbegin(), workers);
  }
}

TEST(BatchRun, JobsOfOneGroupRunInOrderOnOneWorker) {
  // Jobs 0, 2 and 4 write one file; 1 and 3 are apart.
  const std::vector<std::vector<std::string>> files = {{"a", "t"}, {"b", "u"}, {"c", "t"}, {"d", "v"}, {"e", "t"}};
  std::mutex lock;
  std::vector<size_t> order_on_t;
  std::set<int> workers_on_t;
  RunBatchInOrder(
      files, 4,
      [&](size_t job, int worker) {
        if (job == 0) std::this_thread::sleep_for(std::chrono::milliseconds(30));  // give others the chance to jump in
        if (files[job][1] == "t") {
          std::lock_guard<std::mutex> guard(lock);
          order_on_t.push_back(job);
          workers_on_t.insert(worker);
        }
        return BatchOutcome{true, "", "", ""};
      },
      [](size_t, const BatchOutcome&) {});
  EXPECT_EQ(order_on_t, (std::vector<size_t>{0, 2, 4}));
  EXPECT_EQ(workers_on_t.size(), 1u);
}

TEST(BatchRun, AThrowingJobFailsAloneAndZeroWorkersMeanOne) {
  std::vector<std::string> lines;
  std::vector<bool> ok;
  RunBatchInOrder(
      Apart(4), 0,
      [](size_t job, int worker) -> BatchOutcome {
        EXPECT_EQ(worker, 0);
        if (job == 1) throw std::runtime_error("boom");
        return {true, "done " + std::to_string(job), "", ""};
      },
      [&](size_t, const BatchOutcome& outcome) {
        lines.push_back(outcome.line);
        ok.push_back(outcome.ok);
      });
  EXPECT_EQ(lines, (std::vector<std::string>{"done 0", "failed: internal error", "done 2", "done 3"}));
  EXPECT_EQ(ok, (std::vector<bool>{true, false, true, true}));
}

}  // namespace
}  // namespace zepcon

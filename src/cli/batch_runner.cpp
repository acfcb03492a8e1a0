#include "cli/batch_runner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>

namespace zepcon {

namespace fs = std::filesystem;

std::string BatchFileKey(const std::string& path) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(path, error);
  if (error) {
    resolved = fs::absolute(path, error);
    if (error) resolved = fs::path(path);
    resolved = resolved.lexically_normal();
  }
  return resolved.string();
}

namespace {

class DisjointSets {
 public:
  explicit DisjointSets(size_t count) : parent_(count) { std::iota(parent_.begin(), parent_.end(), size_t{0}); }
  size_t Find(size_t x) {
    while (parent_[x] != x) {
      parent_[x] = parent_[parent_[x]];
      x = parent_[x];
    }
    return x;
  }
  // The smaller root wins, so a set is named by its earliest member.
  void Join(size_t a, size_t b) {
    a = Find(a);
    b = Find(b);
    if (a != b) parent_[std::max(a, b)] = std::min(a, b);
  }

 private:
  std::vector<size_t> parent_;
};

}  // namespace

std::vector<std::vector<size_t>> GroupJobsSharingFiles(const std::vector<std::vector<std::string>>& files_of_jobs) {
  const size_t count = files_of_jobs.size();
  DisjointSets sets(count);
  std::map<std::string, size_t> first_job_of_file;
  for (size_t job = 0; job < count; ++job) {
    for (const std::string& file : files_of_jobs[job]) {
      const auto [where, added] = first_job_of_file.emplace(file, job);
      if (!added) sets.Join(where->second, job);
    }
  }
  std::vector<std::vector<size_t>> groups;
  std::vector<size_t> group_of_root(count, SIZE_MAX);
  for (size_t job = 0; job < count; ++job) {
    const size_t root = sets.Find(job);
    if (group_of_root[root] == SIZE_MAX) {
      group_of_root[root] = groups.size();
      groups.emplace_back();
    }
    groups[group_of_root[root]].push_back(job);
  }
  return groups;
}

void RunBatchInOrder(const std::vector<std::vector<std::string>>& files_of_jobs, int workers,
                     const std::function<BatchOutcome(size_t job, int worker)>& work,
                     const std::function<void(size_t job, const BatchOutcome& outcome)>& emit) {
  const size_t count = files_of_jobs.size();
  if (count == 0) return;
  const std::vector<std::vector<size_t>> groups = GroupJobsSharingFiles(files_of_jobs);
  const size_t threads = std::clamp<size_t>(workers < 1 ? 1 : static_cast<size_t>(workers), 1, groups.size());

  std::vector<BatchOutcome> outcomes(count);
  std::vector<char> done(count, 0);
  std::mutex lock;
  std::condition_variable finished;
  std::atomic<size_t> next_group{0};

  auto run_worker = [&](int worker) {
    for (;;) {
      const size_t group = next_group.fetch_add(1);
      if (group >= groups.size()) return;
      for (size_t job : groups[group]) {
        BatchOutcome outcome;
        try {
          outcome = work(job, worker);
        } catch (...) {
          // Out of memory or the like: this file fails, the batch goes on.
          outcome.ok = false;
          outcome.line = "failed: internal error";
        }
        std::lock_guard<std::mutex> guard(lock);
        outcomes[job] = std::move(outcome);
        done[job] = 1;
        finished.notify_all();
      }
    }
  };

  std::vector<std::thread> pool;
  pool.reserve(threads);
  for (size_t i = 0; i < threads; ++i) pool.emplace_back(run_worker, static_cast<int>(i));
  for (size_t job = 0; job < count; ++job) {
    BatchOutcome outcome;
    {
      std::unique_lock<std::mutex> guard(lock);
      finished.wait(guard, [&] { return done[job] != 0; });
      outcome = std::move(outcomes[job]);
    }
    emit(job, outcome);
  }
  for (std::thread& thread : pool) thread.join();
}

}  // namespace zepcon

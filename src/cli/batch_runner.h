// Runs the conversions of a batch on several threads and hands their
// results back in input order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zepcon {

struct BatchOutcome {
  bool ok = false;
  std::string line;     // the file's line for standard output
  std::string details;  // what the log showed for it (with -v), for standard error
  // A folder of files written for this job, to be moved into place when the
  // outcome is handed on (empty: nothing to move).
  std::string staged;
};

// A file's identity for grouping: its canonical path where it can be
// resolved, else its absolute, normalised path.
std::string BatchFileKey(const std::string& path);

// Groups of jobs, each job listed once, in the order of each group's first
// job. Jobs that touch a common file (by key) share a group, directly or
// through other jobs, so that running groups side by side gives what a
// one-by-one run gives.
std::vector<std::vector<size_t>> GroupJobsSharingFiles(const std::vector<std::vector<std::string>>& files_of_jobs);

// Runs work(job, worker) for every job with at most `workers` threads (at
// least one); the jobs of one group run one after the other, in their
// order, on one thread. emit(job, outcome) is called on the calling thread
// in job order as soon as that job and all before it are done. A job whose
// work throws counts as failed; the others go on.
void RunBatchInOrder(const std::vector<std::vector<std::string>>& files_of_jobs, int workers,
                     const std::function<BatchOutcome(size_t job, int worker)>& work,
                     const std::function<void(size_t job, const BatchOutcome& outcome)>& emit);

}  // namespace zepcon

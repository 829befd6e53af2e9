// Checks run on worker threads while the folder search goes on, and their results come out in
// the order in which they were added, so that what is printed never depends on timing.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/check_report.h"

namespace lomvik {

class CheckQueue {
 public:
  using Task = std::function<CheckResult()>;
  using Sink = std::function<void(const CheckResult&)>;

  // With no workers every task runs at once on the calling thread. At most capacity results wait
  // to be handed on, however many files a folder holds.
  CheckQueue(unsigned workers, std::size_t capacity, Sink sink);
  CheckQueue(const CheckQueue&) = delete;
  CheckQueue& operator=(const CheckQueue&) = delete;
  ~CheckQueue();

  void add(CheckResult ready);
  void add(Task task);
  // Waits for every task and hands the last results to the sink.
  void finish();
  // How many results and tasks were added.
  std::uint64_t added() const { return added_; }

 private:
  struct Item {
    Task task;  // empty once the result is there
    CheckResult result;
  };
  // Tasks go to the workers a batch at a time: handing over one small file's check would cost
  // more than the check.
  struct Batch {
    std::vector<Item> items;
    bool done = false;
  };

  void submit();
  // Hands every finished batch at the front to the sink; first waits for the front to finish when
  // wait_for_front is set or the queue is full.
  void deliver(bool wait_for_front);
  void work();

  std::size_t batch_size_;
  std::size_t capacity_;  // in batches
  Sink sink_;
  Batch open_;  // filled by the caller until it is batch_size_ long
  std::uint64_t added_ = 0;
  std::mutex mutex_;
  std::condition_variable batch_added_;
  std::condition_variable front_done_;
  std::deque<Batch> batches_;
  std::uint64_t first_ = 0;       // the number of the batch at the front
  std::uint64_t next_batch_ = 0;  // the number of the next batch a worker takes
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// How many workers to check with on this machine: none where there is one processor.
unsigned default_check_workers();

}  // namespace lomvik

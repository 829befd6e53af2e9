// Checks run on worker threads while the folder search goes on, and their results come out in
// the order in which they were added, so that what is printed never depends on timing.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
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

 private:
  struct Slot {
    Task task;
    std::optional<CheckResult> result;
  };

  void work();
  // Hands every finished result at the front to the sink; waits for the front when full is set.
  void deliver(bool wait_for_room);

  std::size_t capacity_;
  Sink sink_;
  std::mutex mutex_;
  std::condition_variable task_added_;
  std::condition_variable front_done_;
  std::deque<Slot> slots_;
  std::uint64_t first_ = 0;      // the number of the slot at the front
  std::uint64_t next_task_ = 0;  // the number of the next slot a worker looks at
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// How many workers to check with on this machine: none where there is one processor.
unsigned default_check_workers();

}  // namespace lomvik

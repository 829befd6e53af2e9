#include "cli/check_queue.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace lomvik {

namespace {

constexpr std::size_t kLargestBatch = 16;

}  // namespace

CheckQueue::CheckQueue(unsigned workers, std::size_t capacity, Sink sink)
    : batch_size_(std::clamp<std::size_t>(capacity / 4, 1, kLargestBatch)),
      capacity_(std::max<std::size_t>(capacity / batch_size_, 1)),
      sink_(std::move(sink)) {
  workers_.reserve(workers);
  try {
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
  } catch (const std::system_error&) {
    // Fewer threads than asked for (a limit on processes); with none, tasks run as they come.
  }
}

CheckQueue::~CheckQueue() { finish(); }

void CheckQueue::add(CheckResult ready) {
  ++added_;
  if (workers_.empty()) {
    sink_(ready);
    return;
  }
  open_.items.push_back({nullptr, std::move(ready)});
  if (open_.items.size() >= batch_size_) submit();
}

void CheckQueue::add(Task task) {
  ++added_;
  if (workers_.empty()) {
    sink_(task());
    return;
  }
  open_.items.push_back({std::move(task), {}});
  if (open_.items.size() >= batch_size_) submit();
}

void CheckQueue::submit() {
  {
    const std::lock_guard lock(mutex_);
    batches_.push_back(std::move(open_));
  }
  open_ = {};
  batch_added_.notify_one();
  deliver(false);
}

void CheckQueue::finish() {
  if (workers_.empty()) return;
  if (!open_.items.empty()) submit();
  while (true) {
    {
      const std::lock_guard lock(mutex_);
      if (batches_.empty()) break;
    }
    deliver(true);
  }
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  batch_added_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

void CheckQueue::deliver(bool wait_for_front) {
  std::vector<Batch> ready;
  {
    std::unique_lock lock(mutex_);
    if (wait_for_front || batches_.size() >= capacity_) {
      front_done_.wait(lock, [this] { return batches_.empty() || batches_.front().done; });
    }
    while (!batches_.empty() && batches_.front().done) {
      ready.push_back(std::move(batches_.front()));
      batches_.pop_front();
      ++first_;
    }
  }
  for (const Batch& batch : ready) {
    for (const Item& item : batch.items) sink_(item.result);
  }
}

void CheckQueue::work() {
  std::unique_lock lock(mutex_);
  while (true) {
    batch_added_.wait(lock, [this] { return stopping_ || next_batch_ < first_ + batches_.size(); });
    if (next_batch_ == first_ + batches_.size()) return;  // stopping, and nothing left
    const std::uint64_t number = next_batch_++;
    // Only finished batches leave the front, so this one stays where it is, and only this worker
    // touches its items until it is marked done.
    Batch& batch = batches_[number - first_];
    lock.unlock();
    for (Item& item : batch.items) {
      if (item.task) {
        item.result = item.task();
        item.task = nullptr;
      }
    }
    lock.lock();
    batch.done = true;
    if (number == first_) front_done_.notify_one();
  }
}

unsigned default_check_workers() {
  const unsigned processors = std::thread::hardware_concurrency();
  return processors > 1 ? std::min(processors, 8U) : 0;
}

}  // namespace lomvik

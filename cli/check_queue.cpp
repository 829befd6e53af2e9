#include "cli/check_queue.h"

#include <algorithm>
#include <utility>

namespace lomvik {

CheckQueue::CheckQueue(unsigned workers, std::size_t capacity, Sink sink)
    : capacity_(std::max<std::size_t>(capacity, 1)), sink_(std::move(sink)) {
  workers_.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
}

CheckQueue::~CheckQueue() { finish(); }

void CheckQueue::add(CheckResult ready) {
  if (workers_.empty()) {
    sink_(ready);
    return;
  }
  {
    const std::lock_guard lock(mutex_);
    slots_.push_back({nullptr, std::move(ready)});
  }
  deliver(false);
}

void CheckQueue::add(Task task) {
  if (workers_.empty()) {
    sink_(task());
    return;
  }
  {
    const std::lock_guard lock(mutex_);
    slots_.push_back({std::move(task), std::nullopt});
  }
  task_added_.notify_one();
  deliver(false);
}

void CheckQueue::finish() {
  if (workers_.empty()) return;
  while (true) {
    {
      const std::lock_guard lock(mutex_);
      if (slots_.empty()) break;
    }
    deliver(true);
  }
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  task_added_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

void CheckQueue::deliver(bool wait_for_front) {
  std::vector<CheckResult> ready;
  {
    std::unique_lock lock(mutex_);
    if (wait_for_front || slots_.size() >= capacity_) {
      front_done_.wait(lock, [this] { return slots_.empty() || slots_.front().result; });
    }
    while (!slots_.empty() && slots_.front().result) {
      ready.push_back(std::move(*slots_.front().result));
      slots_.pop_front();
      ++first_;
    }
    // Results that came ready may leave before any worker passed them.
    next_task_ = std::max(next_task_, first_);
  }
  for (const CheckResult& result : ready) sink_(result);
}

void CheckQueue::work() {
  std::unique_lock lock(mutex_);
  while (true) {
    task_added_.wait(lock, [this] { return stopping_ || next_task_ < first_ + slots_.size(); });
    if (next_task_ == first_ + slots_.size()) return;  // stopping, and nothing left
    const std::uint64_t number = next_task_++;
    Task task = std::move(slots_[number - first_].task);
    if (!task) continue;  // a result that came ready
    lock.unlock();
    CheckResult result = task();
    lock.lock();
    // Only finished slots leave the front, so this one is still where it was.
    slots_[number - first_].result = std::move(result);
    if (number == first_) front_done_.notify_one();
  }
}

unsigned default_check_workers() {
  const unsigned processors = std::thread::hardware_concurrency();
  return processors > 1 ? std::min(processors, 8U) : 0;
}

}  // namespace lomvik

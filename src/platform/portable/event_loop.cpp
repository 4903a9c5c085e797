#include "platform/portable/event_loop.h"

#include <poll.h>

#include <chrono>
#include <thread>
#include <vector>

namespace platform::portable {
namespace {

std::vector<pollfd> PollSet(const auto& watches) {
  std::vector<pollfd> set;
  for (const auto& [fd, watch] : watches) set.push_back({fd, watch.events, 0});
  return set;
}

}  // namespace

EventLoop& EventLoop::Instance() {
  static EventLoop loop;
  return loop;
}

void EventLoop::Post(Task task) { tasks_.push_back(std::move(task)); }

void EventLoop::WatchFd(int fd, short events, FdHandler handler) {
  watches_[fd] = Watch{events, std::move(handler)};
}

void EventLoop::UnwatchFd(int fd) { watches_.erase(fd); }

void EventLoop::DispatchPending() {
  // Only what is waiting now: tasks posted by the handlers run on the next call.
  std::deque<Task> ready;
  ready.swap(tasks_);
  for (Task& task : ready) task();

  std::vector<pollfd> set = PollSet(watches_);
  if (set.empty()) return;
  if (poll(set.data(), set.size(), 0) <= 0) return;
  for (const pollfd& entry : set) {
    if (!entry.revents) continue;
    auto watch = watches_.find(entry.fd);  // a handler may have removed it meanwhile
    if (watch == watches_.end()) continue;
    FdHandler handler = watch->second.handler;
    handler(entry.revents);
  }
}

void EventLoop::Wait(uint32_t timeout_milliseconds) {
  if (!tasks_.empty()) return;
  std::vector<pollfd> set = PollSet(watches_);
  if (set.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout_milliseconds));
    return;
  }
  poll(set.data(), set.size(), static_cast<int>(timeout_milliseconds));
}

}  // namespace platform::portable

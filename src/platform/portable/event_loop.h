// The portable message queue: posted tasks and file descriptors watched for readiness,
// dispatched on the one thread by DoEvents, the way Windows delivers window messages.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>

namespace platform::portable {

class EventLoop {
 public:
  using Task = std::function<void()>;
  // Called with poll()'s revents when the descriptor is ready.
  using FdHandler = std::function<void(short revents)>;

  static EventLoop& Instance();

  void Post(Task task);
  void WatchFd(int fd, short events, FdHandler handler);
  void UnwatchFd(int fd);

  // Runs the tasks posted so far and the handlers of ready descriptors.
  void DispatchPending();
  // Blocks until a task is queued or a watched descriptor is ready, or the time is up.
  void Wait(uint32_t timeout_milliseconds);

 private:
  struct Watch {
    short events;
    FdHandler handler;
  };
  std::deque<Task> tasks_;
  std::map<int, Watch> watches_;
};

}  // namespace platform::portable

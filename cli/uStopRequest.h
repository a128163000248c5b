// The stop button of a run without a window: set once (by Ctrl+C, or by a test), seen by the
// progress view, which then takes the same way as the progress window's stop button.
#pragma once

#include <functional>
#include <mutex>

namespace dikton::cli {

class TStopRequest {
 public:
  // From any thread but a signal handler.
  void Request() {
    // The listener is called with the lock held: a listener being replaced (its window going
    // away) waits until the call has returned.
    std::lock_guard lock(mutex_);
    requested_ = true;
    if (listener_) listener_();
  }
  bool Requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
  }
  // Called at every later request, on the requesting thread; an empty function stops it. The
  // listener must stay valid until it is replaced, and must not call back into this object.
  void Listen(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
  }

 private:
  mutable std::mutex mutex_;
  bool requested_ = false;
  std::function<void()> listener_;
};

}  // namespace dikton::cli

// A worker that tells when its job stands at a hold, so that a test can confirm a stop at
// exactly the moment the progress window's question would.
#pragma once

#include <condition_variable>
#include <mutex>

namespace dikton::test {

template <class TWorker>
class THoldProbe : public TWorker {
 public:
  using TWorker::TWorker;
  ~THoldProbe() override { this->Shutdown(); }

  void WaitUntilHeld() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return held_; });
  }
  // What the window does after "Да" to the stop question: stop, then release.
  void ConfirmStopWhenHeld() {
    WaitUntilHeld();
    this->Terminate();
    this->ReleaseHold();
    this->WaitFor();
  }

 protected:
  void HoldBegins() override {
    std::lock_guard lock(mutex_);
    held_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool held_ = false;
};

}  // namespace dikton::test

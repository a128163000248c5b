#include "uThread.h"

namespace dikton {

TThread::~TThread() { Shutdown(); }

void TThread::Resume() {
  std::unique_lock lock(mutex_);
  if (!started_) {
    started_ = true;
    lock.unlock();
    thread_ = std::thread([this] { Run(); });
    return;
  }
  if (held_) {
    held_ = false;
  } else {
    wake_ = true;
  }
  cv_.notify_all();
}

void TThread::Suspend() {
  std::lock_guard lock(mutex_);
  held_ = true;
}

void TThread::ReleaseHold() {
  std::lock_guard lock(mutex_);
  held_ = false;
  cv_.notify_all();
}

void TThread::Wake() {
  std::lock_guard lock(mutex_);
  wake_ = true;
  cv_.notify_all();
}

void TThread::Terminate() {
  std::lock_guard lock(mutex_);
  terminated_ = true;
}

bool TThread::Terminated() const {
  std::lock_guard lock(mutex_);
  return terminated_;
}

bool TThread::Started() const {
  std::lock_guard lock(mutex_);
  return started_;
}

void TThread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TThread::HoldPoint() {
  std::unique_lock lock(mutex_);
  if (held_ && !closing_) HoldBegins();
  cv_.wait(lock, [this] { return !held_ || closing_; });
}

void TThread::WaitForWake() {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [this] { return wake_ || closing_; });
  wake_ = false;
}

void TThread::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    terminated_ = true;
    closing_ = true;
    held_ = false;
    cv_.notify_all();
  }
  WaitFor();
}

void TThread::Run() {
  HoldPoint();
  BeforeExecute();
  Execute();
}

}  // namespace dikton

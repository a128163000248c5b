// A small thread class in the manner of the toolkit's: created held, started by Resume, held
// between two steps of its job by Suspend, asked to stop by Terminate, joined by WaitFor.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace dikton {

class TThread {
 public:
  TThread() = default;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  virtual ~TThread();

  // Starts the job the first time. Later: ends a hold if one is in force, and otherwise
  // wakes the job from WaitForWake. A resume that ends a hold is never banked as a wake-up.
  void Resume();
  // Holds the job at its next HoldPoint; it sends and posts nothing until released.
  void Suspend();
  void ReleaseHold();
  // Wakes the job from WaitForWake; remembered if the job has not begun to wait yet.
  void Wake();
  void Terminate();
  bool Terminated() const;
  // Joins the job's thread; returns at once if it never started or has been joined.
  void WaitFor();
  bool Started() const;

 protected:
  virtual void Execute() = 0;
  // Runs on the job's thread just before Execute.
  virtual void BeforeExecute() {}
  // Called by the job between two exchanges: blocks while a hold is in force.
  void HoldPoint();
  // Runs on the job's thread as it begins to wait at a hold (the lock is held: it must not
  // call back into this object). Lets an observer know that the job stands still.
  virtual void HoldBegins() {}
  // Called by the job after a notification that needs an answer. Returns on a wake-up (banked
  // or new) or when the object is being destroyed; a stop request alone does not end it.
  void WaitForWake();
  // Every derived destructor calls this first, so that the job has ended before the
  // derived parts it uses are gone: stop, wake, release and join.
  void Shutdown();

 private:
  void Run();

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::thread thread_;
  bool started_ = false;
  bool terminated_ = false;
  bool held_ = false;
  bool wake_ = false;
  bool closing_ = false;
};

}  // namespace dikton

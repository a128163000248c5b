// Runs a worker the way the memory commands do: mode switch, fast line, the test progress
// window pumping its notifications through the real window logic, and the thread's end.
#pragma once

#include <gtest/gtest.h>

#include <atomic>

#include "ScriptedDialog.h"
#include "uCommandSet.h"
#include "uConst_Orbis.h"
#include "uRV7K_v210_Sound.h"

namespace dikton::test {

// A counter that jumps a second at every look: the transmit busy-wait ends at once, so runs
// over a whole memory against TFakeDeviceLine take no wire time.
class TJumpingClock : public TClock {
 public:
  int64_t Frequency() const override { return 1; }
  int64_t Counter() const override { return ++ticks_; }
  TLocalTime Now() const override { return Time; }
  TLocalTime Time{7, 12, 2026, 14, 5};

 private:
  mutable std::atomic<int64_t> ticks_{0};
};

// The real clock's counter with a fixed local time for the signature record. The job's thread
// gets the machine's priority too: a busy-wait preempted on a loaded machine turns the line
// round late and the device's reply is lost to the purge.
class TFixedDateClock : public TClock {
 public:
  int64_t Frequency() const override { return SystemClock().Frequency(); }
  int64_t Counter() const override { return SystemClock().Counter(); }
  std::unique_ptr<TSleeper> CreateSleeper() const override { return SystemClock().CreateSleeper(); }
  void EnterTimingCritical() const override { SystemClock().EnterTimingCritical(); }
  TLocalTime Now() const override { return Time; }
  TLocalTime Time{7, 12, 2026, 14, 5};
};

inline TModalResult RunInWindow(TRV7KSoundThread& worker, TScriptedDialog& dialog,
                                uint8_t device = 127) {
  // The mode switches below are exchanged on this thread: it keeps time like the job's.
  SystemClock().EnterTimingCritical();
  auto window = dialog.CreateProgressWindow();
  worker.SetNotifyWindow(window.get());
  worker.SetDeviceAddress(device);
  worker.SetBaudRate(kSlowBaud);
  TFrame reply;
  if (!worker.Exchange(BuildModeSwitch(device, kModeEnter), reply) || !IsModeSwitchReply(reply))
    ADD_FAILURE() << "mode switch refused";
  worker.SetBaudRate(kFastBaud);
  window->SetWorker(&worker);
  worker.Resume();
  const TModalResult r = window->ShowModal();
  worker.Terminate();
  worker.ReleaseHold();
  worker.Wake();
  worker.WaitFor();
  worker.Exchange(BuildModeSwitch(device, kModeLeave), reply);  // back to 9600 for the next run
  worker.SetNotifyWindow(nullptr);
  return r;
}

inline size_t CountOf(const std::vector<TPosted>& v, uint32_t message) {
  size_t n = 0;
  for (const auto& p : v) n += p.Message == message;
  return n;
}

}  // namespace dikton::test

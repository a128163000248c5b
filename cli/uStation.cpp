#include "uStation.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "uConst_Orbis.h"
#include "uDemo.h"
#include "uMainCommands.h"
#include "uStationView.h"

namespace dikton::cli {
namespace {

TStationPhase JobPhase(TCommand c) {
  switch (c) {
    case TCommand::Write:
    case TCommand::Sound:
      return TStationPhase::Writing;
    case TCommand::Verify:
      return TStationPhase::Verifying;
    default:
      return TStationPhase::Reading;
  }
}

// Of two exit statuses, the one that makes the run's.
int Worse(int a, int b) { return StationSeverity(b) > StationSeverity(a) ? b : a; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

constexpr auto kPresencePeriod = std::chrono::milliseconds(500);  // loop: between two queries
constexpr auto kReopenPeriod = std::chrono::milliseconds(1000);   // loop: a port not opened yet
constexpr int kSilentToBeGone = 2;  // loop: silent queries in a row that mean the device is off

// --count: the devices the loop may still start, shared by every port.
class TDeviceCount {
 public:
  explicit TDeviceCount(int limit) : limit_(limit) {}
  bool Take() { return limit_ == 0 || taken_.fetch_add(1) < limit_; }
  bool Exhausted() const { return limit_ != 0 && taken_.load() >= limit_; }

 private:
  const int limit_;
  std::atomic<int> taken_{0};
};

// One port of the station: everything it uses is its own, but for the view and the log.
struct TSession {
  // A device on the port's line: its address and its row. Several share a line in the order
  // -a gave them.
  struct TSlot {
    uint8_t Address = 0;
    size_t Row = 0;
  };
  TPortSpec Spec;
  std::vector<TSlot> Slots;
  TStopRequest Stop;
  std::ostringstream Out, Err;
  int Worst = kExitDone;  // the worst status of its jobs
  // The loop's waits end early on a stop.
  std::mutex Mutex;
  std::condition_variable Cv;
  bool Stopping = false;

  void RequestStop() {
    {
      std::lock_guard lock(Mutex);
      Stopping = true;
    }
    Cv.notify_all();
    Stop.Request();
  }
  // False when the station is being stopped.
  bool Pause(std::chrono::milliseconds d) {
    std::unique_lock lock(Mutex);
    return !Cv.wait_for(lock, d, [&] { return Stopping; });
  }
  bool Stopped() {
    std::lock_guard lock(Mutex);
    return Stopping;
  }
};

// What one session does on its thread: one job, or in a loop one job per device put on it.
class TSessionRun {
 public:
  TSessionRun(TSession& s, const TCliOptions& o, const TCliEnv& env, const TPortMap* demoPorts,
              TStationView& view, TJobLog* log, TDeviceCount& count)
      : s_(s),
        o_(o),
        view_(view),
        log_(log),
        count_(count),
        demo_(demoPorts != nullptr),
        ports_(demoPorts ? *demoPorts : TPortMap{}),
        env_(s.Out, s.Err) {
    port_ = s.Spec.Number;
    if (port_ == 0) {
      port_ = uint8_t(kMinPort);
      ports_.Map(port_, s.Spec.Path);
    }
    link_ = env.Link;
    link_.Ports = &ports_;
    env_.Stop = &s.Stop;
    // The row of the device being worked on: the hooks report to it.
    env_.Hooks.Message = [&view, this](std::string_view text) {
      view.Message(row_, std::string(text));
    };
    env_.Hooks.Progress = [&view, this](uint32_t done, uint32_t total, double rate,
                                        int differences, bool readBack) {
      view.Update(row_, [&](TPortRow& r) {
        r.Done = done, r.Total = total, r.Rate = rate;
        r.Differences = size_t(std::max(differences, 0));
        if (readBack) r.Phase = TStationPhase::Verifying;
      });
    };
  }

  void Go() {
    const std::string trace = WithPortName(o_.TracePath, s_.Spec.Name());
    if (!o_.TracePath.empty() && !trace_.Start(trace, link_)) {
      view_.Message(s_.Slots[0].Row, "dikton-cli: " + trace + ": cannot be written");
      s_.Worst = kExitFileRefused;
      for (const TSession::TSlot& slot : s_.Slots) NoJob(slot, TOutcome::FileRefused);
      return;
    }
    env_.Link = link_;
    if (!o_.Loop) {
      // The devices of one line one after another: the line is half-duplex.
      for (const TSession::TSlot& slot : s_.Slots) {
        // A device whose turn did not come before the stop: nothing is sent to it.
        if (s_.Stopped())
          NoJob(slot, TOutcome::Stopped);
        else
          Job(0, slot);
      }
      return;
    }
    for (int device = 1;;) {
      if (!WaitForDevice()) return;
      for (const TSession::TSlot& slot : s_.Slots) {
        if (s_.Stopped() || !count_.Take()) return;
        Job(device++, slot);
      }
      if (s_.Stopped() || count_.Exhausted() || !WaitUntilGone()) return;
    }
  }

 private:
  // A device's row when its job could not be run at all.
  void NoJob(const TSession::TSlot& slot, TOutcome why) {
    view_.Update(slot.Row, [&](TPortRow& r) {
      r.Phase = TStationPhase::Failed;
      r.Status = ExitStatusOf(why);
      r.Outcome = std::string(OutcomeWord(why));
    });
  }

  void Job(int device, const TSession::TSlot& slot) {
    row_ = slot.Row;
    TCliOptions po = o_;
    po.Ports = {s_.Spec};
    po.Demo = false;
    po.DemoCount = 0;
    po.Device = device;
    po.Address = slot.Address;
    po.Addresses = {slot.Address};
    if (po.Command == TCommand::Read) {
      po.Args[0] = WithPortName(o_.Args[0], s_.Spec.Name());
      // Each device of a line, and each of a loop, its own file.
      if (s_.Slots.size() > 1)
        po.Args[0] = WithPortName(po.Args[0], "a" + std::to_string(slot.Address));
      if (device > 0) po.Args[0] = WithPortName(po.Args[0], std::to_string(device));
    }
    view_.Update(row_, [&](TPortRow& r) {
      r.Phase = JobPhase(o_.Command);
      r.Done = r.Total = 0;
      r.Differences = 0;
      r.Outcome.clear();
      r.Message.clear();
    });
    const TJobOutcome j = RunJob(po, env_, s_.Stop, link_, log_, port_,
                                 demo_ ? "demo" : s_.Spec.Given(), ports_.DeviceFor(port_));
    s_.Worst = Worse(s_.Worst, j.Status);
    view_.Update(row_, [&](TPortRow& r) {
      r.Phase = j.Status == kExitDone ? TStationPhase::Done : TStationPhase::Failed;
      r.Outcome = std::string(OutcomeWord(j.Result.Outcome));
      r.Differences = j.Result.DifferenceCount();
      if (j.Result.BytesTotal > 0) r.Done = j.Result.BytesDone, r.Total = j.Result.BytesTotal;
      r.Seconds = j.Seconds;
      r.Status = j.Status;
      (j.Status == kExitDone ? r.DevicesDone : r.DevicesFailed)++;
    });
  }

  // One range query with one attempt and no message: whether the device answers on the port.
  TOutcome Query(uint8_t address) {
    TTermSettings quiet;
    quiet.Hooks.Message = [](std::string_view) {};
    TTermDialog dialog(s_.Err, quiet, s_.Stop, link_.Clock ? *link_.Clock : SystemClock());
    TMainCommands cmd(dialog, link_);
    cmd.RaisePortError = false;
    cmd.SetSettings(port_, address);
    return cmd.ScanClick(address, address).Outcome;
  }

  // Whether any device of the line answers; stops at the first that does, or at a port that
  // cannot be opened.
  TOutcome QueryLine() {
    TOutcome q = TOutcome::NoAnswer;
    for (const TSession::TSlot& slot : s_.Slots) {
      if (s_.Stopped()) break;
      q = Query(slot.Address);
      if (q == TOutcome::Done || q == TOutcome::PortNotOpened) break;
    }
    return q;
  }

  // Until the fixture holds a device: the first of its line that answers starts the jobs of
  // all of them.
  bool WaitForDevice() {
    for (;;) {
      if (s_.Stopped() || count_.Exhausted()) return false;
      const TOutcome q = QueryLine();
      if (q == TOutcome::Done) return true;
      const bool closed = q == TOutcome::PortNotOpened;
      for (const TSession::TSlot& slot : s_.Slots) {
        view_.Update(slot.Row, [&](TPortRow& r) {
          r.Phase = TStationPhase::Waiting;
          r.Message = closed ? ErrorBoxText(txt::CantOpenPort) : "";
        });
      }
      if (!s_.Pause(closed ? kReopenPeriod : kPresencePeriod)) return false;
    }
  }

  // Until every device of the line has been taken off the fixture: one that stays on it is
  // not programmed again.
  bool WaitUntilGone() {
    for (int silent = 0; silent < kSilentToBeGone;) {
      if (!s_.Pause(kPresencePeriod)) return false;
      silent = QueryLine() == TOutcome::Done ? 0 : silent + 1;
    }
    return true;
  }

  TSession& s_;
  const TCliOptions& o_;
  TStationView& view_;
  TJobLog* log_;
  TDeviceCount& count_;
  const bool demo_;
  TPortMap ports_;
  uint8_t port_ = 0;
  size_t row_ = 0;  // of the device being worked on
  TLinkContext link_;
  TTrace trace_;
  TCliEnv env_;
};

}  // namespace

int StationSeverity(int status) {
  switch (status) {
    case kExitDone:
      return 0;
    case kExitUsage:
      return 1;
    case kExitFileRefused:
      return 2;
    case kExitDifferences:
      return 3;
    case kExitNoDevice:
      return 4;
    default:
      return 5;  // stopped
  }
}

int RunStation(const TCliOptions& o, TCliEnv& env, TStopRequest& stop, TJobLog* log) {
  std::vector<TPortSpec> specs = o.Ports;
  TPortMap demoPorts;
  std::shared_ptr<void> demo;
  if (o.DemoCount > 0) {
    std::string error;
    demo = StartDemos(o.DemoCount, demoPorts, error);
    if (!demo) {
      env.Err << "dikton-cli: " << error << '\n';
      return kExitNoDevice;
    }
    specs.clear();
    for (int n = 1; n <= o.DemoCount; ++n) specs.push_back({uint8_t(n), {}});
  }

  const auto t0 = std::chrono::steady_clock::now();
  const bool rows = env.ErrIsTerminal && env.TerminalEscapes && !o.Quiet;
  TStationView view(env.Err, rows, env.Columns, [t0] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  });
  std::vector<std::unique_ptr<TSession>> sessions;
  const std::vector<uint8_t> addresses =
      o.Addresses.empty() ? std::vector<uint8_t>{o.Address} : o.Addresses;
  for (const TPortSpec& spec : specs) {
    auto s = std::make_unique<TSession>();
    s->Spec = spec;
    for (uint8_t address : addresses) {
      TPortRow row;
      row.Port = spec.Name();
      row.Address = address;
      row.SharedLine = addresses.size() > 1;
      s->Slots.push_back({address, view.Add(std::move(row))});
    }
    sessions.push_back(std::move(s));
  }
  view.Flush();

  // Ctrl+C is every port's stop button.
  auto stopAll = [&sessions] {
    for (auto& s : sessions) s->RequestStop();
  };
  stop.Listen(stopAll);
  if (stop.Requested()) stopAll();
  TDeviceCount count(o.Count);
  {
    std::vector<std::thread> threads;
    for (auto& s : sessions) {
      threads.emplace_back([&, session = s.get()] {
        try {
          TSessionRun(*session, o, env, demo ? &demoPorts : nullptr, view, log, count).Go();
        } catch (const std::exception& e) {
          // Whatever went wrong is this port's alone.
          view.Message(session->Slots[0].Row, std::string("dikton-cli: ") + e.what());
          session->Worst = Worse(session->Worst, kExitNoDevice);
          for (const TSession::TSlot& slot : session->Slots) {
            view.Update(slot.Row, [&](TPortRow& r) {
              if (r.Status >= 0) return;  // its job had ended before
              r.Phase = TStationPhase::Failed;
              r.Status = kExitNoDevice;
            });
          }
        }
      });
    }
    for (auto& t : threads) t.join();
  }
  stop.Listen({});
  view.Flush();

  // What each port printed, after the rows: records as they are, results named by their port.
  for (const auto& s : sessions) {
    for (const std::string& line : Lines(s->Out.str())) {
      if (o.Json)
        env.Out << line << '\n';
      else
        env.Out << s->Spec.Name() << ": " << line << '\n';
    }
  }
  const auto messages = view.Messages();
  if (!messages.empty() && rows) {
    for (const auto& [port, text] : messages) env.Err << port << ": " << text << '\n';
  }
  PrintStationSummary(o.Json ? env.Err : env.Out, view.Rows(), o.Loop);

  if (stop.Requested()) return kExitStopped;
  int worst = kExitDone;
  for (const auto& s : sessions) worst = Worse(worst, s->Worst);
  return worst;
}

}  // namespace dikton::cli

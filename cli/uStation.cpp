#include "uStation.h"

#include <chrono>
#include <exception>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "uDemo.h"
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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One port of the station: everything it uses is its own, but for the view and the log.
struct TSession {
  TPortSpec Spec;
  size_t Row = 0;
  TStopRequest Stop;
  std::ostringstream Out, Err;
  TJobOutcome Outcome;
};

void RunSession(TSession& s, const TCliOptions& o, const TCliEnv& env, const TPortMap* demoPorts,
                TStationView& view, TJobLog* log) {
  TCliOptions po = o;
  po.Ports = {s.Spec};
  po.Demo = false;
  po.DemoCount = 0;
  const std::string name = s.Spec.Name();
  if (po.Command == TCommand::Read) po.Args[0] = WithPortName(o.Args[0], name);

  TPortMap ports = demoPorts ? *demoPorts : TPortMap{};
  uint8_t port = s.Spec.Number;
  if (port == 0) {
    port = uint8_t(kMinPort);
    ports.Map(port, s.Spec.Path);
  }
  TLinkContext link = env.Link;
  link.Ports = &ports;
  TTrace trace;
  if (!o.TracePath.empty() && !trace.Start(WithPortName(o.TracePath, name), link)) {
    view.Message(s.Row, "dikton-cli: " + WithPortName(o.TracePath, name) + ": cannot be written");
    s.Outcome.Status = kExitFileRefused;
    s.Outcome.Result.Outcome = TOutcome::FileRefused;
    return;
  }

  TCliEnv senv(s.Out, s.Err);
  senv.Stop = &s.Stop;
  senv.Link = link;
  const size_t row = s.Row;
  senv.Hooks.Message = [&view, row](std::string_view text) {
    view.Message(row, std::string(text));
  };
  senv.Hooks.Progress = [&view, row](uint32_t done, uint32_t total, double rate, int differences,
                                     bool readBack) {
    view.Update(row, [&](TPortRow& r) {
      r.Done = done, r.Total = total, r.Rate = rate;
      r.Differences = size_t(std::max(differences, 0));
      if (readBack) r.Phase = TStationPhase::Verifying;
    });
  };
  view.Update(row, [&](TPortRow& r) { r.Phase = JobPhase(o.Command); });
  s.Outcome = RunJob(po, senv, s.Stop, link, log, port, demoPorts ? "demo" : s.Spec.Given(),
                     ports.DeviceFor(port));
}

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
  TStationView view(env.Err, env.ErrIsTerminal && !o.Quiet, env.Columns, [t0] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  });
  std::vector<std::unique_ptr<TSession>> sessions;
  for (const TPortSpec& spec : specs) {
    auto s = std::make_unique<TSession>();
    s->Spec = spec;
    TPortRow row;
    row.Port = spec.Name();
    row.Address = o.Address;
    s->Row = view.Add(std::move(row));
    sessions.push_back(std::move(s));
  }
  view.Flush();

  // Ctrl+C is every port's stop button.
  auto stopAll = [&sessions] {
    for (auto& s : sessions) s->Stop.Request();
  };
  stop.Listen(stopAll);
  if (stop.Requested()) stopAll();
  {
    std::vector<std::thread> threads;
    for (auto& s : sessions) {
      threads.emplace_back([&, session = s.get()] {
        try {
          RunSession(*session, o, env, demo ? &demoPorts : nullptr, view, log);
        } catch (const std::exception& e) {
          // Whatever went wrong is this port's alone.
          view.Message(session->Row, std::string("dikton-cli: ") + e.what());
          session->Outcome.Status = kExitNoDevice;
          session->Outcome.Result.Outcome = TOutcome::NoAnswer;
        }
        const TJobOutcome& j = session->Outcome;
        view.Update(session->Row, [&](TPortRow& r) {
          r.Phase = j.Status == kExitDone ? TStationPhase::Done : TStationPhase::Failed;
          r.Outcome = std::string(OutcomeWord(j.Result.Outcome));
          r.Differences = j.Result.DifferenceCount();
          r.Seconds = j.Seconds;
          r.Status = j.Status;
        });
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
  if (!messages.empty() && env.ErrIsTerminal && !o.Quiet) {
    for (const auto& [port, text] : messages) env.Err << port << ": " << text << '\n';
  }
  PrintStationSummary(o.Json ? env.Err : env.Out, view.Rows());

  if (stop.Requested()) return kExitStopped;
  int worst = kExitDone;
  for (const auto& s : sessions)
    if (StationSeverity(s->Outcome.Status) > StationSeverity(worst)) worst = s->Outcome.Status;
  return worst;
}

}  // namespace dikton::cli

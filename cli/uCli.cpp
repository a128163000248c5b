#include "uCli.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>

#include "uCliOptions.h"
#include "uConst_Orbis.h"
#include "uDemo.h"
#include "uFiles.h"
#include "uImageTools.h"
#include "uJobRecord.h"
#include "uMainCommands.h"
#include "uSha256.h"
#include "uStation.h"
#include "uTermDialog.h"
#include "uTraceLine.h"

#ifndef DIKTON_VERSION
#define DIKTON_VERSION "unknown"
#endif

namespace dikton::cli {

int ExitStatusOf(TOutcome outcome) {
  switch (outcome) {
    case TOutcome::Done:
    case TOutcome::WrittenUnverified:  // what --no-verify asked for
      return kExitDone;
    case TOutcome::NoAnswer:
    case TOutcome::PortNotOpened:
      return kExitNoDevice;
    case TOutcome::FileRefused:
    case TOutcome::RangeDiffers:
    case TOutcome::NothingToWrite:
    // The terminal's file dialogs cancel only a path they cannot take (no such file or folder).
    case TOutcome::Cancelled:
      return kExitFileRefused;
    case TOutcome::Differences:
    case TOutcome::Incomplete:
      return kExitDifferences;
    case TOutcome::Stopped:
      return kExitStopped;
  }
  return kExitNoDevice;
}

namespace {

constexpr uint8_t kFirstAddress = 1;  // scan range
constexpr uint8_t kLastAddress = 127;

std::string_view CommandWord(TCommand c) {
  switch (c) {
    case TCommand::Range:
      return "range";
    case TCommand::Read:
      return "read";
    case TCommand::Write:
      return "write";
    case TCommand::Sound:
      return "sound";
    case TCommand::Verify:
      return "verify";
    case TCommand::Info:
      return "info";
    case TCommand::Extract:
      return "extract";
    case TCommand::Scan:
      return "scan";
  }
  return "";
}

std::string SignatureLine(const TSignatureRecord& s) {
  char at[16];
  std::snprintf(at, sizeof at, "0x%06X", unsigned(s.Address));
  if (const auto t = DecodeSignature(s.Bytes))
    return std::string("Signature: ") + at + ": " + t->Date + " " + t->Time + " " + t->Maker;
  return std::string("Signature: none at ") + at + " (no date and maker there)";
}

// Where the run's port leads, for the record.
struct TPortNames {
  std::string Given;
  std::string Opened;
};

// One run: the options, the dialogue and the commands over the link the options describe.
class TRun {
 public:
  TRun(const TCliOptions& o, TCliEnv& env, TStopRequest& stop, const TLinkContext& link,
       TJobLog* log, TPortNames ports)
      : o_(o),
        env_(env),
        stop_(stop),
        dialog_(env.Err,
                TTermSettings{env.ErrIsTerminal, env.Columns, o.Quiet, !o.NoVerify,
                              !o.StopOnDifference, env.Hooks},
                stop, link.Clock ? *link.Clock : SystemClock()),
        cmd_(dialog_, link),
        log_(log),
        ports_(std::move(ports)) {
    cmd_.RaisePortError = false;
  }

  int Execute(uint8_t port) {
    cmd_.SetSettings(port, o_.Address);
    if (o_.Command == TCommand::Info) return Info();
    if (o_.Command == TCommand::Extract) return Extract();

    TJobContext job;
    job.Command = std::string(CommandWord(o_.Command));
    job.PortGiven = ports_.Given;
    job.PortOpened = ports_.Opened;
    job.Address = o_.Address;
    job.Device = o_.Device;
    job.ProgramVersion = DIKTON_VERSION;
    job.Start = std::chrono::system_clock::now();
    const auto steadyStart = std::chrono::steady_clock::now();

    TCommandResult r = Job(job);
    // Ctrl+C is the run's stop button, whatever the command made of it.
    if (stop_.Requested()) r.Outcome = TOutcome::Stopped;
    // The window program's error box; here a line on stderr.
    if (r.Outcome == TOutcome::PortNotOpened) dialog_.Note(ErrorBoxText(txt::CantOpenPort));
    int status = ExitStatusOf(r.Outcome);

    job.End = std::chrono::system_clock::now();
    job.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - steadyStart).count();
    job.ExitStatus = status;
    if (o_.Json) env_.Out << JobRecordLine(r, job);
    if (log_ && !log_->Append(r, job)) {
      dialog_.Note("dikton-cli: " + o_.LogPath + ": the record could not be written");
      if (status == kExitDone) status = kExitFileRefused;
    }
    result_ = std::move(r);
    seconds_ = job.Seconds;
    return status;
  }

  const TCommandResult& Result() const { return result_; }
  double Seconds() const { return seconds_; }

 private:
  TCommandResult Job(TJobContext& job) {
    switch (o_.Command) {
      case TCommand::Range:
        return Range();
      case TCommand::Read:
        return Read(job);
      case TCommand::Write:
        return Write(job);
      case TCommand::Sound:
        return Sound(job);
      case TCommand::Verify:
        return Verify(job);
      case TCommand::Scan:
        return Scan();
      case TCommand::Info:
      case TCommand::Extract:
        break;
    }
    return {};
  }

  void TakeFile(TJobContext& job) {
    job.FilePath = o_.Args[0];
    job.FileSha256 = FileSha256Hex(o_.Args[0]);
  }

  // After a write whose read-back the options declined, the counts are short by design.
  void NoteUnverified(const TCommandResult& r) {
    if (r.Outcome == TOutcome::WrittenUnverified)
      dialog_.Note("dikton-cli: written; no read-back (--no-verify)");
  }

  TCommandResult Range() {
    TCommandResult r = cmd_.GetSizeSoundMemClick();
    if (stop_.Requested()) return r;
    if (r.Outcome == TOutcome::NoAnswer) dialog_.Note(txt::NoAnswer);
    if (r.Ok() && !o_.Json) {
      env_.Out << cmd_.StatusBar.Text[0] << ' ' << cmd_.StatusBar.Text[1] << ' '
               << cmd_.StatusBar.Text[2] << '\n';
    }
    return r;
  }

  TCommandResult Read(TJobContext& job) {
    job.FilePath = o_.Args[0];
    TCommandResult r = cmd_.ReadAllMemoryClick();
    if (!r.Ok() || stop_.Requested()) return r;
    dialog_.SetNextFile(o_.Args[0]);
    const TCommandResult saved = cmd_.FileSaveClick();
    if (!saved.Ok()) {
      r.Outcome = saved.Outcome;
      r.Refusal = saved.Refusal;
      r.Path = saved.Path;
      return r;
    }
    job.FileSha256 = FileSha256Hex(o_.Args[0]);
    return r;
  }

  TCommandResult OpenImage() {
    dialog_.SetNextFile(o_.Args[0]);
    return cmd_.FileOpenClick();
  }

  TCommandResult Write(TJobContext& job) {
    TakeFile(job);
    if (TCommandResult opened = OpenImage(); !opened.Ok()) return opened;
    TCommandResult r = cmd_.WriteAllClick();
    NoteUnverified(r);
    return r;
  }

  TCommandResult Verify(TJobContext& job) {
    TakeFile(job);
    if (TCommandResult opened = OpenImage(); !opened.Ok()) return opened;
    TCommandResult r = cmd_.VerifyClick();
    if (r.SignatureRead && !o_.Json) env_.Out << SignatureLine(*r.SignatureRead) << '\n';
    return r;
  }

  TCommandResult Sound(TJobContext& job) {
    TakeFile(job);
    dialog_.SetNextFile(o_.Args[0]);
    TCommandResult opened = cmd_.OpenPathsClick();
    // A name in the list whose file is not beside it empties its slot; on a production line
    // that would be a device without that voice, so the run ends here.
    for (const TMissingName& m : opened.MissingNames) {
      dialog_.Note("dikton-cli: slot " + std::to_string(m.Slot) + ": " + m.Name +
                   " is not beside the list");
    }
    if (!opened.Ok()) return opened;
    dialog_.Note("dikton-cli: " + std::to_string(opened.FragmentsLoaded) +
                 " fragments in the list");
    TCommandResult r = cmd_.WriteSoundMemClick();
    NoteUnverified(r);
    return r;
  }

  int Info() {
    if (!OpenImage().Ok()) return kExitFileRefused;
    PrintImageInfo(env_.Out, o_.Args[0],
                   {cmd_.State.MemoryImage, cmd_.State.StartSoundAddr, cmd_.State.EndSoundAddr});
    return kExitDone;
  }

  int Extract() {
    if (!OpenImage().Ok()) return kExitFileRefused;
    const TExtractResult r = ExtractFragments(
        {cmd_.State.MemoryImage, cmd_.State.StartSoundAddr, cmd_.State.EndSoundAddr}, o_.Args[1]);
    for (const std::string& w : r.Warnings) dialog_.Note("dikton-cli: " + w);
    for (const std::string& p : r.Written) env_.Out << p << '\n';
    return r.Ok ? kExitDone : kExitFileRefused;
  }

  TCommandResult Scan() {
    const bool live = env_.ErrIsTerminal && !o_.Quiet;
    TCommandResult r = cmd_.ScanClick(kFirstAddress, kLastAddress, [&](uint8_t a) {
      if (stop_.Requested()) return false;
      if (live)
        dialog_.SetLiveLine("address " + std::to_string(a) + "/" + std::to_string(kLastAddress));
      return true;
    });
    dialog_.EndLiveLine();
    if (!o_.Json) {
      for (const TScanAnswer& h : r.Answers) {
        env_.Out << "Address=" << int(h.Address) << " StartSoundAddr=" << h.Range.Start
                 << " EndSoundAddr=" << h.Range.End << " Size=" << (h.Range.End - h.Range.Start + 1)
                 << '\n';
      }
    }
    if (r.Outcome == TOutcome::NoAnswer) dialog_.Note(txt::NoAnswer);
    return r;
  }

  const TCliOptions& o_;
  TCliEnv& env_;
  TStopRequest& stop_;
  TTermDialog dialog_;
  TMainCommands cmd_;
  TJobLog* log_;
  TPortNames ports_;
  TCommandResult result_;
  double seconds_ = 0;
};

}  // namespace

bool TTrace::Start(const std::string& path, TLinkContext& link) {
  file_.open(FsPath(path), std::ios::binary | std::ios::trunc);
  if (!file_) return false;
  log_ = std::make_unique<TTraceLog>(file_, link.Clock ? *link.Clock : SystemClock());
  auto inner = link.LineFactory;
  link.LineFactory = [inner, log = log_.get()]() -> std::unique_ptr<TSerialLine> {
    return std::make_unique<TTraceLine>(inner ? inner() : CreateSerialLine(), *log);
  };
  return true;
}

TJobOutcome RunJob(const TCliOptions& o, TCliEnv& env, TStopRequest& stop, const TLinkContext& link,
                   TJobLog* log, uint8_t port, std::string portGiven, std::string portOpened) {
  TRun run(o, env, stop, link, log, {std::move(portGiven), std::move(portOpened)});
  TJobOutcome outcome;
  outcome.Status = run.Execute(port);
  outcome.Result = run.Result();
  outcome.Seconds = run.Seconds();
  return outcome;
}

int RunCli(const std::vector<std::string>& args, TCliEnv& env) {
  const TParsed parsed = ParseCliArgs(args);
  if (std::holds_alternative<TInfoRequest>(parsed)) {
    if (std::get<TInfoRequest>(parsed) == TInfoRequest::Help)
      env.Out << kHelp;
    else
      env.Out << "dikton-cli " << DIKTON_VERSION << '\n';
    return kExitDone;
  }
  if (const auto* error = std::get_if<TUsageError>(&parsed)) {
    env.Err << "dikton-cli: " << error->Text << '\n' << kUsage;
    return kExitUsage;
  }
  const TCliOptions& o = std::get<TCliOptions>(parsed);
  const bool needsDevice = o.Command != TCommand::Info && o.Command != TCommand::Extract;

  // The record's log is opened before anything is sent: a job that could not be recorded is
  // not started.
  std::unique_ptr<TJobLog> log;
  if (!o.LogPath.empty() && needsDevice) {
    log = std::make_unique<TJobLog>();
    if (!log->Open(o.LogPath)) {
      env.Err << "dikton-cli: " << o.LogPath << ": cannot be appended to\n";
      return kExitFileRefused;
    }
  }

  TStopRequest ownStop;
  TStopRequest& stop = env.Stop ? *env.Stop : ownStop;

  if (o.Ports.size() > 1 || o.DemoCount > 1 || o.Loop || o.Addresses.size() > 1)
    return RunStation(o, env, stop, log.get());

  TPortMap ports;
  uint8_t port = o.Port;
  if (!o.PortPath.empty()) ports.Map(port, o.PortPath);
  std::shared_ptr<void> demo;
  if (o.Demo && needsDevice) {
    std::string error;
    demo = StartDemo(ports, port, error);
    if (!demo) {
      env.Err << "dikton-cli: " << error << '\n';
      return kExitNoDevice;
    }
  }

  TLinkContext link = env.Link;
  link.Ports = &ports;
  TTrace trace;
  if (!o.TracePath.empty() && needsDevice && !trace.Start(o.TracePath, link)) {
    env.Err << "dikton-cli: " << o.TracePath << ": cannot be written\n";
    return kExitFileRefused;
  }

  TPortNames names;
  names.Given = o.Demo ? "demo" : !o.PortPath.empty() ? o.PortPath : std::to_string(o.Port);
  names.Opened = ports.DeviceFor(port);
  TRun run(o, env, stop, link, log.get(), names);
  return run.Execute(port);
}

}  // namespace dikton::cli

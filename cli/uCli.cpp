#include "uCli.h"

#include <filesystem>
#include <fstream>
#include <memory>

#include "uCliOptions.h"
#include "uConst_Orbis.h"
#include "uDemo.h"
#include "uImageTools.h"
#include "uMainCommands.h"
#include "uPathList.h"
#include "uScanCommand.h"
#include "uTermDialog.h"
#include "uTraceLine.h"
#include "uWavFile.h"

#ifndef DIKTON_VERSION
#define DIKTON_VERSION "unknown"
#endif

namespace dikton::cli {

namespace {

constexpr uint8_t kFirstAddress = 1;  // scan range
constexpr uint8_t kLastAddress = 127;

// The names a fragment list holds, slot by slot, as stored (the list's code page).
std::vector<std::string> ListNames(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  std::vector<std::string> names(1);
  char c = 0;
  while (names.size() <= size_t(TFragmentCatalogue::Count()) && in.get(c)) {
    if (c == '\0')
      names.emplace_back();
    else
      names.back() += c;
  }
  names.pop_back();  // the entry being read when the loop ended is not complete
  return names;
}

// One run: the options, the dialogue and the commands over the link the options describe.
class TRun {
 public:
  TRun(const TCliOptions& o, TCliEnv& env, TStopRequest& stop, const TLinkContext& link)
      : o_(o),
        env_(env),
        stop_(stop),
        dialog_(env.Err,
                TTermSettings{env.ErrIsTerminal, env.Columns, o.Quiet, !o.NoVerify,
                              !o.StopOnDifference},
                stop, link.Clock ? *link.Clock : SystemClock()),
        cmd_(dialog_, link),
        link_(link) {}

  int Execute(uint8_t port) {
    cmd_.SetSettings(port, o_.Address);
    try {
      switch (o_.Command) {
        case TCommand::Range:
          return Range();
        case TCommand::Read:
          return Read();
        case TCommand::Write:
          return Write();
        case TCommand::Sound:
          return Sound();
        case TCommand::Info:
          return Info();
        case TCommand::Extract:
          return Extract();
        case TCommand::Scan:
          return Scan(port);
      }
    } catch (const TAppError& e) {
      // The window program's error box; here a line on stderr.
      dialog_.Note(ErrorBoxText(e.Text()));
      return stop_.Requested() ? kExitStopped : kExitNoDevice;
    }
    return kExitUsage;
  }

 private:
  bool NoAnswer() const {
    return dialog_.WasShown(txt::NoAnswer) || dialog_.WasShown(txt::NoAnswerCrLf) ||
           dialog_.WasShown(txt::RangeUnsupported);
  }

  // After a write whose read-back the options declined, the counts are short by design.
  int WrittenWithoutReadBack() {
    dialog_.Note("dikton-cli: written; no read-back (--no-verify)");
    return kExitDone;
  }

  int Range() {
    // Refilled only when a range reply came.
    cmd_.StatusBar.Text[0].clear();
    cmd_.GetSizeSoundMemClick();
    if (stop_.Requested()) return kExitStopped;
    if (cmd_.StatusBar.Text[0].empty()) {
      dialog_.Note(txt::NoAnswer);
      return kExitNoDevice;
    }
    env_.Out << cmd_.StatusBar.Text[0] << ' ' << cmd_.StatusBar.Text[1] << ' '
             << cmd_.StatusBar.Text[2] << '\n';
    return kExitDone;
  }

  int Read() {
    cmd_.ReadAllMemoryClick();
    if (stop_.Requested()) return kExitStopped;
    if (NoAnswer() || !cmd_.State.ImageFromDevice) return kExitNoDevice;
    dialog_.SetNextFile(o_.Args[0]);
    cmd_.FileSaveClick();
    return cmd_.State.ImageSaved ? kExitDone : kExitFileRefused;
  }

  bool OpenImage() {
    dialog_.SetNextFile(o_.Args[0]);
    cmd_.FileOpenClick();
    return cmd_.State.ImageFromFile;
  }

  int Write() {
    if (!OpenImage()) return kExitFileRefused;
    cmd_.WriteAllClick();
    if (stop_.Requested()) return kExitStopped;
    if (NoAnswer()) return kExitNoDevice;
    if (dialog_.WasShown(txt::OtherFormat)) return kExitFileRefused;
    if (dialog_.WasShown(txt::WriteOk)) return kExitDone;
    if (dialog_.VerifyDeclined()) return WrittenWithoutReadBack();
    return kExitDifferences;
  }

  int Sound() {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(FsPath(o_.Args[0]), ec)) {
      dialog_.Note("dikton-cli: " + o_.Args[0] + ": no such file");
      return kExitFileRefused;
    }
    dialog_.SetNextFile(o_.Args[0]);
    cmd_.OpenPathsClick();
    // A name in the list whose file is not beside it empties its slot without a word; on a
    // production line that would be a device without that voice, so the run ends here.
    const std::vector<std::string> names = ListNames(o_.Args[0]);
    int loaded = 0, missing = 0;
    for (int i = 0; i < TFragmentCatalogue::Count(); ++i) {
      loaded += cmd_.Catalogue.Row(i).Cell.Loaded;
      if (size_t(i) < names.size() && !names[size_t(i)].empty() &&
          !cmd_.Catalogue.Row(i).Cell.Loaded) {
        dialog_.Note("dikton-cli: slot " + std::to_string(i) + ": " + FromCp1251(names[size_t(i)]) +
                     " is not beside the list");
        ++missing;
      }
    }
    if (missing > 0) return kExitFileRefused;
    dialog_.Note("dikton-cli: " + std::to_string(loaded) + " fragments in the list");
    cmd_.WriteSoundMemClick();
    if (stop_.Requested()) return kExitStopped;
    if (NoAnswer()) return kExitNoDevice;
    for (std::string_view refused :
         {txt::TooBig, txt::BadRange, txt::NoDataToWriteShort, txt::OtherFormatShort}) {
      if (dialog_.WasShown(refused)) return kExitFileRefused;
    }
    for (const std::string& text : dialog_.Shown())
      if (text.rfind(txt::FragmentBroken, 0) == 0) return kExitFileRefused;
    if (dialog_.WasShown(txt::SoundOk)) return kExitDone;
    if (dialog_.VerifyDeclined()) return WrittenWithoutReadBack();
    return kExitDifferences;
  }

  int Info() {
    if (!OpenImage()) return kExitFileRefused;
    PrintImageInfo(env_.Out, o_.Args[0],
                   {cmd_.State.MemoryImage, cmd_.State.StartSoundAddr, cmd_.State.EndSoundAddr});
    return kExitDone;
  }

  int Extract() {
    if (!OpenImage()) return kExitFileRefused;
    const TExtractResult r = ExtractFragments(
        {cmd_.State.MemoryImage, cmd_.State.StartSoundAddr, cmd_.State.EndSoundAddr}, o_.Args[1]);
    for (const std::string& w : r.Warnings) dialog_.Note("dikton-cli: " + w);
    for (const std::string& p : r.Written) env_.Out << p << '\n';
    return r.Ok ? kExitDone : kExitFileRefused;
  }

  int Scan(uint8_t port) {
    const bool live = env_.ErrIsTerminal && !o_.Quiet;
    const auto hits = ScanAddresses(port, link_, kFirstAddress, kLastAddress, [&](uint8_t a) {
      if (stop_.Requested()) return false;
      if (live)
        dialog_.SetLiveLine("address " + std::to_string(a) + "/" + std::to_string(kLastAddress));
      return true;
    });
    dialog_.EndLiveLine();
    for (const TScanHit& h : hits) {
      env_.Out << "Address=" << int(h.Address) << " StartSoundAddr=" << h.StartSoundAddr
               << " EndSoundAddr=" << h.EndSoundAddr
               << " Size=" << (h.EndSoundAddr - h.StartSoundAddr + 1) << '\n';
    }
    if (stop_.Requested()) return kExitStopped;
    if (hits.empty()) {
      dialog_.Note(txt::NoAnswer);
      return kExitNoDevice;
    }
    return kExitDone;
  }

  const TCliOptions& o_;
  TCliEnv& env_;
  TStopRequest& stop_;
  TTermDialog dialog_;
  TMainCommands cmd_;
  TLinkContext link_;
};

}  // namespace

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

  TStopRequest ownStop;
  TStopRequest& stop = env.Stop ? *env.Stop : ownStop;

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
  std::ofstream traceFile;
  std::unique_ptr<TTraceLog> trace;
  if (!o.TracePath.empty() && needsDevice) {
    traceFile.open(FsPath(o.TracePath), std::ios::binary | std::ios::trunc);
    if (!traceFile) {
      env.Err << "dikton-cli: " << o.TracePath << ": cannot be written\n";
      return kExitFileRefused;
    }
    trace = std::make_unique<TTraceLog>(traceFile, link.Clock ? *link.Clock : SystemClock());
    auto inner = env.Link.LineFactory;
    link.LineFactory = [inner, log = trace.get()]() -> std::unique_ptr<TSerialLine> {
      return std::make_unique<TTraceLine>(inner ? inner() : CreateSerialLine(), *log);
    };
  }

  TRun run(o, env, stop, link);
  return run.Execute(port);
}

}  // namespace dikton::cli

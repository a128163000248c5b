#include "uMainCommands.h"

#include <algorithm>

#include "uCommandSet.h"
#include "uConst_Orbis.h"
#include "uRV7KWriteSoundThread.h"
#include "uRV7KWriteThread.h"
#include "uScanCommand.h"
#include "uSoundArea.h"

namespace dikton {
namespace {

enum class TRunOutcome { ModeRefused, Cancel, Ok };

// Steps shared by the commands that run a worker: the preparatory command, the mode switch,
// the fast line, the modal progress window, the worker's end before the port is used again,
// and the leave command.
TRunOutcome RunWorker(TRV7KSoundThread& worker, TProgressWindow& window) {
  TFrame reply;
  worker.Exchange(BuildPrepare(worker.DeviceAddress), reply);  // its outcome is not examined
  if (!worker.Exchange(BuildModeSwitch(worker.DeviceAddress, kModeEnter), reply) ||
      !IsModeSwitchReply(reply))
    return TRunOutcome::ModeRefused;
  worker.SetBaudRate(kFastBaud);
  window.SetWorker(&worker);
  worker.Resume();
  const TModalResult result = window.ShowModal();
  // The window closes at once on a stop, while the job may still be inside an exchange.
  worker.Terminate();
  worker.ReleaseHold();
  worker.Wake();
  worker.WaitFor();
  // The device confirmed the switch, so it is in fast mode whatever the job's end: it is
  // always told to leave it, or the next command at 9600 would go unanswered.
  worker.Exchange(BuildModeSwitch(worker.DeviceAddress, kModeLeave), reply);
  return result == TModalResult::Cancel ? TRunOutcome::Cancel : TRunOutcome::Ok;
}

TCommandResult Ended(TOutcome outcome, TRefusal refusal = TRefusal::None, std::string path = {}) {
  TCommandResult r;
  r.Outcome = outcome;
  r.Refusal = refusal;
  r.Path = std::move(path);
  return r;
}

// What write-all writes and its read-back reads: the image's range and the fragment directory.
void SetRegions(TRV7KWriteThread& worker, const TProgramState& state) {
  worker.StartSoundAddr = int32_t(state.StartSoundAddr);
  worker.EndSoundAddr = int32_t(state.EndSoundAddr);
  worker.DirectoryAddr = int32_t(kDirectoryAddr);
  worker.DirectoryCount = int32_t(kDirectoryCount);
}

// What every job leaves in its worker: the counts of its last pass and the retries.
void TakeCounts(const TRV7KSoundThread& worker, TCommandResult& r) {
  r.BytesDone = uint32_t(std::max(worker.BytesDone, 0));
  r.BytesTotal = uint32_t(std::max(worker.BytesTotal, 0));
  r.Retries = worker.RetryCount();
  r.Mismatches = worker.Mismatches;
}

// How a writing (or verifying) job ended that ran with its progress window to the end.
template <class TWorker>
TOutcome WriteOutcome(const TWorker& worker) {
  if (worker.JobCompleted()) {
    if (!worker.Mismatches.empty()) return TOutcome::Differences;
    return worker.BytesDone == worker.BytesTotal ? TOutcome::Done : TOutcome::Incomplete;
  }
  if (worker.DifferenceDeclined) return TOutcome::Differences;
  if (worker.VerifyDeclined) return TOutcome::WrittenUnverified;
  return TOutcome::Stopped;
}

}  // namespace

TMainCommands::TMainCommands(TUserDialog& dialog, TLinkContext link)
    : dialog_(dialog), link_(link) {
  ShowSoundRange();
}

void TMainCommands::ShowSoundRange() {
  StatusBar.Text[0] = "StartSoundAddr=" + std::to_string(State.StartSoundAddr);
  StatusBar.Width[0] = 180;
  StatusBar.Text[1] = "EndSoundAddr=" + std::to_string(State.EndSoundAddr);
  StatusBar.Width[1] = 180;
  StatusBar.Text[2] = "Size=" + std::to_string(State.SoundSize);
  StatusBar.Width[2] = 180;
}

bool TMainCommands::Connect(TRV7KSoundThread& worker, TNotifyTarget* window) {
  worker.SetNotifyWindow(window);
  worker.SetDeviceAddress(State.DeviceAddress);
  if (!worker.OpenPort(State.PortNumber)) return false;
  worker.SetBaudRate(kSlowBaud);
  return true;
}

TCommandResult TMainCommands::PortFailure() const {
  if (RaisePortError) throw TAppError(txt::CantOpenPort);
  return Ended(TOutcome::PortNotOpened);
}

void TMainCommands::ClearImageMarks() {
  State.ImageFromDevice = false;
  State.ImageFromFile = false;
  State.ImageSaved = false;
}

void TMainCommands::TakeRange(uint32_t start, uint32_t end) {
  State.StartSoundAddr = start;
  State.EndSoundAddr = end;
  State.SoundSize = end - start + 1;
}

TCommandResult TMainCommands::GetSizeSoundMemClick() {
  // The worker's thread never runs; only its link is used, so no progress window is needed.
  TRV7KSoundThread worker(&State.MemoryImage, link_);
  ClearImageMarks();
  if (!Connect(worker, nullptr)) return PortFailure();
  TFrame reply;
  const bool answered = worker.Exchange(BuildRangeQuery(State.DeviceAddress), reply);
  TCommandResult r = Ended(TOutcome::NoAnswer);
  r.Retries = worker.RetryCount();
  if (!answered) return r;
  if (auto range = DecodeRangeReply(reply)) {
    TakeRange(range->Start, range->End);
    ShowSoundRange();
    r.Outcome = TOutcome::Done;
    r.Range = TSoundRange{range->Start, range->End};
  }
  return r;
}

TCommandResult TMainCommands::ReadAllMemoryClick() {
  auto window = dialog_.CreateProgressWindow();
  dialog_.Repaint();
  auto worker = std::make_unique<TRV7KSoundThread>(&State.MemoryImage, link_);
  ClearImageMarks();
  if (!Connect(*worker, window.get())) return PortFailure();
  const TRunOutcome run = RunWorker(*worker, *window);
  TCommandResult r;
  TakeCounts(*worker, r);
  if (worker->EndSoundAddr > 0) {
    r.Range = TSoundRange{uint32_t(worker->StartSoundAddr), uint32_t(worker->EndSoundAddr)};
    r.BytesTotal = uint32_t(worker->EndSoundAddr) + 1;
  }
  if (run != TRunOutcome::Ok) {
    dialog_.Message(txt::NoAnswer, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::NoAnswer;
    return r;
  }
  dialog_.Repaint();
  if (worker->JobCompleted() && worker->BytesDone == worker->EndSoundAddr + 1) {
    State.ImageFromDevice = true;
    dialog_.Message(txt::ReadOk, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::Done;
  } else {
    r.Outcome = worker->JobCompleted() ? TOutcome::Incomplete : TOutcome::Stopped;
  }
  TakeRange(uint32_t(worker->StartSoundAddr), uint32_t(worker->EndSoundAddr));
  ShowSoundRange();
  return r;
}

std::optional<TCommandResult> TMainCommands::CheckDeviceRange(TRV7KSoundThread& worker) {
  TFrame reply;
  const bool answered = worker.Exchange(BuildRangeQuery(State.DeviceAddress), reply);
  TCommandResult r = Ended(TOutcome::NoAnswer);
  r.Retries = worker.RetryCount();
  if (!answered) {
    dialog_.Message(txt::NoAnswerCrLf, txt::MsgCaption, TIcon::Error);
    return r;
  }
  const auto range = DecodeRangeReply(reply);
  if (!range) {
    dialog_.Message(txt::RangeUnsupported, txt::MsgCaption, TIcon::Error);
    return r;
  }
  if (range->Start != State.StartSoundAddr || range->End != State.EndSoundAddr) {
    dialog_.Message(txt::OtherFormat, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::RangeDiffers;
    r.Range = TSoundRange{range->Start, range->End};
    return r;
  }
  return std::nullopt;
}

TCommandResult TMainCommands::WriteAllClick() {
  if (!State.ImageFromDevice && !State.ImageFromFile) {
    dialog_.Message(txt::NoDataToWrite, txt::MsgCaption, TIcon::Warning);
    return Ended(TOutcome::NothingToWrite);
  }
  // The worker writes region A, the signature pointer and the record at EndSoundAddr - 15
  // from the image: an image or range that cannot hold them is refused before anything goes.
  // An image read from the device is written back over the range it was read with: a list
  // opened since may have moved EndSoundAddr, and the record would land among the sounds.
  if (!TRV7KWriteThread::CanWrite(State.MemoryImage, State.EndSoundAddr) ||
      (State.ImageFromDevice && State.MemoryImage.size() != size_t(State.EndSoundAddr) + 1)) {
    dialog_.Message(txt::OtherFormat, txt::MsgCaption, TIcon::Warning);
    return Ended(TOutcome::FileRefused, TRefusal::OtherFormat);
  }
  auto window = dialog_.CreateProgressWindow();
  dialog_.Repaint();
  auto worker = std::make_unique<TRV7KWriteThread>(&State.MemoryImage, link_);
  if (!Connect(*worker, window.get())) return PortFailure();
  if (!State.ImageFromDevice) {
    if (auto refused = CheckDeviceRange(*worker)) return *refused;
  }
  SetRegions(*worker, State);
  const TRunOutcome run = RunWorker(*worker, *window);
  TCommandResult r;
  TakeCounts(*worker, r);
  r.Range = TSoundRange{State.StartSoundAddr, State.EndSoundAddr};
  if (worker->RecordWritten)
    r.SignatureWritten =
        TSignatureRecord{State.EndSoundAddr - (kSignatureSize - 1), *worker->RecordWritten};
  if (run != TRunOutcome::Ok) {
    dialog_.Message(txt::NoAnswer, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::NoAnswer;
    return r;
  }
  r.Outcome = WriteOutcome(*worker);
  if (r.Outcome == TOutcome::Done) dialog_.Message(txt::WriteOk, txt::MsgCaption, TIcon::Warning);
  return r;
}

TCommandResult TMainCommands::VerifyClick() {
  if (!State.ImageFromDevice && !State.ImageFromFile) return Ended(TOutcome::NothingToWrite);
  if (!TRV7KWriteThread::CanWrite(State.MemoryImage, State.EndSoundAddr)) {
    dialog_.Message(txt::OtherFormat, txt::MsgCaption, TIcon::Warning);
    return Ended(TOutcome::FileRefused, TRefusal::OtherFormat);
  }
  auto window = dialog_.CreateProgressWindow();
  dialog_.Repaint();
  auto worker = std::make_unique<TRV7KWriteThread>(&State.MemoryImage, link_);
  if (!Connect(*worker, window.get())) return PortFailure();
  if (auto refused = CheckDeviceRange(*worker)) return *refused;
  worker->VerifyOnly = true;
  SetRegions(*worker, State);
  const TRunOutcome run = RunWorker(*worker, *window);
  TCommandResult r;
  TakeCounts(*worker, r);
  r.Range = TSoundRange{State.StartSoundAddr, State.EndSoundAddr};
  if (worker->RecordRead)
    r.SignatureRead =
        TSignatureRecord{State.EndSoundAddr - (kSignatureSize - 1), *worker->RecordRead};
  if (run != TRunOutcome::Ok) {
    dialog_.Message(txt::NoAnswer, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::NoAnswer;
    return r;
  }
  r.Outcome = WriteOutcome(*worker);
  return r;
}

TCommandResult TMainCommands::ScanClick(uint8_t first, uint8_t last,
                                        const std::function<bool(uint8_t)>& beforeEach) {
  bool stopped = false;
  std::vector<TScanHit> hits;
  try {
    hits = ScanAddresses(State.PortNumber, link_, first, last, [&](uint8_t a) {
      if (!beforeEach || beforeEach(a)) return true;
      stopped = true;
      return false;
    });
  } catch (const TAppError&) {
    return PortFailure();
  }
  TCommandResult r = Ended(stopped        ? TOutcome::Stopped
                           : hits.empty() ? TOutcome::NoAnswer
                                          : TOutcome::Done);
  for (const TScanHit& h : hits)
    r.Answers.push_back({h.Address, TSoundRange{h.StartSoundAddr, h.EndSoundAddr}});
  return r;
}

TCommandResult TMainCommands::WriteSoundMemClick() {
  if (Catalogue.SumFragmentSizes() == 0 && !State.ImageFromDevice && !State.ImageFromFile) {
    dialog_.Message(txt::NoDataToWriteShort, txt::MsgCaption, TIcon::Warning);
    return Ended(TOutcome::NothingToWrite);
  }
  auto worker = std::make_unique<TRV7KWriteSoundThread>(&State.MemoryImage, link_);
  // Its progress window comes once the sound area is built.
  if (!Connect(*worker, nullptr)) return PortFailure();
  if (!State.ImageFromDevice) {
    TFrame reply;
    if (worker->Exchange(BuildRangeQuery(State.DeviceAddress), reply)) {
      if (const auto range = DecodeRangeReply(reply)) {
        if (State.ImageFromFile &&
            (range->Start != State.StartSoundAddr || range->End != State.EndSoundAddr)) {
          dialog_.Message(txt::OtherFormatShort, txt::MsgCaption, TIcon::Warning);
          TCommandResult r = Ended(TOutcome::RangeDiffers);
          r.Range = TSoundRange{range->Start, range->End};
          r.Retries = worker->RetryCount();
          return r;
        }
        // The range in force is shown, and the browse button's room test uses it.
        TakeRange(range->Start, range->End);
        ShowSoundRange();
      }
    }
  }
  const uint32_t start = State.StartSoundAddr;
  const uint32_t end = State.EndSoundAddr;
  worker->StartSoundAddr = int32_t(start);
  worker->EndSoundAddr = int32_t(end);
  worker->DirectoryAddr = int32_t(kDirectoryAddr);
  worker->DirectoryCount = int32_t(kDirectoryCount);
  if (end - start + 1 < uint32_t(Catalogue.SumFragmentSizes())) {
    dialog_.Message(txt::TooBig, txt::MsgCaption, TIcon::Warning);
    return Ended(TOutcome::FileRefused, TRefusal::TooBig);
  }
  // The layout puts the directory at 0x3000 and the data from the start on: a range that
  // overlaps the directory, runs backwards or leaves 24 bits cannot hold it.
  if (start <= kDirectoryPadEnd || start > end || end > kMaxDeviceAddr) {
    dialog_.Message(txt::BadRange, txt::MsgCaption, TIcon::Warning);
    return Ended(TOutcome::FileRefused, TRefusal::BadRange);
  }
  if (State.MemoryImage.size() < size_t(end) + 1) State.MemoryImage.resize(size_t(end) + 1, 0);
  uint32_t total = 0;
  if (Catalogue.HasFragments()) {
    auto built = BuildSoundArea(Catalogue, State.MemoryImage, start, end);
    if (auto* failure = std::get_if<TBuildFailure>(&built)) {
      dialog_.Message(std::string(txt::FragmentBroken) + failure->Path, txt::MsgCaption,
                      TIcon::Warning);
      return Ended(TOutcome::FileRefused, TRefusal::BrokenFragment, failure->Path);
    }
    total = std::get<uint32_t>(built);
    State.ImageFromFile = false;
    State.ImageFromDevice = false;
  }
  auto window = dialog_.CreateProgressWindow();
  dialog_.Repaint();
  worker->SetNotifyWindow(window.get());
  worker->BytesTotal = int32_t(total);
  const TRunOutcome outcome = RunWorker(*worker, *window);
  TCommandResult r;
  TakeCounts(*worker, r);
  r.Range = TSoundRange{start, end};
  if (outcome == TRunOutcome::ModeRefused) {
    dialog_.Message(txt::NoAnswer, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::NoAnswer;
    return r;
  }
  const bool complete = worker->JobCompleted() && worker->BytesDone == worker->BytesTotal;
  r.Outcome = WriteOutcome(*worker);
  if (outcome == TRunOutcome::Cancel) {
    dialog_.Message(txt::NoAnswer, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::NoAnswer;
  } else if (complete && worker->Mismatches.empty()) {
    dialog_.Message(txt::SoundOk, txt::MsgCaption, TIcon::Warning);
  } else if (complete) {
    // A complete read-back that found differences is no success.
    dialog_.Message(std::string(txt::VerifyErrors) + std::to_string(worker->Mismatches.size()),
                    txt::MsgCaption, TIcon::Warning);
  } else {
    dialog_.Message(std::string(txt::SoundTotal) + std::to_string(uint32_t(worker->BytesTotal)) +
                        "\r\n" + std::string(txt::SoundWritten) +
                        std::to_string(uint32_t(worker->BytesDone)),
                    txt::MsgCaption, TIcon::Warning);
  }
  return r;
}

}  // namespace dikton

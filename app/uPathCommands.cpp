// The fragment list's path column and the list files: the TMainCommands members that fill the
// catalogue's rows.
#include <algorithm>
#include <limits>
#include <string>

#include "uConst_Orbis.h"
#include "uMainCommands.h"
#include "uPathList.h"
#include "uWavFile.h"

namespace dikton {

namespace {

constexpr int kPathColumn = 1;  // tlPath
constexpr int kWavFilterIndex = 1;
constexpr int kListFilterIndex = 1;

bool IsRow(int row) { return row >= 0 && row < TFragmentCatalogue::Count(); }

TFileDialogSpec ListDialogSpec(std::string_view title, const std::string& folder) {
  TFileDialogSpec spec;
  spec.Title = std::string(title);
  spec.Filter = std::string(txt::ListFilter);
  spec.FilterIndex = kListFilterIndex;
  spec.DefaultExt = std::string(txt::ListDefaultExt);
  spec.FileName = std::string(txt::ListDefaultName);
  spec.Folder = folder;
  return spec;
}

}  // namespace

bool TMainCommands::tlPathButtonClick(int row) {
  if (!IsRow(row)) return false;
  TFileDialogSpec spec;
  spec.Title = std::string(txt::OpenImageTitle);
  spec.Filter = std::string(txt::WavFilter);
  spec.FilterIndex = kWavFilterIndex;
  spec.DefaultExt = std::string(txt::WavDefaultExt);
  spec.Folder = sharedOpenFolder_;  // the shared dialog stays where it was left
  spec.MustExist = true;
  const std::optional<std::string> path = dialog_.OpenFile(spec);
  if (!path) return false;
  sharedOpenFolder_ = FolderOf(*path);

  const std::optional<TWavInfo> info = ReadWavInfo(*path);
  if (!info || !info->FormatOk) {
    dialog_.Message(txt::BadWav, txt::MsgCaption, TIcon::Error);
    return false;
  }
  const uint32_t size = EstimatePackedSize(info->DataSize);
  // The row's own earlier fragment makes room for the new one.
  const int64_t room = int64_t(State.SoundSize) - Catalogue.SumFragmentSizes(row);
  if (int64_t(size) > room) {
    dialog_.Message(txt::NoRoom, txt::MsgCaption, TIcon::Warning);
    return false;
  }
  TFragmentRow& r = Catalogue.Row(row);
  r.Cell.Loaded = 1;
  r.Cell.PackedSize = int32_t(std::min<uint32_t>(size, std::numeric_limits<int32_t>::max()));
  r.Cell.Path = *path;
  r.PathText = DisplayForm(*path);
  return true;
}

std::string TMainCommands::tlPathValidate(int row, const std::string& text) {
  if (!IsRow(row)) return text;
  TFragmentRow& r = Catalogue.Row(row);
  if (text.empty()) {
    r.Cell.Clear();
    r.PathText.clear();
  } else {
    // Only the text is taken; the file is read when the sound area is built.
    r.Cell.Path = text;
    r.PathText = DisplayForm(text);
  }
  return r.PathText;
}

std::optional<std::string> TMainCommands::tlSoundClick(int row, int column, bool editorOpen) const {
  if (!IsRow(row) || column != kPathColumn || !editorOpen) return std::nullopt;
  return Catalogue.Row(row).Cell.Path;
}

TCommandResult TMainCommands::SavePathsClick() {
  TCommandResult r;
  if (!Catalogue.HasFragments()) {
    r.Outcome = TOutcome::NothingToWrite;
    return r;
  }
  // A name the list's code page cannot hold would come back as another name: refused before
  // the user picks a file.
  const TListBytes list = BuildPathList(Catalogue, State.StartSoundAddr, State.EndSoundAddr);
  if (list.Bytes.empty()) {
    dialog_.Message(std::string(txt::ListNameNotStorable) + list.BadName, txt::MsgCaption,
                    TIcon::Warning);
    r.Outcome = TOutcome::FileRefused;
    r.Refusal = TRefusal::NameNotStorable;
    r.Path = list.BadName;
    return r;
  }
  TFileDialogSpec spec = ListDialogSpec(txt::ListSaveTitle, ProgramFolder);
  spec.AskOverwrite = true;
  const std::optional<std::string> path = dialog_.SaveFile(spec);
  if (!path) {
    r.Outcome = TOutcome::Cancelled;
    return r;
  }
  r.Path = *path;
  if (!SavePathList(*path, list.Bytes)) {
    dialog_.Message(txt::SaveFailed, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::FileRefused;
    r.Refusal = TRefusal::SaveFailed;
  }
  return r;
}

TCommandResult TMainCommands::OpenPathsClick() {
  TCommandResult r;
  TFileDialogSpec spec = ListDialogSpec(txt::ListOpenTitle, ProgramFolder);
  spec.MustExist = true;
  const std::optional<std::string> path = dialog_.OpenFile(spec);
  // The dialog is the shared one: it stays in the folder it was left in.
  if (!path) {
    sharedOpenFolder_ = ProgramFolder;
    r.Outcome = TOutcome::Cancelled;
    return r;
  }
  sharedOpenFolder_ = FolderOf(*path);
  r.Path = *path;

  if (const std::optional<TListRange> range = LoadPathList(*path, Catalogue, &r.MissingNames)) {
    // A damaged range (start above end, or beyond 24 bits) would make SoundSize wrap.
    if (range->Start <= range->End && range->End <= kMaxDeviceAddr) {
      TakeRange(range->Start, range->End);
      r.Range = TSoundRange{range->Start, range->End};
    }
  }
  ShowSoundRange();
  for (int i = 0; i < TFragmentCatalogue::Count(); ++i)
    r.FragmentsLoaded += Catalogue.Row(i).Cell.Loaded == 1;
  // The slots of names not found stay empty, as the window shows them; a caller that must
  // have every voice refuses the list.
  if (!r.MissingNames.empty()) {
    r.Outcome = TOutcome::FileRefused;
    r.Refusal = TRefusal::NamesNotFound;
  }
  return r;
}

}  // namespace dikton

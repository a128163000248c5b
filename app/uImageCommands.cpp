// "Сохранить" and "Открыть": the memory image to and from a file.
#include <filesystem>

#include "uConst_Orbis.h"
#include "uFiles.h"
#include "uImageFile.h"
#include "uMainCommands.h"

namespace dikton {

namespace {

TFileDialogSpec ImageDialogSpec(std::string_view title, const std::string& folder) {
  TFileDialogSpec spec;
  spec.Title = title;
  spec.Filter = txt::ImageFilter;
  spec.FilterIndex = 1;
  spec.DefaultExt = txt::ImageDefaultExt;
  spec.Folder = folder;
  return spec;
}

}  // namespace

TCommandResult TMainCommands::FileSaveClick() {
  TCommandResult r;
  // Only a complete read of the device is saved; an image from a file already is one.
  if (!State.ImageFromDevice) {
    dialog_.Message(txt::NotRead, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::NothingToWrite;
    r.Refusal = TRefusal::NotRead;
    return r;
  }
  TFileDialogSpec spec = ImageDialogSpec(txt::SaveImageTitle, ProgramFolder);
  spec.FileName = txt::ImageDefaultName;
  spec.AskOverwrite = true;
  const std::optional<std::string> path = dialog_.SaveFile(spec);
  if (!path) {
    r.Outcome = TOutcome::Cancelled;
    return r;
  }
  r.Path = *path;
  r.Range = TSoundRange{State.StartSoundAddr, State.EndSoundAddr};
  if (!WriteImageFile(*path, State.StartSoundAddr, State.EndSoundAddr, State.MemoryImage)) {
    dialog_.Message(txt::SaveFailed, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::FileRefused;
    r.Refusal = TRefusal::SaveFailed;
    return r;
  }
  State.ImageSaved = true;
  r.BytesDone = r.BytesTotal = uint32_t(State.MemoryImage.size());
  return r;
}

TCommandResult TMainCommands::FileOpenClick() {
  TCommandResult r;
  if (State.ImageFromDevice && !State.ImageSaved &&
      dialog_.Ask(TQuestion::ReplaceImage, txt::AskReplaceImage, txt::MsgCaption,
                  TIcon::Question) != TAnswer::Yes) {
    r.Outcome = TOutcome::Cancelled;
    return r;
  }
  TFileDialogSpec spec = ImageDialogSpec(txt::OpenImageTitle, ProgramFolder);
  spec.MustExist = true;
  const std::optional<std::string> path = dialog_.OpenFile(spec);
  // The dialog is the shared one: it stays in the folder it was left in.
  if (!path) {
    sharedOpenFolder_ = ProgramFolder;
    r.Outcome = TOutcome::Cancelled;
    return r;
  }
  sharedOpenFolder_ = Utf8Path(FsPath(*path).parent_path());
  r.Path = *path;

  TImageFileContent file = ReadImageFile(*path);
  if (file.Status == TImageLoadStatus::BadSize) {
    dialog_.Message(txt::BadFileSize, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::FileRefused;
    r.Refusal = TRefusal::BadSize;
    return r;
  }
  if (file.Status != TImageLoadStatus::Ok) {
    dialog_.Message(txt::DamagedFile, txt::MsgCaption, TIcon::Warning);
    r.Outcome = TOutcome::FileRefused;
    r.Refusal = TRefusal::Damaged;
    return r;
  }
  State.MemoryImage = std::move(file.Image);
  State.EndSoundAddr = file.End;
  State.StartSoundAddr = file.Start;
  State.SoundSize = file.End - file.Start + 1;
  State.ImageSaved = false;
  State.ImageFromDevice = false;
  State.ImageFromFile = true;
  ShowSoundRange();
  r.Range = TSoundRange{file.Start, file.End};
  r.BytesDone = r.BytesTotal = uint32_t(State.MemoryImage.size());
  return r;
}

}  // namespace dikton

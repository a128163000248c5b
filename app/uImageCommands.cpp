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

void TMainCommands::FileSaveClick() {
  // Only a complete read of the device is saved; an image from a file already is one.
  if (!State.ImageFromDevice) {
    dialog_.Message(txt::NotRead, txt::MsgCaption, TIcon::Warning);
    return;
  }
  TFileDialogSpec spec = ImageDialogSpec(txt::SaveImageTitle, ProgramFolder);
  spec.FileName = txt::ImageDefaultName;
  spec.AskOverwrite = true;
  const std::optional<std::string> path = dialog_.SaveFile(spec);
  if (!path) return;

  if (!WriteImageFile(*path, State.StartSoundAddr, State.EndSoundAddr, State.MemoryImage)) {
    dialog_.Message(txt::SaveFailed, txt::MsgCaption, TIcon::Warning);
    return;
  }
  State.ImageSaved = true;
}

void TMainCommands::FileOpenClick() {
  if (State.ImageFromDevice && !State.ImageSaved &&
      dialog_.Message(txt::AskReplaceImage, txt::MsgCaption, TIcon::Question, TButtons::YesNo) !=
          TAnswer::Yes) {
    return;
  }
  TFileDialogSpec spec = ImageDialogSpec(txt::OpenImageTitle, ProgramFolder);
  spec.MustExist = true;
  const std::optional<std::string> path = dialog_.OpenFile(spec);
  // The dialog is the shared one: it stays in the folder it was left in.
  if (!path) {
    sharedOpenFolder_ = ProgramFolder;
    return;
  }
  sharedOpenFolder_ = Utf8Path(FsPath(*path).parent_path());

  TImageFileContent file = ReadImageFile(*path);
  if (file.Status == TImageLoadStatus::BadSize) {
    dialog_.Message(txt::BadFileSize, txt::MsgCaption, TIcon::Warning);
    return;
  }
  if (file.Status != TImageLoadStatus::Ok) {
    dialog_.Message(txt::DamagedFile, txt::MsgCaption, TIcon::Warning);
    return;
  }
  State.MemoryImage = std::move(file.Image);
  State.EndSoundAddr = file.End;
  State.StartSoundAddr = file.Start;
  State.SoundSize = file.End - file.Start + 1;
  State.ImageSaved = false;
  State.ImageFromDevice = false;
  State.ImageFromFile = true;
  ShowSoundRange();
}

}  // namespace dikton

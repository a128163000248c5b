// The program state and the main window's commands, without Qt. TMainForm (the widget) owns
// one of these, forwards its menu items here and shows the state.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "TData.h"
#include "uFragmentCatalogue.h"
#include "uRV7K_v210_Sound.h"
#include "uUserDialog.h"

namespace dikton {

struct TProgramState {
  uint8_t PortNumber = 1;
  uint8_t DeviceAddress = 127;
  TData MemoryImage;
  bool ImageFromDevice = false;
  bool ImageFromFile = false;
  bool ImageSaved = false;
  uint32_t StartSoundAddr = 0;
  uint32_t EndSoundAddr = 0;
  uint32_t SoundSize = kDefaultSoundSize;
};

// The four status bar panels.
struct TStatusBar {
  std::array<std::string, 4> Text;
  std::array<int, 4> Width{100, 100, 100, 50};
};

class TMainCommands {
 public:
  TMainCommands(TUserDialog& dialog, TLinkContext link = {});

  TProgramState State;
  TFragmentCatalogue Catalogue;
  TStatusBar StatusBar;
  // Folder of the program's executable: where the file dialogs start.
  std::string ProgramFolder;

  void ShowSoundRange();

  // "Память". GetSizeSoundMem, ReadAllMemory, WriteAll and WriteSoundMem throw TAppError
  // when the port cannot be opened.
  void GetSizeSoundMemClick();
  void ReadAllMemoryClick();
  void WriteAllClick();
  void WriteSoundMemClick();

  // "Файл".
  void FileSaveClick();
  void FileOpenClick();
  void SavePathsClick();
  void OpenPathsClick();

  // The fragment list's path column. The browse button: true when the row was filled (the
  // widget then puts the row's full Path into an open editor).
  bool tlPathButtonClick(int row);
  // The editor posts text t: returns the text the cell shows afterwards.
  std::string tlPathValidate(int row, const std::string& text);
  // A click into an open path editor: the text the editor shows (the full Path), if any.
  std::optional<std::string> tlSoundClick(int row, int column, bool editorOpen) const;

  void SetSettings(uint8_t port, uint8_t device) {
    State.PortNumber = port;
    State.DeviceAddress = device;
  }

 private:
  // The notification target, the device address, the port and the slow line; raises
  // "Не могу открыть порт!" when the port cannot be opened.
  void Connect(TRV7KSoundThread& worker, TNotifyTarget* window);
  void ClearImageMarks();
  void TakeRange(uint32_t start, uint32_t end);

  TUserDialog& dialog_;
  TLinkContext link_;
  // The shared open dialog keeps the folder another command last left it in.
  std::string sharedOpenFolder_;
};

}  // namespace dikton

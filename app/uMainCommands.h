// The program state and the main window's commands, without Qt. TMainForm (the widget) owns
// one of these, forwards its menu items here and shows the state.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "TData.h"
#include "uCommandResult.h"
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

  // A port that cannot be opened raises TAppError("Не могу открыть порт!") for the windows'
  // error box; with false the command returns TOutcome::PortNotOpened instead.
  bool RaisePortError = true;

  void ShowSoundRange();

  // Every command returns how it ended (uCommandResult.h); the windows show the same boxes as
  // ever and may ignore it.

  // "Память".
  TCommandResult GetSizeSoundMemClick();
  TCommandResult ReadAllMemoryClick();
  TCommandResult WriteAllClick();
  TCommandResult WriteSoundMemClick();
  // Reads back the regions write-all writes and compares them with the image, leaving out the
  // signature pointer and record; nothing is written. The device's range must be the image's.
  TCommandResult VerifyClick();
  // One range query to each address first..last (one attempt each) on the port in force.
  // 'beforeEach' is called with each address before its query; false stops the scan there.
  TCommandResult ScanClick(uint8_t first, uint8_t last,
                           const std::function<bool(uint8_t)>& beforeEach = {});

  // "Файл".
  TCommandResult FileSaveClick();
  TCommandResult FileOpenClick();
  TCommandResult SavePathsClick();
  TCommandResult OpenPathsClick();

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
  // The notification target, the device address, the port and the slow line; false when the
  // port cannot be opened.
  bool Connect(TRV7KSoundThread& worker, TNotifyTarget* window);
  // The port could not be opened: raised, or returned (RaisePortError).
  TCommandResult PortFailure() const;
  // The device's range, asked at 9600 baud, must be the state's: the messages and results of
  // write-all (and verify) when it is not. nullopt when it is.
  std::optional<TCommandResult> CheckDeviceRange(TRV7KSoundThread& worker);
  void ClearImageMarks();
  void TakeRange(uint32_t start, uint32_t end);

  TUserDialog& dialog_;
  TLinkContext link_;
  // The shared open dialog keeps the folder another command last left it in.
  std::string sharedOpenFolder_;
};

}  // namespace dikton

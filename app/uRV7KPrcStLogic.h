// The progress window's decisions, without Qt: the texts it shows, the counts, and which
// answer leads where. The widget (TfrmProcessStatus) and the test window show what it says.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "uUserDialog.h"

namespace dikton {

class TProcessStatusLogic {
 public:
  explicit TProcessStatusLogic(TUserDialog& dialog);

  void SetWorker(TRV7KSoundThread* worker) { Worker = worker; }
  // Called before every question: the window shows the texts below, so that a question box
  // opens over current counts and not over those of the notification before.
  void SetShowHook(std::function<void()> show) { show_ = std::move(show); }
  // Handles one notification; a value means: close the window with that result.
  std::optional<TModalResult> OnMessage(uint32_t message, uint32_t wParam, uint32_t lParam);
  // The stop button.
  std::optional<TModalResult> OnStopClick();

  // done x 100 / total, a half going to the even neighbour.
  static int RoundPercent(uint32_t done, uint32_t total);
  static std::string DifferenceReport(uint32_t address, uint8_t imageByte, uint8_t deviceByte);

  const std::string& ProcessCaption() const { return caption_; }  // lblProcessCaption
  const std::string& BytesCount() const { return bytes_; }        // lblBytesCount
  const std::string& ErrorsText() const { return errors_; }       // lblErrors
  bool ErrorsVisible() const { return errorsVisible_; }
  int BarPosition() const { return bar_; }  // 0..100
  int32_t ErrorCount() const { return errorCount_; }
  const std::string& ProgressPrefix() const { return prefix_; }

  TRV7KSoundThread* Worker = nullptr;

 private:
  TAnswer Ask(TQuestion question, std::string_view text);

  TUserDialog& dialog_;
  std::function<void()> show_;
  std::string prefix_;
  std::string caption_;
  std::string bytes_;
  std::string errors_;
  bool errorsVisible_ = false;
  int bar_ = 0;
  int32_t errorCount_ = 0;
};

}  // namespace dikton

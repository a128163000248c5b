// TfrmProcessStatus on Win32: the progress window shown while a worker runs. It shows what
// TProcessStatusLogic decides; the worker's notifications arrive as window messages posted to it
// (WM_USER + 1000 to + 1004).
#pragma once

#include <windows.h>

#include <exception>
#include <memory>

#include "uRV7KPrcStLogic.h"
#include "uUserDialog.h"
#include "uWinUserDialog.h"
#include "uWinWindow.h"

namespace dikton::win {

class TfrmProcessStatus : public TProgressWindow {
 public:
  // Asks its questions in message boxes over itself (it stays on top of everything else).
  explicit TfrmProcessStatus(HWND owner);
  // 'dialog' asks the window's questions. Either way the window is created hidden, at the DPI
  // of its monitor; one that cannot be created throws.
  TfrmProcessStatus(TUserDialog& dialog, HWND owner);
  ~TfrmProcessStatus() override;
  TfrmProcessStatus(const TfrmProcessStatus&) = delete;
  TfrmProcessStatus& operator=(const TfrmProcessStatus&) = delete;

  // Called from the worker's thread: only posts the message.
  void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override;
  void SetWorker(TRV7KSoundThread* worker) override { logic_.SetWorker(worker); }
  TModalResult ShowModal() override;

  TProcessStatusLogic& Logic() { return logic_; }
  HWND Handle() const { return hwnd_; }
  // Shows the logic's texts, bar and difference line (also before each question).
  void Refresh();

  // The controls, for tests.
  HWND lblProcessCaption() const { return caption_; }
  HWND ProgressBar() const { return bar_; }
  HWND lblBytesCount() const { return bytes_; }
  HWND lblErrors() const { return errors_; }
  HWND BtCancel() const { return cancel_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  void Build(HWND owner);
  void Finish(std::optional<TModalResult> result);
  // Sizes, places and gives the font to everything for 'dpi'.
  void Layout(int dpi);

  std::unique_ptr<TWinUserDialog> ownDialog_;  // before logic_, which refers to it
  TProcessStatusLogic logic_;
  HWND owner_ = nullptr;
  HWND hwnd_ = nullptr;
  HWND caption_ = nullptr, bar_ = nullptr, bytes_ = nullptr, errors_ = nullptr, cancel_ = nullptr;
  TIconHandle stopIcon_;  // the system's stop icon at the button's size
  TFont font_;
  std::exception_ptr failure_;  // raised inside the modal loop, raised again by ShowModal
  bool closed_ = false;
  TModalResult result_ = TModalResult::Ok;
};

}  // namespace dikton::win

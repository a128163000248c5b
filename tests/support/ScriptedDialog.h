// Test doubles of the user dialogue: every message box and file dialog is recorded and
// answered from a script; the progress window pumps the worker's notifications through the
// real TProcessStatusLogic on the test's thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "uRV7KPrcStLogic.h"
#include "uUserDialog.h"

namespace dikton {

// Lets a failed comparison of two dialog specs print every field.
inline void PrintTo(const TFileDialogSpec& s, std::ostream* os) {
  *os << "{Title \"" << s.Title << "\", Filter \"" << s.Filter << "\", FilterIndex "
      << s.FilterIndex << ", DefaultExt \"" << s.DefaultExt << "\", Folder \"" << s.Folder
      << "\", FileName \"" << s.FileName << "\", MustExist " << s.MustExist << ", AskOverwrite "
      << s.AskOverwrite << "}";
}

}  // namespace dikton

namespace dikton::test {

struct TShownMessage {
  std::string Text;
  std::string Caption;
  TIcon Icon = TIcon::None;
  TButtons Buttons = TButtons::Ok;
};

struct TPosted {
  uint32_t Message = 0, WParam = 0, LParam = 0;
  bool operator==(const TPosted&) const = default;
};

// Records what a worker posts; Wait* block until enough has arrived (no clocks involved).
class TRecordingTarget : public TNotifyTarget {
 public:
  void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override;
  std::vector<TPosted> All() const;
  std::vector<TPosted> Of(uint32_t message) const;
  // Blocks until a message with this number has been posted n times in all.
  void WaitFor(uint32_t message, size_t n = 1);
  // Blocks until any message arrives after the first 'seen'; returns it.
  TPosted WaitNext(size_t seen);

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<TPosted> posted_;
};

class TScriptedDialog;

// The progress window of the tests: a queue the worker posts into, and ShowModal pumps it
// through TProcessStatusLogic until the logic closes the window.
class TQueuedProgressWindow : public TProgressWindow {
 public:
  explicit TQueuedProgressWindow(TScriptedDialog& dialog);
  void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override;
  void SetWorker(TRV7KSoundThread* worker) override { logic_.SetWorker(worker); }
  TModalResult ShowModal() override;
  TProcessStatusLogic& Logic() { return logic_; }
  bool Shown() const { return shown_; }

 private:
  TScriptedDialog& dialog_;
  TProcessStatusLogic logic_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<TPosted> queue_;
  bool shown_ = false;
};

class TScriptedDialog : public TUserDialog {
 public:
  // Answers for Yes/No boxes, in order; when none is left the answer is Yes.
  std::deque<TAnswer> Answers;
  // Answers for file dialogs, in order; nullopt = the user cancels. When none is left: cancel.
  std::deque<std::optional<std::string>> Files;
  // Called for every notification the progress window handles, before the logic sees it;
  // return true to press the stop button at that point.
  std::function<bool(const TPosted&)> StopWhen;

  std::vector<TShownMessage> Messages;
  std::vector<TQuestion> Questions;  // the identifiers of the questions asked, in order
  std::vector<TFileDialogSpec> OpenSpecs, SaveSpecs;
  std::vector<TPosted> Handled;  // every notification the progress window handled
  int ProgressWindowsCreated = 0;
  int ProgressWindowsShown = 0;

  TAnswer Message(std::string_view text, std::string_view caption, TIcon icon,
                  TButtons buttons) override;
  // Recorded, then shown and answered as the windows do: a Yes/No message.
  TAnswer Ask(TQuestion question, std::string_view text, std::string_view caption,
              TIcon icon) override;
  std::optional<std::string> OpenFile(const TFileDialogSpec& spec) override;
  std::optional<std::string> SaveFile(const TFileDialogSpec& spec) override;
  std::unique_ptr<TProgressWindow> CreateProgressWindow() override;

  // Messages other than the progress window's questions (caption "Останов процесса").
  std::vector<TShownMessage> CommandMessages() const;
};

}  // namespace dikton::test

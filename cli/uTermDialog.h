// The user dialogue on a terminal: message boxes print their text on stderr, the questions are
// answered by the command line's options, the file dialogs return the command line's paths,
// and the progress window is a text view over TProcessStatusLogic.
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

#include "uClock.h"
#include "uRV7KPrcStLogic.h"
#include "uStopRequest.h"
#include "uUserDialog.h"

namespace dikton::cli {

// Where a station sends one port's output instead of stderr: into that port's row.
struct TTermHooks {
  // A box's text (the questions, answered by the options, are not passed on) or a line of the
  // program's own.
  std::function<void(std::string_view text)> Message;
  // The pass in hand: bytes done of total, bytes per second, the differences found so far, and
  // whether this is the read-back.
  std::function<void(uint32_t done, uint32_t total, double rate, int differences, bool readBack)>
      Progress;
};

struct TTermSettings {
  bool Terminal = false;  // stderr is a terminal: one bar redrawn in place
  int Columns = 0;        // its width in characters; 0: not known
  bool Quiet = false;     // no progress at all
  bool Verify = true;     // the answer to "Выполнить проверку?"
  bool GoOnAfterDifference = true;
  TTermHooks Hooks;  // set: nothing is printed, everything goes to the hooks
};

class TTermDialog : public TUserDialog {
 public:
  TTermDialog(std::ostream& err, TTermSettings settings, TStopRequest& stop, const TClock& clock);

  TAnswer Message(std::string_view text, std::string_view caption, TIcon icon,
                  TButtons buttons) override;
  // Answered by the options: Verify by --no-verify, GoOnAfterDifference by
  // --stop-on-difference; the stop question comes only from Ctrl+C, which is the answer
  // already, and the others are answered yes.
  TAnswer Ask(TQuestion question, std::string_view text, std::string_view caption,
              TIcon icon) override;
  std::optional<std::string> OpenFile(const TFileDialogSpec& spec) override;
  std::optional<std::string> SaveFile(const TFileDialogSpec& spec) override;
  std::unique_ptr<TProgressWindow> CreateProgressWindow() override;

  // The path the next file dialog returns.
  void SetNextFile(std::string path) { nextFile_ = std::move(path); }

  // Prints a line of the program's own (not a message box's) on stderr.
  void Note(std::string_view text);

  std::ostream& Err() { return err_; }
  const TTermSettings& Settings() const { return settings_; }
  TStopRequest& Stop() { return stop_; }
  const TClock& Clock() const { return clock_; }

  // The live progress line, so that a message can clear it first and put it back after.
  void SetLiveLine(std::string line);
  void EndLiveLine();

 private:
  void ClearLive();
  void DrawLive();
  // The box on stderr, with the answer after a question.
  void Show(std::string_view text, std::optional<TAnswer> answer);

  std::ostream& err_;
  const TTermSettings settings_;
  TStopRequest& stop_;
  const TClock& clock_;
  std::optional<std::string> nextFile_;
  std::string live_;
  size_t liveWidth_ = 0;  // characters of the line drawn last
};

// The progress window: the worker posts into a queue; ShowModal pumps it on the calling thread
// through the window's logic and draws what the logic shows.
class TTermProgressWindow : public TProgressWindow {
 public:
  explicit TTermProgressWindow(TTermDialog& dialog);
  ~TTermProgressWindow() override;

  void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override;
  void SetWorker(TRV7KSoundThread* worker) override { logic_.SetWorker(worker); }
  TModalResult ShowModal() override;

 private:
  struct TNote {
    uint32_t Message = 0, WParam = 0, LParam = 0;
  };
  void Show(uint32_t done, uint32_t total);
  double Seconds() const;

  TTermDialog& dialog_;
  TProcessStatusLogic logic_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<TNote> queue_;
  bool stopPending_ = false;
  std::optional<TModalResult> result_;
  bool readBack_ = false;  // the read-back pass has begun

  // The current pass: where its rate is measured from, and the last tenth printed.
  std::string passPrefix_;
  double passStart_ = 0;
  int lastTenth_ = -1;
};

// "\r\n" as the message boxes break lines becomes the terminal's "\n".
std::string TerminalText(std::string_view text);

}  // namespace dikton::cli

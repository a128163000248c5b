// The user dialogue boundary: message boxes, file dialogs and the modal progress window.
// The widgets implement it with Qt; tests script the answers and record every text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "uNotifyTarget.h"

namespace dikton {

class TRV7KSoundThread;

enum class TIcon { None, Warning, Error, Question, Stop };
enum class TButtons { Ok, YesNo };
enum class TAnswer { Ok, Yes, No };
enum class TModalResult { Ok, Cancel };

// The yes/no questions the commands and the progress window ask, so that a dialogue without a
// user (the command line, a station, a test) answers by identifier and never by text.
enum class TQuestion {
  Verify,               // "Запись проведена. Выполнить проверку?"
  GoOnAfterDifference,  // a difference found: "Продолжить проверку?"
  Stop,                 // the stop button: "Вы действительно хотите остановить процесс?"
  ReplaceImage,         // an unsaved image read from the device would be replaced by a file
};

struct TFileDialogSpec {
  std::string Title;
  std::string Filter;      // "Name (*.x)|*.x|Все файлы|*.*"
  int FilterIndex = 1;     // 1-based
  std::string DefaultExt;  // without the dot
  std::string Folder;      // empty: leave the dialog's folder as it was
  std::string FileName;    // proposed name, may be empty
  bool MustExist = false;  // open: the file must exist
  bool AskOverwrite = false;  // save: ask before replacing

  bool operator==(const TFileDialogSpec&) const = default;
};

// The progress window as the commands see it: a notification target that can be shown
// modally for one worker.
class TProgressWindow : public TNotifyTarget {
 public:
  virtual void SetWorker(TRV7KSoundThread* worker) = 0;
  virtual TModalResult ShowModal() = 0;
};

class TUserDialog {
 public:
  virtual ~TUserDialog() = default;
  virtual TAnswer Message(std::string_view text, std::string_view caption, TIcon icon,
                          TButtons buttons = TButtons::Ok) = 0;
  // A yes/no question. The windows show it as a Yes/No message box with this text (the
  // default); a dialogue without a user answers by the identifier.
  virtual TAnswer Ask(TQuestion question, std::string_view text, std::string_view caption,
                      TIcon icon) {
    (void)question;
    return Message(text, caption, icon, TButtons::YesNo);
  }
  virtual std::optional<std::string> OpenFile(const TFileDialogSpec& spec) = 0;
  virtual std::optional<std::string> SaveFile(const TFileDialogSpec& spec) = 0;
  // Created hidden.
  virtual std::unique_ptr<TProgressWindow> CreateProgressWindow() = 0;
  // Lets the main window repaint before a long run.
  virtual void Repaint() {}
};

// The one failure that is raised instead of reported: the application's error box shows it
// with caption "Dikton" and a stop icon.
class TAppError {
 public:
  explicit TAppError(std::string_view text) : text_(text) {}
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// The text as the error box shows it: a full stop is appended when the last character's code
// is above that of ".".
std::string ErrorBoxText(std::string_view message);

}  // namespace dikton

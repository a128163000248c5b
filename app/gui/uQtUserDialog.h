// The user dialogue of the GUI program: message boxes, file dialogs and the progress window
// with Qt widgets.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <string_view>

#include "uUserDialog.h"

namespace dikton::gui {

// "Name (*.x)|*.x|Все файлы|*.*" -> {"Name (*.x)", "Все файлы (*)"}: one Qt name filter per
// pair. A name that does not show its patterns gets them appended; "*.*" becomes "*" on
// POSIX, where it would leave out files without a dot.
QStringList QtNameFilters(std::string_view filter);

class TQtUserDialog : public TUserDialog {
 public:
  // 'owner' is the window the boxes and dialogs are centred over; may be set later.
  explicit TQtUserDialog(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  TAnswer Message(std::string_view text, std::string_view caption, TIcon icon,
                  TButtons buttons = TButtons::Ok) override;
  std::optional<std::string> OpenFile(const TFileDialogSpec& spec) override;
  std::optional<std::string> SaveFile(const TFileDialogSpec& spec) override;
  std::unique_ptr<TProgressWindow> CreateProgressWindow() override;
  void Repaint() override;

 private:
  std::optional<std::string> RunFileDialog(const TFileDialogSpec& spec, bool save);

  QPointer<QWidget> owner_;
  // The folder a file dialog was left in, for the next dialog that does not set its own.
  QString lastFolder_;
};

// Shows a message box; the texts keep their CR LF line breaks as plain line breaks.
TAnswer ShowMessageBox(QWidget* owner, std::string_view text, std::string_view caption, TIcon icon,
                       TButtons buttons);

}  // namespace dikton::gui

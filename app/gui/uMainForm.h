// TMainForm: the main window. It shows the program state held by TMainCommands and forwards
// the menu items and the fragment list's edits to it; it decides nothing itself.
#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "uMainCommands.h"
#include "uPortNames.h"

class QAction;
class QLabel;
class QTableWidget;

namespace dikton::gui {

class TPathDelegate;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // Shows the application's error box: the text as ErrorBoxText made it, and the caption.
  using TErrorBox = std::function<void(const std::string& text, const std::string& caption)>;

  // 'dialog' answers the commands' questions and must outlive the window; so must the port
  // map in 'link'. Without an error box the failure goes to 'dialog' with a stop icon.
  TMainForm(TUserDialog& dialog, TLinkContext link, TErrorBox errorBox = {},
            QWidget* parent = nullptr);
  ~TMainForm() override;

  TMainCommands& Commands() { return commands_; }
  QTableWidget* tlSound() const { return tlSound_; }
  const TPortMap& Ports() const;

  // Shows the status bar texts and the list rows from the program state.
  void ShowState();

 private:
  void BuildMenu();
  void BuildList();
  void BuildStatusBar();
  // Runs a command: an open path editor is posted first; the one raised failure goes to the
  // error box; afterwards the window shows the state.
  void Run(const std::function<void()>& command);
  void ProgSettingsClick();
  void tlPathButtonClick(int row);
  void tlSoundClick(int row, int column);
  QAction* AddItem(QMenu* menu, const char* name, std::string_view caption,
                   std::function<void()> command);

  TUserDialog& dialog_;
  TPortMap defaultPorts_;  // when the link context brings none
  TLinkContext link_;
  TErrorBox errorBox_;
  TMainCommands commands_;
  QTableWidget* tlSound_ = nullptr;
  TPathDelegate* pathDelegate_ = nullptr;
  std::array<QLabel*, 4> panels_{};
};

}  // namespace dikton::gui

// TMainForm on Win32: the main window. It shows the program state held by TMainCommands and
// forwards the menu items and the fragment list's edits to it; it decides nothing itself.
#pragma once

#include <windows.h>

#include <array>
#include <exception>
#include <functional>
#include <string>

#include "uMainCommands.h"
#include "uPortNames.h"
#include "uWinWindow.h"

namespace dikton::win {

class TfrmSettings;

// Menu item identifiers (WM_COMMAND).
enum TMenuId : UINT {
  kIdCreateCRCfile = 1001,
  kIdFileSave,
  kIdFileOpen,
  kIdSavePaths,
  kIdOpenPaths,
  kIdProgSettings,
  kIdExitProg,
  kIdReadAllMemory,
  kIdWriteAll,
  kIdWriteSoundMem,
  kIdCheckMemory,
  kIdGetSizeSoundMem,
};

class TMainForm {
 public:
  // Shows the application's error box: the text as ErrorBoxText made it, and the caption.
  using TErrorBox = std::function<void(const std::string& text, const std::string& caption)>;

  // 'dialog' answers the commands' questions and must outlive the window; so must the port
  // map in 'link'. Without an error box the failure goes to 'dialog' with a stop icon.
  // Created hidden, owned by the application window (see AppWindow), at the DPI of its monitor.
  TMainForm(TUserDialog& dialog, TLinkContext link, TErrorBox errorBox = {});
  ~TMainForm();
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  TMainCommands& Commands() { return commands_; }
  HWND Handle() const { return hwnd_; }
  // The application window: it carries the application title "Dikton" and so the task-bar
  // button, and owns the main window, which therefore has no button of its own. It has no
  // size; it is shown with the main window, and minimising the main window minimises it.
  HWND AppWindow() const { return app_; }
  // The DPI the window is laid out for.
  int Dpi() const { return dpi_; }
  HWND tlSound() const { return list_; }
  HWND StatusBar() const { return status_; }
  HWND PathEdit() const { return edit_; }  // the path cell's editor, while open
  HWND BrowseButton() const { return browse_; }
  const TPortMap& Ports() const;
  // Called when the window has been destroyed ("Выход", the close box); the program then
  // ends its message loop.
  std::function<void()> OnClosed;
  // Called with the settings dialog once it is set up, before it is shown (tests answer it).
  std::function<void(TfrmSettings&)> OnSettingsShown;

  // Shows the status bar texts and the list rows from the program state.
  void ShowState();
  // The current cell of the list (row 0..75, column 0..2).
  int CurrentRow() const { return row_; }
  int CurrentColumn() const { return column_; }
  bool EditorOpen() const { return editorRow_ >= 0; }
  // A click into cell (row, column) of the list, as the list reports it.
  void tlSoundClick(int row, int column);

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK AppProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR data);
  static LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR data);
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnNotify(NMHDR* header);
  void BuildMenu();
  void BuildList();
  void BuildStatusBar();
  // Sizes, places and gives fonts to everything for 'dpi'; columns the user has resized keep
  // their share.
  void Layout(int dpi);
  // Keeps the window on the work area of its screen.
  void KeepOnScreen();
  // Focus to the list, or to the path editor while it is open: the keyboard works as soon
  // as the window is active.
  void RestoreFocus();
  // The header of the list: the row indicator stays first and keeps its width.
  LRESULT OnHeaderNotify(NMHDR* header, bool& handled);
  // The data columns (0..2) in the order the user sees them.
  std::array<int, 3> VisibleColumns() const;
  // Shows a failure that no command reports itself in the application's error box.
  void ShowFailure(std::exception_ptr failure);
  void MenuCommand(UINT id);
  // Runs a command: an open path editor is posted first; the one raised failure goes to the
  // error box; afterwards the window shows the state.
  void Run(const std::function<void()>& command);
  void ProgSettingsClick();
  void tlPathButtonClick();
  // Paints the row indicator's cell: a triangle on the current row.
  void DrawIndicator(HDC dc, int row);
  // The current cell; the row indicator follows it.
  void SetCurrent(int row, int column);
  // Tab: the next (or previous) cell, row by row; a path cell opens its editor.
  void MoveCurrent(bool back);
  void OpenEditor(int row);
  // Puts the open editor over its cell, wherever the cell is now.
  void PlaceEditor();
  // Posts the editor's text (post) or drops it, and closes the editor.
  void CloseEditor(bool post);
  void SetCellText(int row, int column, const std::string& text);
  std::string CellText(int row, int column) const;

  TUserDialog& dialog_;
  TPortMap defaultPorts_;  // when the link context brings none
  TLinkContext link_;
  TErrorBox errorBox_;
  TMainCommands commands_;
  TFont font_;
  HWND app_ = nullptr;
  HWND hwnd_ = nullptr;
  HWND list_ = nullptr;
  HWND status_ = nullptr;
  HWND edit_ = nullptr;
  HWND browse_ = nullptr;
  int row_ = 0, column_ = 0;
  int editorRow_ = -1;
  int dpi_ = kDesignDpi;
  // The data columns' widths in designed pixels: what the user made them, kept apart from the
  // DPI so that moving between monitors does not add up rounding.
  std::array<double, 3> columnWidths_{};
  bool layingOut_ = false;  // the window sets the indicator's width itself
  bool closing_ = false;    // the editor is being closed: its focus loss posts nothing more
  bool browsing_ = false;   // the browse button's file dialog is open: the editor stays
};

}  // namespace dikton::win

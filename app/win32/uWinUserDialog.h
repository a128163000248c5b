// The user dialogue on Win32: MessageBoxW, the common file dialogs and the progress window.
#pragma once

#include <windows.h>

#include <string>

#include "uUserDialog.h"

namespace dikton::win {

// The flags of MessageBoxW for these buttons and this icon.
UINT MessageBoxFlags(TIcon icon, TButtons buttons);

// How a file dialog is started: the text of its file name box and its initial folder.
struct TFileDialogStart {
  std::wstring File;
  std::wstring InitialDir;  // empty: none given
};
// A dialog with a folder of its own gets it in front of the proposed name ("folder\name", or
// "folder\" without a name) and no initial folder: since Windows 7 the system starts a dialog in
// the folder the user last left one in, whatever the initial folder says, but a path in the
// file name box it takes. A dialog without a folder starts where this program's last one was
// left.
TFileDialogStart FileDialogStart(const TFileDialogSpec& spec, const std::string& lastFolder);

class TWinUserDialog : public TUserDialog {
 public:
  // Boxes and dialogs are owned by 'owner' (may be set later, when the window exists).
  explicit TWinUserDialog(HWND owner = nullptr) : owner_(owner) {}
  void SetOwner(HWND owner) { owner_ = owner; }
  HWND Owner() const { return owner_; }

  TAnswer Message(std::string_view text, std::string_view caption, TIcon icon,
                  TButtons buttons) override;
  std::optional<std::string> OpenFile(const TFileDialogSpec& spec) override;
  std::optional<std::string> SaveFile(const TFileDialogSpec& spec) override;
  std::unique_ptr<TProgressWindow> CreateProgressWindow() override;
  void Repaint() override;

 private:
  std::optional<std::string> RunFileDialog(const TFileDialogSpec& spec, bool save);

  HWND owner_;
  // A dialog without a folder of its own starts where the last one was left.
  std::string lastFolder_;
};

}  // namespace dikton::win

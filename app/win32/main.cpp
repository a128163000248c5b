// The Dikton program for Windows: the main window over the commands, native Win32 windows.
#include <windows.h>

#include "uMainForm.h"
#include "uWinStrings.h"
#include "uWinUserDialog.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  dikton::win::TWinUserDialog dialog;
  dikton::win::TMainForm form(dialog, dikton::TLinkContext{});
  // The file dialogs start in the program's own folder.
  form.Commands().ProgramFolder = dikton::win::ProgramFolder();
  dialog.SetOwner(form.Handle());
  form.OnClosed = [] { PostQuitMessage(0); };
  ShowWindow(form.Handle(), show);
  UpdateWindow(form.Handle());
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return int(msg.wParam);
}

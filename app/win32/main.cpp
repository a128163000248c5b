// The Dikton program for Windows: the main window over the commands, native Win32 windows.
#include <windows.h>

#include <exception>

#include "uConst_Orbis.h"
#include "uGuiTexts.h"
#include "uMainForm.h"
#include "uWinStrings.h"
#include "uWinUserDialog.h"

namespace {
int Run(int show) {
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
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  try {
    return Run(show);
  } catch (const std::exception& e) {
    // The main window could not be made (or no memory was left for it): say so, and end.
    MessageBoxW(nullptr, dikton::win::W(e.what()).c_str(),
                dikton::win::W(dikton::txt::AppTitle).c_str(), MB_OK | MB_ICONSTOP);
  } catch (...) {
    MessageBoxW(nullptr, dikton::win::W(dikton::guitxt::UnknownFailure).c_str(),
                dikton::win::W(dikton::txt::AppTitle).c_str(), MB_OK | MB_ICONSTOP);
  }
  return 1;
}

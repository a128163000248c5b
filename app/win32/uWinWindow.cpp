#include "uWinWindow.h"

namespace dikton::win {

namespace {
constexpr wchar_t kFontFace[] = L"MS Sans Serif";
}  // namespace

TFont DiktonFont(bool bold, int pixels) {
  // A negative height asks for the character height in pixels, without the internal leading.
  // Every text is Russian: the Cyrillic member of the family, whatever the system's code page
  // (the western one of a bitmap font has no Cyrillic letters at all).
  return TFont(CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                           RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, kFontFace));
}

void RegisterWindowClass(const wchar_t* name, WNDPROC proc, HICON icon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

SIZE WindowSizeFor(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool menu) {
  RECT r{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&r, style, menu ? TRUE : FALSE, exStyle);
  return {r.right - r.left, r.bottom - r.top};
}

POINT CentreOver(HWND owner, SIZE size) {
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT over = work;
  if (owner) GetWindowRect(owner, &over);
  LONG x = over.left + (over.right - over.left - size.cx) / 2;
  LONG y = over.top + (over.bottom - over.top - size.cy) / 2;
  if (x + size.cx > work.right) x = work.right - size.cx;
  if (y + size.cy > work.bottom) y = work.bottom - size.cy;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  return {x, y};
}

void SetFontAll(HWND window, HFONT font) {
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  EnumChildWindows(
      window,
      [](HWND child, LPARAM f) -> BOOL {
        SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(f), FALSE);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(font));
}

void RunModal(HWND window, HWND owner, const std::function<bool()>& done) {
  const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  bool quit = false;
  int quitCode = 0;
  MSG msg{};
  while (!done()) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      quit = true;
      quitCode = int(msg.wParam);
      break;
    }
    if (IsDialogMessageW(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // Enable the owner before hiding, so that activation goes back to it.
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  ShowWindow(window, SW_HIDE);
  if (owner) SetActiveWindow(owner);
  if (quit) PostQuitMessage(quitCode);
}

}  // namespace dikton::win

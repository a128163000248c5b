#include "uWinWindow.h"

#include <stdexcept>
#include <string>

#include "uGuiTexts.h"

namespace dikton::win {

namespace {
constexpr wchar_t kFontFace[] = L"MS Sans Serif";
constexpr wchar_t kScaledFontFace[] = L"Microsoft Sans Serif";

// The per-monitor DPI calls came with Windows 10; on older systems every monitor has the
// system's DPI. Looked up once, never changed afterwards.
using TGetDpiForWindow = UINT(WINAPI*)(HWND);
using TAdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

template <class T>
T User32Function(const char* name) {
  return reinterpret_cast<T>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kDesignDpi;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignDpi;
}
}  // namespace

int WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Function<TGetDpiForWindow>("GetDpiForWindow");
  if (getDpiForWindow && window) {
    if (const UINT dpi = getDpiForWindow(window); dpi > 0) return int(dpi);
  }
  return SystemDpi();
}

int Scale(int pixels, int dpi) { return MulDiv(pixels, dpi, kDesignDpi); }

TFont DiktonFont(int dpi, bool bold, int pixels) {
  // A negative height asks for the character height in pixels, without the internal leading.
  // Every text is Russian: the Cyrillic member of the family, whatever the system's code page
  // (the western one of a bitmap font has no Cyrillic letters at all).
  const bool designed = dpi == kDesignDpi;
  return TFont(CreateFontW(-Scale(pixels, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                           FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           designed ? DEFAULT_QUALITY : CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS,
                           designed ? kFontFace : kScaledFontFace));
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

SIZE WindowSizeFor(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool menu,
                   int dpi) {
  static const auto adjustForDpi = User32Function<TAdjustForDpi>("AdjustWindowRectExForDpi");
  RECT r{0, 0, clientWidth, clientHeight};
  if (!adjustForDpi || !adjustForDpi(&r, style, menu ? TRUE : FALSE, exStyle, UINT(dpi)))
    AdjustWindowRectEx(&r, style, menu ? TRUE : FALSE, exStyle);
  return {r.right - r.left, r.bottom - r.top};
}

void SetClientSize(HWND window, int clientWidth, int clientHeight) {
  RECT client{};
  GetClientRect(window, &client);
  if (client.right == clientWidth && client.bottom == clientHeight) return;
  RECT frame{};
  GetWindowRect(window, &frame);
  SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + clientWidth - client.right,
               frame.bottom - frame.top + clientHeight - client.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceScaled(HWND child, int x, int y, int width, int height, int dpi) {
  MoveWindow(child, Scale(x, dpi), Scale(y, dpi), Scale(width, dpi), Scale(height, dpi), TRUE);
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

void CheckCreated(HWND window) {
  if (!window) throw std::runtime_error(std::string(guitxt::WindowNotCreated));
}

void RunModal(HWND window, HWND owner, const std::function<bool()>& done) {
  if (!IsWindow(window)) throw std::runtime_error(std::string(guitxt::WindowNotCreated));
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

int FollowDpiChange(HWND window, WPARAM wParam, LPARAM lParam) {
  if (const auto* suggested = reinterpret_cast<const RECT*>(lParam))
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  return HIWORD(wParam);
}

}  // namespace dikton::win

#include "uRV7KPrcSt.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "uConst_Orbis.h"
#include "uWinStrings.h"

namespace dikton::win {

namespace {
constexpr wchar_t kClass[] = L"TfrmProcessStatus";
constexpr int kClientWidth = 342, kClientHeight = 102;  // px
constexpr int kBarMax = 100;                            // per cent
constexpr int kIconSize = 16;                           // px, the stop button's bitmap
constexpr int kLabelWidth = 240, kLabelHeight = 14;     // px
constexpr WORD kOicHand = 32513;                        // OIC_HAND, the system's stop icon
constexpr int kIdCancel = 100;  // not IDCANCEL: Escape must not stop the worker
// A tool window with a caption and neither system menu nor caption buttons; on top.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;

// Gives the logic the window's refresh, to call before each question, so that a question box
// opens over current labels. Written against whichever logic is built in: one without the
// hook (the branch this window was begun on) leaves it out.
template <class TLogic, class TShow>
void WireShowHook(TLogic& logic, TShow show) {
  if constexpr (requires { logic.SetShowHook(std::function<void()>(show)); })
    logic.SetShowHook(std::function<void()>(show));
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w,
           int h, int id = 0) {
  return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}
}  // namespace

TfrmProcessStatus::TfrmProcessStatus(HWND owner)
    : ownDialog_(std::make_unique<TWinUserDialog>()), logic_(*ownDialog_) {
  Build(owner);
  ownDialog_->SetOwner(hwnd_);
}

TfrmProcessStatus::TfrmProcessStatus(TUserDialog& dialog, HWND owner) : logic_(dialog) {
  Build(owner);
}

TfrmProcessStatus::~TfrmProcessStatus() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void TfrmProcessStatus::Build(HWND owner) {
  owner_ = owner;
  RegisterWindowClass(kClass, &TfrmProcessStatus::Proc);
  const int dpi = WindowDpi(owner);
  const SIZE size = WindowSizeFor(Scale(kClientWidth, dpi), Scale(kClientHeight, dpi), kStyle,
                                  kExStyle, false, dpi);
  const POINT at = CentreOver(owner, size);
  CreateWindowExW(kExStyle, kClass, W(txt::ProgressCaption).c_str(), kStyle, at.x, at.y, size.cx,
                  size.cy, owner, nullptr, GetModuleHandleW(nullptr), this);
  CheckCreated(hwnd_);
  caption_ = Child(hwnd_, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0);
  bar_ = Child(hwnd_, PROGRESS_CLASSW, L"", 0, 0, 0, 0, 0);
  SendMessageW(bar_, PBM_SETRANGE32, 0, kBarMax);
  bytes_ = Child(hwnd_, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0);
  errors_ = Child(hwnd_, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0);
  cancel_ = Child(hwnd_, WC_BUTTONW, W(txt::CancelButton).c_str(), BS_PUSHBUTTON | WS_TABSTOP, 0, 0,
                  0, 0, kIdCancel);
  Layout(WindowDpi(hwnd_));
  WireShowHook(logic_, [this] { Refresh(); });
  Refresh();
}

void TfrmProcessStatus::Layout(int dpi) {
  // The designed pixels at the monitor's DPI. The font is the program's own, not the system's
  // message font, so the window does not grow with the system's text-size setting.
  TFont font = DiktonFont(dpi);
  SetFontAll(hwnd_, font.get());
  font_ = std::move(font);
  SetClientSize(hwnd_, Scale(kClientWidth, dpi), Scale(kClientHeight, dpi));
  PlaceScaled(caption_, 8, 15, kLabelWidth, kLabelHeight, dpi);
  PlaceScaled(bar_, 8, 32, 326, 16, dpi);
  PlaceScaled(bytes_, 10, 59, kLabelWidth, kLabelHeight, dpi);
  PlaceScaled(errors_, 10, 80, kLabelWidth, kLabelHeight, dpi);
  PlaceScaled(cancel_, 260, 68, 75, 25, dpi);
  const int iconSize = Scale(kIconSize, dpi);
  TIconHandle icon(static_cast<HICON>(
      LoadImageW(nullptr, MAKEINTRESOURCEW(kOicHand), IMAGE_ICON, iconSize, iconSize, 0)));
  if (icon) SendMessageW(cancel_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon.get()));
  stopIcon_ = std::move(icon);
}

void TfrmProcessStatus::Post(uint32_t message, uint32_t wParam, uint32_t lParam) {
  PostMessageW(hwnd_, message, wParam, lParam);
}

TModalResult TfrmProcessStatus::ShowModal() {
  if (!closed_) RunModal(hwnd_, owner_, [this] { return closed_; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  return result_;
}

void TfrmProcessStatus::Refresh() {
  SetWindowTextW(caption_, W(logic_.ProcessCaption()).c_str());
  SendMessageW(bar_, PBM_SETPOS, std::clamp(logic_.BarPosition(), 0, kBarMax), 0);
  SetWindowTextW(bytes_, W(logic_.BytesCount()).c_str());
  SetWindowTextW(errors_, W(logic_.ErrorsText()).c_str());
  ShowWindow(errors_, logic_.ErrorsVisible() ? SW_SHOWNA : SW_HIDE);
}

void TfrmProcessStatus::Finish(std::optional<TModalResult> result) {
  if (!result || closed_) return;
  closed_ = true;
  result_ = *result;
  PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the modal loop to see it
}

LRESULT CALLBACK TfrmProcessStatus::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TfrmProcessStatus* self = message == WM_NCCREATE ? Attach<TfrmProcessStatus>(window, lParam)
                                                   : Self<TfrmProcessStatus>(window);
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCCREATE) self->hwnd_ = window;
  // No exception may unwind through the system's code: it closes the window as a link failure
  // would (the worker is told to stop by its owner) and comes out of ShowModal.
  try {
    return self->WndProc(message, wParam, lParam);
  } catch (...) {
    if (!self->failure_) self->failure_ = std::current_exception();
    self->Finish(TModalResult::Cancel);
    return 0;
  }
}

LRESULT TfrmProcessStatus::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= UM_WRITE_FINISHED && message <= UM_ERROR) {
    // Notifications that arrive after the window has closed (the worker was told to stop
    // meanwhile) change nothing.
    if (!closed_) {
      const auto result = logic_.OnMessage(message, uint32_t(wParam), uint32_t(lParam));
      Refresh();
      Finish(result);
    }
    return 0;
  }
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kIdCancel && HIWORD(wParam) == BN_CLICKED && !closed_) {
        const auto result = logic_.OnStopClick();
        Refresh();
        Finish(result);
      }
      return 0;  // Enter and Escape (IDOK, IDCANCEL) do nothing
    case WM_CLOSE:
      return 0;  // only the logic closes the window
    case WM_DPICHANGED: {
      Layout(FollowDpiChange(hwnd_, wParam, lParam));
      return 0;
    }
    default:
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

}  // namespace dikton::win

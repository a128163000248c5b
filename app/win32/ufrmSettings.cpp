#include "ufrmSettings.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <tuple>
#include <utility>

#include "uConst_Orbis.h"
#include "uGuiTexts.h"
#include "uWinStrings.h"

namespace dikton::win {

namespace {
constexpr wchar_t kClass[] = L"TfrmSettings";
constexpr int kClientWidth = 243, kClientHeight = 130;                           // px
constexpr int kLabelX = 12, kFieldX = 140, kFieldWidth = 89, kFieldHeight = 21;  // px
constexpr int kPortY = 14, kDeviceY = 37, kAddressY = 58, kButtonY = 94;         // px
constexpr int kButtonWidth = 75, kButtonHeight = 25;                             // px
constexpr int kOkX = 36, kCancelX = 132;                                         // px
constexpr int kDeviceFontPx = 9;                                                 // px
constexpr int kLabelTextDy = 4;  // px, labels sit on the fields' text line
constexpr int kIdEdit1 = 101, kIdEdit2 = 102, kIdUpDown1 = 111, kIdUpDown2 = 112;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

HWND Child(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y,
           int w, int h, int id = 0, DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}
}  // namespace

TfrmSettings::TfrmSettings(const TPortMap& ports, HWND owner) : ports_(ports), owner_(owner) {
  RegisterWindowClass(kClass, &TfrmSettings::Proc);
  const int dpi = WindowDpi(owner);
  const SIZE size = WindowSizeFor(Scale(kClientWidth, dpi), Scale(kClientHeight, dpi), kStyle,
                                  kExStyle, false, dpi);
  const POINT at = CentreOver(owner, size);
  CreateWindowExW(kExStyle, kClass, W(guitxt::SettingsCaption).c_str(), kStyle, at.x, at.y, size.cx,
                  size.cy, owner, nullptr, GetModuleHandleW(nullptr), this);
  CheckCreated(hwnd_);

  // Created in the tab order: "ОК", "ОТМЕНА", the port field, the address field; placed by
  // Layout.
  ok_ = Child(hwnd_, WC_BUTTONW, W(guitxt::OkButton), BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0,
              0, 0, 0, IDOK);
  cancel_ = Child(hwnd_, WC_BUTTONW, W(guitxt::CancelButton), BS_PUSHBUTTON | WS_TABSTOP, 0, 0, 0,
                  0, IDCANCEL);
  auto spin = [&](int editId, int updownId, int min, int max, HWND& edit, HWND& updown) {
    edit = Child(hwnd_, WC_EDITW, L"", ES_NUMBER | ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, 0, 0, 0,
                 0, editId, WS_EX_CLIENTEDGE);
    updown = Child(hwnd_, UPDOWN_CLASSW, L"",
                   UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, 0, 0, 0,
                   updownId);
    SendMessageW(updown, UDM_SETRANGE32, WPARAM(min), LPARAM(max));
    SendMessageW(updown, UDM_SETPOS32, 0, LPARAM(min));
  };
  spin(kIdEdit1, kIdUpDown1, kMinPort, kMaxPort, edit1_, updown1_);
  spin(kIdEdit2, kIdUpDown2, kMinDeviceAddress, kMaxDeviceAddress, edit2_, updown2_);
  portLabel_ = Child(hwnd_, WC_STATICW, W(guitxt::PortLabel), SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0);
  addressLabel_ =
      Child(hwnd_, WC_STATICW, W(guitxt::AddressLabel), SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0);
  device_ = Child(hwnd_, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0);
  Layout(WindowDpi(hwnd_));
  ShowPortDevice();
}

void TfrmSettings::Layout(int dpi) {
  TFont font = DiktonFont(dpi), bold = DiktonFont(dpi, true),
        small = DiktonFont(dpi, false, kDeviceFontPx);
  SetFontAll(hwnd_, font.get());
  SendMessageW(portLabel_, WM_SETFONT, reinterpret_cast<WPARAM>(bold.get()), FALSE);
  SendMessageW(addressLabel_, WM_SETFONT, reinterpret_cast<WPARAM>(bold.get()), FALSE);
  SendMessageW(device_, WM_SETFONT, reinterpret_cast<WPARAM>(small.get()), FALSE);
  font_ = std::move(font);  // the old ones only now, when no control uses them any more
  bold_ = std::move(bold);
  small_ = std::move(small);
  SetClientSize(hwnd_, Scale(kClientWidth, dpi), Scale(kClientHeight, dpi));
  PlaceScaled(ok_, kOkX, kButtonY, kButtonWidth, kButtonHeight, dpi);
  PlaceScaled(cancel_, kCancelX, kButtonY, kButtonWidth, kButtonHeight, dpi);
  for (auto [edit, updown, y] :
       {std::tuple{edit1_, updown1_, kPortY}, {edit2_, updown2_, kAddressY}}) {
    PlaceScaled(edit, kFieldX, y, kFieldWidth, kFieldHeight, dpi);
    // Setting the buddy again puts the arrows at the edit's new right edge.
    SendMessageW(updown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
  }
  PlaceScaled(portLabel_, kLabelX, kPortY + kLabelTextDy, kFieldX - kLabelX - 4, kFieldHeight, dpi);
  PlaceScaled(addressLabel_, kLabelX, kAddressY + kLabelTextDy, kFieldX - kLabelX - 4, kFieldHeight,
              dpi);
  PlaceScaled(device_, kFieldX, kDeviceY, kClientWidth - kFieldX - 4, kDeviceFontPx + 4, dpi);
}

TfrmSettings::~TfrmSettings() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void TfrmSettings::SetValues(int port, int device) {
  SendMessageW(updown1_, UDM_SETPOS32, 0, LPARAM(port));
  SendMessageW(updown2_, UDM_SETPOS32, 0, LPARAM(device));
  ShowPortDevice();
}

int TfrmSettings::FieldValue(HWND updown) {
  int min = 0, max = 0;
  SendMessageW(updown, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&min),
               reinterpret_cast<LPARAM>(&max));
  HWND edit = reinterpret_cast<HWND>(SendMessageW(updown, UDM_GETBUDDY, 0, 0));
  wchar_t text[16] = {};
  GetWindowTextW(edit, text, int(std::size(text)));
  // Digits only (ES_NUMBER); an empty field counts as the lower bound.
  const long value = text[0] ? std::wcstol(text, nullptr, 10) : min;
  return int(std::clamp<long>(value, min, max));
}

void TfrmSettings::Correct(HWND updown) {
  SendMessageW(updown, UDM_SETPOS32, 0, LPARAM(FieldValue(updown)));
}

int TfrmSettings::Port() const { return FieldValue(updown1_); }
int TfrmSettings::Device() const { return FieldValue(updown2_); }

void TfrmSettings::ShowPortDevice() {
  SetWindowTextW(device_, W(ports_.DeviceFor(Port())).c_str());
}

bool TfrmSettings::ShowModal() {
  SetFocus(ok_);
  RunModal(hwnd_, owner_, [this] { return closed_; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  return accepted_;
}

void TfrmSettings::Close(bool ok) {
  if (ok) {
    Correct(updown1_);
    Correct(updown2_);
  }
  accepted_ = ok;
  closed_ = true;
  PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the modal loop to see it
}

LRESULT CALLBACK TfrmSettings::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TfrmSettings* self =
      message == WM_NCCREATE ? Attach<TfrmSettings>(window, lParam) : Self<TfrmSettings>(window);
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCCREATE) self->hwnd_ = window;
  // No exception may unwind through the system's code: it ends the dialog and comes out of
  // ShowModal.
  try {
    return self->WndProc(message, wParam, lParam);
  } catch (...) {
    if (!self->failure_) self->failure_ = std::current_exception();
    self->Close(false);
    return 0;
  }
}

LRESULT TfrmSettings::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          Close(true);
          return 0;
        case IDCANCEL:
          Close(false);
          return 0;
        case kIdEdit1:
        case kIdEdit2: {
          HWND updown = LOWORD(wParam) == kIdEdit1 ? updown1_ : updown2_;
          if (HIWORD(wParam) == EN_KILLFOCUS) Correct(updown);
          if (HIWORD(wParam) == EN_CHANGE && updown1_ && LOWORD(wParam) == kIdEdit1)
            ShowPortDevice();
          return 0;
        }
        default:
          break;
      }
      break;
    case WM_CLOSE:
      Close(false);
      return 0;
    case WM_DPICHANGED: {
      Layout(FollowDpiChange(hwnd_, wParam, lParam));
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace dikton::win

// What the three windows share: the program's font, window classes, centring, a modal loop,
// and the scaling of their designed pixel sizes to the screen's DPI.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <type_traits>

namespace dikton::win {

// Owns a GDI object (a font, a bitmap) and deletes it.
struct TGdiDeleter {
  void operator()(void* object) const {
    if (object) DeleteObject(static_cast<HGDIOBJ>(object));
  }
};
using TFont = std::unique_ptr<std::remove_pointer_t<HFONT>, TGdiDeleter>;

// Owns an icon loaded at a given size and destroys it.
struct TIconDeleter {
  void operator()(HICON icon) const {
    if (icon) DestroyIcon(icon);
  }
};
using TIconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, TIconDeleter>;

// The windows are designed in pixels of a 96-DPI screen.
inline constexpr int kDesignDpi = 96;

// The DPI of the monitor the window is on (the system's DPI where the system knows only that).
int WindowDpi(HWND window);

// A designed length in pixels at 'dpi', rounded to the nearest pixel.
int Scale(int pixels, int dpi);

// "MS Sans Serif" of 11 pixels at 96 DPI, as the windows were designed; bold for the settings
// labels, or another designed pixel height. At other DPIs the height is scaled and the face is
// its TrueType member, "Microsoft Sans Serif": the bitmap face exists in a few sizes only and
// would be stretched.
TFont DiktonFont(int dpi, bool bold = false, int pixels = 11);

// Registers a window class of this program once (a second registration is refused harmlessly).
void RegisterWindowClass(const wchar_t* name, WNDPROC proc, HICON icon = nullptr);

// Window size for the client size with this style, menu and extended style, with the frame of
// a window at 'dpi'.
SIZE WindowSizeFor(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool menu,
                   int dpi = kDesignDpi);

// Resizes the window so that its client area is exactly this size (a menu bar may wrap to a
// second line and take more than the frame computed for it).
void SetClientSize(HWND window, int clientWidth, int clientHeight);

// WM_DPICHANGED: the window moved to a monitor of another DPI; takes the frame the system
// proposes (lParam) and returns the new DPI (wParam) for the layout to follow.
int FollowDpiChange(HWND window, WPARAM wParam, LPARAM lParam);

// Places a child at a designed rectangle, scaled to 'dpi'.
void PlaceScaled(HWND child, int x, int y, int width, int height, int dpi);

// The top-left corner that centres a window of this size over 'owner' (over the screen's work
// area without an owner), kept on the work area.
POINT CentreOver(HWND owner, SIZE size);

// Sets the font on a window and all its children.
void SetFontAll(HWND window, HFONT font);

// Shows 'window' modally over 'owner' until done() is true: the owner is disabled meanwhile and
// the dialog keys (Tab, Enter, Escape) work. A WM_QUIT that arrives is passed on. A window that
// does not exist is refused with an exception, before the owner is touched.
void RunModal(HWND window, HWND owner, const std::function<bool()>& done);

// Refuses a window that could not be created: an exception instead of a null handle that a
// modal loop would wait on for ever.
void CheckCreated(HWND window);

// The 'this' pointer a window keeps in its user data.
template <class T>
T* Self(HWND window) {
  return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}
// For WM_NCCREATE: stores the pointer passed to CreateWindowExW.
template <class T>
T* Attach(HWND window, LPARAM createParams) {
  auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(createParams)->lpCreateParams);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  return self;
}

}  // namespace dikton::win

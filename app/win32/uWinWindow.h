// What the three windows share: the program's font, window classes, centring, a modal loop.
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

// "MS Sans Serif" of 11 pixels, as the windows were designed; bold for the settings labels,
// or another pixel height.
TFont DiktonFont(bool bold = false, int pixels = 11);

// Registers a window class of this program once (a second registration is refused harmlessly).
void RegisterWindowClass(const wchar_t* name, WNDPROC proc, HICON icon = nullptr);

// Window size for the client size with this style, menu and extended style.
SIZE WindowSizeFor(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool menu);

// The top-left corner that centres a window of this size over 'owner' (over the screen's work
// area without an owner), kept on the work area.
POINT CentreOver(HWND owner, SIZE size);

// Sets the font on a window and all its children.
void SetFontAll(HWND window, HFONT font);

// Shows 'window' modally over 'owner' until done() is true: the owner is disabled meanwhile and
// the dialog keys (Tab, Enter, Escape) work. A WM_QUIT that arrives is passed on.
void RunModal(HWND window, HWND owner, const std::function<bool()>& done);

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

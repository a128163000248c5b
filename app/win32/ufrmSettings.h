// TfrmSettings on Win32: the port number and the device address, two up-down spin fields.
#pragma once

#include <windows.h>

#include <exception>
#include <optional>
#include <utility>

#include "uPortNames.h"
#include "uWinWindow.h"

namespace dikton::win {

class TfrmSettings {
 public:
  // Created hidden, centred over 'owner', at the DPI of its monitor. 'ports' names the device
  // each number opens. A dialog that cannot be created throws.
  TfrmSettings(const TPortMap& ports, HWND owner);
  ~TfrmSettings();
  TfrmSettings(const TfrmSettings&) = delete;
  TfrmSettings& operator=(const TfrmSettings&) = delete;

  void SetValues(int port, int device);
  // The fields' values, each within its range.
  int Port() const;
  int Device() const;
  // Shows the dialog modally: true when it closed with "ОК".
  bool ShowModal();

  HWND Handle() const { return hwnd_; }
  // The spin fields: the edit and its up-down control.
  HWND ASSpinEdit1() const { return edit1_; }
  HWND ASSpinEdit2() const { return edit2_; }
  HWND UpDown1() const { return updown1_; }
  HWND UpDown2() const { return updown2_; }
  HWND btnOK() const { return ok_; }
  HWND btnCancel() const { return cancel_; }
  HWND lblPortDevice() const { return device_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  // A typed value outside the range is corrected to the nearest bound.
  static int FieldValue(HWND updown);
  static void Correct(HWND updown);
  void ShowPortDevice();
  void Close(bool ok);
  // Sizes, places and gives fonts to everything for 'dpi'.
  void Layout(int dpi);

  const TPortMap& ports_;
  HWND owner_;
  HWND hwnd_ = nullptr;
  HWND edit1_ = nullptr, edit2_ = nullptr, updown1_ = nullptr, updown2_ = nullptr;
  HWND ok_ = nullptr, cancel_ = nullptr, device_ = nullptr;
  HWND portLabel_ = nullptr, addressLabel_ = nullptr;
  TFont font_, bold_, small_;
  bool closed_ = false;
  bool accepted_ = false;
  std::exception_ptr failure_;  // raised inside the modal loop, raised again by ShowModal
};

}  // namespace dikton::win

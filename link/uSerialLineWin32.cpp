// The serial line on Windows: the communication calls themselves, one to one. The port is opened
// unshared and synchronous; the read's total time-out is the driver's own (SetCommTimeouts).
#include <windows.h>

#include "uSerialLine.h"

namespace dikton {
namespace {

class TWin32SerialLine final : public TSerialLine {
 public:
  ~TWin32SerialLine() override { Close(); }

  bool Open(const std::string& device) override {
    Close();
    // No sharing: a port another program holds is refused here.
    handle_ = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
    return handle_ != INVALID_HANDLE_VALUE;
  }

  void Close() override {
    if (handle_ != INVALID_HANDLE_VALUE) {
      ::CloseHandle(handle_);
      handle_ = INVALID_HANDLE_VALUE;
    }
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  bool SetupComm(uint32_t inQueue, uint32_t outQueue) override {
    return ::SetupComm(handle_, inQueue, outQueue) != FALSE;
  }

  bool SetTimeouts(const TCommTimeouts& t) override {
    COMMTIMEOUTS ct{};
    ::GetCommTimeouts(handle_, &ct);
    ct.ReadIntervalTimeout = t.ReadIntervalTimeout;
    ct.ReadTotalTimeoutMultiplier = t.ReadTotalTimeoutMultiplier;
    ct.ReadTotalTimeoutConstant = t.ReadTotalTimeoutConstant;
    ct.WriteTotalTimeoutMultiplier = t.WriteTotalTimeoutMultiplier;
    ct.WriteTotalTimeoutConstant = t.WriteTotalTimeoutConstant;
    return ::SetCommTimeouts(handle_, &ct) != FALSE;
  }

  // Only the fields the link owns change; the rest stay as the driver has them.
  bool SetState(const TLineSettings& s) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(handle_, &dcb);
    dcb.BaudRate = DWORD(s.BaudRate);
    dcb.ByteSize = s.ByteSize;
    dcb.Parity = s.Parity ? ODDPARITY : NOPARITY;
    dcb.StopBits = s.TwoStopBits ? TWOSTOPBITS : ONESTOPBIT;
    dcb.EofChar = char(s.EofChar);
    dcb.fDtrControl = s.DtrEnabled ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = s.RtsToggle ? RTS_CONTROL_TOGGLE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = s.AbortOnError ? TRUE : FALSE;
    return ::SetCommState(handle_, &dcb) != FALSE;
  }

  bool Escape(TEscape fn) override {
    DWORD code = 0;
    switch (fn) {
      case TEscape::SetRts:
        code = SETRTS;
        break;
      case TEscape::ClrRts:
        code = CLRRTS;
        break;
      case TEscape::SetDtr:
        code = SETDTR;
        break;
      case TEscape::ClrDtr:
        code = CLRDTR;
        break;
    }
    return ::EscapeCommFunction(handle_, code) != FALSE;
  }

  // The boundary's purge flags are the PURGE_* values themselves.
  bool Purge(uint32_t flags) override { return ::PurgeComm(handle_, flags) != FALSE; }

  bool Write(const uint8_t* data, size_t n, size_t& done) override {
    DWORD written = 0;
    const BOOL ok = ::WriteFile(handle_, data, DWORD(n), &written, nullptr);
    done = written;
    return ok != FALSE;
  }

  bool Read(uint8_t* data, size_t n, size_t& done) override {
    DWORD got = 0;
    const BOOL ok = ::ReadFile(handle_, data, DWORD(n), &got, nullptr);
    done = got;
    return ok != FALSE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

static_assert(PurgeTxAbort == PURGE_TXABORT && PurgeRxAbort == PURGE_RXABORT &&
              PurgeTxClear == PURGE_TXCLEAR && PurgeRxClear == PURGE_RXCLEAR);

}  // namespace

std::unique_ptr<TSerialLine> CreateSerialLine() { return std::make_unique<TWin32SerialLine>(); }

}  // namespace dikton

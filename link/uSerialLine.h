// The serial line boundary. Its operations are the Win32 communication calls the link makes,
// one to one; each platform has a backend file of its own, chosen by CMake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace dikton {

// SetCommTimeouts; all in ms.
struct TCommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

// SetCommState: the fields the link changes. Everything else stays as the driver has it.
struct TLineSettings {
  int32_t BaudRate = 9600;
  uint8_t ByteSize = 8;
  bool Parity = false;         // no parity
  bool TwoStopBits = false;    // one stop bit
  uint8_t EofChar = 1;
  bool DtrEnabled = false;     // DTR_CONTROL_DISABLE: the link switches it itself
  bool RtsToggle = true;       // RTS_CONTROL_TOGGLE: raised while bytes are sent
  bool AbortOnError = false;
};

enum class TEscape { SetRts, ClrRts, SetDtr, ClrDtr };

// PurgeComm flags.
enum TPurge : uint32_t {
  PurgeTxAbort = 0x1,
  PurgeRxAbort = 0x2,
  PurgeTxClear = 0x4,
  PurgeRxClear = 0x8,
};

class TSerialLine {
 public:
  virtual ~TSerialLine() = default;
  // CreateFile: exclusive, synchronous. False when the device is missing or held by another.
  virtual bool Open(const std::string& device) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual bool SetupComm(uint32_t inQueue, uint32_t outQueue) = 0;
  virtual bool SetTimeouts(const TCommTimeouts& t) = 0;
  virtual bool SetState(const TLineSettings& s) = 0;
  virtual bool Escape(TEscape fn) = 0;
  virtual bool Purge(uint32_t flags) = 0;
  // Synchronous; 'done' reports how many bytes went out or came in.
  virtual bool Write(const uint8_t* data, size_t n, size_t& done) = 0;
  // Returns when n bytes have arrived or the total read time-out has run out.
  virtual bool Read(uint8_t* data, size_t n, size_t& done) = 0;
};

// The backend of this platform.
std::unique_ptr<TSerialLine> CreateSerialLine();

}  // namespace dikton

// The virtual RV-7K device: the device side of a pseudo-terminal, with its own memory, sound
// range, line rate, line timing, faults on demand and a transcript of every frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rv7ksim {

enum class TFaultKind {
  Silence,       // no answer at all
  BadCrc,        // answer with a wrong CRC byte
  WrongCode,     // valid frame, another reply code ('?' in position 3)
  RefuseWrite,   // a write block answered with a valid non-'B' reply; nothing is stored
  ShortReply,    // data reply with fewer bytes than asked (Value = how many); L and n agree
  PartialReply,  // only the first Value bytes of the reply frame go out
  ExtraData,     // data reply with Value more bytes than asked (n and L say so)
  LyingCount,    // data reply whose n says Value more bytes than the frame (L) carries
  CorruptByte,   // the stored byte at Address is Value instead of what was written
  LengthFF,      // answer a frame whose L is 255 (256 bytes on the wire)
};

// A fault fires on request frames that match: Frame (1-based count of the frames the device
// has accepted, 0 = any), Command (request code, 0 = any) and Address (block address of a
// read or write request, -1 = any). It fires Times times (0 = every time). CorruptByte takes
// effect at once and needs no match.
struct TFault {
  TFaultKind Kind = TFaultKind::Silence;
  uint32_t Frame = 0;
  uint8_t Command = 0;
  int64_t Address = -1;
  uint32_t Times = 1;
  uint32_t Value = 0;
};

// A further address the device answers, as if a second device shared the line: the range query
// reports this range; every other request works on the one memory.
struct TExtraAddress {
  uint8_t Address = 0;
  uint32_t StartSound = 0x3000;
  uint32_t EndSound = 0xFFFFF;
};

struct TSimOptions {
  size_t MemorySize = 0x100000;   // bytes
  uint8_t FillByte = 0xFF;        // initial memory content, unless loaded or generated
  uint32_t StartSound = 0x3000;
  uint32_t EndSound = 0xFFFFF;
  uint8_t Address = 127;
  bool AnswerAll = false;         // answer every address, not only its own
  bool LineTiming = false;        // replies readable only after request + turnaround + reply
  double TurnaroundMs = 2.0;      // device's answer delay after the request has left the wire
  bool Echo = false;              // echo the request back first, as a two-wire line does
  // With Echo: above 0, each whole request is echoed this long after it has left the wire,
  // as a USB adapter that hears the line delivers it late (ms); 0 echoes bytes as they come.
  double EchoDelayMs = 0;
  bool CheckRate = true;          // frames at another rate than the device's are garbage
  std::string TranscriptPath;     // also write the transcript to this file
  // Answered besides Address, each with its own range.
  std::vector<TExtraAddress> ExtraAddresses;
};

struct TTranscriptEntry {
  bool FromHost = false;          // true: a request; false: the device's answer
  std::vector<uint8_t> Bytes;     // exactly as on the wire
  int32_t Baud = 0;               // host's line rate when it was sent or seen
  bool Ignored = false;           // a request the device did not answer (rate, address, CRC)
};

class TVirtualDevice {
 public:
  explicit TVirtualDevice(TSimOptions options);
  ~TVirtualDevice();  // stops the device thread and closes the pseudo-terminal
  TVirtualDevice(const TVirtualDevice&) = delete;
  TVirtualDevice& operator=(const TVirtualDevice&) = delete;

  // Opens the pseudo-terminal and starts answering. False when no pty can be had.
  bool Start();
  // The path the program opens (the pty's slave side).
  const std::string& Path() const;

  void AddFault(const TFault& fault);
  void ClearFaults();

  std::vector<uint8_t> Memory() const;
  void SetMemory(uint32_t address, const std::vector<uint8_t>& bytes);
  uint8_t Peek(uint32_t address) const;
  void SetRange(uint32_t start, uint32_t end);
  // Fills the memory as a real device looks: header bytes, a fragment directory and packed
  // sound. Deterministic for a given seed.
  void GenerateRealisticContent(uint32_t seed = 1);
  bool LoadMemory(const std::string& path);
  bool DumpMemory(const std::string& path) const;

  std::vector<TTranscriptEntry> Transcript() const;
  void ClearTranscript();
  // Requests seen (answered or not) with this command code; 0 counts every request.
  size_t RequestCount(uint8_t command = 0) const;
  // Waits until RequestCount() reaches count; false when timeoutMs passes first. Lets a test
  // know that a frame the device will not answer has been seen.
  bool WaitForRequests(size_t count, int timeoutMs) const;
  // The device's current line rate: 9600, or 115200 after it answered a mode switch (enter).
  int32_t CurrentRate() const;
  // Bytes written to the host that it has not read yet (the pty's input queue).
  size_t HostInputPending() const;
  // Hangs the line up as a pulled-out USB adapter does: the host's reads give nothing and
  // its polls report a hang-up. Needs the right to do so (root); false when refused.
  bool HangUp();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// The device's own CRC-8, written from the table description, independent of the program's.
uint8_t SimCrc8(const uint8_t* bytes, size_t n);

}  // namespace rv7ksim

// How a command of TMainCommands ended, with what a caller needs besides: the command-line
// program maps it to its exit status and its production record; the windows ignore it, as
// they show the same boxes as before. No Qt, no text: nothing here depends on a message.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TData.h"
#include "uPathList.h"  // TMissingName

namespace dikton {

enum class TOutcome {
  Done,               // the command did what it was asked
  NoAnswer,           // the device did not answer, answered what cannot be used, or the link failed
  PortNotOpened,      // the port could not be opened
  FileRefused,        // a file could not be taken; Refusal says why
  RangeDiffers,       // the device's sound range is not the file's
  NothingToWrite,     // no image and no fragments
  Differences,        // the read-back found differences (Mismatches)
  WrittenUnverified,  // written whole; the read-back was declined
  Incomplete,         // the job ended short without a stop, a failure or a difference
  Stopped,            // stopped by the user
  Cancelled,          // a file dialog was cancelled, or a question answered no before any work
};

enum class TRefusal {
  None,
  Damaged,          // an image file whose header or checksums do not hold
  BadSize,          // an image file of impossible size
  OtherFormat,      // an image or range that cannot hold the memory map written
  TooBig,           // the fragments do not fit the sound range
  BadRange,         // a sound range that cannot hold the layout
  BrokenFragment,   // a fragment's WAV file cannot be read or packed (Path)
  NamesNotFound,    // the list names files that are not beside it (MissingNames)
  NameNotStorable,  // a name the list's code page cannot hold (Path)
  NotRead,          // "save": no complete read of the device to save
  SaveFailed,       // the file could not be written
};

struct TSoundRange {
  uint32_t Start = 0;
  uint32_t End = 0;
  bool operator==(const TSoundRange&) const = default;
};

// An address that answered a scan.
struct TScanAnswer {
  uint8_t Address = 0;
  TSoundRange Range;
  bool operator==(const TScanAnswer&) const = default;
};

// The 16-byte signature record and where it lies: as write-all wrote it, or as verify read it.
struct TSignatureRecord {
  uint32_t Address = 0;
  std::array<uint8_t, 16> Bytes{};
  bool operator==(const TSignatureRecord&) const = default;
};

struct TCommandResult {
  TOutcome Outcome = TOutcome::Done;
  TRefusal Refusal = TRefusal::None;
  std::string Path;  // the refused file, or the fragment or name that caused the refusal

  // The device's range as the command found or used it.
  std::optional<TSoundRange> Range;
  uint32_t BytesDone = 0;   // of the last pass that ran (the read-back, when there was one)
  uint32_t BytesTotal = 0;  // of that pass
  uint64_t Retries = 0;     // exchange attempts beyond the first of each
  // Every difference the read-back found, in order (the first differing byte of a block for
  // write-all and verify, every differing byte for write-sound).
  std::vector<MismatchRecord> Mismatches;
  std::optional<TSignatureRecord> SignatureWritten;  // write-all: the record acknowledged
  std::optional<TSignatureRecord> SignatureRead;     // verify: the device's record
  std::vector<TMissingName> MissingNames;            // open list
  int FragmentsLoaded = 0;                           // open list
  std::vector<TScanAnswer> Answers;                  // scan

  bool Ok() const { return Outcome == TOutcome::Done; }
  size_t DifferenceCount() const { return Mismatches.size(); }
};

// Stable lower-case words, for records and scripts: "done", "no_answer", "port_not_opened",
// "file_refused", "range_differs", "nothing_to_write", "differences", "written_unverified",
// "incomplete", "stopped", "cancelled"; and "damaged", "bad_size", "other_format", "too_big",
// "bad_range", "broken_fragment", "names_not_found", "name_not_storable", "not_read",
// "save_failed" (empty for None).
std::string_view OutcomeWord(TOutcome outcome);
std::string_view RefusalWord(TRefusal refusal);

// "DDMMYYhhmm", "ZORIX" as the record holds them: date "DD.MM.YY", time "hh:mm" and the maker
// text; nullopt when the bytes are not such a record.
struct TSignatureText {
  std::string Date, Time, Maker;
};
std::optional<TSignatureText> DecodeSignature(const std::array<uint8_t, 16>& record);

}  // namespace dikton

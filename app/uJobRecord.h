// The production record of a device job: one JSON object built from the command's result and
// the job's context, written as one line (JSON Lines) to a log that several sessions (threads
// of one process, or processes) may append to at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "uAppendFile.h"
#include "uCommandResult.h"

namespace dikton {

// What the result does not know: who ran which job where, and how it was judged.
struct TJobContext {
  std::string Command;     // "range", "read", "write", "sound", "verify", "scan"
  std::string PortGiven;   // as the user gave it ("3", "/dev/ttyUSB0", "demo")
  std::string PortOpened;  // the device the port number opened ("COM3", "/dev/pts/4")
  uint8_t Address = 0;
  std::string FilePath;                   // empty: the job has no file
  std::optional<std::string> FileSha256;  // of the file's content (read: as saved)
  std::chrono::system_clock::time_point Start, End;
  double Seconds = 0;  // measured on a steady clock
  std::string Host = HostName();
  std::string ProgramVersion;
  int ExitStatus = 0;
  int Device = 0;  // the station's loop: the device's running number on its port; 0: none

  static std::string HostName();
};

// The record, its keys in a fixed order: time_start, time_end, host, program_version, port
// {given, opened}, address, command, file {path, sha256} or null, range {start, end} or null,
// outcome, refusal (null when none), exit_status, bytes, bytes_total, seconds, retries,
// differences {count, first: [{address, file, device}] (up to 16)}, signature (write-all: the
// record written; verify: the device's record) {address, date, time, maker, hex} or null, and
// besides where they apply: missing_names [{slot, name}], answers [{address, start, end}].
nlohmann::ordered_json JobRecord(const TCommandResult& result, const TJobContext& context);
// The record as one line of JSON Lines, "\n" at its end.
std::string JobRecordLine(const TCommandResult& result, const TJobContext& context);

// Local time with its offset from UTC, to the millisecond: "2026-12-11T14:05:09.123+01:00".
std::string Iso8601(std::chrono::system_clock::time_point t);

inline constexpr size_t kRecordedDifferences = 16;  // differences listed in a record

// The log: opened for appending before the job (a log that cannot be opened refuses the job),
// one whole line per job, flushed to the disk before Append returns. One TJobLog may be used by
// several threads at once, and several processes may append to the same file.
class TJobLog {
 public:
  // False when the file cannot be opened for appending, or is marked read-only (judged by its
  // mode bits, as every file the program writes, so that root is refused as well).
  bool Open(const std::string& utf8Path);
  bool IsOpen() const { return file_.IsOpen(); }
  bool Append(const TCommandResult& result, const TJobContext& context) {
    return file_.Append(JobRecordLine(result, context));
  }

 private:
  TAppendFile file_;
};

}  // namespace dikton

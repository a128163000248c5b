#include "uJobRecord.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "uFiles.h"
#include "uSaveTarget.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace dikton {

namespace {

using json = nlohmann::ordered_json;

constexpr long kSecondsPerMinute = 60;
constexpr long kMinutesPerHour = 60;
constexpr long kSecondsPerHour = kSecondsPerMinute * kMinutesPerHour;
constexpr long kSecondsPerDay = 24 * kSecondsPerHour;
constexpr int kTmYearBase = 1900;  // tm_year counts from it

json RangeJson(const std::optional<TSoundRange>& r) {
  if (!r) return nullptr;
  return json{{"start", r->Start}, {"end", r->End}};
}

json SignatureJson(const std::optional<TSignatureRecord>& s) {
  if (!s) return nullptr;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : s->Bytes) {
    hex += kHex[b >> 4];
    hex += kHex[b & 0xF];
  }
  json j{{"address", s->Address}};
  if (const auto text = DecodeSignature(s->Bytes)) {
    j["date"] = text->Date;
    j["time"] = text->Time;
    j["maker"] = text->Maker;
  } else {
    j["date"] = nullptr;
    j["time"] = nullptr;
    j["maker"] = nullptr;
  }
  j["hex"] = hex;
  return j;
}

// Seconds east of UTC of the local time at t.
long UtcOffset(std::time_t t) {
  std::tm local{}, utc{};
#ifdef _WIN32
  localtime_s(&local, &t);
  gmtime_s(&utc, &t);
#else
  localtime_r(&t, &local);
  gmtime_r(&t, &utc);
#endif
  long d = (local.tm_hour - utc.tm_hour) * kSecondsPerHour +
           (local.tm_min - utc.tm_min) * kSecondsPerMinute + (local.tm_sec - utc.tm_sec);
  // Across midnight the days differ by one (the years too, at New Year).
  const int dayDiff = local.tm_year != utc.tm_year ? (local.tm_year > utc.tm_year ? 1 : -1)
                                                   : local.tm_yday - utc.tm_yday;
  return d + dayDiff * kSecondsPerDay;
}

}  // namespace

std::string TJobContext::HostName() {
#ifdef _WIN32
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, name, int(size), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, name, int(size), out.data(), n, nullptr, nullptr);
  return out;
#else
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
#endif
}

std::string Iso8601(std::chrono::system_clock::time_point t) {
  const std::time_t secs = std::chrono::system_clock::to_time_t(t);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      t - std::chrono::system_clock::from_time_t(secs))
                      .count();
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &secs);
#else
  localtime_r(&secs, &local);
#endif
  const long offset = UtcOffset(secs);
  const long minutes = (offset < 0 ? -offset : offset) / kSecondsPerMinute;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                local.tm_year + kTmYearBase, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec, int(ms < 0 ? 0 : ms), offset < 0 ? '-' : '+',
                minutes / kMinutesPerHour, minutes % kMinutesPerHour);
  return text;
}

nlohmann::ordered_json JobRecord(const TCommandResult& r, const TJobContext& c) {
  json j;
  j["time_start"] = Iso8601(c.Start);
  j["time_end"] = Iso8601(c.End);
  j["host"] = c.Host;
  j["program_version"] = c.ProgramVersion;
  j["port"] = json{{"given", c.PortGiven}, {"opened", c.PortOpened}};
  j["address"] = c.Address;
  j["command"] = c.Command;
  if (c.Device > 0) j["device"] = c.Device;
  if (c.FilePath.empty()) {
    j["file"] = nullptr;
  } else {
    j["file"] = json{{"path", c.FilePath}};
    j["file"]["sha256"] = c.FileSha256 ? json(*c.FileSha256) : json(nullptr);
  }
  j["range"] = RangeJson(r.Range);
  j["outcome"] = std::string(OutcomeWord(r.Outcome));
  j["refusal"] =
      r.Refusal == TRefusal::None ? json(nullptr) : json(std::string(RefusalWord(r.Refusal)));
  j["exit_status"] = c.ExitStatus;
  j["bytes"] = r.BytesDone;
  j["bytes_total"] = r.BytesTotal;
  j["seconds"] = c.Seconds;
  j["retries"] = r.Retries;
  json first = json::array();
  for (size_t i = 0; i < r.Mismatches.size() && i < kRecordedDifferences; ++i) {
    const MismatchRecord& m = r.Mismatches[i];
    first.push_back(json{{"address", m.Address}, {"file", m.ImageByte}, {"device", m.DeviceByte}});
  }
  j["differences"] = json{{"count", r.Mismatches.size()}, {"first", first}};
  j["signature"] = SignatureJson(r.SignatureWritten ? r.SignatureWritten : r.SignatureRead);
  if (!r.MissingNames.empty()) {
    json names = json::array();
    for (const TMissingName& n : r.MissingNames)
      names.push_back(json{{"slot", n.Slot}, {"name", n.Name}});
    j["missing_names"] = names;
  }
  if (c.Command == "scan") {
    json answers = json::array();
    for (const TScanAnswer& a : r.Answers)
      answers.push_back(
          json{{"address", a.Address}, {"start", a.Range.Start}, {"end", a.Range.End}});
    j["answers"] = answers;
  }
  return j;
}

bool TJobLog::Open(const std::string& utf8Path) {
  if (IsReadOnlyTarget(FsPath(utf8Path))) return false;
  return file_.Open(utf8Path);
}

std::string JobRecordLine(const TCommandResult& result, const TJobContext& context) {
  // Names and paths that are not valid UTF-8 are replaced, never a reason to lose the line.
  return JobRecord(result, context).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
         "\n";
}

}  // namespace dikton

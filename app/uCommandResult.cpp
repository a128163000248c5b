#include "uCommandResult.h"

#include <algorithm>

namespace dikton {

namespace {
constexpr size_t kSignatureDigits = 10;  // DDMMYYhhmm
constexpr size_t kSignatureMaker = 5;    // the maker text after the digits
}  // namespace

std::string_view OutcomeWord(TOutcome outcome) {
  switch (outcome) {
    case TOutcome::Done:
      return "done";
    case TOutcome::NoAnswer:
      return "no_answer";
    case TOutcome::PortNotOpened:
      return "port_not_opened";
    case TOutcome::FileRefused:
      return "file_refused";
    case TOutcome::RangeDiffers:
      return "range_differs";
    case TOutcome::NothingToWrite:
      return "nothing_to_write";
    case TOutcome::Differences:
      return "differences";
    case TOutcome::WrittenUnverified:
      return "written_unverified";
    case TOutcome::Incomplete:
      return "incomplete";
    case TOutcome::Stopped:
      return "stopped";
    case TOutcome::Cancelled:
      return "cancelled";
  }
  return "unknown";
}

std::string_view RefusalWord(TRefusal refusal) {
  switch (refusal) {
    case TRefusal::None:
      return "";
    case TRefusal::Damaged:
      return "damaged";
    case TRefusal::BadSize:
      return "bad_size";
    case TRefusal::OtherFormat:
      return "other_format";
    case TRefusal::TooBig:
      return "too_big";
    case TRefusal::BadRange:
      return "bad_range";
    case TRefusal::BrokenFragment:
      return "broken_fragment";
    case TRefusal::NamesNotFound:
      return "names_not_found";
    case TRefusal::NameNotStorable:
      return "name_not_storable";
    case TRefusal::NotRead:
      return "not_read";
    case TRefusal::SaveFailed:
      return "save_failed";
  }
  return "unknown";
}

std::optional<TSignatureText> DecodeSignature(const std::array<uint8_t, 16>& r) {
  const auto digitsEnd = r.begin() + kSignatureDigits;
  const auto makerEnd = digitsEnd + kSignatureMaker;
  if (!std::all_of(r.begin(), digitsEnd, [](uint8_t c) { return c >= '0' && c <= '9'; }) ||
      !std::all_of(digitsEnd, makerEnd, [](uint8_t c) { return c >= 0x20 && c < 0x7F; }))
    return std::nullopt;
  const std::string d(r.begin(), digitsEnd);
  TSignatureText t;
  t.Date = d.substr(0, 2) + "." + d.substr(2, 2) + "." + d.substr(4, 2);
  t.Time = d.substr(6, 2) + ":" + d.substr(8, 2);
  t.Maker = std::string(digitsEnd, makerEnd);
  return t;
}

}  // namespace dikton

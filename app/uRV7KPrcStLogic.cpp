#include "uRV7KPrcStLogic.h"

#include <climits>
#include <cmath>

#include "uConst_Orbis.h"
#include "uRV7K_v210_Sound.h"

namespace dikton {

namespace {

constexpr int kBarMax = 100;             // per cent: a full bar
constexpr uint32_t kPercentScale = 100;  // done is scaled to per cent before the division

std::string Join(std::string_view a, uint32_t n) { return std::string(a) + std::to_string(n); }

}  // namespace

TProcessStatusLogic::TProcessStatusLogic(TUserDialog& dialog)
    : dialog_(dialog),
      prefix_(txt::PrefixFirst),
      caption_(std::string(txt::PrefixFirst) + "0%"),
      bytes_(Join(txt::BytesLine, 0)) {}

int TProcessStatusLogic::RoundPercent(uint32_t done, uint32_t total) {
  if (total == 0) return 0;
  // The product is a 32-bit value as it always was; counts of a 24-bit address space never
  // wrap it.
  const uint32_t scaled = done * kPercentScale;
  // The default rounding mode sends a half to the even neighbour.
  const double percent = std::nearbyint(double(scaled) / double(total));
  // A tiny total with a huge count would not fit an int; such a bar is full anyway.
  return percent > double(INT_MAX) ? INT_MAX : int(percent);
}

std::string TProcessStatusLogic::DifferenceReport(uint32_t address, uint8_t imageByte,
                                                  uint8_t deviceByte) {
  std::string r = Join(txt::DiffAddr, address);
  r += "\r\n";
  r += Join(txt::DiffImage, imageByte);
  r += "\r\n";
  r += Join(txt::DiffDevice, deviceByte);
  r += "\r\n";
  r += txt::DiffContinue;
  return r;
}

TAnswer TProcessStatusLogic::Ask(TQuestion question, std::string_view text) {
  if (show_) show_();
  return dialog_.Ask(question, text, txt::StopCaption, TIcon::Question);
}

std::optional<TModalResult> TProcessStatusLogic::OnMessage(uint32_t message, uint32_t wParam,
                                                           uint32_t lParam) {
  switch (message) {
    case UM_PROGRESS: {
      if (lParam == 0) return std::nullopt;  // no percentage can be shown
      const int percent = RoundPercent(wParam, lParam);
      bar_ = percent > kBarMax ? kBarMax : percent;
      caption_ = prefix_ + std::to_string(percent) + "%";
      bytes_ = Join(txt::BytesLine, wParam);
      return std::nullopt;
    }
    case UM_DONE:
      return TModalResult::Ok;
    case UM_VERIFY_STARTED:
      prefix_ = txt::PrefixVerify;
      caption_ = prefix_ + "0%";
      errorCount_ = 0;
      errors_ = Join(txt::ErrorsLine, 0);
      errorsVisible_ = true;
      return std::nullopt;
    case UM_WRITE_FINISHED: {
      const TAnswer a = Ask(TQuestion::Verify, txt::AskVerify);
      if (a == TAnswer::Yes) {
        prefix_ = txt::PrefixVerify;
        errorCount_ = 0;
        errors_ = Join(txt::ErrorsLine, 0);
        errorsVisible_ = true;
        if (Worker) Worker->Wake();
        return std::nullopt;
      }
      // The stop request goes first: a worker woken before it would start verifying.
      if (Worker) {
        Worker->Terminate();
        Worker->Wake();
      }
      return TModalResult::Ok;
    }
    case UM_ERROR: {
      if (wParam == 0 && lParam == 0) return TModalResult::Cancel;  // link failure
      ++errorCount_;
      errors_ = Join(txt::ErrorsLine, uint32_t(errorCount_));
      // A difference the list does not hold cannot be shown or judged by the user: stop the
      // check rather than read past the list. The worker stays waiting; the command releases it.
      if (!Worker || lParam >= Worker->Mismatches.size()) {
        if (Worker) Worker->Terminate();
        return TModalResult::Ok;
      }
      const MismatchRecord m = Worker->Mismatches[lParam];
      const std::string report = DifferenceReport(m.Address, m.ImageByte, m.DeviceByte);
      const TAnswer a = Ask(TQuestion::GoOnAfterDifference, report);
      if (a == TAnswer::Yes) {
        Worker->Wake();
        return std::nullopt;
      }
      // The worker stays waiting until the command lets it end.
      Worker->Terminate();
      return TModalResult::Ok;
    }
    default:
      return std::nullopt;
  }
}

std::optional<TModalResult> TProcessStatusLogic::OnStopClick() {
  // Held between two exchanges: the worker sends and posts nothing while the user decides.
  if (Worker) Worker->Suspend();
  const TAnswer a = Ask(TQuestion::Stop, txt::AskStop);
  if (a == TAnswer::Yes) {
    // The stop request goes before the release, so that no further exchange is started.
    if (Worker) {
      Worker->Terminate();
      Worker->ReleaseHold();
    }
    return TModalResult::Ok;
  }
  if (Worker) Worker->ReleaseHold();
  return std::nullopt;
}

}  // namespace dikton

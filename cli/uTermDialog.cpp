#include "uTermDialog.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "uConst_Orbis.h"
#include "uTermText.h"
#include "uWavFile.h"

namespace dikton::cli {

namespace {

constexpr int kBarCells = 20;            // characters of the bar between its brackets
constexpr int kPercentFull = 100;        // per cent
constexpr int kPercentStep = 10;         // per cent between two lines when not on a terminal
constexpr double kBytesPerKiB = 1024;    // bytes
constexpr int kSecondsPerMinute = 60;    // s
constexpr std::string_view kYes = "Да";  // the toolkit's button captions
constexpr std::string_view kNo = "Нет";

std::string Format(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Duration(double seconds) {
  if (!(seconds >= 0) || seconds > 1e7) return "--:--";
  const long s = long(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / kSecondsPerMinute, s % kSecondsPerMinute);
  return text;
}

}  // namespace

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

TTermDialog::TTermDialog(std::ostream& err, TTermSettings settings, TStopRequest& stop,
                         const TClock& clock)
    : err_(err), settings_(settings), stop_(stop), clock_(clock) {}

TAnswer TTermDialog::Message(std::string_view text, std::string_view caption, TIcon icon,
                             TButtons buttons) {
  (void)caption;
  (void)icon;
  // A question without an identifier: nothing to decide by, so the default button.
  const std::optional<TAnswer> answer =
      buttons == TButtons::YesNo ? std::optional(TAnswer::Yes) : std::nullopt;
  Show(text, answer);
  return answer.value_or(TAnswer::Ok);
}

TAnswer TTermDialog::Ask(TQuestion question, std::string_view text, std::string_view caption,
                         TIcon icon) {
  (void)caption;
  (void)icon;
  TAnswer answer = TAnswer::Yes;
  if (question == TQuestion::Verify)
    answer = settings_.Verify ? TAnswer::Yes : TAnswer::No;
  else if (question == TQuestion::GoOnAfterDifference)
    answer = settings_.GoOnAfterDifference ? TAnswer::Yes : TAnswer::No;
  Show(text, answer);
  return answer;
}

void TTermDialog::Show(std::string_view text, std::optional<TAnswer> answer) {
  if (settings_.Hooks.Message) {
    if (!answer) settings_.Hooks.Message(text);
    return;
  }
  ClearLive();
  err_ << TerminalText(text);
  if (answer) err_ << " [" << (*answer == TAnswer::Yes ? kYes : kNo) << "]";
  err_ << '\n';
  DrawLive();
  err_.flush();
}

std::optional<std::string> TTermDialog::OpenFile(const TFileDialogSpec& spec) {
  std::optional<std::string> path = std::move(nextFile_);
  nextFile_.reset();
  if (!path) return std::nullopt;
  std::error_code ec;
  // The dialog would not have let this file be chosen.
  if (spec.MustExist && !std::filesystem::is_regular_file(FsPath(*path), ec)) {
    Note("dikton-cli: " + *path + ": no such file");
    return std::nullopt;
  }
  return path;
}

std::optional<std::string> TTermDialog::SaveFile(const TFileDialogSpec& spec) {
  (void)spec;
  std::optional<std::string> path = std::move(nextFile_);
  nextFile_.reset();
  if (!path) return std::nullopt;
  // The dialog wants an existing folder; replacing a file is what the command line asked for.
  const std::filesystem::path folder = FsPath(*path).parent_path();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
    Note("dikton-cli: " + *path + ": no such folder");
    return std::nullopt;
  }
  return path;
}

std::unique_ptr<TProgressWindow> TTermDialog::CreateProgressWindow() {
  return std::make_unique<TTermProgressWindow>(*this);
}

void TTermDialog::Note(std::string_view text) {
  if (settings_.Hooks.Message) {
    settings_.Hooks.Message(text);
    return;
  }
  ClearLive();
  err_ << TerminalText(text) << '\n';
  DrawLive();
  err_.flush();
}

void TTermDialog::SetLiveLine(std::string line) {
  live_ = std::move(line);
  DrawLive();
  err_.flush();
}

void TTermDialog::EndLiveLine() {
  if (live_.empty()) return;
  err_ << '\n';
  err_.flush();
  live_.clear();
  liveWidth_ = 0;
}

void TTermDialog::ClearLive() {
  if (live_.empty()) return;
  err_ << '\r' << std::string(liveWidth_, ' ') << '\r';
  liveWidth_ = 0;
}

void TTermDialog::DrawLive() {
  if (live_.empty()) return;
  // A line that wrapped could not be redrawn in place: it is cut to the terminal's width.
  if (settings_.Columns > 1) live_ = Cut(live_, size_t(settings_.Columns - 1));
  const size_t width = Width(live_);
  // Spaces cover what a longer line left behind; no terminal escapes are needed.
  err_ << '\r' << live_ << std::string(liveWidth_ > width ? liveWidth_ - width : 0, ' ');
  liveWidth_ = width;
}

TTermProgressWindow::TTermProgressWindow(TTermDialog& dialog)
    : dialog_(dialog), logic_(dialog), passPrefix_(logic_.ProgressPrefix()) {
  dialog_.Stop().Listen([this] {
    std::lock_guard lock(mutex_);
    stopPending_ = true;
    cv_.notify_all();
  });
}

TTermProgressWindow::~TTermProgressWindow() { dialog_.Stop().Listen({}); }

void TTermProgressWindow::Post(uint32_t message, uint32_t wParam, uint32_t lParam) {
  std::lock_guard lock(mutex_);
  queue_.push_back({message, wParam, lParam});
  cv_.notify_all();
}

double TTermProgressWindow::Seconds() const {
  const int64_t f = dialog_.Clock().Frequency();
  return f > 0 ? double(dialog_.Clock().Counter()) / double(f) : 0.0;
}

TModalResult TTermProgressWindow::ShowModal() {
  if (result_) return *result_;
  passStart_ = Seconds();
  lastTenth_ = 0;
  if (dialog_.Stop().Requested()) {  // Ctrl+C before the window was shown
    std::lock_guard lock(mutex_);
    stopPending_ = true;
  }
  while (!result_) {
    TNote note;
    bool stop = false;
    {
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [&] { return stopPending_ || !queue_.empty(); });
      if (stopPending_) {
        stopPending_ = false;
        stop = true;
      } else {
        note = queue_.front();
        queue_.pop_front();
      }
    }
    if (stop) {
      // The stop button's way: hold, ask (Ctrl+C has answered yes), stop, close.
      result_ = logic_.OnStopClick();
      continue;
    }
    result_ = logic_.OnMessage(note.Message, note.WParam, note.LParam);
    if (logic_.ProgressPrefix() != passPrefix_) {  // the read-back has begun
      passPrefix_ = logic_.ProgressPrefix();
      readBack_ = true;
      passStart_ = Seconds();
      lastTenth_ = 0;
    }
    if (note.Message == UM_PROGRESS && note.LParam != 0) Show(note.WParam, note.LParam);
  }
  dialog_.EndLiveLine();
  if (logic_.ErrorsVisible()) dialog_.Note(logic_.ErrorsText());
  return *result_;
}

void TTermProgressWindow::Show(uint32_t done, uint32_t total) {
  if (dialog_.Settings().Quiet) return;
  const double elapsed = Seconds() - passStart_;
  const double rate = elapsed > 0 ? double(done) / elapsed : 0;  // bytes/s
  if (const auto& progress = dialog_.Settings().Hooks.Progress) {
    progress(done, total, rate, logic_.ErrorCount(), readBack_);
    return;
  }
  const double left = rate > 0 && total > done ? double(total - done) / rate : 0;
  const std::string counts = std::to_string(done) + "/" + std::to_string(total);
  const std::string speed = Format("%.1f KiB/s", rate / kBytesPerKiB);
  const int percent = std::clamp(logic_.BarPosition(), 0, kPercentFull);
  if (dialog_.Settings().Terminal) {
    const int filled = percent * kBarCells / kPercentFull;
    std::string line = logic_.ProcessCaption() + " [" + std::string(size_t(filled), '#') +
                       std::string(size_t(kBarCells - filled), '.') + "] " + counts + " B  " +
                       speed + "  ETA " + Duration(rate > 0 ? left : -1);
    if (logic_.ErrorsVisible()) line += "  " + logic_.ErrorsText();
    dialog_.SetLiveLine(std::move(line));
    return;
  }
  const int tenth = percent / kPercentStep;
  if (tenth <= lastTenth_) return;
  lastTenth_ = tenth;
  std::string line = logic_.ProcessCaption() + "  " + counts + " B  " + speed;
  if (logic_.ErrorsVisible()) line += "  " + logic_.ErrorsText();
  dialog_.Note(line);
}

}  // namespace dikton::cli

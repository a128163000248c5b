#include "uStationView.h"

#include <algorithm>
#include <cstdio>

#include "uConst_Orbis.h"
#include "uTermText.h"

namespace dikton::cli {
namespace {

constexpr int kBarCells = 10;          // characters of a row's bar between its brackets
constexpr int kPercentFull = 100;      // per cent
constexpr int kTenth = 10;             // per cent between two lines off a terminal
constexpr double kBytesPerKiB = 1024;  // bytes

std::string Pad(std::string s, size_t chars) {
  const size_t w = Width(s);
  if (w < chars) s.append(chars - w, ' ');
  return s;
}

int Percent(const TPortRow& r) {
  if (r.Total == 0) return 0;
  return int(std::min<uint64_t>(uint64_t(r.Done) * kPercentFull / r.Total, kPercentFull));
}

bool Ended(TStationPhase p) { return p == TStationPhase::Done || p == TStationPhase::Failed; }

std::string Printf(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// "\r\n" as the message boxes break lines: one line in a row.
std::string OneLine(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    out += text[i] == '\n' ? ' ' : text[i];
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();  // a box's closing line break
  return out;
}

}  // namespace

std::string TPortRow::Label() const {
  return SharedLine ? Port + " a" + std::to_string(Address) : Port;
}

std::string_view PhaseText(TStationPhase phase) {
  switch (phase) {
    case TStationPhase::Waiting:
      return "ждёт прибор";
    case TStationPhase::Reading:
      return "чтение";
    case TStationPhase::Writing:
      return "запись";
    case TStationPhase::Verifying:
      return "проверка";
    case TStationPhase::Done:
      return "готово";
    case TStationPhase::Failed:
      return "ошибка";
  }
  return "";
}

TStationView::TStationView(std::ostream& err, bool terminal, int columns,
                           std::function<double()> now)
    : err_(err), terminal_(terminal), columns_(columns), now_(std::move(now)) {}

size_t TStationView::Add(TPortRow row) {
  std::lock_guard lock(mutex_);
  rows_.push_back(std::move(row));
  tenths_.push_back(0);
  phases_.push_back(rows_.back().Phase);
  dirty_ = true;
  return rows_.size() - 1;
}

void TStationView::Update(size_t row, const std::function<void(TPortRow&)>& change) {
  std::lock_guard lock(mutex_);
  if (row >= rows_.size()) return;
  change(rows_[row]);
  dirty_ = true;
  if (!terminal_) {
    LineLocked(row);
    return;
  }
  DrawLocked(false);
}

void TStationView::Message(size_t row, std::string text) {
  std::lock_guard lock(mutex_);
  if (row >= rows_.size()) return;
  text = OneLine(text);
  messages_.emplace_back(rows_[row].Label(), text);
  rows_[row].Message = text;
  dirty_ = true;
  if (!terminal_) {
    err_ << rows_[row].Label() << ": " << text << '\n';
    err_.flush();
    return;
  }
  DrawLocked(true);  // a message is never held back
}

void TStationView::Flush() {
  std::lock_guard lock(mutex_);
  if (terminal_) DrawLocked(true);
}

std::vector<TPortRow> TStationView::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::vector<std::pair<std::string, std::string>> TStationView::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::string TStationView::RowText(const TPortRow& r) {
  std::string line = Pad(r.Port, 8) + " " + Pad("a" + std::to_string(r.Address), 4) + " " +
                     Pad(std::string(PhaseText(r.Phase)), 11);
  auto add = [&line](const std::string& part) { line += (line.back() == ' ' ? "" : "  ") + part; };
  line += ' ';
  // How a job ended stands first, where a narrow terminal does not cut it off.
  if (!r.Outcome.empty()) add(r.Outcome);
  if (r.Total > 0) {
    const int percent = Percent(r);
    const int filled = percent * kBarCells / kPercentFull;
    add("[" + std::string(size_t(filled), '#') + std::string(size_t(kBarCells - filled), '.') +
        "] " + Pad(std::to_string(percent) + "%", 4) + " " + std::to_string(r.Done) + "/" +
        std::to_string(r.Total) + " B  " + Printf("%.1f KiB/s", r.Rate / kBytesPerKiB));
  }
  if (r.Differences > 0) add(std::string(txt::ErrorsLine) + std::to_string(r.Differences));
  if (!r.Message.empty()) add(r.Message);
  return line;
}

void TStationView::DrawLocked(bool force) {
  if (!dirty_) return;
  const double t = now_();
  if (!force && t - lastDraw_ < kRedrawSeconds) return;
  lastDraw_ = t;
  dirty_ = false;
  // Back to the first row, then every row anew on a cleared line.
  if (drawn_ > 0) err_ << "\x1b[" << drawn_ << 'A';
  for (const TPortRow& r : rows_) {
    std::string line = RowText(r);
    // A row that wrapped would push the others down: it is cut to the terminal's width.
    if (columns_ > 1) line = Cut(line, size_t(columns_ - 1));
    err_ << "\r\x1b[2K" << line << '\n';
  }
  drawn_ = rows_.size();
  err_.flush();
}

void TStationView::LineLocked(size_t row) {
  const TPortRow& r = rows_[row];
  if (r.Phase != phases_[row]) {
    phases_[row] = r.Phase;
    tenths_[row] = 0;  // a new pass counts its tenths from the start
    if (Ended(r.Phase)) {
      err_ << r.Label() << ": " << PhaseText(r.Phase) << (r.Outcome.empty() ? "" : " ") << r.Outcome
           << '\n';
      err_.flush();
      return;
    }
  }
  if (Ended(r.Phase) || r.Total == 0) return;
  const int tenth = Percent(r) / kTenth;
  if (tenth <= tenths_[row]) return;
  tenths_[row] = tenth;
  err_ << r.Label() << ": " << PhaseText(r.Phase) << " " << Percent(r) << "%  " << r.Done << "/"
       << r.Total << " B  " << Printf("%.1f KiB/s", r.Rate / kBytesPerKiB);
  if (r.Differences > 0) err_ << "  " << txt::ErrorsLine << r.Differences;
  err_ << '\n';
  err_.flush();
}

void PrintStationSummary(std::ostream& out, const std::vector<TPortRow>& rows, bool loop) {
  int done = 0, failed = 0;
  if (loop) {
    out << Pad("port", 10) << Pad("address", 8) << Pad("done", 8) << "failed\n";
    for (const TPortRow& r : rows) {
      out << Pad(r.Port, 10) << Pad(std::to_string(r.Address), 8)
          << Pad(std::to_string(r.DevicesDone), 8) << r.DevicesFailed << '\n';
      done += r.DevicesDone;
      failed += r.DevicesFailed;
    }
  } else {
    out << Pad("port", 10) << Pad("address", 8) << Pad("outcome", 20) << Pad("differences", 12)
        << "seconds\n";
    for (const TPortRow& r : rows) {
      r.Status == 0 ? ++done : ++failed;
      out << Pad(r.Port, 10) << Pad(std::to_string(r.Address), 8)
          << Pad(r.Outcome.empty() ? "-" : r.Outcome, 20) << Pad(std::to_string(r.Differences), 12)
          << Printf("%.1f", r.Seconds) << '\n';
    }
  }
  out << "devices done: " << done << ", failed: " << failed << '\n';
}

}  // namespace dikton::cli

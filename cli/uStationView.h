// The station's view: one row per port, redrawn in place on a terminal at most ten times a
// second, or one line per port per tenth off a terminal; a message a port's command shows goes
// into that port's row and into the list kept for the end, never between the rows.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace dikton::cli {

enum class TStationPhase { Waiting, Reading, Writing, Verifying, Done, Failed };
// "ждёт прибор", "чтение", "запись", "проверка", "готово", "ошибка".
std::string_view PhaseText(TStationPhase phase);

struct TPortRow {
  std::string Port;  // "COM3", "ttyUSB0"
  int Address = 0;
  TStationPhase Phase = TStationPhase::Waiting;
  uint32_t Done = 0, Total = 0;  // bytes of the current pass
  double Rate = 0;               // bytes per second of the current pass
  size_t Differences = 0;
  std::string Outcome;  // once the job has ended: its word ("done", "no_answer", ...)
  std::string Message;  // the last message the port's command showed
  double Seconds = 0;   // of the job, once it has ended
  int Status = -1;      // the job's exit status, once it has ended
  int DevicesDone = 0, DevicesFailed = 0;  // the jobs that ended so, in a loop more than one
  bool SharedLine = false;  // the port's line has several devices: the address names it too
  // The row's name before its lines and messages: "COM3", or "COM3 a5" on a shared line.
  std::string Label() const;
};

class TStationView {
 public:
  // 'now': seconds on a monotonic clock; the redraws are paced by it.
  TStationView(std::ostream& err, bool terminal, int columns, std::function<double()> now);

  size_t Add(TPortRow row);
  // Changes a row from any thread and redraws when it is time to.
  void Update(size_t row, const std::function<void(TPortRow&)>& change);
  // A message of the row's port: shown in its row, kept for the end.
  void Message(size_t row, std::string text);
  // Draws what has not been drawn yet, whatever the pace.
  void Flush();

  std::vector<TPortRow> Rows() const;
  // Every message shown, in order: the port and the text.
  std::vector<std::pair<std::string, std::string>> Messages() const;

  static constexpr double kRedrawSeconds = 0.1;  // at most ten redraws a second, s

  // One row as the terminal shows it (not cut to the width).
  static std::string RowText(const TPortRow& row);

 private:
  void DrawLocked(bool force);
  void LineLocked(size_t row);

  std::ostream& err_;
  const bool terminal_;
  const int columns_;
  std::function<double()> now_;
  mutable std::mutex mutex_;
  std::vector<TPortRow> rows_;
  std::vector<int> tenths_;            // off a terminal: the last tenth printed per row
  std::vector<TStationPhase> phases_;  // off a terminal: the phase printed last per row
  std::vector<std::pair<std::string, std::string>> messages_;
  size_t drawn_ = 0;  // rows on the screen after the last redraw
  double lastDraw_ = -1e9;
  bool dirty_ = false;
};

// The table at the end: port, address, outcome, differences, seconds (in a loop: port,
// address, the devices done and failed); then the count of devices done and failed.
void PrintStationSummary(std::ostream& out, const std::vector<TPortRow>& rows, bool loop = false);

}  // namespace dikton::cli

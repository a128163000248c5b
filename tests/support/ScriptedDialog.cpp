#include "ScriptedDialog.h"

#include "uConst_Orbis.h"

namespace dikton::test {

void TRecordingTarget::Post(uint32_t message, uint32_t wParam, uint32_t lParam) {
  std::lock_guard lock(mutex_);
  posted_.push_back({message, wParam, lParam});
  cv_.notify_all();
}

std::vector<TPosted> TRecordingTarget::All() const {
  std::lock_guard lock(mutex_);
  return posted_;
}

std::vector<TPosted> TRecordingTarget::Of(uint32_t message) const {
  std::lock_guard lock(mutex_);
  std::vector<TPosted> out;
  for (const auto& p : posted_)
    if (p.Message == message) out.push_back(p);
  return out;
}

void TRecordingTarget::WaitFor(uint32_t message, size_t n) {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [&] {
    size_t c = 0;
    for (const auto& p : posted_) c += p.Message == message;
    return c >= n;
  });
}

TPosted TRecordingTarget::WaitNext(size_t seen) {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [&] { return posted_.size() > seen; });
  return posted_[seen];
}

TQueuedProgressWindow::TQueuedProgressWindow(TScriptedDialog& dialog)
    : dialog_(dialog), logic_(dialog) {}

void TQueuedProgressWindow::Post(uint32_t message, uint32_t wParam, uint32_t lParam) {
  std::lock_guard lock(mutex_);
  queue_.push_back({message, wParam, lParam});
  cv_.notify_all();
}

TModalResult TQueuedProgressWindow::ShowModal() {
  shown_ = true;
  ++dialog_.ProgressWindowsShown;
  for (;;) {
    TPosted m;
    {
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [&] { return !queue_.empty(); });
      m = queue_.front();
      queue_.pop_front();
    }
    dialog_.Handled.push_back(m);
    if (dialog_.StopWhen && dialog_.StopWhen(m)) {
      if (auto r = logic_.OnStopClick()) return *r;
    }
    if (auto r = logic_.OnMessage(m.Message, m.WParam, m.LParam)) return *r;
  }
}

TAnswer TScriptedDialog::Message(std::string_view text, std::string_view caption, TIcon icon,
                                 TButtons buttons) {
  Messages.push_back({std::string(text), std::string(caption), icon, buttons});
  if (buttons == TButtons::Ok) return TAnswer::Ok;
  if (Answers.empty()) return TAnswer::Yes;
  const TAnswer a = Answers.front();
  Answers.pop_front();
  return a;
}

TAnswer TScriptedDialog::Ask(TQuestion question, std::string_view text, std::string_view caption,
                             TIcon icon) {
  Questions.push_back(question);
  return Message(text, caption, icon, TButtons::YesNo);
}

std::optional<std::string> TScriptedDialog::OpenFile(const TFileDialogSpec& spec) {
  OpenSpecs.push_back(spec);
  if (Files.empty()) return std::nullopt;
  auto f = Files.front();
  Files.pop_front();
  return f;
}

std::optional<std::string> TScriptedDialog::SaveFile(const TFileDialogSpec& spec) {
  SaveSpecs.push_back(spec);
  if (Files.empty()) return std::nullopt;
  auto f = Files.front();
  Files.pop_front();
  return f;
}

std::unique_ptr<TProgressWindow> TScriptedDialog::CreateProgressWindow() {
  ++ProgressWindowsCreated;
  return std::make_unique<TQueuedProgressWindow>(*this);
}

std::vector<TShownMessage> TScriptedDialog::CommandMessages() const {
  std::vector<TShownMessage> out;
  for (const auto& m : Messages)
    if (m.Caption != txt::StopCaption) out.push_back(m);
  return out;
}

}  // namespace dikton::test

// TfrmProcessStatus: the progress window shown while a worker runs. It only shows what
// TProcessStatusLogic decides; the worker's notifications reach it as posted Qt events.
#pragma once

#include <QDialog>
#include <QEvent>
#include <memory>

#include "uQtUserDialog.h"
#include "uRV7KPrcStLogic.h"
#include "uUserDialog.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace dikton::gui {

// A worker's notification: the event type is the message number (2024 to 2028 lie in Qt's
// user event range).
class TNotifyEvent : public QEvent {
 public:
  TNotifyEvent(uint32_t message, uint32_t wParam, uint32_t lParam)
      : QEvent(static_cast<QEvent::Type>(message)), WParam(wParam), LParam(lParam) {}
  const uint32_t WParam;
  const uint32_t LParam;
};

class TfrmProcessStatus : public QDialog, public TProgressWindow {
  Q_OBJECT

 public:
  // Asks its questions in message boxes over itself (it stays on top of everything else).
  explicit TfrmProcessStatus(QWidget* owner);
  // 'dialog' asks the window's questions. Either way the window is created hidden.
  TfrmProcessStatus(TUserDialog& dialog, QWidget* owner);

  // Called from the worker's thread: only posts an event to the UI thread.
  void Post(uint32_t message, uint32_t wParam, uint32_t lParam) override;
  void SetWorker(TRV7KSoundThread* worker) override { logic_.SetWorker(worker); }
  TModalResult ShowModal() override;

  TProcessStatusLogic& Logic() { return logic_; }

  // The only ways out are the logic's results; Escape does nothing.
  void reject() override {}

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void StopClick();
  void ShowLogic();
  void Finish(std::optional<TModalResult> result);
  void Build();

  std::unique_ptr<TQtUserDialog> ownDialog_;  // before logic_, which refers to it
  TProcessStatusLogic logic_;
  QLabel* lblProcessCaption_;
  QProgressBar* ProgressBar_;
  QLabel* lblBytesCount_;
  QLabel* lblErrors_;
  QPushButton* BtCancel_;
  bool closed_ = false;
};

}  // namespace dikton::gui

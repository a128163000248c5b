#include "uRV7KPrcSt.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "uConst_Orbis.h"
#include "uQtStrings.h"

namespace dikton::gui {

namespace {
constexpr int kClientWidth = 342, kClientHeight = 102;  // px
constexpr int kBarMax = 100;                            // per cent
constexpr int kIconSize = 16;                           // px, the stop button's bitmap
constexpr uint32_t kFirstMessage = UM_WRITE_FINISHED;
constexpr uint32_t kLastMessage = UM_ERROR;
}  // namespace

TfrmProcessStatus::TfrmProcessStatus(QWidget* owner)
    : QDialog(owner), ownDialog_(std::make_unique<TQtUserDialog>(this)), logic_(*ownDialog_) {
  Build();
}

TfrmProcessStatus::TfrmProcessStatus(TUserDialog& dialog, QWidget* owner)
    : QDialog(owner), logic_(dialog) {
  Build();
}

void TfrmProcessStatus::Build() {
  // Tool window without system menu or caption buttons: only the logic closes it.
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowStaysOnTopHint);
  setWindowTitle(Q(txt::ProgressCaption));
  setFont(DiktonFont());
  setFixedSize(kClientWidth, kClientHeight);

  lblProcessCaption_ = new QLabel(this);
  lblProcessCaption_->setObjectName(QStringLiteral("lblProcessCaption"));
  lblProcessCaption_->move(8, 15);

  ProgressBar_ = new QProgressBar(this);
  ProgressBar_->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar_->setGeometry(8, 32, 326, 16);
  ProgressBar_->setRange(0, kBarMax);
  ProgressBar_->setValue(0);
  ProgressBar_->setTextVisible(false);

  lblBytesCount_ = new QLabel(this);
  lblBytesCount_->setObjectName(QStringLiteral("lblBytesCount"));
  lblBytesCount_->move(10, 59);

  lblErrors_ = new QLabel(this);
  lblErrors_->setObjectName(QStringLiteral("lblErrors"));
  lblErrors_->move(10, 80);

  BtCancel_ = new QPushButton(Q(txt::CancelButton), this);
  BtCancel_->setObjectName(QStringLiteral("BtCancel"));
  BtCancel_->setGeometry(260, 68, 75, 25);
  BtCancel_->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  BtCancel_->setIconSize(QSize(kIconSize, kIconSize));
  BtCancel_->setAutoDefault(false);
  connect(BtCancel_, &QPushButton::clicked, this, [this] { StopClick(); });

  // A question box stays open while the user thinks: the window under it must already show
  // what led to the question (the difference just counted, the last progress).
  logic_.SetShowHook([this] { ShowLogic(); });
  ShowLogic();
}

void TfrmProcessStatus::Post(uint32_t message, uint32_t wParam, uint32_t lParam) {
  QCoreApplication::postEvent(this, new TNotifyEvent(message, wParam, lParam));
}

TModalResult TfrmProcessStatus::ShowModal() {
  if (closed_) return result() == QDialog::Accepted ? TModalResult::Ok : TModalResult::Cancel;
  return exec() == QDialog::Accepted ? TModalResult::Ok : TModalResult::Cancel;
}

bool TfrmProcessStatus::event(QEvent* e) {
  const auto type = static_cast<uint32_t>(e->type());
  if (type >= kFirstMessage && type <= kLastMessage) {
    // Notifications that arrive after the window has closed (the worker was told to stop
    // meanwhile) change nothing.
    if (!closed_) {
      const auto* n = static_cast<TNotifyEvent*>(e);
      const auto result = logic_.OnMessage(type, n->WParam, n->LParam);
      ShowLogic();
      Finish(result);
    }
    return true;
  }
  return QDialog::event(e);
}

void TfrmProcessStatus::StopClick() {
  if (closed_) return;
  const auto result = logic_.OnStopClick();
  ShowLogic();
  Finish(result);
}

void TfrmProcessStatus::ShowLogic() {
  lblProcessCaption_->setText(Q(logic_.ProcessCaption()));
  lblProcessCaption_->adjustSize();
  ProgressBar_->setValue(std::clamp(logic_.BarPosition(), 0, kBarMax));
  lblBytesCount_->setText(Q(logic_.BytesCount()));
  lblBytesCount_->adjustSize();
  lblErrors_->setText(Q(logic_.ErrorsText()));
  lblErrors_->adjustSize();
  lblErrors_->setVisible(logic_.ErrorsVisible());
}

void TfrmProcessStatus::Finish(std::optional<TModalResult> result) {
  if (!result || closed_) return;
  closed_ = true;
  QDialog::done(*result == TModalResult::Ok ? QDialog::Accepted : QDialog::Rejected);
}

void TfrmProcessStatus::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TfrmProcessStatus::closeEvent(QCloseEvent* e) {
  if (closed_)
    QDialog::closeEvent(e);
  else
    e->ignore();
}

}  // namespace dikton::gui

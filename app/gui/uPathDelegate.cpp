#include "uPathDelegate.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include "uGuiTexts.h"
#include "uQtStrings.h"

namespace dikton::gui {

namespace {
constexpr int kBrowseWidth = 20;  // px
}  // namespace

TPathEditor::TPathEditor(int row, QWidget* parent) : QWidget(parent), row_(row) {
  setObjectName(QStringLiteral("tlPathEditor"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("tlPathEdit"));
  edit_->setFrame(false);
  browse_ = new QToolButton(this);
  browse_->setObjectName(QStringLiteral("tlPathBrowse"));
  browse_->setText(Q(guitxt::BrowseButton));
  browse_->setFixedWidth(kBrowseWidth);
  browse_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  browse_->setFocusPolicy(Qt::NoFocus);  // the line edit keeps the focus while browsing
  layout->addWidget(edit_, 1);
  layout->addWidget(browse_);
  setFocusProxy(edit_);
  setAutoFillBackground(true);
  edit_->installEventFilter(this);
  connect(browse_, &QToolButton::clicked, this, [this] { emit BrowseClicked(row_); });
}

bool TPathEditor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Tab:
      case Qt::Key_Backtab:
      case Qt::Key_Enter:
      case Qt::Key_Return:
      case Qt::Key_Escape:
        // Handed to this widget, where the delegate's filter commits or reverts the edit.
        QCoreApplication::sendEvent(this, event);
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

TPathDelegate::TPathDelegate(THooks hooks, QObject* parent)
    : QStyledItemDelegate(parent), hooks_(std::move(hooks)) {}

QWidget* TPathDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                     const QModelIndex& index) const {
  auto* editor = new TPathEditor(index.row(), parent);
  connect(editor, &TPathEditor::BrowseClicked, this, [this](int row) {
    if (hooks_.Browse) hooks_.Browse(row);
  });
  open_ = editor;
  return editor;
}

void TPathDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  auto* path = qobject_cast<TPathEditor*>(editor);
  if (!path) return;
  // The editor always works on the full path, never on the "name [folder]" display form, so
  // posting an unchanged editor cannot turn the display text into the path.
  path->Edit()->setText(hooks_.FullPath ? Q(hooks_.FullPath(index.row()))
                                        : index.data().toString());
}

void TPathDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                 const QModelIndex& index) const {
  auto* path = qobject_cast<TPathEditor*>(editor);
  if (!path) return;
  const std::string text = S(path->Edit()->text());
  const std::string shown = hooks_.Validate ? hooks_.Validate(index.row(), text) : text;
  model->setData(index, Q(shown));
}

void TPathDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                         const QModelIndex&) const {
  editor->setGeometry(option.rect);
}

void TPathDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
  if (open_.data() == editor) open_ = nullptr;
  QStyledItemDelegate::destroyEditor(editor, index);
}

void TPathDelegate::CommitAndClose() {
  if (TPathEditor* editor = open_.data()) {
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

}  // namespace dikton::gui

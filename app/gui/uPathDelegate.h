// The in-place editor of the fragment list's path column: a line edit with a browse button.
#pragma once

#include <QPointer>
#include <QStyledItemDelegate>
#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;
class QToolButton;

namespace dikton::gui {

class TPathEditor : public QWidget {
  Q_OBJECT

 public:
  TPathEditor(int row, QWidget* parent);
  int Row() const { return row_; }
  QLineEdit* Edit() const { return edit_; }
  QToolButton* BrowseButton() const { return browse_; }

 signals:
  void BrowseClicked(int row);

 protected:
  // The keys that end an edit reach the line edit; the delegate watches this widget.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int row_;
  QLineEdit* edit_;
  QToolButton* browse_;
};

class TPathDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  struct THooks {
    std::function<std::string(int row)> FullPath;  // what the editor opens with
    std::function<std::string(int row, const std::string& text)> Validate;  // -> cell text
    std::function<void(int row)> Browse;                                    // the browse button
  };
  TPathDelegate(THooks hooks, QObject* parent);

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override;
  void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

  // The open editor, if any.
  TPathEditor* OpenEditor() const { return open_.data(); }
  // Posts the open editor's text and closes it, as leaving the cell would.
  void CommitAndClose();

 private:
  THooks hooks_;
  mutable QPointer<TPathEditor> open_;
};

}  // namespace dikton::gui

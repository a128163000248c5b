#include "uQtUserDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGridLayout>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSpacerItem>

#include "uQtStrings.h"
#include "uRV7KPrcSt.h"

namespace dikton::gui {

QFont DiktonFont() {
  QFont font = QApplication::font();
  font.setFamilies({font.family(), QStringLiteral("DejaVu Sans")});
  font.setPixelSize(11);
  return font;
}

QStringList QtNameFilters(std::string_view filter) {
  const QStringList parts = Q(filter).split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i].trimmed();
    QString patterns = parts[i + 1].trimmed();
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
#ifndef _WIN32
    if (patterns == QLatin1String("*.*")) patterns = QStringLiteral("*");
#endif
    // Qt takes the patterns from the parentheses of the name; a name like "Все файлы" shows
    // none, and one that shows others than it filters gets its own appended.
    if (!name.endsWith(QLatin1Char(')')) || !name.contains(QLatin1Char('(')))
      name += QStringLiteral(" (") + patterns + QLatin1Char(')');
    else {
      const qsizetype open = name.lastIndexOf(QLatin1Char('('));
      name = name.left(open) + QLatin1Char('(') + patterns + QLatin1Char(')');
    }
    out << name;
  }
  return out;
}

namespace {

// Room a window manager's title bar takes beside the title: the window icon and up to three
// buttons, with their margins.
constexpr int kTitleBarRoom = 120;  // px

// A window manager cuts a title wider than its window ("Остано… цесса" over a difference
// report): the box is made wide enough for its caption in the title bar's usual bold face.
void KeepCaptionWhole(QMessageBox& box) {
  QFont title = QApplication::font();
  title.setBold(true);
  const int width = QFontMetrics(title).horizontalAdvance(box.windowTitle()) + kTitleBarRoom;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// The file dialog's list in Russian whatever the system's locale: the toolkit's model words
// the type ("Folder") and formats the size and the date by the system's locale.
class TRussianFileColumns : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || !files || index.column() == kName)
      return QIdentityProxyModel::data(index, role);
    const QFileInfo info = files->fileInfo(mapToSource(index));
    const QLocale russian = RussianLocale();
    switch (index.column()) {
      case kSize:
        return info.isDir() ? QString() : russian.formattedDataSize(info.size());
      case kType:
        if (info.isDir()) return QStringLiteral("Папка");
        return info.suffix().isEmpty() ? QStringLiteral("Файл")
                                       : QStringLiteral("Файл ") + info.suffix();
      case kDate:
        return russian.toString(info.lastModified(), QLocale::ShortFormat);
      default:
        return QIdentityProxyModel::data(index, role);
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
      switch (section) {
        case kName:
          return QStringLiteral("Имя");
        case kSize:
          return QStringLiteral("Размер");
        case kType:
          return QStringLiteral("Тип");
        case kDate:
          return QStringLiteral("Дата изменения");
        default:
          break;
      }
    }
    return QIdentityProxyModel::headerData(section, orientation, role);
  }

 private:
  // QFileSystemModel's columns.
  static constexpr int kName = 0, kSize = 1, kType = 2, kDate = 3;
};

// A Yes/No question is answered with its buttons only, as with the platform's own message
// box: QMessageBox would take its No button for Escape and for the close box, and so a
// question such as whether to verify a write would be skipped without an answer.
class TQuestionBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->matches(QKeySequence::Cancel) || e->key() == Qt::Key_Escape) {
      e->accept();
      return;
    }
    QMessageBox::keyPressEvent(e);
  }
  void closeEvent(QCloseEvent* e) override {
    if (!clickedButton()) {
      e->ignore();
      return;
    }
    QMessageBox::closeEvent(e);
  }
};

}  // namespace

TAnswer ShowMessageBox(QWidget* owner, std::string_view text, std::string_view caption, TIcon icon,
                       TButtons buttons) {
  QMessageBox::Icon qicon = QMessageBox::NoIcon;
  switch (icon) {
    case TIcon::None:
      qicon = QMessageBox::NoIcon;
      break;
    case TIcon::Warning:
      qicon = QMessageBox::Warning;
      break;
    case TIcon::Error:
    case TIcon::Stop:
      qicon = QMessageBox::Critical;
      break;
    case TIcon::Question:
      qicon = QMessageBox::Question;
      break;
  }
  QString shown = Q(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  const QMessageBox::StandardButtons qbuttons = buttons == TButtons::YesNo
                                                    ? QMessageBox::Yes | QMessageBox::No
                                                    : QMessageBox::StandardButtons(QMessageBox::Ok);
  if (buttons == TButtons::Ok) {
    QMessageBox box(qicon, Q(caption), shown, qbuttons, owner);
    box.setFont(DiktonFont());
    KeepCaptionWhole(box);
    box.exec();
    return TAnswer::Ok;
  }
  TQuestionBox box(qicon, Q(caption), shown, qbuttons, owner);
  box.setFont(DiktonFont());
  KeepCaptionWhole(box);
  // No close box on the frame either.
  box.setWindowFlags((box.windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) &
                     ~Qt::WindowCloseButtonHint);
  return box.exec() == QMessageBox::Yes ? TAnswer::Yes : TAnswer::No;
}

TAnswer TQtUserDialog::Message(std::string_view text, std::string_view caption, TIcon icon,
                               TButtons buttons) {
  return ShowMessageBox(owner_, text, caption, icon, buttons);
}

std::optional<std::string> TQtUserDialog::RunFileDialog(const TFileDialogSpec& spec, bool save) {
  QFileDialog dialog(owner_, Q(spec.Title));
  dialog.setLocale(RussianLocale());
  dialog.setProxyModel(new TRussianFileColumns(&dialog));  // the dialog's own list, if it has one
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save || !spec.MustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  QFileDialog::Options options;
  if (!spec.AskOverwrite) options |= QFileDialog::DontConfirmOverwrite;
  dialog.setOptions(options);
  const QStringList filters = QtNameFilters(spec.Filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index =
        spec.FilterIndex >= 1 && spec.FilterIndex <= filters.size() ? spec.FilterIndex - 1 : 0;
    dialog.selectNameFilter(filters[index]);
  }
  if (!spec.DefaultExt.empty()) dialog.setDefaultSuffix(Q(spec.DefaultExt));
  const QString folder = spec.Folder.empty() ? lastFolder_ : Q(spec.Folder);
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  if (!spec.FileName.empty()) dialog.selectFile(Q(spec.FileName));
  dialog.setFont(DiktonFont());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString chosen = dialog.selectedFiles().first();
  lastFolder_ = QFileInfo(chosen).absolutePath();
  return S(QDir::toNativeSeparators(chosen));
}

std::optional<std::string> TQtUserDialog::OpenFile(const TFileDialogSpec& spec) {
  return RunFileDialog(spec, false);
}

std::optional<std::string> TQtUserDialog::SaveFile(const TFileDialogSpec& spec) {
  return RunFileDialog(spec, true);
}

std::unique_ptr<TProgressWindow> TQtUserDialog::CreateProgressWindow() {
  return std::make_unique<TfrmProcessStatus>(owner_.data());
}

void TQtUserDialog::Repaint() {
  if (owner_) owner_->repaint();
}

}  // namespace dikton::gui

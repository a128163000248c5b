// The file dialog speaks Russian whatever the system's locale: the type, size and date of each
// entry in its list, and its column captions.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTimer>

#include "uQtStrings.h"
#include "uQtUserDialog.h"

namespace dikton::gui {
namespace {

TEST(FileDialogTest, ListInRussianWhateverTheSystemLocale) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("голоса")));
  QFile file(dir.filePath(QStringLiteral("образ.bin")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray(2048, '\x5A'));
  file.close();

  struct TRow {
    QString Size, Type, Date;
  };
  TRow folder, image;
  QStringList captions;
  bool seen = false;
  // Reads the open dialog's list once its model has loaded the folder, then cancels it.
  auto inspect = [&](QFileDialog* d) {
    if (seen) return;
    // The list as the user sees it (the detail view; the list view shows the same model).
    auto* view = d->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
    auto* files = d->findChild<QFileSystemModel*>();
    if (!view || !files) return;
    QAbstractItemModel* shown = view->model();
    auto row = [&](const QString& name) {
      QModelIndex at = files->index(dir.filePath(name));
      if (auto* proxy = qobject_cast<QAbstractProxyModel*>(shown)) at = proxy->mapFromSource(at);
      TRow r;
      r.Size = shown->index(at.row(), 1, at.parent()).data().toString();
      r.Type = shown->index(at.row(), 2, at.parent()).data().toString();
      r.Date = shown->index(at.row(), 3, at.parent()).data().toString();
      return r;
    };
    folder = row(QStringLiteral("голоса"));
    image = row(QStringLiteral("образ.bin"));
    for (int c = 0; c < 4; ++c) captions << shown->headerData(c, Qt::Horizontal).toString();
    seen = true;
    d->reject();
  };
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) {
        auto* files = d->findChild<QFileSystemModel*>();
        if (!files) return d->reject();
        QObject::connect(files, &QFileSystemModel::directoryLoaded, d, [&, d] { inspect(d); });
        // Already loaded before the connection: look now.
        if (files->rowCount(files->index(dir.path())) >= 2) inspect(d);
      }
  });
  TQtUserDialog dialog;
  TFileDialogSpec spec;
  spec.Title = "Загрузка памяти из файла";
  spec.Filter = "Все файлы|*.*";
  spec.Folder = S(dir.path());
  EXPECT_FALSE(dialog.OpenFile(spec).has_value());
  ASSERT_TRUE(seen);
  const QLocale russian = RussianLocale();
  EXPECT_EQ(folder.Type, QStringLiteral("Папка"));
  EXPECT_EQ(image.Type, QStringLiteral("Файл bin"));
  EXPECT_EQ(image.Size, russian.formattedDataSize(2048));
  EXPECT_EQ(image.Date,
            russian.toString(QFileInfo(dir.filePath(QStringLiteral("образ.bin"))).lastModified(),
                             QLocale::ShortFormat));
  EXPECT_EQ(captions, (QStringList{QStringLiteral("Имя"), QStringLiteral("Размер"),
                                   QStringLiteral("Тип"), QStringLiteral("Дата изменения")}));
}

}  // namespace
}  // namespace dikton::gui

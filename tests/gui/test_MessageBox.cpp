// The message boxes of the GUI: a Yes/No question is answered with its buttons only, while a
// box with OK alone still closes with Escape or its close box.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>

#include "uQtUserDialog.h"

namespace dikton::gui {
namespace {

// What the user does first to the open box.
enum class TGesture { Escape, CloseBox };

struct TBoxCase {
  const char* Name;
  TButtons Buttons;
  TGesture Gesture;
  QMessageBox::StandardButton ThenClick;  // NoButton: nothing more
  bool StaysOpen;
  TAnswer Expected;
};

// Shows a real box and acts on it from inside its own event loop. A box that does not close
// as the case expects is clicked away, so a failing case cannot hang the run.
TEST(MessageBoxTest, QuestionsAreAnsweredOnlyByTheirButtons) {
  const TBoxCase cases[] = {
      {"question, Escape, then Yes", TButtons::YesNo, TGesture::Escape, QMessageBox::Yes, true,
       TAnswer::Yes},
      {"question, close box, then Yes", TButtons::YesNo, TGesture::CloseBox, QMessageBox::Yes, true,
       TAnswer::Yes},
      {"question, Escape, then No", TButtons::YesNo, TGesture::Escape, QMessageBox::No, true,
       TAnswer::No},
      {"message, Escape", TButtons::Ok, TGesture::Escape, QMessageBox::NoButton, false,
       TAnswer::Ok},
      {"message, close box", TButtons::Ok, TGesture::CloseBox, QMessageBox::NoButton, false,
       TAnswer::Ok},
  };
  for (const TBoxCase& c : cases) {
    SCOPED_TRACE(c.Name);
    bool found = false, openAfterGesture = false, closeButtonHint = true;
    QTimer::singleShot(0, [&] {
      QPointer<QMessageBox> box;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMessageBox*>(w); m && m->isVisible()) box = m;
      if (!box) return;
      found = true;
      closeButtonHint = box->windowFlags().testFlag(Qt::WindowCloseButtonHint);
      if (c.Gesture == TGesture::Escape)
        QTest::keyClick(box.data(), Qt::Key_Escape);
      else
        box->close();
      openAfterGesture = box && box->isVisible();
      if (openAfterGesture) {
        QAbstractButton* b =
            box->button(c.ThenClick != QMessageBox::NoButton ? c.ThenClick : QMessageBox::Ok);
        if (b) QTest::mouseClick(b, Qt::LeftButton);
      }
    });
    const TAnswer answer = ShowMessageBox(nullptr, "Запись проведена.\r\nВыполнить проверку?",
                                          "Останов процесса", TIcon::Question, c.Buttons);
    ASSERT_TRUE(found);
    EXPECT_EQ(openAfterGesture, c.StaysOpen);
    EXPECT_EQ(answer, c.Expected);
    if (c.Buttons == TButtons::YesNo) {
      EXPECT_FALSE(closeButtonHint);
    }
  }
}

// A box narrower than its caption would show it cut in the window manager's title bar
// ("Остано… цесса" over a difference report): every box is as wide as its caption in the
// title bar's bold face, with room for the title bar's icon and buttons (three of 24 px and
// their margins).
TEST(MessageBoxTest, WideEnoughForItsWholeCaption) {
  struct TCase {
    const char* Text;
    const char* Caption;
    TButtons Buttons;
  };
  const TCase cases[] = {
      {"Ошибка. Адрес: 256\r\nВ файле:       255\r\nВ приборе:     173\r\nПродолжить проверку?",
       "Останов процесса", TButtons::YesNo},
      {"Не могу открыть порт!", "Dikton", TButtons::Ok},
      {"Нет данных", "Сообщение", TButtons::Ok},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Caption);
    int width = 0;
    QTimer::singleShot(0, [&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMessageBox*>(w); m && m->isVisible()) {
          width = m->width();
          QTest::mouseClick(m->buttons().first(), Qt::LeftButton);
        }
    });
    ShowMessageBox(nullptr, c.Text, c.Caption, TIcon::Question, c.Buttons);
    QFont title = QApplication::font();
    title.setBold(true);
    EXPECT_GE(width,
              QFontMetrics(title).horizontalAdvance(QString::fromUtf8(c.Caption)) + 3 * 24 + 40);
  }
}

}  // namespace
}  // namespace dikton::gui

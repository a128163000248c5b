// The progress window widget: layout, notifications posted from another thread, the results
// it closes with, and that nothing but the logic closes it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedDialog.h"
#include "uConst_Orbis.h"
#include "uRV7KPrcSt.h"
#include "uRV7K_v210_Sound.h"

namespace dikton::gui {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

class ProcessStatusTest : public ::testing::Test {
 protected:
  // Posts from a thread of its own, as a worker does; the join makes the events queued.
  void PostFromWorker(uint32_t message, uint32_t wParam, uint32_t lParam) {
    std::thread worker([&] { window.Post(message, wParam, lParam); });
    worker.join();
  }
  QLabel* Label(const char* name) { return window.findChild<QLabel*>(QLatin1String(name)); }

  test::TScriptedDialog dialog;
  TfrmProcessStatus window{dialog, nullptr};
};

TEST_F(ProcessStatusTest, LayoutAndFreshTexts) {
  EXPECT_EQ(window.windowTitle(), U("Выполняется"));
  EXPECT_EQ(window.size(), QSize(342, 102));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_EQ(window.windowType(), Qt::Tool);
  EXPECT_FALSE(window.isVisible());  // created hidden

  EXPECT_EQ(Label("lblProcessCaption")->text(), U("Выполнено: 0%"));
  EXPECT_EQ(Label("lblBytesCount")->text(), U("Передано, байт: 0"));
  EXPECT_TRUE(Label("lblErrors")->isHidden());
  EXPECT_EQ(Label("lblProcessCaption")->pos(), QPoint(8, 15));
  EXPECT_EQ(Label("lblBytesCount")->pos(), QPoint(10, 59));
  EXPECT_EQ(Label("lblErrors")->pos(), QPoint(10, 80));

  auto* bar = window.findChild<QProgressBar*>(QStringLiteral("ProgressBar"));
  EXPECT_EQ(bar->geometry(), QRect(8, 32, 326, 16));
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_EQ(bar->value(), 0);
  auto* stop = window.findChild<QPushButton*>(QStringLiteral("BtCancel"));
  EXPECT_EQ(stop->text(), U("Отмена"));
  EXPECT_EQ(stop->geometry(), QRect(260, 68, 75, 25));
  EXPECT_FALSE(stop->icon().isNull());
}

TEST_F(ProcessStatusTest, ProgressPostedFromWorkerThreadShowsOnUiThread) {
  PostFromWorker(UM_PROGRESS, 512, 1024);
  // Nothing is touched on the worker's thread: the labels change only when the UI thread
  // handles the event.
  EXPECT_EQ(Label("lblBytesCount")->text(), U("Передано, байт: 0"));
  QCoreApplication::sendPostedEvents(&window);
  EXPECT_EQ(Label("lblProcessCaption")->text(), U("Выполнено: 50%"));
  EXPECT_EQ(Label("lblBytesCount")->text(), U("Передано, байт: 512"));
  EXPECT_EQ(window.findChild<QProgressBar*>(QStringLiteral("ProgressBar"))->value(), 50);

  PostFromWorker(UM_PROGRESS, 3000, 1000);  // more than done: text above 100, bar full
  QCoreApplication::sendPostedEvents(&window);
  EXPECT_EQ(Label("lblProcessCaption")->text(), U("Выполнено: 300%"));
  EXPECT_EQ(window.findChild<QProgressBar*>(QStringLiteral("ProgressBar"))->value(), 100);
}

struct TCloseCase {
  uint32_t Message, WParam, LParam;
  TModalResult Expected;
};

class ProcessStatusCloseTest : public ProcessStatusTest,
                               public ::testing::WithParamInterface<TCloseCase> {};

TEST_P(ProcessStatusCloseTest, ShowModalEndsWithTheLogicsResult) {
  const TCloseCase c = GetParam();
  PostFromWorker(UM_PROGRESS, 1, 8);
  PostFromWorker(c.Message, c.WParam, c.LParam);
  PostFromWorker(UM_PROGRESS, 8, 8);  // after the close: ignored
  EXPECT_EQ(window.ShowModal(), c.Expected);
  EXPECT_FALSE(window.isVisible());
  QCoreApplication::sendPostedEvents(&window);
  EXPECT_EQ(Label("lblProcessCaption")->text(), U("Выполнено: 12%"));
}

INSTANTIATE_TEST_SUITE_P(Results, ProcessStatusCloseTest,
                         ::testing::Values(TCloseCase{UM_DONE, 0, 0, TModalResult::Ok},
                                           TCloseCase{UM_ERROR, 0, 0, TModalResult::Cancel}),
                         [](const auto& p) {
                           return std::string(p.param.Message == UM_DONE ? "Done" : "LinkFailure");
                         });

TEST_F(ProcessStatusTest, EscapeAndCloseDoNotEndTheWindow) {
  window.show();
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isVisible());
  window.reject();
  EXPECT_TRUE(window.isVisible());
  // The stop button asks; "No" leaves the window open, "Yes" closes it with OK.
  dialog.Answers = {TAnswer::No, TAnswer::Yes};
  auto* stop = window.findChild<QPushButton*>(QStringLiteral("BtCancel"));
  QTest::mouseClick(stop, Qt::LeftButton);
  ASSERT_EQ(dialog.Messages.size(), 1u);
  EXPECT_EQ(dialog.Messages[0].Text, txt::AskStop);
  EXPECT_EQ(dialog.Messages[0].Caption, txt::StopCaption);
  EXPECT_TRUE(window.isVisible());
  QTest::mouseClick(stop, Qt::LeftButton);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(window.ShowModal(), TModalResult::Ok);
}

TEST_F(ProcessStatusTest, VerifyPassShowsTheDifferenceLine) {
  dialog.Answers = {TAnswer::Yes};
  PostFromWorker(UM_WRITE_FINISHED, 1, 0);
  QCoreApplication::sendPostedEvents(&window);
  EXPECT_FALSE(Label("lblErrors")->isHidden());
  EXPECT_EQ(Label("lblErrors")->text(), U("Ошибок: 0"));
  PostFromWorker(UM_PROGRESS, 3, 8);
  QCoreApplication::sendPostedEvents(&window);
  EXPECT_EQ(Label("lblProcessCaption")->text(), U("Проверка чтением, выполнено: 38%"));
}

// A scripted dialog that looks at the window each time a question opens.
class TPeekingDialog : public test::TScriptedDialog {
 public:
  std::function<void()> Peek;
  TAnswer Message(std::string_view text, std::string_view caption, TIcon icon,
                  TButtons buttons) override {
    if (Peek) Peek();
    return TScriptedDialog::Message(text, caption, icon, buttons);
  }
};

// While a question is open the user reads the window under it: the count of the difference
// being reported, and the progress that came before the question.
TEST(ProcessStatusQuestionsTest, QuestionsOpenOverCurrentTexts) {
  TPeekingDialog dialog;
  TfrmProcessStatus window{dialog, nullptr};
  TRV7KSoundThread worker(nullptr);  // never started: only its mismatch list is read
  worker.Mismatches = {{255, 0, 12288}};
  window.SetWorker(&worker);
  auto* errors = window.findChild<QLabel*>(QStringLiteral("lblErrors"));
  auto* caption = window.findChild<QLabel*>(QStringLiteral("lblProcessCaption"));
  auto* bytes = window.findChild<QLabel*>(QStringLiteral("lblBytesCount"));
  std::vector<std::string> seen;
  dialog.Peek = [&] {
    seen.push_back((caption->text() + QStringLiteral(" | ") + bytes->text() +
                    QStringLiteral(" | ") +
                    (errors->isHidden() ? QStringLiteral("-") : errors->text()))
                       .toStdString());
  };
  dialog.Answers = {TAnswer::Yes, TAnswer::Yes, TAnswer::No};

  window.Post(UM_PROGRESS, 1024, 1024);
  window.Post(UM_WRITE_FINISHED, 1, 0);
  window.Post(UM_PROGRESS, 256, 1024);
  window.Post(UM_ERROR, 1, 0);
  QCoreApplication::sendPostedEvents(&window);
  QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("BtCancel")), Qt::LeftButton);

  EXPECT_EQ(seen, (std::vector<std::string>{
                      "Выполнено: 100% | Передано, байт: 1024 | -",
                      "Проверка чтением, выполнено: 25% | Передано, байт: 256 | Ошибок: 1",
                      "Проверка чтением, выполнено: 25% | Передано, байт: 256 | Ошибок: 1",
                  }));
  EXPECT_EQ(errors->text(), U("Ошибок: 1"));
  window.SetWorker(nullptr);
}

}  // namespace
}  // namespace dikton::gui

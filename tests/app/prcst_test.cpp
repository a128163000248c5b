#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "ScriptedDialog.h"
#include "uConst_Orbis.h"
#include "uRV7KPrcStLogic.h"
#include "uRV7K_v210_Sound.h"

namespace dikton {
namespace {

using test::TScriptedDialog;

// A worker whose job only waits the way a writing worker does: for a wake-up after a
// question, then at a hold point. It records whether a stop request was in force each time it
// went on, so a test sees what the window's answers did to a running thread.
class TProbeWorker : public TRV7KSoundThread {
 public:
  TProbeWorker() : TRV7KSoundThread(nullptr) {}
  ~TProbeWorker() override { Shutdown(); }

  // True once the job has taken n steps. The limit only bounds a failing test; a passing one
  // never waits for it.
  bool ReachedStep(size_t n) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kFailAfter, [&] { return terminatedAt_.size() >= n; });
  }
  bool TerminatedAtStep(size_t n) {
    std::lock_guard lock(mutex_);
    return terminatedAt_.at(n - 1);
  }

 protected:
  void Execute() override {
    Step();  // 1: started, about to wait for a wake-up
    WaitForWake();
    Step();  // 2: woken
    HoldPoint();
    Step();  // 3: past a hold point
  }

 private:
  static constexpr std::chrono::seconds kFailAfter{30};  // s, only a failing test waits
  void Step() {
    const bool t = Terminated();
    std::lock_guard lock(mutex_);
    terminatedAt_.push_back(t);
    cv_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<bool> terminatedAt_;
};

class ProcessStatusTest : public ::testing::Test {
 protected:
  ProcessStatusTest() { logic.SetWorker(&worker); }
  // The one question shown so far, checked for caption, icon and buttons.
  const test::TShownMessage& OnlyQuestion() {
    EXPECT_EQ(dialog.Messages.size(), 1u);
    const auto& m = dialog.Messages.back();
    EXPECT_EQ(m.Caption, "Останов процесса");
    EXPECT_EQ(m.Icon, TIcon::Question);
    EXPECT_EQ(m.Buttons, TButtons::YesNo);
    return m;
  }
  void EnterVerify() {
    dialog.Answers.push_back(TAnswer::Yes);
    ASSERT_FALSE(logic.OnMessage(UM_WRITE_FINISHED, 1, 0));
    dialog.Messages.clear();
  }

  TScriptedDialog dialog;
  TProbeWorker worker;
  TProcessStatusLogic logic{dialog};
};

TEST_F(ProcessStatusTest, FreshWindowShowsZeroAndNoErrorLine) {
  EXPECT_EQ(logic.ProcessCaption(), "Выполнено: 0%");
  EXPECT_EQ(logic.BytesCount(), "Передано, байт: 0");
  EXPECT_EQ(logic.ProgressPrefix(), "Выполнено: ");
  EXPECT_FALSE(logic.ErrorsVisible());
  EXPECT_EQ(logic.BarPosition(), 0);
  EXPECT_EQ(logic.ErrorCount(), 0);
}

TEST(RoundPercentTest, HalvesGoToTheEvenNeighbour) {
  struct Case {
    uint32_t done, total;
    int percent;
  };
  const Case cases[] = {
      {512, 1024, 50},
      {1, 8, 12},
      {3, 8, 38},
      {5, 8, 62},
      {7, 8, 88},
      {1, 3, 33},
      {2, 3, 67},
      {0, 9, 0},
      {1024, 1024, 100},
      {3, 2, 150},  // more than all: above 100
      // done x 100 is a 32-bit product: 4294967300 wraps to 4.
      {42949673, 1, 4},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TProcessStatusLogic::RoundPercent(c.done, c.total), c.percent)
        << c.done << "/" << c.total;
}

TEST_F(ProcessStatusTest, ProgressUpdatesTextsAndBarAndIgnoresZeroTotal) {
  EXPECT_FALSE(logic.OnMessage(UM_PROGRESS, 512, 1024));
  EXPECT_EQ(logic.ProcessCaption(), "Выполнено: 50%");
  EXPECT_EQ(logic.BytesCount(), "Передано, байт: 512");
  EXPECT_EQ(logic.BarPosition(), 50);

  EXPECT_FALSE(logic.OnMessage(UM_PROGRESS, 2048, 1024));
  EXPECT_EQ(logic.ProcessCaption(), "Выполнено: 200%");
  EXPECT_EQ(logic.BytesCount(), "Передано, байт: 2048");
  EXPECT_EQ(logic.BarPosition(), 100);

  EXPECT_FALSE(logic.OnMessage(UM_PROGRESS, 7, 0));
  EXPECT_EQ(logic.ProcessCaption(), "Выполнено: 200%");
  EXPECT_EQ(logic.BytesCount(), "Передано, байт: 2048");

  EXPECT_FALSE(logic.OnMessage(2027, 1, 1));  // not a notification of this window
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_EQ(logic.OnMessage(UM_DONE, 0, 0), TModalResult::Ok);
}

TEST_F(ProcessStatusTest, VerifyYesWakesTheWorkerIntoTheVerifyPass) {
  worker.Resume();
  ASSERT_TRUE(worker.ReachedStep(1));
  logic.OnMessage(UM_PROGRESS, 1000, 1000);
  dialog.Answers.push_back(TAnswer::Yes);

  EXPECT_FALSE(logic.OnMessage(UM_WRITE_FINISHED, 1, 0));
  EXPECT_EQ(OnlyQuestion().Text, "Запись проведена.\r\nВыполнить проверку?");
  ASSERT_TRUE(worker.ReachedStep(2));
  EXPECT_FALSE(worker.TerminatedAtStep(2));
  EXPECT_TRUE(logic.ErrorsVisible());
  EXPECT_EQ(logic.ErrorsText(), "Ошибок: 0");
  EXPECT_EQ(logic.ProcessCaption(), "Выполнено: 100%");  // kept until the next progress

  logic.OnMessage(UM_PROGRESS, 1, 8);
  EXPECT_EQ(logic.ProcessCaption(), "Проверка чтением, выполнено: 12%");
}

TEST_F(ProcessStatusTest, VerifyNoClosesAndTheWorkerWakesAlreadyStopped) {
  worker.Resume();
  ASSERT_TRUE(worker.ReachedStep(1));
  dialog.Answers.push_back(TAnswer::No);

  EXPECT_EQ(logic.OnMessage(UM_WRITE_FINISHED, 1, 0), TModalResult::Ok);
  ASSERT_TRUE(worker.ReachedStep(2));
  // Woken with the stop request in force: it must not begin to verify.
  EXPECT_TRUE(worker.TerminatedAtStep(2));
  EXPECT_FALSE(logic.ErrorsVisible());
}

TEST_F(ProcessStatusTest, DifferenceIsCountedAndReportedExactly) {
  worker.Mismatches = {{255, 0, 12288}, {1, 2, 3}};
  EnterVerify();
  dialog.Answers = {TAnswer::Yes, TAnswer::No};

  EXPECT_FALSE(logic.OnMessage(UM_ERROR, 1, 0));
  EXPECT_EQ(OnlyQuestion().Text,
            "Ошибка. Адрес: 12288\r\nВ файле:       255\r\nВ приборе:     0\r\n"
            "Продолжить проверку?");
  EXPECT_EQ(logic.ErrorsText(), "Ошибок: 1");
  EXPECT_FALSE(worker.Terminated());

  EXPECT_EQ(logic.OnMessage(UM_ERROR, 1, 1), TModalResult::Ok);
  EXPECT_EQ(dialog.Messages.back().Text, TProcessStatusLogic::DifferenceReport(3, 1, 2));
  EXPECT_EQ(logic.ErrorsText(), "Ошибок: 2");
  EXPECT_EQ(logic.ErrorCount(), 2);
  EXPECT_TRUE(worker.Terminated());
}

// The window is told to show the logic's texts before every question, and the texts are
// those of the notification that asks it: the first difference is counted before its report.
TEST_F(ProcessStatusTest, EveryQuestionIsAskedOverCurrentTexts) {
  struct TShown {
    size_t QuestionsBefore;
    std::string Caption, Bytes, Errors;
    bool ErrorsVisible;
  };
  std::vector<TShown> shown;
  logic.SetShowHook([&] {
    shown.push_back({dialog.Messages.size(), logic.ProcessCaption(), logic.BytesCount(),
                     logic.ErrorsText(), logic.ErrorsVisible()});
  });
  worker.Mismatches = {{255, 0, 12288}};
  dialog.Answers = {TAnswer::Yes, TAnswer::Yes, TAnswer::No};

  logic.OnMessage(UM_PROGRESS, 1024, 1024);
  EXPECT_TRUE(shown.empty());  // no question: the window shows the texts on its own
  EXPECT_FALSE(logic.OnMessage(UM_WRITE_FINISHED, 1, 0));
  logic.OnMessage(UM_PROGRESS, 256, 1024);
  EXPECT_FALSE(logic.OnMessage(UM_ERROR, 1, 0));
  EXPECT_FALSE(logic.OnStopClick());

  const std::vector<TShown> expected{
      {0, "Выполнено: 100%", "Передано, байт: 1024", "", false},
      {1, "Проверка чтением, выполнено: 25%", "Передано, байт: 256", "Ошибок: 1", true},
      {2, "Проверка чтением, выполнено: 25%", "Передано, байт: 256", "Ошибок: 1", true},
  };
  ASSERT_EQ(shown.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown[i].QuestionsBefore, expected[i].QuestionsBefore);
    EXPECT_EQ(shown[i].Caption, expected[i].Caption);
    EXPECT_EQ(shown[i].Bytes, expected[i].Bytes);
    EXPECT_EQ(shown[i].Errors, expected[i].Errors);
    EXPECT_EQ(shown[i].ErrorsVisible, expected[i].ErrorsVisible);
  }
}

TEST_F(ProcessStatusTest, VerifyYesResetsTheCount) {
  worker.Mismatches = {{1, 2, 3}};
  logic.OnMessage(UM_ERROR, 1, 0);
  logic.OnMessage(UM_ERROR, 1, 0);
  ASSERT_EQ(logic.ErrorCount(), 2);
  EnterVerify();
  EXPECT_EQ(logic.ErrorCount(), 0);
  EXPECT_EQ(logic.ErrorsText(), "Ошибок: 0");
  EXPECT_EQ(logic.ProgressPrefix(), "Проверка чтением, выполнено: ");
}

TEST_F(ProcessStatusTest, LinkFailureClosesWithCancelEvenWhileVerifying) {
  EnterVerify();
  EXPECT_EQ(logic.OnMessage(UM_ERROR, 0, 0), TModalResult::Cancel);
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_EQ(logic.ErrorCount(), 0);
}

TEST_F(ProcessStatusTest, DifferenceOutsideTheListStopsWithoutReadingIt) {
  worker.Mismatches = {{1, 2, 3}};
  EXPECT_EQ(logic.OnMessage(UM_ERROR, 1, 1), TModalResult::Ok);
  EXPECT_EQ(logic.OnMessage(UM_ERROR, 1, 0xFFFFFFFF), TModalResult::Ok);
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_TRUE(worker.Terminated());
}

TEST_F(ProcessStatusTest, StopNoLeavesEverythingAndReleasesTheHold) {
  worker.Resume();
  ASSERT_TRUE(worker.ReachedStep(1));
  logic.OnMessage(UM_PROGRESS, 3, 8);
  dialog.Answers.push_back(TAnswer::No);

  EXPECT_FALSE(logic.OnStopClick());
  EXPECT_EQ(OnlyQuestion().Text, "Вы действительно хотите остановить процесс?");
  EXPECT_EQ(logic.ProcessCaption(), "Выполнено: 38%");
  EXPECT_EQ(logic.BytesCount(), "Передано, байт: 3");
  EXPECT_FALSE(logic.ErrorsVisible());
  EXPECT_FALSE(worker.Terminated());

  worker.Wake();  // the job's own wake-up; the hold must be gone by now
  ASSERT_TRUE(worker.ReachedStep(3));
  EXPECT_FALSE(worker.TerminatedAtStep(3));
}

TEST_F(ProcessStatusTest, StopYesClosesAndTheWorkerGoesOnAlreadyStopped) {
  worker.Resume();
  ASSERT_TRUE(worker.ReachedStep(1));
  dialog.Answers.push_back(TAnswer::Yes);

  EXPECT_EQ(logic.OnStopClick(), TModalResult::Ok);
  OnlyQuestion();
  worker.Wake();
  ASSERT_TRUE(worker.ReachedStep(3));
  EXPECT_TRUE(worker.TerminatedAtStep(3));
}

TEST(ProcessStatusNoWorkerTest, QuestionsWithoutAWorkerDoNotCrash) {
  TScriptedDialog dialog;
  TProcessStatusLogic logic(dialog);
  dialog.Answers = {TAnswer::Yes, TAnswer::No, TAnswer::Yes};
  EXPECT_FALSE(logic.OnMessage(UM_WRITE_FINISHED, 1, 0));
  EXPECT_EQ(logic.OnMessage(UM_WRITE_FINISHED, 1, 0), TModalResult::Ok);
  EXPECT_EQ(logic.OnStopClick(), TModalResult::Ok);
  EXPECT_EQ(logic.OnMessage(UM_ERROR, 1, 0), TModalResult::Ok);
}

}  // namespace
}  // namespace dikton

// The main window against the real commands: start-up state, menu, status bar, the settings
// dialog, the range request against the virtual device, the error box, the path editor.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "ScriptedDialog.h"
#include "SimFixture.h"
#include "Transcript.h"
#include "uConst_Orbis.h"
#include "uMainForm.h"
#include "uPathDelegate.h"
#include "uRV7KPrcSt.h"
#include "uWavFile.h"
#include "ufrmSettings.h"

namespace dikton::gui {
namespace {

QString U(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// A folder of its own for one test, removed afterwards.
class TScratchDir {
 public:
  TScratchDir() {
    char pattern[] = "/tmp/dikton-gui-XXXXXX";
    path_ = ::mkdtemp(pattern) ? pattern : "";
  }
  ~TScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct TErrorBoxShown {
  std::string Text, Caption;
};

class MainFormTest : public test::TSimTest {
 protected:
  // A window over COM1 as the test mapped it; the error boxes are recorded.
  TMainForm& Form() {
    if (!form_) {
      Link.Ports = &Ports;
      form_ = std::make_unique<TMainForm>(
          dialog, Link, [this](const std::string& text, const std::string& caption) {
            errorBoxes.push_back({text, caption});
          });
    }
    return *form_;
  }
  QAction* Item(const char* name) { return Form().findChild<QAction*>(QLatin1String(name)); }
  QString Panel(int i) {
    return Form().findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i))->text();
  }
  std::vector<QString> Panels() { return {Panel(0), Panel(1), Panel(2)}; }
  // Runs 'inside' once the next modal dialog is up, from the dialog's own event loop.
  static void WhenModal(std::function<void(QWidget*)> inside) {
    QTimer::singleShot(0, [inside = std::move(inside)] {
      QWidget* modal = QApplication::activeModalWidget();
      ASSERT_NE(modal, nullptr);
      inside(modal);
    });
  }

  test::TScriptedDialog dialog;
  std::vector<TErrorBoxShown> errorBoxes;
  std::unique_ptr<TMainForm> form_;
};

// The window's icon name is the application title: X11 (_NET_WM_ICON_NAME) shows it where a
// window is named by its icon (an iconified window, window lists that read it); the title stays
// the long one.
TEST_F(MainFormTest, IconNameIsTheApplicationTitle) {
  TMainForm& form = Form();
  form.show();
  EXPECT_EQ(form.windowIconText(), U("Dikton"));
  EXPECT_EQ(form.windowTitle(),
            U("Dikton - Программа для работы с памятью RV-7K (Для внутреннего использования)"));
}

TEST_F(MainFormTest, StartUpWindowMenuAndStatusBar) {
  TMainForm& form = Form();
  EXPECT_EQ(form.windowTitle(),
            U("Dikton - Программа для работы с памятью RV-7K (Для внутреннего использования)"));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());  // the user cannot resize it
  EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_EQ(form.height() - form.menuBar()->sizeHint().height(), 461);
  EXPECT_EQ(form.width(), 767);

  struct TItem {
    const char* Name;
    const char* Text;
    bool Enabled;
  };
  const TItem items[] = {
      {"CreateCRCfile", "Создать СRC-файл", false},
      {"FileSave", "Сохранить", true},
      {"FileOpen", "Открыть", true},
      {"SavePaths", "Сохранить список", true},
      {"OpenPaths", "Открыть список", true},
      {"ProgSettings", "Настройки", true},
      {"ExitProg", "Выход", true},
      {"ReadAllMemory", "Считать всю", true},
      {"WriteAll", "Записать всю", true},
      {"WriteSoundMem", "Записать звуки", true},
      {"CheckMemory", "Проверить память", false},
      {"GetSizeSoundMem", "Запросить диапазон", true},
  };
  for (const TItem& i : items) {
    SCOPED_TRACE(i.Name);
    QAction* action = Item(i.Name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), U(i.Text));
    EXPECT_EQ(action->isEnabled(), i.Enabled);
    EXPECT_TRUE(action->shortcut().isEmpty());
  }
  // Cyrillic С before the Latin RC.
  EXPECT_EQ(Item("CreateCRCfile")->text().at(8), QChar(0x0421));

  QStatusBar* bar = form.findChild<QStatusBar*>(QStringLiteral("StatusBar"));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->height(), 19);
  EXPECT_EQ(Panels(),
            (std::vector<QString>{U("StartSoundAddr=0"), U("EndSoundAddr=0"), U("Size=1048576")}));
  EXPECT_TRUE(Panel(3).isEmpty());
  EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("StatusPanel0"))->width(), 180);
  EXPECT_TRUE(form.Commands().State.MemoryImage.empty());
}

TEST_F(MainFormTest, FragmentListColumnsAndNames) {
  QTableWidget* list = Form().tlSound();
  EXPECT_EQ(list->objectName(), QStringLiteral("tlSound"));
  EXPECT_EQ(list->geometry(), QRect(2, 2, 759, 431));
  ASSERT_EQ(list->rowCount(), 76);
  ASSERT_EQ(list->columnCount(), 3);
  const char* captions[] = {"Название", "Путь к фрагменту", "Размер фрагмента"};
  const int widths[] = {99, 485, 115};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(list->horizontalHeaderItem(c)->text(), U(captions[c]));
    EXPECT_EQ(list->columnWidth(c), widths[c]);
  }
  EXPECT_TRUE(list->horizontalHeader()->sectionsMovable());
  EXPECT_TRUE(list->showGrid());
  EXPECT_EQ(list->item(0, 0)->text(), U("Внимание поступило сообще..."));
  EXPECT_EQ(list->item(20, 0)->text(), U("Двадцать+"));
  EXPECT_EQ(list->item(75, 0)->text(), U("Девяносто"));
  for (int r : {0, 20, 75}) {
    EXPECT_TRUE(list->item(r, 1)->text().isEmpty());
    EXPECT_TRUE(list->item(r, 2)->text().isEmpty());
    EXPECT_FALSE(list->item(r, 0)->flags().testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(list->item(r, 1)->flags().testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(list->item(r, 2)->flags().testFlag(Qt::ItemIsEditable));
  }
}

TEST_F(MainFormTest, SettingsDialogOkStoresCancelKeeps) {
  Form();
  // OK after changing both fields stores them.
  WhenModal([](QWidget* modal) {
    auto* settings = qobject_cast<TfrmSettings*>(modal);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->windowTitle(), U("Настройки программы"));
    EXPECT_EQ(settings->ASSpinEdit1->value(), 1);
    EXPECT_EQ(settings->ASSpinEdit2->value(), 127);
    settings->ASSpinEdit1->setValue(5);
    settings->ASSpinEdit2->setValue(33);
    settings->btnOK->click();
  });
  Item("ProgSettings")->trigger();
  EXPECT_EQ(Form().Commands().State.PortNumber, 5);
  EXPECT_EQ(Form().Commands().State.DeviceAddress, 33);

  // The next opening shows them; ОТМЕНА after changing both keeps them.
  WhenModal([](QWidget* modal) {
    auto* settings = qobject_cast<TfrmSettings*>(modal);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->ASSpinEdit1->value(), 5);
    EXPECT_EQ(settings->ASSpinEdit2->value(), 33);
    settings->ASSpinEdit1->setValue(9);
    settings->ASSpinEdit2->setValue(99);
    settings->btnCancel->click();
  });
  Item("ProgSettings")->trigger();
  EXPECT_EQ(Form().Commands().State.PortNumber, 5);
  EXPECT_EQ(Form().Commands().State.DeviceAddress, 33);
}

TEST(SettingsDialog, LayoutRangesAndPortDevice) {
  TPortMap ports;
  ports.Map(3, "/dev/pts/7");
  TfrmSettings settings(ports, nullptr);
  EXPECT_EQ(settings.size(), QSize(243, 130));
  EXPECT_EQ(settings.btnOK->text(), U("ОК"));
  EXPECT_EQ(settings.btnCancel->text(), U("ОТМЕНА"));
  const auto labels = settings.findChildren<QLabel*>();
  const auto bold = [&](const char* text) {
    for (QLabel* l : labels)
      if (l->text() == U(text)) return l->font().bold();
    return false;
  };
  EXPECT_TRUE(bold("Номер  СОМ-порта:"));
  EXPECT_TRUE(bold("Адрес прибора:"));

  struct TCase {
    QSpinBox* Field;
    int Set, Shown;
  };
  for (const TCase& c :
       {TCase{settings.ASSpinEdit1, 0, 1}, TCase{settings.ASSpinEdit1, 17, 16},
        TCase{settings.ASSpinEdit1, 16, 16}, TCase{settings.ASSpinEdit2, 0, 1},
        TCase{settings.ASSpinEdit2, 128, 127}, TCase{settings.ASSpinEdit2, 1, 1}}) {
    c.Field->setValue(c.Set);
    EXPECT_EQ(c.Field->value(), c.Shown) << c.Field->objectName().toStdString() << " " << c.Set;
  }

  // Tab order: ОК, ОТМЕНА, port, address (the spin fields' inner line edits lie between).
  const std::vector<QWidget*> tabOrder{settings.btnOK, settings.btnCancel, settings.ASSpinEdit1,
                                       settings.ASSpinEdit2};
  std::vector<QWidget*> chain;
  QWidget* w = settings.btnOK;
  do {
    if (std::find(tabOrder.begin(), tabOrder.end(), w) != tabOrder.end()) chain.push_back(w);
    w = w->nextInFocusChain();
  } while (w != settings.btnOK && chain.size() < 8);
  EXPECT_EQ(chain, tabOrder);

  // The device the chosen number opens.
  settings.ASSpinEdit1->setValue(3);
  EXPECT_EQ(settings.lblPortDevice->text(), QStringLiteral("/dev/pts/7"));
  settings.ASSpinEdit1->setValue(2);
  EXPECT_EQ(settings.lblPortDevice->text(), U(ports.DeviceFor(2)));
}

TEST_F(MainFormTest, RangeRequestShowsTheDevicesRange) {
  rv7ksim::TSimOptions o = test::SmallDevice(0x3000, 0xFFFFF);
  StartDevice(o);
  Item("GetSizeSoundMem")->trigger();
  EXPECT_EQ(Panels(), (std::vector<QString>{U("StartSoundAddr=12288"), U("EndSoundAddr=1048575"),
                                            U("Size=1036288")}));
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_TRUE(errorBoxes.empty());
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 1u);
}

TEST_F(MainFormTest, SilentDeviceChangesNothingAndSaysNothing) {
  StartDevice(test::SmallDevice(0x3000, 0xFFFFF));
  rv7ksim::TFault silence;
  silence.Kind = rv7ksim::TFaultKind::Silence;
  silence.Times = 0;  // every time
  Device->AddFault(silence);
  Item("GetSizeSoundMem")->trigger();
  EXPECT_EQ(Panels(),
            (std::vector<QString>{U("StartSoundAddr=0"), U("EndSoundAddr=0"), U("Size=1048576")}));
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_TRUE(errorBoxes.empty());
  EXPECT_EQ(Device->RequestCount(kCmdRangeQuery), 3u);
  EXPECT_TRUE(Form().Commands().State.MemoryImage.empty());
}

TEST_F(MainFormTest, PortThatCannotBeOpenedGoesToTheErrorBox) {
  Ports.Map(1, "/nonexistent/dikton-port");
  Form().Commands().State.MemoryImage.assign(16, 0xAA);
  Form().Commands().State.ImageFromDevice = true;
  Item("GetSizeSoundMem")->trigger();
  ASSERT_EQ(errorBoxes.size(), 1u);
  EXPECT_EQ(errorBoxes[0].Text, "Не могу открыть порт!");
  EXPECT_EQ(errorBoxes[0].Caption, "Dikton");
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_TRUE(Form().Commands().State.MemoryImage.empty());
  EXPECT_FALSE(Form().Commands().State.ImageFromDevice);
  EXPECT_EQ(Panel(0), U("StartSoundAddr=0"));
}

TEST(MainFormErrorBox, WithoutOwnBoxTheDialogShowsItWithAStopIcon) {
  test::TScriptedDialog dialog;
  TPortMap ports;
  ports.Map(1, "/nonexistent/dikton-port");
  TLinkContext link;
  link.Ports = &ports;
  TMainForm form(dialog, link);
  form.findChild<QAction*>(QStringLiteral("ReadAllMemory"))->trigger();
  const std::vector<test::TShownMessage> shown = dialog.CommandMessages();
  ASSERT_EQ(shown.size(), 1u);
  const test::TShownMessage& m = shown[0];
  EXPECT_EQ(m.Text, "Не могу открыть порт!");
  EXPECT_EQ(m.Caption, "Dikton");
  EXPECT_EQ(m.Icon, TIcon::Stop);
  EXPECT_EQ(m.Buttons, TButtons::Ok);
}

// The path cell: a click opens its editor, Enter posts the text through the validation, the
// cell shows the display form and a click into it again shows the full path.
class PathEditorTest : public MainFormTest {
 protected:
  void SetUp() override {
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  }
  void ClickCell(int row, int column) {
    QTableWidget* list = Form().tlSound();
    list->scrollToItem(list->item(row, column));
    const QRect r = list->visualItemRect(list->item(row, column));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
  }
  TPathEditor* Editor() { return Form().findChild<TPathEditor*>(); }
  // Lets the view finish what it queued (closing and deleting an editor).
  static void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
};

TEST_F(PathEditorTest, TypedPathIsValidatedAndShownInDisplayForm) {
  ClickCell(4, 0);  // a name cell: no editor
  EXPECT_EQ(Editor(), nullptr);
  ClickCell(4, 1);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->Row(), 4);
  EXPECT_TRUE(Editor()->Edit()->text().isEmpty());
  const std::string typed = "/snd/four.wav";
  Editor()->Edit()->setText(U(typed));
  QTest::keyClick(Editor()->Edit(), Qt::Key_Return);
  Settle();
  EXPECT_EQ(Editor(), nullptr);
  QTableWidget* list = Form().tlSound();
  EXPECT_EQ(list->item(4, 1)->text(), U(DisplayForm(typed)));
  const TStringCell& cell = Form().Commands().Catalogue.Row(4).Cell;
  EXPECT_EQ(cell.Path, typed);
  EXPECT_EQ(cell.Loaded, 0);

  ClickCell(4, 1);  // the current cell again: opens at once, with the full path
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->Edit()->text(), U(typed));
  // Escape drops the edit.
  Editor()->Edit()->setText(QStringLiteral("other.wav"));
  QTest::keyClick(Editor()->Edit(), Qt::Key_Escape);
  Settle();
  EXPECT_EQ(cell.Path, typed);
  EXPECT_EQ(list->item(4, 1)->text(), U(DisplayForm(typed)));
  // The row indicator marks the current row.
  EXPECT_FALSE(list->verticalHeaderItem(4)->text().isEmpty());
  EXPECT_TRUE(list->verticalHeaderItem(3)->text().isEmpty());
}

TEST_F(PathEditorTest, BrowseFillsTheRowAndTabPostsAndMovesOn) {
  TScratchDir dir;
  const std::string wav = dir.File("one.wav");
  {
    // 44-byte canonical header, 10000 Hz, block align 2, 16 bits, 40000 data bytes.
    std::vector<uint8_t> b(44 + 40000, 0);
    auto put32 = [&](size_t at, uint32_t v) { Put32(&b[at], v); };
    auto put16 = [&](size_t at, uint16_t v) {
      b[at] = uint8_t(v);
      b[at + 1] = uint8_t(v >> 8);
    };
    std::memcpy(&b[0], "RIFF", 4);
    put32(4, uint32_t(b.size() - 8));
    std::memcpy(&b[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, 10000);
    put32(28, 20000);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(&b[36], "data", 4);
    put32(40, 40000);
    std::ofstream(wav, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  }
  dialog.Files = {wav};
  ClickCell(1, 1);
  ASSERT_NE(Editor(), nullptr);
  QTest::mouseClick(Editor()->BrowseButton(), Qt::LeftButton);
  ASSERT_EQ(dialog.OpenSpecs.size(), 1u);
  EXPECT_EQ(dialog.OpenSpecs[0].Filter, txt::WavFilter);
  ASSERT_NE(Editor(), nullptr);  // still open, now with the full path
  EXPECT_EQ(Editor()->Edit()->text(), QString::fromStdString(wav));
  const TStringCell& cell = Form().Commands().Catalogue.Row(1).Cell;
  EXPECT_EQ(cell.Loaded, 1);
  EXPECT_EQ(cell.PackedSize, 30001);

  QTest::keyClick(Editor()->Edit(), Qt::Key_Tab);
  Settle();
  QTableWidget* list = Form().tlSound();
  EXPECT_EQ(list->item(1, 1)->text(), U(DisplayForm(wav)));
  EXPECT_EQ(cell.Path, wav);
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(list->currentColumn(), 2);
}

TEST_F(MainFormTest, MenuCommandPostsAnOpenEditorFirst) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  QTableWidget* list = Form().tlSound();
  list->setCurrentCell(7, 1);  // opens the editor, as a click does
  auto* editor = Form().findChild<TPathEditor*>();
  ASSERT_NE(editor, nullptr);
  editor->Edit()->setText(QStringLiteral("seven.wav"));
  Item("SavePaths")->trigger();  // nothing loaded: the command itself does nothing
  EXPECT_EQ(Form().Commands().Catalogue.Row(7).Cell.Path, "seven.wav");
  EXPECT_EQ(list->item(7, 1)->text(), U(DisplayForm("seven.wav")));
}

// The scripted answers, but the real progress window: the worker's notifications travel as
// posted events to the widget on this thread.
class TWidgetProgressDialog : public test::TScriptedDialog {
 public:
  std::unique_ptr<TProgressWindow> CreateProgressWindow() override {
    ++ProgressWindowsCreated;
    auto window = std::make_unique<TfrmProcessStatus>(*this, nullptr);
    Windows.push_back(window.get());
    return window;
  }
  std::vector<TfrmProcessStatus*> Windows;  // valid only while the command runs
};

TEST_F(MainFormTest, ReadAllRunsTheWorkerUnderTheProgressWindow) {
  StartDevice();  // a small memory, sound range 0x3000..0x7FFF
  TWidgetProgressDialog widgets;
  Link.Ports = &Ports;
  TMainForm form(widgets, Link);
  form.findChild<QAction*>(QStringLiteral("ReadAllMemory"))->trigger();
  EXPECT_EQ(widgets.ProgressWindowsCreated, 1);
  const std::vector<test::TShownMessage> shown = widgets.CommandMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, txt::ReadOk);
  const std::vector<uint8_t> memory = Device->Memory();
  ASSERT_GE(memory.size(), 0x8000u);
  EXPECT_EQ(form.Commands().State.MemoryImage,
            std::vector<uint8_t>(memory.begin(), memory.begin() + 0x8000));  // up to the end
  EXPECT_TRUE(form.Commands().State.ImageFromDevice);
  EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("StatusPanel1"))->text(),
            U("EndSoundAddr=32767"));
}

TEST_F(MainFormTest, ReadAllThroughALateEchoSavesTheDevicesMemoryExactly) {
  auto o = test::SmallDevice();  // turnaround 3 ms
  o.Echo = true;
  o.EchoDelayMs = 1.5;  // an adapter that hears the line hands each request back late
  StartDevice(o);
  Device->GenerateRealisticContent(9);
  TScratchDir dir;
  TWidgetProgressDialog widgets;
  widgets.Files = {dir.File("memory.bin")};
  Link.Ports = &Ports;
  TMainForm form(widgets, Link);
  form.findChild<QAction*>(QStringLiteral("ReadAllMemory"))->trigger();
  form.findChild<QAction*>(QStringLiteral("FileSave"))->trigger();
  const auto shown = widgets.CommandMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, txt::ReadOk);
  std::ifstream in(dir.File("memory.bin"), std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(file.size(), 16u + 0x8000u);
  const std::vector<uint8_t> memory = Device->Memory();
  EXPECT_TRUE(std::equal(file.begin() + 16, file.end(), memory.begin()))
      << "the saved image is the device's memory byte for byte";
  EXPECT_EQ(test::Requests(*Device, kCmdReadBlock).size(), 0x8000u / 32) << "no retry";
}

TEST_F(MainFormTest, ExitEndsWithoutAsking) {
  Form().show();
  Form().Commands().State.ImageFromDevice = true;  // read, never saved
  Item("ExitProg")->trigger();
  EXPECT_FALSE(Form().isVisible());
  EXPECT_TRUE(dialog.Messages.empty());
}

}  // namespace
TEST_F(MainFormTest, WriteAllWithTheVerifyQuestionAnsweredBothWays) {
  StartDevice(test::SmallDevice(0x3000, 0x3FFF));
  for (const TAnswer verify : {TAnswer::Yes, TAnswer::No}) {
    TWidgetProgressDialog widgets;
    widgets.Answers = {verify};
    Link.Ports = &Ports;
    TMainForm form(widgets, Link);
    auto& state = form.Commands().State;
    state.MemoryImage.assign(0x4000, 0x42);
    state.StartSoundAddr = 0x3000;
    state.EndSoundAddr = 0x3FFF;
    state.ImageFromFile = true;
    form.findChild<QAction*>(QStringLiteral("WriteAll"))->trigger();
    ASSERT_GE(widgets.Messages.size(), 1u);
    EXPECT_EQ(widgets.Messages[0].Text, txt::AskVerify);
    EXPECT_EQ(widgets.Messages[0].Caption, txt::StopCaption);
    const auto shown = widgets.CommandMessages();
    if (verify == TAnswer::Yes) {
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(shown[0].Text, txt::WriteOk);
    } else {
      EXPECT_TRUE(shown.empty()) << "no success without the read-back";
    }
    EXPECT_EQ(Device->Peek(0x3100), 0x42);
  }
}

TEST_F(PathEditorTest, BrowseRefusesABadFormatAndAFileThatDoesNotFit) {
  TScratchDir dir;
  auto wav = [&](const std::string& name, uint32_t rate, uint32_t dataBytes) {
    std::vector<uint8_t> b(44 + dataBytes, 0);
    std::memcpy(&b[0], "RIFF", 4);
    Put32(&b[4], uint32_t(b.size() - 8));
    std::memcpy(&b[8], "WAVEfmt ", 8);
    Put32(&b[16], 16);
    b[20] = 1, b[22] = 1, b[32] = 2, b[34] = 16;
    Put32(&b[24], rate);
    Put32(&b[28], rate * 2);
    std::memcpy(&b[36], "data", 4);
    Put32(&b[40], dataBytes);
    const std::string path = dir.File(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return path;
  };
  Form().Commands().State.SoundSize = 100;
  dialog.Files = {wav("cd.wav", 44100, 40), wav("long.wav", 10000, 400)};
  for (const auto& [text, icon] :
       {std::pair{txt::BadWav, TIcon::Error}, std::pair{txt::NoRoom, TIcon::Warning}}) {
    ClickCell(2, 1);
    ASSERT_NE(Editor(), nullptr);
    QTest::mouseClick(Editor()->BrowseButton(), Qt::LeftButton);
    ASSERT_FALSE(dialog.Messages.empty());
    EXPECT_EQ(dialog.Messages.back().Text, text);
    EXPECT_EQ(dialog.Messages.back().Caption, txt::MsgCaption);
    EXPECT_EQ(dialog.Messages.back().Icon, icon);
    EXPECT_EQ(Form().Commands().Catalogue.Row(2).Cell.Loaded, 0);
    QTest::keyClick(Editor()->Edit(), Qt::Key_Escape);
    Settle();
  }
}

}  // namespace dikton::gui

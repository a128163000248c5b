// The Win32 windows created for real (under Wine with an X display): read back through the
// API what the user sees, drive the menu with WM_COMMAND, and run the range request and the
// read of the whole memory against the virtual device through a COM port.
// clang-format off
#include <windows.h>  // first: the other Windows headers need its types
// clang-format on
#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "ScriptedDialog.h"
#include "SimFixture.h"
#include "Transcript.h"
#include "uConst_Orbis.h"
#include "uGuiTexts.h"
#include "uMainForm.h"
#include "uRV7KPrcSt.h"
#include "uWinStrings.h"
#include "uWinUserDialog.h"
#include "ufrmSettings.h"

namespace dikton::win {
namespace {

using test::TScriptedDialog;

constexpr int kTextChars = 512;  // characters read back from a control

std::string Text(HWND window) {
  std::array<wchar_t, kTextChars> t{};
  GetWindowTextW(window, t.data(), int(t.size()));
  return S(t.data());
}

SIZE ClientSize(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  return {r.right, r.bottom};
}

std::string MenuText(HMENU menu, UINT item, UINT by) {
  std::array<wchar_t, kTextChars> t{};
  GetMenuStringW(menu, item, t.data(), int(t.size()), by);
  return S(t.data());
}

std::string ListText(HWND list, int row, int column) {
  std::array<wchar_t, kTextChars> t{};
  ListView_GetItemText(list, row, column, t.data(), int(t.size()));
  return S(t.data());
}

std::vector<std::string> StatusTexts(HWND bar) {
  std::vector<std::string> out;
  const int parts = int(SendMessageW(bar, SB_GETPARTS, 0, 0));
  for (int i = 0; i < parts; ++i) {
    std::array<wchar_t, kTextChars> t{};
    SendMessageW(bar, SB_GETTEXTW, WPARAM(i), reinterpret_cast<LPARAM>(t.data()));
    out.push_back(S(t.data()));
  }
  return out;
}

// Handles what is already queued for this thread: posted messages arrive in order, so no clock
// is needed to know they have been seen.
void Pump() {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// The boxes and file dialogs are scripted; the progress window is the real Win32 one, its
// questions scripted too.
class TWinScriptedDialog : public TScriptedDialog {
 public:
  HWND Owner = nullptr;
  int RealWindowsShown = 0;
  std::unique_ptr<TProgressWindow> CreateProgressWindow() override {
    ++ProgressWindowsCreated;
    class TCounted : public TfrmProcessStatus {
     public:
      TCounted(TWinScriptedDialog& d, HWND owner) : TfrmProcessStatus(d, owner), d_(d) {}
      TModalResult ShowModal() override {
        ++d_.RealWindowsShown;
        ++d_.ProgressWindowsShown;
        return TfrmProcessStatus::ShowModal();
      }

     private:
      TWinScriptedDialog& d_;
    };
    return std::make_unique<TCounted>(*this, Owner);
  }
};

class Win32Gui : public test::TSimTest {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
      GTEST_SKIP() << "no X display: scripts/test-windows-gui.sh runs these under Xvfb";
  }
  void Create() {
    form = std::make_unique<TMainForm>(
        dialog, Link,
        [this](const std::string& t, const std::string& c) { errors.push_back(c + ": " + t); });
    dialog.Owner = form->Handle();
    ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
    Pump();
  }
  void Command(UINT id) { SendMessageW(form->Handle(), WM_COMMAND, id, 0); }

  TWinScriptedDialog dialog;
  std::vector<std::string> errors;
  std::unique_ptr<TMainForm> form;
};

TEST_F(Win32Gui, MainWindowAsDesigned) {
  Create();
  HWND w = form->Handle();
  EXPECT_EQ(Text(w), txt::MainCaption);
  const auto style = DWORD(GetWindowLongPtrW(w, GWL_STYLE));
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "fixed single border";
  const SIZE client = ClientSize(w);
  EXPECT_EQ(client.cx, 767);
  EXPECT_EQ(client.cy, 461);

  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)), sizeof(font), &font);
  EXPECT_EQ(S(font.lfFaceName), "MS Sans Serif");
  EXPECT_EQ(font.lfHeight, -11);

  // The menu: every caption without a shortcut, two items greyed for good.
  struct TItem {
    int Menu;
    UINT Id;
    std::string_view Caption;
    bool Enabled;
  };
  const std::vector<TItem> items{
      {0, kIdCreateCRCfile, "Создать СRC-файл", false},
      {0, kIdFileSave, "Сохранить", true},
      {0, kIdFileOpen, "Открыть", true},
      {0, kIdSavePaths, "Сохранить список", true},
      {0, kIdOpenPaths, "Открыть список", true},
      {0, kIdProgSettings, "Настройки", true},
      {0, kIdExitProg, "Выход", true},
      {1, kIdReadAllMemory, "Считать всю", true},
      {1, kIdWriteAll, "Записать всю", true},
      {1, kIdWriteSoundMem, "Записать звуки", true},
      {1, kIdCheckMemory, "Проверить память", false},
      {1, kIdGetSizeSoundMem, "Запросить диапазон", true},
  };
  HMENU bar = GetMenu(w);
  ASSERT_EQ(GetMenuItemCount(bar), 2);
  EXPECT_EQ(MenuText(bar, 0, MF_BYPOSITION), "Файл");
  EXPECT_EQ(MenuText(bar, 1, MF_BYPOSITION), "Память");
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(bar, 0)), 7);
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(bar, 1)), 5);
  int position[2] = {0, 0};
  for (const auto& item : items) {
    HMENU menu = GetSubMenu(bar, item.Menu);
    EXPECT_EQ(GetMenuItemID(menu, position[item.Menu]++), item.Id) << item.Caption;
    EXPECT_EQ(MenuText(menu, item.Id, MF_BYCOMMAND), item.Caption);
    EXPECT_EQ((GetMenuState(menu, item.Id, MF_BYCOMMAND) & MF_GRAYED) == 0, item.Enabled)
        << item.Caption;
  }
  // The greyed items do nothing, also when their command arrives.
  Command(kIdCreateCRCfile);
  Command(kIdCheckMemory);
  EXPECT_TRUE(dialog.Messages.empty());

  // The status bar: four panels, the range after start-up.
  EXPECT_EQ(StatusTexts(form->StatusBar()),
            (std::vector<std::string>{"StartSoundAddr=0", "EndSoundAddr=0", "Size=1048576", ""}));
  std::array<int, 4> edges{};
  SendMessageW(form->StatusBar(), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges.data()));
  EXPECT_EQ(edges, (std::array<int, 4>{180, 360, 540, -1}));
  RECT status{};
  GetWindowRect(form->StatusBar(), &status);
  EXPECT_EQ(status.bottom - status.top, 19);

  // The list: the indicator, then three columns; 76 rows with their names.
  HWND list = form->tlSound();
  EXPECT_TRUE(ListView_GetExtendedListViewStyle(list) & LVS_EX_GRIDLINES);
  const std::array<std::pair<std::string_view, int>, 3> columns{
      {{"Название", 99}, {"Путь к фрагменту", 485}, {"Размер фрагмента", 115}}};
  for (int c = 0; c < 3; ++c) {
    std::array<wchar_t, kTextChars> caption{};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = caption.data();
    col.cchTextMax = int(caption.size());
    ASSERT_TRUE(ListView_GetColumn(list, c + 1, &col));
    EXPECT_EQ(S(caption.data()), columns[size_t(c)].first);
    EXPECT_EQ(col.cx, columns[size_t(c)].second);
  }
  ASSERT_EQ(ListView_GetItemCount(list), 76);
  for (int r = 0; r < 76; ++r) {
    EXPECT_EQ(ListText(list, r, 1), form->Commands().Catalogue.Row(r).NameText) << r;
    EXPECT_EQ(ListText(list, r, 2), "");
    EXPECT_EQ(ListText(list, r, 3), "");
  }
  EXPECT_EQ(ListText(list, 0, 1), "Внимание поступило сообще...");
  EXPECT_EQ(ListText(list, 20, 1), "Двадцать+");
  EXPECT_EQ(ListText(list, 75, 1), "Девяносто");
  EXPECT_EQ(ListText(list, 0, 0), guitxt::RowMarker) << "the row indicator marks row 0";
}

TEST_F(Win32Gui, CommandsThroughTheMenu) {
  Create();
  Command(kIdWriteAll);
  ASSERT_EQ(dialog.Messages.size(), 1u);
  EXPECT_EQ(dialog.Messages[0].Text, txt::NoDataToWrite);
  EXPECT_EQ(dialog.Messages[0].Caption, "Сообщение");
  EXPECT_EQ(dialog.Messages[0].Icon, TIcon::Warning);

  // The port's device does not exist: the application's error box.
  form->Commands().SetSettings(16, 127);
  Command(kIdReadAllMemory);
  EXPECT_EQ(errors, (std::vector<std::string>{"Dikton: Не могу открыть порт!"}));

  bool closed = false;
  form->OnClosed = [&] { closed = true; };
  Command(kIdExitProg);
  EXPECT_TRUE(closed);
  EXPECT_EQ(form->Handle(), nullptr) << "no confirmation";
}

TEST_F(Win32Gui, SettingsDialog) {
  Create();
  struct TRun {
    const wchar_t* Port;  // typed into the fields
    const wchar_t* Device;
    WORD Button;
    int PortAfter, DeviceAfter;
  };
  // Out-of-range values are corrected to the nearest bound; "ОТМЕНА" changes nothing.
  const std::vector<TRun> runs{{L"17", L"0", IDOK, 16, 1},
                               {L"3", L"5", IDCANCEL, 16, 1},
                               {L"0", L"128", IDOK, 1, 127},
                               {L"7", L"42", IDOK, 7, 42}};
  for (const auto& run : runs) {
    int seen = 0;
    form->OnSettingsShown = [&](TfrmSettings& s) {
      ++seen;
      EXPECT_EQ(Text(s.Handle()), "Настройки программы");
      EXPECT_EQ(ClientSize(s.Handle()).cx, 243);
      EXPECT_EQ(ClientSize(s.Handle()).cy, 130);
      EXPECT_EQ(s.Port(), form->Commands().State.PortNumber);
      EXPECT_EQ(s.Device(), form->Commands().State.DeviceAddress);
      for (auto [updown, min, max] : {std::tuple{s.UpDown1(), 1, 16}, {s.UpDown2(), 1, 127}}) {
        int lo = 0, hi = 0;
        SendMessageW(updown, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo),
                     reinterpret_cast<LPARAM>(&hi));
        EXPECT_EQ(lo, min);
        EXPECT_EQ(hi, max);
      }
      EXPECT_EQ(Text(s.btnOK()), "ОК");
      EXPECT_EQ(Text(s.btnCancel()), "ОТМЕНА");
      // Tab order: "ОК", "ОТМЕНА", port, address.
      EXPECT_EQ(GetNextDlgTabItem(s.Handle(), s.btnOK(), FALSE), s.btnCancel());
      EXPECT_EQ(GetNextDlgTabItem(s.Handle(), s.btnCancel(), FALSE), s.ASSpinEdit1());
      EXPECT_EQ(GetNextDlgTabItem(s.Handle(), s.ASSpinEdit1(), FALSE), s.ASSpinEdit2());
      SetWindowTextW(s.ASSpinEdit1(), run.Port);
      SetWindowTextW(s.ASSpinEdit2(), run.Device);
      // Answered once the dialog runs its modal loop.
      PostMessageW(s.Handle(), WM_COMMAND, run.Button, 0);
    };
    Command(kIdProgSettings);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(form->Commands().State.PortNumber, run.PortAfter);
    EXPECT_EQ(form->Commands().State.DeviceAddress, run.DeviceAfter);
    EXPECT_TRUE(IsWindowEnabled(form->Handle())) << "the main window is enabled again";
  }
}

TEST_F(Win32Gui, ProgressWindowTakesPostedNotifications) {
  Create();
  TfrmProcessStatus window(dialog, form->Handle());
  HWND w = window.Handle();
  EXPECT_FALSE(IsWindowVisible(w)) << "created hidden";
  EXPECT_EQ(Text(w), "Выполняется");
  const auto style = DWORD(GetWindowLongPtrW(w, GWL_STYLE));
  const auto exStyle = DWORD(GetWindowLongPtrW(w, GWL_EXSTYLE));
  EXPECT_FALSE(style & WS_SYSMENU) << "no caption buttons";
  EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
  EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
  EXPECT_EQ(ClientSize(w).cx, 342);
  EXPECT_EQ(ClientSize(w).cy, 102);
  EXPECT_EQ(Text(window.lblProcessCaption()), "Выполнено: 0%");
  EXPECT_EQ(Text(window.lblBytesCount()), "Передано, байт: 0");
  EXPECT_FALSE(IsWindowVisible(window.lblErrors()));
  EXPECT_EQ(Text(window.BtCancel()), "Отмена");
  EXPECT_NE(SendMessageW(window.BtCancel(), BM_GETIMAGE, IMAGE_ICON, 0), 0) << "its bitmap";

  // The message numbers are the application's own window messages.
  EXPECT_EQ(UM_WRITE_FINISHED, WM_USER + 1000);
  EXPECT_EQ(UM_ERROR, WM_USER + 1004);
  window.Post(UM_PROGRESS, 1, 8);
  Pump();
  EXPECT_EQ(Text(window.lblProcessCaption()), "Выполнено: 12%");
  EXPECT_EQ(Text(window.lblBytesCount()), "Передано, байт: 1");
  EXPECT_EQ(SendMessageW(window.ProgressBar(), PBM_GETPOS, 0, 0), 12);
  window.Post(UM_PROGRESS, 3, 0);  // no total: ignored
  window.Post(UM_PROGRESS, 9, 8);
  Pump();
  EXPECT_EQ(Text(window.lblProcessCaption()), "Выполнено: 112%") << "112.5, half to even";
  EXPECT_EQ(SendMessageW(window.ProgressBar(), PBM_GETPOS, 0, 0), 100) << "a full bar";
  // UM_DONE closes it with OK; showing it then returns at once.
  window.Post(UM_DONE, 0, 0);
  Pump();
  EXPECT_EQ(window.ShowModal(), TModalResult::Ok);
  // A link failure closes a fresh one with Cancel, from inside its modal loop.
  TfrmProcessStatus failed(dialog, form->Handle());
  failed.Post(UM_ERROR, 0, 0);
  EXPECT_EQ(failed.ShowModal(), TModalResult::Cancel);
  EXPECT_TRUE(IsWindowEnabled(form->Handle()));
}

TEST_F(Win32Gui, PathCellEditor) {
  Create();
  HWND list = form->tlSound();
  form->tlSoundClick(3, 1);
  ASSERT_TRUE(form->EditorOpen());
  EXPECT_TRUE(IsWindowVisible(form->PathEdit()));
  EXPECT_TRUE(IsWindowVisible(form->BrowseButton()));
  EXPECT_EQ(Text(form->BrowseButton()), "...");
  EXPECT_EQ(ListText(list, 3, 0), guitxt::RowMarker);
  EXPECT_EQ(ListText(list, 0, 0), "");
  // Typed, then Tab: the cell shows the short form, the record keeps the full path, and the
  // next cell is current.
  SetWindowTextW(form->PathEdit(), L"C:\\voices\\один.wav");
  SendMessageW(form->PathEdit(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_FALSE(form->EditorOpen());
  EXPECT_EQ(ListText(list, 3, 2), "один.wav [C:\\voices]");
  EXPECT_EQ(form->Commands().Catalogue.Row(3).Cell.Path, "C:\\voices\\один.wav");
  EXPECT_EQ(form->CurrentRow(), 3);
  EXPECT_EQ(form->CurrentColumn(), 2);
  // Tab goes on to the next row's name, then into its path cell, which opens its editor.
  SendMessageW(list, WM_KEYDOWN, VK_TAB, 0);
  SendMessageW(list, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(form->CurrentRow(), 4);
  EXPECT_TRUE(form->EditorOpen());
  SendMessageW(form->PathEdit(), WM_KEYDOWN, VK_ESCAPE, 0);
  // A click into the edited row shows the full path in the editor.
  form->tlSoundClick(3, 1);
  EXPECT_EQ(Text(form->PathEdit()), "C:\\voices\\один.wav");
  // Cleared and posted: the row is empty again.
  SetWindowTextW(form->PathEdit(), L"");
  SendMessageW(form->PathEdit(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(ListText(list, 3, 2), "");
  EXPECT_EQ(form->Commands().Catalogue.Row(3).Cell.Path, "");
  // A bare name shows empty brackets; a click on the name column opens nothing.
  form->tlSoundClick(5, 1);
  SetWindowTextW(form->PathEdit(), L"bare.wav");
  form->tlSoundClick(5, 0);
  EXPECT_FALSE(form->EditorOpen());
  EXPECT_EQ(ListText(list, 5, 2), "bare.wav []");
}

// A Yes/No question is answered by its buttons only: Escape and the close box do not answer it
// (Windows ignores them; Wine ends the box, which is then asked again). The box is a real
// MessageBoxW: a message queued before it opens is handled by the box's own loop, acts on the
// box and queues itself again behind its action, so the next action meets whichever box is open.
TEST_F(Win32Gui, YesNoQuestionsAnsweredByTheirButtonsOnly) {
  Create();
  struct TDriver {
    int Step = 0;
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
      if (m != WM_APP) return DefWindowProcW(w, m, wp, lp);
      auto* self = reinterpret_cast<TDriver*>(GetWindowLongPtrW(w, GWLP_USERDATA));
      HWND box = FindWindowW(L"#32770", W(txt::StopCaption).c_str());
      if (!box) return 0;
      switch (self->Step++) {
        case 0:
          PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
          break;
        case 1:
          PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
          break;
        case 2:
          PostMessageW(box, WM_CLOSE, 0, 0);
          break;
        default:
          PostMessageW(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
          return 0;
      }
      PostMessageW(w, WM_APP, 0, 0);
      return 0;
    }
  } driver;
  RegisterWindowClass(L"TestBoxDriver", &TDriver::Proc);
  HWND w = CreateWindowExW(0, L"TestBoxDriver", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(w, nullptr);
  SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&driver));
  PostMessageW(w, WM_APP, 0, 0);
  TWinUserDialog real(form->Handle());
  EXPECT_EQ(
      real.Message("Продолжить проверку?", txt::StopCaption, TIcon::Question, TButtons::YesNo),
      TAnswer::Yes);
  EXPECT_EQ(driver.Step, 4) << "every action met a box";
  DestroyWindow(w);
}

// "Сохранить" through the real save dialog: it opens with its title in the program's folder,
// proposes "memory.bin", and a bare name typed into it gets the extension "bin".
TEST_F(Win32Gui, SaveDialogForReal) {
  std::array<wchar_t, MAX_PATH> temp{};
  GetTempPathW(DWORD(temp.size()), temp.data());
  const std::wstring folder = std::wstring(temp.data()) + L"dikton-wingui-save";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring saved = folder + L"\\образ.bin";
  DeleteFileW(saved.c_str());

  TWinUserDialog real;
  TMainForm main(real, Link);
  real.SetOwner(main.Handle());
  main.Commands().ProgramFolder = S(folder);
  main.Commands().State.MemoryImage.assign(32, 0x5A);
  main.Commands().State.EndSoundAddr = 31;
  main.Commands().State.ImageFromDevice = true;

  struct TDriver {
    std::string Title, ProposedName;
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
      if (m != WM_APP) return DefWindowProcW(w, m, wp, lp);
      auto* self = reinterpret_cast<TDriver*>(GetWindowLongPtrW(w, GWLP_USERDATA));
      HWND dlg = FindWindowW(L"#32770", W(txt::SaveImageTitle).c_str());
      if (!dlg) {
        PostMessageW(w, WM_APP, 0, 0);  // not open yet
        return 0;
      }
      self->Title = Text(dlg);
      constexpr int kFileNameBox = 0x47C;  // cmb13, the file name of the Explorer-style dialog
      std::array<wchar_t, kTextChars> name{};
      GetDlgItemTextW(dlg, kFileNameBox, name.data(), int(name.size()));
      self->ProposedName = S(name.data());
      SetDlgItemTextW(dlg, kFileNameBox, L"образ");
      PostMessageW(dlg, WM_COMMAND, IDOK, 0);
      return 0;
    }
  } driver;
  RegisterWindowClass(L"TestDialogDriver", &TDriver::Proc);
  HWND w = CreateWindowExW(0, L"TestDialogDriver", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(w, nullptr);
  SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&driver));
  PostMessageW(w, WM_APP, 0, 0);
  SendMessageW(main.Handle(), WM_COMMAND, kIdFileSave, 0);
  DestroyWindow(w);
  EXPECT_EQ(driver.Title, "Сохранение памяти в файл");
  EXPECT_EQ(driver.ProposedName, "memory.bin");
  WIN32_FILE_ATTRIBUTE_DATA info{};
  ASSERT_TRUE(GetFileAttributesExW(saved.c_str(), GetFileExInfoStandard, &info))
      << "saved in the program's folder with the extension added";
  EXPECT_EQ(info.nFileSizeLow, 16u + 32u);
  EXPECT_TRUE(main.Commands().State.ImageSaved);
  DeleteFileW(saved.c_str());
  RemoveDirectoryW(folder.c_str());
}

// The range request and the read of the whole memory, end to end through the menu, the real
// progress window and a COM port of the Wine prefix.
TEST_F(Win32Gui, RangeAndReadAllAgainstTheDevice) {
  auto o = test::SmallDevice(0x3000, 0x3FFF);
  o.FillByte = 0xEE;
  StartDevice(o);
  Device->GenerateRealisticContent(5);
  Create();

  Command(kIdGetSizeSoundMem);
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(dialog.Messages.empty());
  EXPECT_EQ(
      StatusTexts(form->StatusBar()),
      (std::vector<std::string>{"StartSoundAddr=12288", "EndSoundAddr=16383", "Size=4096", ""}));

  Command(kIdReadAllMemory);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(dialog.RealWindowsShown, 1);
  ASSERT_EQ(dialog.CommandMessages().size(), 1u);
  EXPECT_EQ(dialog.CommandMessages()[0].Text, txt::ReadOk);
  EXPECT_TRUE(form->Commands().State.ImageFromDevice);
  auto memory = Device->Memory();
  memory.resize(0x4000);
  EXPECT_EQ(form->Commands().State.MemoryImage, memory);
  EXPECT_EQ(StatusTexts(form->StatusBar())[2], "Size=4096");
  EXPECT_TRUE(IsWindowEnabled(form->Handle()));
  // The read ran at the fast rate and the last request left the fast mode.
  EXPECT_FALSE(test::Requests(*Device, kCmdReadBlock).empty());
  const auto r = test::Requests(*Device);
  ASSERT_FALSE(r.empty());
  EXPECT_EQ(r.back()[3], kCmdModeSwitch);
  EXPECT_EQ(r.back()[5], kModeLeave);
}

}  // namespace
}  // namespace dikton::win

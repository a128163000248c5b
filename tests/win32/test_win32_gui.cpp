// The Win32 windows created for real (under Wine with an X display): read back through the
// API what the user sees, drive the menu with WM_COMMAND, and run the range request and the
// read of the whole memory against the virtual device through a COM port.
// clang-format off
#include <windows.h>  // first: the other Windows headers need its types
// clang-format on
#include <commctrl.h>
#include <commdlg.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <new>
#include <stdexcept>
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

// A message-only window whose procedure drives a modal box or dialog from within its loop; the
// procedure finds 'driver' in the window's user data.
HWND DriverWindow(const wchar_t* className, WNDPROC proc, void* driver) {
  RegisterWindowClass(className, proc);
  HWND w = CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  if (w) SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(driver));
  return w;
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
  HWND w = DriverWindow(L"TestBoxDriver", &TDriver::Proc, &driver);
  ASSERT_NE(w, nullptr);
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
  HWND w = DriverWindow(L"TestDialogDriver", &TDriver::Proc, &driver);
  ASSERT_NE(w, nullptr);
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

// What a window shows at 'dpi', against its designed pixels (96 DPI): every size and font
// scaled, within the pixel that rounding may give or take, and every text inside its control.
class Win32Scaled : public Win32Gui {
 protected:
  static int DpiOf(HWND window) {
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    const auto get = reinterpret_cast<TGetDpiForWindow>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (get) return int(get(window));
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi;
  }
  static void ExpectScaled(long actual, int designed, int dpi, const std::string& what) {
    EXPECT_LE(std::abs(double(actual) - designed * dpi / 96.0), 1.0)
        << what << ": " << actual << " for " << designed << " designed pixels at " << dpi;
  }
  static SIZE Size(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
  }
  static LOGFONTW FontOf(HWND window) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font),
               &font);
    return font;
  }
  static void ExpectFont(HWND window, int designedPx, int dpi, const std::string& what) {
    const LOGFONTW font = FontOf(window);
    ExpectScaled(-font.lfHeight, designedPx, dpi, what + " font");
    EXPECT_EQ(S(font.lfFaceName), dpi == 96 ? "MS Sans Serif" : "Microsoft Sans Serif") << what;
  }
  // The control's text in its font fits its client area.
  static void ExpectTextFits(HWND control, const std::string& what) {
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring text = W(Text(control));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &extent);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    const SIZE client = ClientSize(control);
    EXPECT_LE(extent.cx, client.cx) << what << " \"" << S(text) << "\" is cut off";
    EXPECT_LE(metrics.tmHeight, client.cy) << what << " is cut off below";
  }
  // The main window's client, list, columns, status bar and font at 'dpi'.
  void ExpectMainWindowAt(int dpi) {
    HWND w = form->Handle();
    const SIZE client = ClientSize(w);
    ExpectScaled(client.cx, 767, dpi, "client width");
    ExpectScaled(client.cy, 461, dpi, "client height");
    ExpectFont(w, 11, dpi, "main window");
    HWND list = form->tlSound();
    RECT r{};
    GetWindowRect(list, &r);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&r), 2);
    ExpectScaled(r.left, 2, dpi, "list x");
    ExpectScaled(r.top, 2, dpi, "list y");
    ExpectScaled(r.right - r.left, 759, dpi, "list width");
    ExpectScaled(r.bottom - r.top, 431, dpi, "list height");
    const std::array<int, 4> widths{14, 99, 485, 115};
    for (int c = 0; c < 4; ++c)
      ExpectScaled(ListView_GetColumnWidth(list, c), widths[size_t(c)], dpi,
                   "column " + std::to_string(c));
    RECT status{};
    GetWindowRect(form->StatusBar(), &status);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&status), 2);
    ExpectScaled(status.bottom - status.top, 19, dpi, "status bar height");
    EXPECT_EQ(status.bottom, client.cy) << "along the bottom edge";
    EXPECT_EQ(status.right - status.left, client.cx);
    EXPECT_LE(r.bottom, status.top) << "the list ends above the status bar";
    std::array<int, 4> edges{};
    SendMessageW(form->StatusBar(), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges.data()));
    for (int i = 0; i < 3; ++i) ExpectScaled(edges[size_t(i)], 180 * (i + 1), dpi, "panel edge");
    // Rows and header are as high as their text.
    RECT item{};
    ListView_GetItemRect(list, 0, &item, LVIR_BOUNDS);
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    EXPECT_GE(item.bottom - item.top, metrics.tmHeight) << "a row shows its text whole";
    RECT header{};
    GetWindowRect(ListView_GetHeader(list), &header);
    EXPECT_GE(header.bottom - header.top, metrics.tmHeight)
        << "the header shows its captions whole";
  }
};

// At the DPI of the monitor: scripts/test-windows-gui.sh runs this at 96 DPI and again with the
// prefix set to 144 DPI (LogPixels), telling the DPI it set in DIKTON_EXPECT_DPI.
TEST_F(Win32Scaled, EveryWindowAtTheMonitorDpi) {
  Create();
  const int dpi = DpiOf(form->Handle());
  if (const char* expected = std::getenv("DIKTON_EXPECT_DPI")) {
    ASSERT_EQ(dpi, std::atoi(expected)) << "the prefix's DPI";
  }
  ExpectMainWindowAt(dpi);

  int seen = 0;
  form->OnSettingsShown = [&](TfrmSettings& s) {
    ++seen;
    const SIZE client = ClientSize(s.Handle());
    ExpectScaled(client.cx, 243, dpi, "settings width");
    ExpectScaled(client.cy, 130, dpi, "settings height");
    ExpectFont(s.btnOK(), 11, dpi, "settings");
    ExpectFont(s.lblPortDevice(), 9, dpi, "port's device");
    for (HWND b : {s.btnOK(), s.btnCancel()}) {
      ExpectScaled(Size(b).cx, 75, dpi, "button width");
      ExpectScaled(Size(b).cy, 25, dpi, "button height");
      ExpectTextFits(b, "button");
    }
    for (auto [edit, arrows] :
         {std::pair{s.ASSpinEdit1(), s.UpDown1()}, {s.ASSpinEdit2(), s.UpDown2()}}) {
      ExpectScaled(Size(edit).cy, 21, dpi, "field height");
      RECT field{}, updown{};
      GetWindowRect(edit, &field);
      GetWindowRect(arrows, &updown);
      EXPECT_NEAR(updown.left, field.right, 2) << "the arrows at the field's right edge";
      EXPECT_LE(updown.bottom - updown.top, field.bottom - field.top + 1);
    }
    // The labels: every child static of the dialog.
    EnumChildWindows(
        s.Handle(),
        [](HWND child, LPARAM) -> BOOL {
          std::array<wchar_t, 32> cls{};
          GetClassNameW(child, cls.data(), int(cls.size()));
          if (std::wstring(cls.data()) == L"Static") ExpectTextFits(child, "settings label");
          return TRUE;
        },
        0);
    PostMessageW(s.Handle(), WM_COMMAND, IDCANCEL, 0);
  };
  Command(kIdProgSettings);
  EXPECT_EQ(seen, 1);

  TfrmProcessStatus progress(dialog, form->Handle());
  const SIZE client = ClientSize(progress.Handle());
  ExpectScaled(client.cx, 342, dpi, "progress width");
  ExpectScaled(client.cy, 102, dpi, "progress height");
  ExpectFont(progress.lblProcessCaption(), 11, dpi, "progress");
  ExpectScaled(Size(progress.ProgressBar()).cx, 326, dpi, "bar width");
  ExpectScaled(Size(progress.ProgressBar()).cy, 16, dpi, "bar height");
  ExpectScaled(Size(progress.BtCancel()).cx, 75, dpi, "stop button width");
  ExpectScaled(Size(progress.BtCancel()).cy, 25, dpi, "stop button height");
  ICONINFO icon{};
  ASSERT_TRUE(GetIconInfo(
      reinterpret_cast<HICON>(SendMessageW(progress.BtCancel(), BM_GETIMAGE, IMAGE_ICON, 0)),
      &icon));
  BITMAP bitmap{};
  GetObjectW(icon.hbmColor ? icon.hbmColor : icon.hbmMask, sizeof(bitmap), &bitmap);
  ExpectScaled(bitmap.bmWidth, 16, dpi, "the stop button's bitmap");
  if (icon.hbmColor) DeleteObject(icon.hbmColor);
  if (icon.hbmMask) DeleteObject(icon.hbmMask);
  // The longest texts the labels show.
  progress.Logic().OnMessage(UM_PROGRESS, 1048575, 1048575);
  progress.Refresh();
  for (HWND label : {progress.lblProcessCaption(), progress.lblBytesCount()})
    ExpectTextFits(label, "progress label");
}

// Moved to a monitor of another DPI (the message the system sends then; Wine has one DPI for
// every monitor): the window takes the new DPI's sizes and fonts, and the designed ones back.
TEST_F(Win32Scaled, FollowsTheDpiOfAnotherMonitor) {
  Create();
  HWND w = form->Handle();
  const int dpi = DpiOf(w);
  ListView_SetColumnWidth(form->tlSound(), 2, Scale(485, dpi));  // as designed
  for (const int to : {144, 120, 96, dpi}) {
    RECT frame{};
    GetWindowRect(w, &frame);
    RECT suggested{frame.left, frame.top, frame.left + Scale(800, to), frame.top + Scale(520, to)};
    SendMessageW(w, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
    SCOPED_TRACE("at " + std::to_string(to) + " DPI");
    ExpectMainWindowAt(to);
    RECT now{};
    GetWindowRect(w, &now);
    EXPECT_EQ(now.left, suggested.left) << "at the place the system proposes";
  }
}

// The keyboard works as soon as the main window is active: at start-up, after a dialog or the
// progress window, after another program had the activation.
TEST_F(Win32Gui, KeyboardGoesToTheListWheneverTheWindowIsActivated) {
  Create();
  HWND w = form->Handle(), list = form->tlSound();
  HWND other =
      CreateWindowExW(0, WC_STATICW, L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                      200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  form->OnSettingsShown = [](TfrmSettings& s) {
    PostMessageW(s.Handle(), WM_COMMAND, IDCANCEL, 0);
  };
  struct TCase {
    std::string Name;
    std::function<void()> Then;
  };
  const std::vector<TCase> cases{
      {"start-up", [&] { SetActiveWindow(w); }},
      {"the settings dialog", [&] { Command(kIdProgSettings); }},
      {"the progress window",
       [&] {
         TfrmProcessStatus progress(dialog, w);
         progress.Post(UM_ERROR, 0, 0);
         progress.ShowModal();
       }},
      {"another program",
       [&] {
         SetActiveWindow(other);
         EXPECT_NE(GetFocus(), list);
         SetActiveWindow(w);
       }},
      {"another program, the path editor open",
       [&] {
         form->tlSoundClick(4, 1);
         EXPECT_EQ(GetFocus(), form->PathEdit());
         SetActiveWindow(other);
         SetActiveWindow(w);
       }},
  };
  for (const auto& c : cases) {
    SetActiveWindow(other);
    c.Then();
    Pump();
    EXPECT_EQ(GetActiveWindow(), w) << c.Name;
    EXPECT_EQ(GetFocus(), list) << "after " << c.Name;
  }
  // Keys reach it: Tab from the first row's name opens its path editor.
  form->tlSoundClick(0, 0);
  SetActiveWindow(other);
  SetActiveWindow(w);
  SendMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_TRUE(form->EditorOpen());
  DestroyWindow(other);
}

// A 16-bit mono 10000 Hz WAV file, written with the system's own calls (the long form of the
// path, which the program's file calls are under test for).
void WriteWav(const std::wstring& longPath, size_t samples) {
  const uint32_t data = uint32_t(samples * 2);
  std::vector<uint8_t> b;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  auto u16 = [&](uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  };
  auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
  tag("RIFF"), u32(36 + data), tag("WAVE"), tag("fmt "), u32(16), u16(1), u16(1), u32(10000),
      u32(20000), u16(2), u16(16), tag("data"), u32(data);
  b.resize(b.size() + data, 0x10);
  HANDLE f = CreateFileW(longPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(f, b.data(), DWORD(b.size()), &written, nullptr);
  CloseHandle(f);
  ASSERT_EQ(written, b.size());
}

std::string LongText(HWND window) {
  std::vector<wchar_t> t(size_t(GetWindowTextLengthW(window)) + 1);
  GetWindowTextW(window, t.data(), int(t.size()));
  return S(t.data());
}

// A fragment in a deep folder, deeper than the system's ordinary 259 characters, as on a
// network share: typed or browsed, the path is kept whole and the file is read.
TEST_F(Win32Gui, LongPathsKeptWholeAndRead) {
  Create();
  HWND list = form->tlSound();
  // Typed: longer than any fixed buffer would take.
  std::string typed = "C:\\";
  for (char c = 'a'; c < 'g'; ++c) typed += std::string(240, c) + "\\";
  typed += "фрагмент.wav";
  form->tlSoundClick(3, 1);
  SetWindowTextW(form->PathEdit(), W(typed).c_str());
  SendMessageW(form->PathEdit(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(form->Commands().Catalogue.Row(3).Cell.Path, typed);
  form->tlSoundClick(3, 1);
  EXPECT_EQ(LongText(form->PathEdit()), typed) << "the editor shows it whole again";
  SendMessageW(form->PathEdit(), WM_KEYDOWN, VK_ESCAPE, 0);
  std::vector<wchar_t> cell(8192);
  ListView_GetItemText(list, 3, 2, cell.data(), int(cell.size()));
  EXPECT_EQ(S(cell.data()), form->Commands().Catalogue.Row(3).PathText);

  // Browsed: a real file 300 characters and more deep.
  std::array<wchar_t, MAX_PATH> temp{};
  GetTempPathW(DWORD(temp.size()), temp.data());
  std::wstring folder = std::wstring(L"\\\\?\\") + temp.data() + L"dikton-long";
  std::vector<std::wstring> made{folder};
  CreateDirectoryW(folder.c_str(), nullptr);
  for (wchar_t c = L'a'; c < L'd'; ++c) {
    folder += L"\\" + std::wstring(100, c);
    CreateDirectoryW(folder.c_str(), nullptr);
    made.push_back(folder);
  }
  const std::wstring file = folder + L"\\голос.wav";
  WriteWav(file, 500);
  const std::string path = S(file.substr(4));  // as the dialog gives it
  ASSERT_GT(path.size(), 300u);
  dialog.Files.push_back(path);
  form->tlSoundClick(5, 1);
  SendMessageW(list, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(form->BrowseButton()), BN_CLICKED),
               reinterpret_cast<LPARAM>(form->BrowseButton()));
  EXPECT_TRUE(dialog.Messages.empty()) << (dialog.Messages.empty() ? "" : dialog.Messages[0].Text);
  SendMessageW(form->PathEdit(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(form->Commands().Catalogue.Row(5).Cell.Loaded, 1);
  EXPECT_EQ(form->Commands().Catalogue.Row(5).Cell.Path, path);
  EXPECT_GT(form->Commands().Catalogue.Row(5).Cell.PackedSize, 0);
  DeleteFileW(file.c_str());
  for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryW(it->c_str());
}

// Whatever fails inside a command, the application's error box says so and the program goes
// on; a window that cannot be created is such a failure, not a modal loop without a window.
TEST_F(Win32Gui, NoFailureEndsTheProgramWithoutAWord) {
  struct TThrowingDialog : TWinScriptedDialog {
    std::function<void()> Throw;
    std::optional<std::string> OpenFile(const TFileDialogSpec&) override {
      Throw();
      return std::nullopt;
    }
  };
  TThrowingDialog throwing;
  TMainForm main(throwing, Link, [this](const std::string& t, const std::string& c) {
    errors.push_back(c + ": " + t);
  });
  struct TCase {
    std::function<void()> Throw;
    std::string Shown;
  };
  const std::vector<TCase> cases{
      {[] { throw std::bad_alloc(); }, "Dikton: Недостаточно памяти."},
      {[] { throw std::runtime_error("Путь не принят"); }, "Dikton: Путь не принят."},
      {[] { throw 7; }, "Dikton: Неизвестная ошибка."},
  };
  for (const auto& c : cases) {
    errors.clear();
    throwing.Throw = c.Throw;
    SendMessageW(main.Handle(), WM_COMMAND, kIdFileOpen, 0);
    EXPECT_EQ(errors, std::vector<std::string>{c.Shown});
    EXPECT_TRUE(IsWindow(main.Handle()));
  }

  // The system refuses to create the dialogs (a CBT hook says no, as it would to a program
  // out of window handles).
  struct THook {
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
      if (code == HCBT_CREATEWND) {
        const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        const auto* cls = create->lpcs->lpszClass;
        if (!IS_INTRESOURCE(cls) &&
            (std::wstring(cls) == L"TfrmSettings" || std::wstring(cls) == L"TfrmProcessStatus"))
          return 1;
      }
      return CallNextHookEx(nullptr, code, wParam, lParam);
    }
  };
  HHOOK hook = SetWindowsHookExW(WH_CBT, &THook::Proc, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  EXPECT_THROW(TfrmProcessStatus(dialog, main.Handle()), std::exception);
  errors.clear();
  // Should a modal loop start without its window, this message ends it.
  PostQuitMessage(0);
  SendMessageW(main.Handle(), WM_COMMAND, kIdProgSettings, 0);
  UnhookWindowsHookEx(hook);
  MSG quit{};
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  EXPECT_EQ(errors, std::vector<std::string>{"Dikton: Не могу создать окно."});
  EXPECT_TRUE(IsWindowEnabled(main.Handle())) << "the main window is not left disabled";
}

// The row indicator is not a column the user can take hold of: it stays first and narrow,
// whatever is dragged; the data columns move and resize, and Tab and the path editor follow
// them.
TEST_F(Win32Gui, RowIndicatorStaysFirstAndTheColumnsFollowTheUser) {
  Create();
  HWND list = form->tlSound(), header = ListView_GetHeader(list);
  const int indicator = ListView_GetColumnWidth(list, 0);
  auto drag = [&](POINT from, POINT to) {
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    const int steps = 8;
    for (int i = 1; i <= steps; ++i)
      SendMessageW(header, WM_MOUSEMOVE, MK_LBUTTON,
                   MAKELPARAM(from.x + (to.x - from.x) * i / steps, to.y));
    SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    Pump();
  };
  auto itemRect = [&](int column) {
    RECT r{};
    Header_GetItemRect(header, column, &r);
    return r;
  };
  auto order = [&] {
    std::array<int, 4> o{};
    ListView_GetColumnOrderArray(list, 4, o.data());
    return o;
  };
  const int y = (itemRect(0).top + itemRect(0).bottom) / 2;
  // Its divider dragged to the right, and the name column's caption dragged in front of it.
  drag({itemRect(0).right, y}, {itemRect(0).right + 60, y});
  EXPECT_EQ(ListView_GetColumnWidth(list, 0), indicator) << "not resized";
  drag({(itemRect(2).left + itemRect(2).right) / 2, y}, {itemRect(0).left + 1, y});
  EXPECT_EQ(order()[0], 0) << "nothing goes before it";
  // A data column resized by the user is resized.
  const int name = ListView_GetColumnWidth(list, 1);
  drag({itemRect(1).right, y}, {itemRect(1).right + 30, y});
  EXPECT_GT(ListView_GetColumnWidth(list, 1), name) << "the name column takes the drag";

  // Path before name: Tab goes the way the user sees the columns.
  std::array<int, 4> moved{0, 2, 1, 3};
  ListView_SetColumnOrderArray(list, 4, moved.data());
  form->tlSoundClick(6, 0);
  SendMessageW(list, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(form->CurrentColumn(), 2) << "name -> size";
  SendMessageW(list, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(form->CurrentRow(), 7);
  EXPECT_EQ(form->CurrentColumn(), 1) << "size -> the next row's path";
  ASSERT_TRUE(form->EditorOpen());
  SendMessageW(form->PathEdit(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(form->CurrentColumn(), 0) << "path -> name";

  // The open editor stays over its cell when a column before it changes width.
  form->tlSoundClick(7, 1);
  ASSERT_TRUE(form->EditorOpen());
  drag({itemRect(0).right + ListView_GetColumnWidth(list, 2) - 0, y},
       {itemRect(0).right + ListView_GetColumnWidth(list, 2) + 40, y});
  RECT cell{}, editor{};
  ListView_GetSubItemRect(list, 7, 2, LVIR_BOUNDS, &cell);
  GetWindowRect(form->PathEdit(), &editor);
  MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&editor), 2);
  EXPECT_EQ(editor.left, cell.left);
  EXPECT_EQ(editor.top, cell.top);
}

// The task-bar button carries the application title, not the long caption: the button belongs
// to the application window, which owns the main window. Wine under Xvfb has no task bar; the
// test asks which of the program's windows the system gives one to (a visible top-level window
// that no other owns and that is not a tool window, or one marked for it).
TEST_F(Win32Gui, TaskBarButtonSaysDikton) {
  Create();
  std::vector<std::string> buttons;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM out) -> BOOL {
        const auto ex = DWORD(GetWindowLongPtrW(w, GWL_EXSTYLE));
        const bool button =
            (ex & WS_EX_APPWINDOW) || (!GetWindow(w, GW_OWNER) && !(ex & WS_EX_TOOLWINDOW));
        if (IsWindowVisible(w) && button)
          reinterpret_cast<std::vector<std::string>*>(out)->push_back(Text(w));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&buttons));
  EXPECT_EQ(buttons, std::vector<std::string>{"Dikton"});
  HWND app = GetWindow(form->Handle(), GW_OWNER);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(Text(app), "Dikton");
  EXPECT_EQ(Text(form->Handle()), txt::MainCaption) << "the window keeps its caption";
  // Minimised, the main window goes with the application; the button brings it back.
  SendMessageW(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Pump();
  EXPECT_TRUE(IsIconic(app));
  ShowWindow(app, SW_RESTORE);
  Pump();
  EXPECT_FALSE(IsIconic(app));
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  // Closing from the button closes the program's window.
  bool closed = false;
  form->OnClosed = [&] { closed = true; };
  SendMessageW(app, WM_CLOSE, 0, 0);
  Pump();
  EXPECT_TRUE(closed);
}

// The file dialogs with a folder of their own start there, also after the user has left one
// in another folder. Since Windows 7 the system remembers that other folder and prefers it to
// the initial folder; Wine does not, so the test looks at what the dialog is given (the folder
// in the file name, which the system does not override) and at where Wine's dialog opens.
TEST_F(Win32Gui, FileDialogsStartInTheProgramFolder) {
  TFileDialogSpec save;
  save.Folder = "C:\\Dikton";
  save.FileName = "memory.bin";
  TFileDialogSpec open = save;
  open.FileName.clear();
  TFileDialogSpec wav;  // the shared open dialog with no folder set: where it was left
  wav.FileName.clear();
  struct TCase {
    TFileDialogSpec Spec;
    std::wstring File, InitialDir;
  };
  for (const auto& c : {TCase{save, L"C:\\Dikton\\memory.bin", L""},
                        TCase{open, L"C:\\Dikton\\", L""}, TCase{wav, L"", L"D:\\voices"}}) {
    const TFileDialogStart start = FileDialogStart(c.Spec, "D:\\voices");
    EXPECT_EQ(start.File, c.File);
    EXPECT_EQ(start.InitialDir, c.InitialDir);
  }

  // The real open dialog of "Открыть", under Wine: in the program's folder, each time it
  // opens.
  std::array<wchar_t, MAX_PATH> temp{};
  GetTempPathW(DWORD(temp.size()), temp.data());
  const std::wstring program = std::wstring(temp.data()) + L"dikton-wingui-program";
  const std::wstring elsewhere = std::wstring(temp.data()) + L"dikton-wingui-elsewhere";
  CreateDirectoryW(program.c_str(), nullptr);
  CreateDirectoryW(elsewhere.c_str(), nullptr);
  TWinUserDialog real;
  TMainForm main(real, Link);
  real.SetOwner(main.Handle());
  main.Commands().ProgramFolder = S(program);
  struct TDriver {
    std::wstring Folder;
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
      if (m != WM_APP) return DefWindowProcW(w, m, wp, lp);
      auto* self = reinterpret_cast<TDriver*>(GetWindowLongPtrW(w, GWLP_USERDATA));
      HWND dlg = FindWindowW(L"#32770", W(txt::OpenImageTitle).c_str());
      if (!dlg) {
        PostMessageW(w, WM_APP, 0, 0);
        return 0;
      }
      std::array<wchar_t, MAX_PATH> folder{};
      SendMessageW(dlg, CDM_GETFOLDERPATH, WPARAM(folder.size()),
                   reinterpret_cast<LPARAM>(folder.data()));
      self->Folder = folder.data();
      PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
      return 0;
    }
  } driver;
  HWND w = DriverWindow(L"TestFolderDriver", &TDriver::Proc, &driver);
  ASSERT_NE(w, nullptr);
  main.Commands().ProgramFolder = S(elsewhere);
  PostMessageW(w, WM_APP, 0, 0);
  SendMessageW(main.Handle(), WM_COMMAND, kIdFileOpen, 0);
  EXPECT_EQ(driver.Folder, elsewhere);
  main.Commands().ProgramFolder = S(program);
  PostMessageW(w, WM_APP, 0, 0);
  SendMessageW(main.Handle(), WM_COMMAND, kIdFileOpen, 0);
  EXPECT_EQ(driver.Folder, program) << "in the program's folder again";
  DestroyWindow(w);
  RemoveDirectoryW(program.c_str());
  RemoveDirectoryW(elsewhere.c_str());
}

}  // namespace
}  // namespace dikton::win

#include "uMainForm.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <vector>

#include "uConst_Orbis.h"
#include "uGuiTexts.h"
#include "uWinStrings.h"
#include "ufrmSettings.h"

namespace dikton::win {

namespace {
constexpr wchar_t kClass[] = L"TMainForm";
constexpr wchar_t kAppClass[] = L"TApplication";
constexpr int kClientWidth = 767, kClientHeight = 461;  // px, below the menu bar
constexpr int kDesignedLeft = 419, kDesignedTop = 565;  // px
constexpr int kListX = 2, kListY = 2, kListWidth = 759, kListHeight = 431;  // px
constexpr int kStatusHeight = 19;                                           // px
constexpr int kColPath = 1;                                // data columns: name, path, info
constexpr std::array<int, 3> kColumnWidths{99, 485, 115};  // px
constexpr int kIndicatorWidth = 14;                        // px, list column 0: the row indicator
constexpr int kTextChars = 1024;      // characters, the first buffer for a cell's text
constexpr int kMaxTextChars = 65536;  // characters, more than any path Windows takes
constexpr int kMaxPathChars = 32767;  // characters the path editor takes, the longest path
constexpr int kIconId = 1;            // the program's icon in its resources
constexpr int kIdList = 200, kIdStatus = 201, kIdEdit = 202, kIdBrowse = 203;
constexpr UINT_PTR kSubclassId = 1;
// Posted after the user has moved or resized a column: the editor follows its cell once the
// list has taken the change.
constexpr UINT kMsgPlaceEditor = WM_APP + 1;
// Fixed single border, system menu and minimise box, no maximise box.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;

// List column of a data column: column 0 of the list is the row indicator.
int ListColumn(int column) { return column + 1; }

// The text of a failure that escaped a command: the application's error box shows it.
std::string FailureText(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const TAppError& e) {
    return e.Text();
  } catch (const std::bad_alloc&) {
    return std::string(guitxt::OutOfMemory);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return std::string(guitxt::UnknownFailure);
  }
}
}  // namespace

TMainForm::TMainForm(TUserDialog& dialog, TLinkContext link, TErrorBox errorBox)
    : dialog_(dialog), link_(link), errorBox_(std::move(errorBox)), commands_(dialog, link) {
  for (size_t c = 0; c < columnWidths_.size(); ++c) columnWidths_[c] = kColumnWidths[c];
  if (!errorBox_) {
    errorBox_ = [this](const std::string& text, const std::string& caption) {
      dialog_.Message(text, caption, TIcon::Stop, TButtons::Ok);
    };
  }
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                            ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS |
                                            ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId));
  RegisterWindowClass(kClass, &TMainForm::Proc, icon);
  RegisterWindowClass(kAppClass, &TMainForm::AppProc, icon);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  // The application window: no size, in the middle of the screen, with the title the
  // task-bar button shows.
  app_ = CreateWindowExW(0, kAppClass, W(txt::AppTitle).c_str(),
                         WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                         (work.left + work.right) / 2, (work.top + work.bottom) / 2, 0, 0, nullptr,
                         nullptr, GetModuleHandleW(nullptr), this);
  CheckCreated(app_);
  // The designed place and size, for the system's DPI; Layout then takes the DPI of the
  // monitor the window is on.
  const int systemDpi = WindowDpi(nullptr);
  const SIZE size = WindowSizeFor(Scale(kClientWidth, systemDpi), Scale(kClientHeight, systemDpi),
                                  kStyle, kExStyle, true, systemDpi);
  CreateWindowExW(kExStyle, kClass, W(txt::MainCaption).c_str(), kStyle,
                  Scale(kDesignedLeft, systemDpi), Scale(kDesignedTop, systemDpi), size.cx, size.cy,
                  app_, nullptr, GetModuleHandleW(nullptr), this);
  if (!hwnd_) DestroyWindow(app_);
  CheckCreated(hwnd_);
  BuildMenu();
  BuildList();
  BuildStatusBar();
  Layout(WindowDpi(hwnd_));
  KeepOnScreen();
  SetCurrent(0, 0);
  ShowState();
}

TMainForm::~TMainForm() {
  OnClosed = nullptr;
  if (hwnd_) DestroyWindow(hwnd_);
  if (app_) DestroyWindow(app_);
}

void TMainForm::Layout(int dpi) {
  dpi_ = dpi;
  TFont font = DiktonFont(dpi);
  SetFontAll(hwnd_, font.get());
  font_ = std::move(font);  // the old one only now, when no control uses it any more
  // The menu bar may wrap to a second line with another font; the client size stays exact.
  const int clientWidth = Scale(kClientWidth, dpi), clientHeight = Scale(kClientHeight, dpi);
  SetClientSize(hwnd_, clientWidth, clientHeight);
  PlaceScaled(list_, kListX, kListY, kListWidth, kListHeight, dpi);
  layingOut_ = true;
  ListView_SetColumnWidth(list_, 0, Scale(kIndicatorWidth, dpi));
  for (int c = 0; c < 3; ++c)
    ListView_SetColumnWidth(list_, ListColumn(c),
                            int(std::lround(columnWidths_[size_t(c)] * dpi / kDesignDpi)));
  layingOut_ = false;
  const int statusHeight = Scale(kStatusHeight, dpi);
  MoveWindow(status_, 0, clientHeight - statusHeight, clientWidth, statusHeight, TRUE);
  ShowState();
  PlaceEditor();
}

void TMainForm::KeepOnScreen() {
  RECT frame{};
  GetWindowRect(hwnd_, &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const RECT& work = monitor.rcWork;
  const LONG w = frame.right - frame.left, h = frame.bottom - frame.top;
  const LONG x = std::max(work.left, std::min<LONG>(frame.left, work.right - w));
  const LONG y = std::max(work.top, std::min<LONG>(frame.top, work.bottom - h));
  if (x != frame.left || y != frame.top)
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainForm::RestoreFocus() {
  if (!hwnd_ || IsIconic(hwnd_)) return;
  HWND target = editorRow_ >= 0 ? edit_ : list_;
  if (target && GetFocus() != target) SetFocus(target);
}

void TMainForm::ShowFailure(std::exception_ptr failure) {
  const std::string text = FailureText(failure);
  try {
    errorBox_(ErrorBoxText(text), std::string(txt::AppTitle));
  } catch (...) {
    // The box itself failed (no memory left even for it): the system's own box, which needs
    // nothing of this program.
    MessageBoxW(hwnd_, W(text).c_str(), W(txt::AppTitle).c_str(), MB_OK | MB_ICONSTOP);
  }
}

const TPortMap& TMainForm::Ports() const { return link_.Ports ? *link_.Ports : defaultPorts_; }

void TMainForm::BuildMenu() {
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  auto item = [](HMENU menu, UINT id, std::string_view caption, bool enabled = true) {
    AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), id, W(caption).c_str());
  };
  // No command behind these two: greyed out for the whole run.
  item(file, kIdCreateCRCfile, guitxt::CreateCRCfile, false);
  item(file, kIdFileSave, guitxt::FileSave);
  item(file, kIdFileOpen, guitxt::FileOpen);
  item(file, kIdSavePaths, guitxt::SavePaths);
  item(file, kIdOpenPaths, guitxt::OpenPaths);
  item(file, kIdProgSettings, guitxt::ProgSettings);
  item(file, kIdExitProg, guitxt::ExitProg);
  HMENU memory = CreatePopupMenu();
  item(memory, kIdReadAllMemory, guitxt::ReadAllMemory);
  item(memory, kIdWriteAll, guitxt::WriteAll);
  item(memory, kIdWriteSoundMem, guitxt::WriteSoundMem);
  item(memory, kIdCheckMemory, guitxt::CheckMemory, false);
  item(memory, kIdGetSizeSoundMem, guitxt::GetSizeSoundMem);
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), W(guitxt::MenuFile).c_str());
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(memory), W(guitxt::MenuMemory).c_str());
  SetMenu(hwnd_, bar);  // destroyed with the window
}

void TMainForm::BuildList() {
  list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | LVS_REPORT |
                              LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                          kListX, kListY, kListWidth, kListHeight, hwnd_,
                          reinterpret_cast<HMENU>(INT_PTR(kIdList)), GetModuleHandleW(nullptr),
                          nullptr);
  // Grid lines; the user may drag the data columns to another place and resize them (the row
  // indicator stays first and keeps its width: OnHeaderNotify).
  ListView_SetExtendedListViewStyle(list_,
                                    LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_DOUBLEBUFFER);
  const std::array<std::string_view, 3> captions{guitxt::ColName, guitxt::ColPath, guitxt::ColInfo};
  LVCOLUMNW indicator{};
  indicator.mask = LVCF_WIDTH | LVCF_TEXT;
  indicator.cx = kIndicatorWidth;
  indicator.pszText = const_cast<wchar_t*>(L"");
  ListView_InsertColumn(list_, 0, &indicator);
  for (int c = 0; c < 3; ++c) {
    std::wstring text = W(captions[size_t(c)]);
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.cx = kColumnWidths[size_t(c)];
    col.pszText = text.data();
    col.iSubItem = ListColumn(c);
    ListView_InsertColumn(list_, ListColumn(c), &col);
  }
  for (int r = 0; r < TFragmentCatalogue::Count(); ++r) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = r;
    item.pszText = const_cast<wchar_t*>(L"");
    ListView_InsertItem(list_, &item);
  }
  SetWindowSubclass(list_, &TMainForm::ListProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));

  // The path cell's editor: an edit and one browse button over the cell, made once and shown
  // while a path is edited.
  edit_ = CreateWindowExW(0, WC_EDITW, L"", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, 0, 0, 0, 0,
                          list_, reinterpret_cast<HMENU>(INT_PTR(kIdEdit)),
                          GetModuleHandleW(nullptr), nullptr);
  browse_ = CreateWindowExW(
      0, WC_BUTTONW, W(guitxt::BrowseButton).c_str(), WS_CHILD | BS_PUSHBUTTON | BS_NOTIFY, 0, 0, 0,
      0, list_, reinterpret_cast<HMENU>(INT_PTR(kIdBrowse)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(edit_, EM_SETLIMITTEXT, kMaxPathChars, 0);
  SetWindowSubclass(edit_, &TMainForm::EditProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void TMainForm::BuildStatusBar() {
  // Placed by the window itself: along the bottom edge, 19 pixels high, no size grip.
  status_ = CreateWindowExW(
      0, STATUSCLASSNAMEW, L"",
      WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0,
      kClientHeight - kStatusHeight, kClientWidth, kStatusHeight, hwnd_,
      reinterpret_cast<HMENU>(INT_PTR(kIdStatus)), GetModuleHandleW(nullptr), nullptr);
}

void TMainForm::ShowState() {
  // Right edges of the panels; the last one takes what the others leave.
  std::array<int, 4> edges{};
  int right = 0;
  for (size_t i = 0; i < edges.size(); ++i) {
    right += commands_.StatusBar.Width[i];
    edges[i] = i + 1 == edges.size() ? -1 : Scale(right, dpi_);
  }
  SendMessageW(status_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  for (size_t i = 0; i < edges.size(); ++i)
    SendMessageW(status_, SB_SETTEXTW, i,
                 reinterpret_cast<LPARAM>(W(commands_.StatusBar.Text[i]).c_str()));
  for (int r = 0; r < TFragmentCatalogue::Count(); ++r) {
    const TFragmentRow& row = commands_.Catalogue.Row(r);
    const std::array<const std::string*, 3> texts{&row.NameText, &row.PathText, &row.InfoText};
    for (int c = 0; c < 3; ++c) {
      if (c == kColPath && editorRow_ == r) continue;  // being edited
      if (CellText(r, c) != *texts[size_t(c)]) SetCellText(r, c, *texts[size_t(c)]);
    }
  }
}

void TMainForm::SetCellText(int row, int column, const std::string& text) {
  std::wstring w = W(text);
  ListView_SetItemText(list_, row, ListColumn(column), w.data());
}

std::string TMainForm::CellText(int row, int column) const {
  // A path cell holds as long a path as the editor took: read until the text fits.
  for (int size = kTextChars;; size *= 2) {
    std::vector<wchar_t> text(size_t(size), L'\0');
    LVITEMW item{};
    item.iSubItem = ListColumn(column);
    item.pszText = text.data();
    item.cchTextMax = size;
    const int n =
        int(SendMessageW(list_, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item)));
    if (n < size - 1 || size >= kMaxTextChars)
      return S(std::wstring_view(text.data(), size_t(std::clamp(n, 0, size - 1))));
  }
}

void TMainForm::Run(const std::function<void()>& command) {
  CloseEditor(true);
  try {
    command();
  } catch (...) {
    // "Не могу открыть порт!" and whatever else went wrong (no memory, a path the system
    // refuses, a window that could not be made): a box, and the program goes on.
    ShowFailure(std::current_exception());
  }
  ShowState();
}

void TMainForm::MenuCommand(UINT id) {
  switch (id) {
    case kIdFileSave:
      return Run([this] { commands_.FileSaveClick(); });
    case kIdFileOpen:
      return Run([this] { commands_.FileOpenClick(); });
    case kIdSavePaths:
      return Run([this] { commands_.SavePathsClick(); });
    case kIdOpenPaths:
      return Run([this] { commands_.OpenPathsClick(); });
    case kIdProgSettings:
      return ProgSettingsClick();
    case kIdExitProg:
      // No confirmation, also with an image that was read but not saved.
      DestroyWindow(hwnd_);
      return;
    case kIdReadAllMemory:
      return Run([this] { commands_.ReadAllMemoryClick(); });
    case kIdWriteAll:
      return Run([this] { commands_.WriteAllClick(); });
    case kIdWriteSoundMem:
      return Run([this] { commands_.WriteSoundMemClick(); });
    case kIdGetSizeSoundMem:
      return Run([this] { commands_.GetSizeSoundMemClick(); });
    default:
      return;  // the greyed items have no command
  }
}

void TMainForm::ProgSettingsClick() {
  Run([this] {
    TfrmSettings settings(Ports(), hwnd_);
    settings.SetValues(commands_.State.PortNumber, commands_.State.DeviceAddress);
    if (OnSettingsShown) OnSettingsShown(settings);
    if (settings.ShowModal())
      commands_.SetSettings(static_cast<uint8_t>(settings.Port()),
                            static_cast<uint8_t>(settings.Device()));
  });
}

void TMainForm::SetCurrent(int row, int column) {
  if (row < 0 || row >= TFragmentCatalogue::Count()) return;
  if (row != row_) ListView_SetItemText(list_, row_, 0, const_cast<wchar_t*>(L""));
  row_ = row;
  column_ = column;
  std::wstring marker = W(guitxt::RowMarker);
  ListView_SetItemText(list_, row_, 0, marker.data());
  ListView_SetItemState(list_, row_, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  ListView_EnsureVisible(list_, row_, FALSE);
  InvalidateRect(list_, nullptr, FALSE);
}

std::array<int, 3> TMainForm::VisibleColumns() const {
  std::array<int, 4> order{0, 1, 2, 3};
  ListView_GetColumnOrderArray(list_, int(order.size()), order.data());
  std::array<int, 3> out{0, 1, 2};
  size_t n = 0;
  for (const int listColumn : order)
    if (listColumn >= 1 && listColumn <= 3 && n < out.size()) out[n++] = listColumn - 1;
  return out;
}

void TMainForm::MoveCurrent(bool back) {
  // Row by row, in the order the columns are shown.
  const std::array<int, 3> visible = VisibleColumns();
  const int at = int(std::find(visible.begin(), visible.end(), column_) - visible.begin());
  int row = row_, position = at + (back ? -1 : 1);
  if (position > 2) position = 0, ++row;
  if (position < 0) position = 2, --row;
  if (row < 0 || row >= TFragmentCatalogue::Count()) return;
  const int column = visible[size_t(position)];
  CloseEditor(true);
  SetCurrent(row, column);
  if (column == kColPath) OpenEditor(row);
}

void TMainForm::OpenEditor(int row) {
  if (editorRow_ == row) return;
  CloseEditor(true);
  ListView_EnsureVisible(list_, row, FALSE);
  editorRow_ = row;
  // The editor opens with the row's full path; the cell shows the short form again when it
  // posts.
  SetWindowTextW(edit_, W(commands_.Catalogue.Row(row).Cell.Path).c_str());
  PlaceEditor();
  ShowWindow(edit_, SW_SHOW);
  ShowWindow(browse_, SW_SHOW);
  SetFocus(edit_);
  SendMessageW(edit_, EM_SETSEL, 0, -1);
}

void TMainForm::PlaceEditor() {
  if (editorRow_ < 0 || !list_) return;
  RECT cell{};
  ListView_GetSubItemRect(list_, editorRow_, ListColumn(kColPath), LVIR_BOUNDS, &cell);
  const int h = cell.bottom - cell.top;
  MoveWindow(edit_, cell.left, cell.top, std::max(0, int(cell.right - cell.left) - h), h, TRUE);
  MoveWindow(browse_, cell.right - h, cell.top, h, h, TRUE);
}

void TMainForm::CloseEditor(bool post) {
  if (editorRow_ < 0 || closing_) return;
  closing_ = true;
  struct TClosing {
    bool& Flag;
    ~TClosing() { Flag = false; }
  } closing{closing_};  // also when the validation throws
  const int row = editorRow_;
  if (post) SetCellText(row, kColPath, commands_.tlPathValidate(row, WindowText(edit_)));
  editorRow_ = -1;
  const bool hadFocus = GetFocus() == edit_ || GetFocus() == browse_;
  ShowWindow(edit_, SW_HIDE);
  ShowWindow(browse_, SW_HIDE);
  if (hadFocus) SetFocus(list_);
  ShowState();
}

void TMainForm::tlPathButtonClick() {
  const int row = editorRow_;
  if (row < 0) return;
  bool filled = false;
  browsing_ = true;
  try {
    filled = commands_.tlPathButtonClick(row);
  } catch (...) {
    ShowFailure(std::current_exception());
  }
  browsing_ = false;
  if (filled && editorRow_ == row)
    SetWindowTextW(edit_, W(commands_.Catalogue.Row(row).Cell.Path).c_str());
  if (editorRow_ >= 0) SetFocus(edit_);
}

void TMainForm::tlSoundClick(int row, int column) {
  // A click on another cell posts the open editor, as leaving it does.
  if (editorRow_ >= 0 && (row != editorRow_ || column != kColPath)) CloseEditor(true);
  SetCurrent(row, column);
  // A click opens the path cell's editor at once, also on the current cell.
  if (column == kColPath) OpenEditor(row);
  const bool editorOpen = column == kColPath && editorRow_ == row;
  if (const auto text = commands_.tlSoundClick(row, column, editorOpen); text && editorOpen)
    SetWindowTextW(edit_, W(*text).c_str());
}

void TMainForm::DrawIndicator(HDC dc, int row) {
  RECT cell{};
  ListView_GetItemRect(list_, row, &cell, LVIR_BOUNDS);
  cell.right = cell.left + ListView_GetColumnWidth(list_, 0) - 1;
  cell.bottom -= 1;  // leaves the grid line
  FillRect(dc, &cell, GetSysColorBrush(COLOR_BTNFACE));
  if (row != row_) return;
  const int h = cell.bottom - cell.top;
  const int size = std::min(h, int(cell.right - cell.left)) / 3;  // half the triangle's height
  const int cx = (cell.left + cell.right) / 2, cy = (cell.top + cell.bottom) / 2;
  const std::array<POINT, 3> triangle{POINT{cx - size / 2, cy - size},
                                      POINT{cx - size / 2, cy + size}, POINT{cx + size, cy}};
  HGDIOBJ oldBrush = SelectObject(dc, GetSysColorBrush(COLOR_WINDOWTEXT));
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  Polygon(dc, triangle.data(), int(triangle.size()));
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
}

LRESULT TMainForm::OnNotify(NMHDR* header) {
  if (header->hwndFrom != list_) return 0;
  switch (header->code) {
    case NM_CLICK: {
      LVHITTESTINFO hit{};
      hit.pt = reinterpret_cast<NMITEMACTIVATE*>(header)->ptAction;
      if (ListView_SubItemHitTest(list_, &hit) >= 0 && hit.iItem >= 0 && hit.iSubItem >= 1)
        tlSoundClick(hit.iItem, hit.iSubItem - 1);
      return 0;
    }
    case LVN_ITEMCHANGED: {
      const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
      if (change->iItem >= 0 && (change->uNewState & LVIS_FOCUSED) &&
          !(change->uOldState & LVIS_FOCUSED) && change->iItem != row_) {
        CloseEditor(true);
        SetCurrent(change->iItem, column_);
      }
      return 0;
    }
    case LVN_BEGINSCROLL:
      CloseEditor(true);
      return 0;
    case NM_CUSTOMDRAW: {
      // The current cell is marked like a selection; the rest of the row is not.
      auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
      switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
          return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
          draw->nmcd.uItemState &= ~UINT(CDIS_SELECTED | CDIS_FOCUS);
          return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
          if (draw->iSubItem == 0) {
            DrawIndicator(draw->nmcd.hdc, int(draw->nmcd.dwItemSpec));
            return CDRF_SKIPDEFAULT;
          }
          const bool current =
              int(draw->nmcd.dwItemSpec) == row_ && draw->iSubItem == ListColumn(column_);
          draw->nmcd.uItemState &= ~UINT(CDIS_SELECTED | CDIS_FOCUS);
          draw->clrText = GetSysColor(current ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
          draw->clrTextBk = GetSysColor(current ? COLOR_HIGHLIGHT : COLOR_WINDOW);
          return CDRF_NEWFONT;
        }
        default:
          return CDRF_DODEFAULT;
      }
    }
    default:
      return 0;
  }
}

LRESULT CALLBACK TMainForm::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TMainForm* self =
      message == WM_NCCREATE ? Attach<TMainForm>(window, lParam) : Self<TMainForm>(window);
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCCREATE) self->hwnd_ = window;
  // No exception may unwind through the system's code that called us.
  try {
    return self->WndProc(message, wParam, lParam);
  } catch (...) {
    self->ShowFailure(std::current_exception());
    return 0;
  }
}

LRESULT CALLBACK TMainForm::AppProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) Attach<TMainForm>(window, lParam);
  TMainForm* self = Self<TMainForm>(window);
  if (!self || !self->hwnd_ || message == WM_NCCREATE)
    return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_ACTIVATE:
      // The task-bar button activates this window: pass it on to the main window, or to
      // the dialog that is open over it.
      if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(window)) {
        HWND target = IsWindowEnabled(self->hwnd_) ? self->hwnd_ : GetLastActivePopup(self->hwnd_);
        if (target && target != window && IsWindowVisible(target)) SetActiveWindow(target);
        return 0;
      }
      break;
    case WM_CLOSE:  // "Закрыть окно" of the task-bar button
      if (IsWindowEnabled(self->hwnd_)) PostMessageW(self->hwnd_, WM_CLOSE, 0, 0);
      return 0;
    case WM_DESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      if (self->app_ == window) self->app_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TMainForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      // Whatever took the activation away (a dialog, a box, another program), the keyboard
      // goes back to the list.
      if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) {
        RestoreFocus();
        return 0;
      }
      break;
    case WM_SETFOCUS:
      RestoreFocus();
      return 0;
    case WM_SHOWWINDOW:
      // Shown by the program (not by its owner's restore): the task-bar button with it.
      if (wParam && lParam == 0 && app_) ShowWindow(app_, SW_SHOWNOACTIVATE);
      break;
    case WM_SYSCOMMAND:
      // Minimised as the application: the owner takes the window with it off the screen,
      // and the task-bar button brings both back.
      if ((wParam & 0xFFF0) == SC_MINIMIZE && app_) {
        ShowWindow(app_, SW_MINIMIZE);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      Layout(FollowDpiChange(hwnd_, wParam, lParam));
      return 0;
    }
    case kMsgPlaceEditor:
      PlaceEditor();
      return 0;
    case WM_COMMAND:
      if (lParam == 0) MenuCommand(LOWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_GETFONT:  // the window's font, which its controls use
      return reinterpret_cast<LRESULT>(font_.get());
    case WM_CLOSE:
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY: {
      HWND window = hwnd_;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      list_ = status_ = edit_ = browse_ = nullptr;
      if (app_) ShowWindow(app_, SW_HIDE);  // the button goes with the window
      if (OnClosed) OnClosed();
      return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT TMainForm::OnHeaderNotify(NMHDR* header, bool& handled) {
  const auto* item = reinterpret_cast<const NMHEADERW*>(header);
  handled = true;
  switch (header->code) {
    case HDN_BEGINTRACKW:
    case HDN_BEGINTRACKA:
    case HDN_DIVIDERDBLCLICKW:
    case HDN_DIVIDERDBLCLICKA:
      if (item->iItem == 0) return TRUE;  // the indicator is not resized
      break;
    case HDN_ITEMCHANGINGW:
    case HDN_ITEMCHANGINGA:
      if (item->iItem == 0 && item->pitem && (item->pitem->mask & HDI_WIDTH) && !layingOut_)
        return TRUE;
      break;
    case HDN_BEGINDRAG:
      if (item->iItem == 0) return TRUE;  // nor moved
      break;
    case HDN_ENDDRAG:
      // Nothing goes before the indicator.
      if (item->iItem == 0 ||
          (item->pitem && (item->pitem->mask & HDI_ORDER) && item->pitem->iOrder == 0))
        return TRUE;
      PostMessageW(hwnd_, kMsgPlaceEditor, 0, 0);
      break;
    case HDN_ITEMCHANGEDW:
    case HDN_ITEMCHANGEDA:
      // The user's width (or another program's), in designed pixels.
      if (!layingOut_ && item->iItem >= 1 && item->iItem <= 3 && item->pitem &&
          (item->pitem->mask & HDI_WIDTH))
        columnWidths_[size_t(item->iItem - 1)] = item->pitem->cxy * double(kDesignDpi) / dpi_;
      PostMessageW(hwnd_, kMsgPlaceEditor, 0, 0);
      break;
    case HDN_ENDTRACKW:
    case HDN_ENDTRACKA:
      PostMessageW(hwnd_, kMsgPlaceEditor, 0, 0);
      break;
    default:
      break;
  }
  handled = false;
  return 0;
}

LRESULT CALLBACK TMainForm::ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<TMainForm*>(data);
  try {
    switch (message) {
      case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header && header->hwndFrom == ListView_GetHeader(window)) {
          bool handled = false;
          const LRESULT result = self->OnHeaderNotify(header, handled);
          if (handled) return result;
        }
        break;
      }
      case WM_COMMAND:
        if (LOWORD(wParam) == kIdBrowse && HIWORD(wParam) == BN_CLICKED) {
          self->tlPathButtonClick();
          return 0;
        }
        // Focus leaving the browse button for anything but the editor posts the editor.
        if (LOWORD(wParam) == kIdBrowse && HIWORD(wParam) == BN_KILLFOCUS &&
            GetFocus() != self->edit_ && !self->browsing_ && self->editorRow_ >= 0) {
          self->CloseEditor(true);
          return 0;
        }
        break;
      case WM_VSCROLL:
      case WM_HSCROLL:
      case WM_MOUSEWHEEL:
        self->CloseEditor(true);
        break;
      case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS | DefSubclassProc(window, message, wParam, lParam);
      case WM_KEYDOWN:
        if (wParam == VK_TAB) {
          self->MoveCurrent(GetKeyState(VK_SHIFT) < 0);
          return 0;
        }
        if (wParam == VK_LEFT || wParam == VK_RIGHT) {
          const std::array<int, 3> visible = self->VisibleColumns();
          const int at =
              int(std::find(visible.begin(), visible.end(), self->column_) - visible.begin()) +
              (wParam == VK_LEFT ? -1 : 1);
          if (at >= 0 && at <= 2) self->SetCurrent(self->row_, visible[size_t(at)]);
          return 0;
        }
        if ((wParam == VK_F2 || wParam == VK_RETURN) && self->column_ == kColPath) {
          self->OpenEditor(self->row_);
          return 0;
        }
        break;
      case WM_NCDESTROY:
        RemoveWindowSubclass(window, &TMainForm::ListProc, kSubclassId);
        break;
      default:
        break;
    }
  } catch (...) {
    self->ShowFailure(std::current_exception());
    return 0;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK TMainForm::EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<TMainForm*>(data);
  try {
    switch (message) {
      case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS | DefSubclassProc(window, message, wParam, lParam);
      case WM_KEYDOWN:
        if (wParam == VK_TAB) {
          self->MoveCurrent(GetKeyState(VK_SHIFT) < 0);
          return 0;
        }
        if (wParam == VK_RETURN) {
          self->CloseEditor(true);
          return 0;
        }
        if (wParam == VK_ESCAPE) {
          self->CloseEditor(false);
          return 0;
        }
        break;
      case WM_KILLFOCUS: {
        // Focus going anywhere but to the browse button posts the editor.
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        if (reinterpret_cast<HWND>(wParam) != self->browse_ && !self->browsing_ &&
            self->editorRow_ >= 0)
          self->CloseEditor(true);
        return result;
      }
      case WM_CHAR:
        if (wParam == L'\t' || wParam == L'\r' || wParam == 0x1B) return 0;  // no beep
        break;
      case WM_NCDESTROY:
        RemoveWindowSubclass(window, &TMainForm::EditProc, kSubclassId);
        break;
      default:
        break;
    }
  } catch (...) {
    self->ShowFailure(std::current_exception());
    return 0;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace dikton::win

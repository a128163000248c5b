#include "uMainForm.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

#include "uConst_Orbis.h"
#include "uGuiTexts.h"
#include "uWinStrings.h"
#include "ufrmSettings.h"

namespace dikton::win {

namespace {
constexpr wchar_t kClass[] = L"TMainForm";
constexpr int kClientWidth = 767, kClientHeight = 461;  // px, below the menu bar
constexpr int kDesignedLeft = 419, kDesignedTop = 565;  // px
constexpr int kListX = 2, kListY = 2, kListWidth = 759, kListHeight = 431;  // px
constexpr int kStatusHeight = 19;                                           // px
constexpr int kColPath = 1;                                // data columns: name, path, info
constexpr std::array<int, 3> kColumnWidths{99, 485, 115};  // px
constexpr int kIndicatorWidth = 14;                        // px, list column 0: the row indicator
constexpr int kTextChars = 1024;                           // characters read back from a cell
constexpr int kIconId = 1;                                 // the program's icon in its resources
constexpr int kIdList = 200, kIdStatus = 201, kIdEdit = 202, kIdBrowse = 203;
constexpr UINT_PTR kSubclassId = 1;
// Fixed single border, system menu and minimise box, no maximise box.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;

// List column of a data column: column 0 of the list is the row indicator.
int ListColumn(int column) { return column + 1; }
}  // namespace

TMainForm::TMainForm(TUserDialog& dialog, TLinkContext link, TErrorBox errorBox)
    : dialog_(dialog), link_(link), errorBox_(std::move(errorBox)), commands_(dialog, link) {
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
  const SIZE size = WindowSizeFor(kClientWidth, kClientHeight, kStyle, kExStyle, true);
  // The designed place, kept on the screen.
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const LONG x = std::max(work.left, std::min<LONG>(kDesignedLeft, work.right - size.cx));
  const LONG y = std::max(work.top, std::min<LONG>(kDesignedTop, work.bottom - size.cy));
  CreateWindowExW(kExStyle, kClass, W(txt::MainCaption).c_str(), kStyle, x, y, size.cx, size.cy,
                  nullptr, nullptr, GetModuleHandleW(nullptr), this);
  font_ = DiktonFont();
  BuildMenu();
  BuildList();
  BuildStatusBar();
  SetFontAll(hwnd_, font_.get());
  // The menu bar may wrap to a second line with another font; keep the client size exact.
  RECT client{};
  GetClientRect(hwnd_, &client);
  if (client.bottom != kClientHeight || client.right != kClientWidth) {
    RECT frame{};
    GetWindowRect(hwnd_, &frame);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left + kClientWidth - client.right,
                 frame.bottom - frame.top + kClientHeight - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SetCurrent(0, 0);
  ShowState();
}

TMainForm::~TMainForm() {
  OnClosed = nullptr;
  if (hwnd_) DestroyWindow(hwnd_);
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
  // Grid lines; the user may drag columns to another place and resize them.
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
    edges[i] = i + 1 == edges.size() ? -1 : right;
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
  std::array<wchar_t, kTextChars> text{};
  ListView_GetItemText(list_, row, ListColumn(column), text.data(), int(text.size()));
  return S(text.data());
}

void TMainForm::Run(const std::function<void()>& command) {
  CloseEditor(true);
  try {
    command();
  } catch (const TAppError& e) {
    errorBox_(ErrorBoxText(e.Text()), std::string(txt::AppTitle));
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

void TMainForm::MoveCurrent(bool back) {
  int row = row_, column = column_ + (back ? -1 : 1);
  if (column > 2) column = 0, ++row;
  if (column < 0) column = 2, --row;
  if (row < 0 || row >= TFragmentCatalogue::Count()) return;
  CloseEditor(true);
  SetCurrent(row, column);
  if (column == kColPath) OpenEditor(row);
}

void TMainForm::OpenEditor(int row) {
  if (editorRow_ == row) return;
  CloseEditor(true);
  ListView_EnsureVisible(list_, row, FALSE);
  RECT cell{};
  ListView_GetSubItemRect(list_, row, ListColumn(kColPath), LVIR_BOUNDS, &cell);
  const int h = cell.bottom - cell.top;
  editorRow_ = row;
  // The editor opens with the row's full path; the cell shows the short form again when it
  // posts.
  SetWindowTextW(edit_, W(commands_.Catalogue.Row(row).Cell.Path).c_str());
  MoveWindow(edit_, cell.left, cell.top, cell.right - cell.left - h, h, TRUE);
  MoveWindow(browse_, cell.right - h, cell.top, h, h, TRUE);
  ShowWindow(edit_, SW_SHOW);
  ShowWindow(browse_, SW_SHOW);
  SetFocus(edit_);
  SendMessageW(edit_, EM_SETSEL, 0, -1);
}

void TMainForm::CloseEditor(bool post) {
  if (editorRow_ < 0 || closing_) return;
  closing_ = true;
  const int row = editorRow_;
  if (post) {
    std::array<wchar_t, kTextChars> text{};
    GetWindowTextW(edit_, text.data(), int(text.size()));
    SetCellText(row, kColPath, commands_.tlPathValidate(row, S(text.data())));
  }
  editorRow_ = -1;
  const bool hadFocus = GetFocus() == edit_ || GetFocus() == browse_;
  ShowWindow(edit_, SW_HIDE);
  ShowWindow(browse_, SW_HIDE);
  if (hadFocus) SetFocus(list_);
  closing_ = false;
  ShowState();
}

void TMainForm::tlPathButtonClick() {
  const int row = editorRow_;
  if (row < 0) return;
  bool filled = false;
  browsing_ = true;
  try {
    filled = commands_.tlPathButtonClick(row);
  } catch (const TAppError& e) {
    errorBox_(ErrorBoxText(e.Text()), std::string(txt::AppTitle));
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
  return self->WndProc(message, wParam, lParam);
}

LRESULT TMainForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
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
      if (OnClosed) OnClosed();
      return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

LRESULT CALLBACK TMainForm::ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<TMainForm*>(data);
  switch (message) {
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
        const int column = self->column_ + (wParam == VK_LEFT ? -1 : 1);
        if (column >= 0 && column <= 2) self->SetCurrent(self->row_, column);
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
  return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK TMainForm::EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<TMainForm*>(data);
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
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace dikton::win

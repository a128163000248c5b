#include "uMainForm.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>

#include "uConst_Orbis.h"
#include "uGuiTexts.h"
#include "uPathDelegate.h"
#include "uQtStrings.h"
#include "ufrmSettings.h"

namespace dikton::gui {

namespace {
constexpr int kClientWidth = 767, kClientHeight = 461;  // px, below the menu bar
constexpr int kListX = 2, kListY = 2, kListWidth = 759, kListHeight = 431;  // px
constexpr int kStatusHeight = 19;                                           // px
constexpr int kColName = 0, kColPath = 1, kColInfo = 2;
constexpr std::array<int, 3> kColumnWidths{99, 485, 115};  // px
constexpr int kIndicatorWidth = 14;                        // px, the row indicator
constexpr int kRowHeight = 17;                             // px
}  // namespace

TMainForm::TMainForm(TUserDialog& dialog, TLinkContext link, TErrorBox errorBox, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      dialog_(dialog),
      link_(link),
      errorBox_(std::move(errorBox)),
      commands_(dialog, link) {
  if (!errorBox_) {
    errorBox_ = [this](const std::string& text, const std::string& caption) {
      dialog_.Message(text, caption, TIcon::Stop, TButtons::Ok);
    };
  }
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(Q(txt::MainCaption));
  // Where the window system names a window by its icon name (_NET_WM_ICON_NAME under X11:
  // iconified windows, window lists that read it), it is the application title, as the
  // task-bar button is on Windows. X11 has no caption of a task-bar button apart from these.
  setWindowIconText(Q(txt::AppTitle));
  setFont(DiktonFont());

  BuildMenu();
  auto* client = new QWidget(this);
  setCentralWidget(client);
  BuildList();
  BuildStatusBar();
  setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  ShowState();
}

TMainForm::~TMainForm() = default;

const TPortMap& TMainForm::Ports() const { return link_.Ports ? *link_.Ports : defaultPorts_; }

QAction* TMainForm::AddItem(QMenu* menu, const char* name, std::string_view caption,
                            std::function<void()> command) {
  QAction* action = menu->addAction(Q(caption));
  action->setObjectName(QLatin1String(name));
  if (command)
    connect(action, &QAction::triggered, this, [command = std::move(command)] { command(); });
  else
    action->setEnabled(false);  // no command behind it, greyed out for the whole run
  return action;
}

void TMainForm::BuildMenu() {
  QMenu* file = menuBar()->addMenu(Q(guitxt::MenuFile));
  file->setObjectName(QStringLiteral("MenuFile"));
  AddItem(file, "CreateCRCfile", guitxt::CreateCRCfile, {});
  AddItem(file, "FileSave", guitxt::FileSave,
          [this] { Run([this] { commands_.FileSaveClick(); }); });
  AddItem(file, "FileOpen", guitxt::FileOpen,
          [this] { Run([this] { commands_.FileOpenClick(); }); });
  AddItem(file, "SavePaths", guitxt::SavePaths,
          [this] { Run([this] { commands_.SavePathsClick(); }); });
  AddItem(file, "OpenPaths", guitxt::OpenPaths,
          [this] { Run([this] { commands_.OpenPathsClick(); }); });
  AddItem(file, "ProgSettings", guitxt::ProgSettings, [this] { ProgSettingsClick(); });
  // No confirmation, also with an image that was read but not saved.
  AddItem(file, "ExitProg", guitxt::ExitProg, [this] { close(); });

  QMenu* memory = menuBar()->addMenu(Q(guitxt::MenuMemory));
  memory->setObjectName(QStringLiteral("MenuMemory"));
  AddItem(memory, "ReadAllMemory", guitxt::ReadAllMemory,
          [this] { Run([this] { commands_.ReadAllMemoryClick(); }); });
  AddItem(memory, "WriteAll", guitxt::WriteAll,
          [this] { Run([this] { commands_.WriteAllClick(); }); });
  AddItem(memory, "WriteSoundMem", guitxt::WriteSoundMem,
          [this] { Run([this] { commands_.WriteSoundMemClick(); }); });
  AddItem(memory, "CheckMemory", guitxt::CheckMemory, {});
  AddItem(memory, "GetSizeSoundMem", guitxt::GetSizeSoundMem,
          [this] { Run([this] { commands_.GetSizeSoundMemClick(); }); });
}

void TMainForm::BuildList() {
  tlSound_ = new QTableWidget(TFragmentCatalogue::Count(), 3, centralWidget());
  tlSound_->setObjectName(QStringLiteral("tlSound"));
  tlSound_->setGeometry(kListX, kListY, kListWidth, kListHeight);
  tlSound_->setHorizontalHeaderLabels({Q(guitxt::ColName), Q(guitxt::ColPath), Q(guitxt::ColInfo)});
  for (int c = 0; c < static_cast<int>(kColumnWidths.size()); ++c)
    tlSound_->setColumnWidth(c, kColumnWidths[c]);
  QHeaderView* columns = tlSound_->horizontalHeader();
  columns->setSectionsMovable(true);
  columns->setSectionResizeMode(QHeaderView::Interactive);
  columns->setStretchLastSection(false);
  columns->setHighlightSections(false);

  // The vertical header is the row indicator: it marks the current row and nothing else.
  QHeaderView* rows = tlSound_->verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(kRowHeight);
  rows->setMinimumSectionSize(kRowHeight);
  rows->setFixedWidth(kIndicatorWidth);
  rows->setDefaultAlignment(Qt::AlignCenter);

  tlSound_->setShowGrid(true);
  tlSound_->setWordWrap(false);
  tlSound_->setSelectionMode(QAbstractItemView::SingleSelection);
  tlSound_->setSelectionBehavior(QAbstractItemView::SelectItems);
  tlSound_->setTabKeyNavigation(true);
  tlSound_->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::DoubleClicked |
                            QAbstractItemView::EditKeyPressed);

  for (int r = 0; r < TFragmentCatalogue::Count(); ++r) {
    tlSound_->setVerticalHeaderItem(r, new QTableWidgetItem(QString()));
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(QString());
      Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
      if (c == kColPath) flags |= Qt::ItemIsEditable;
      item->setFlags(flags);
      tlSound_->setItem(r, c, item);
    }
  }

  pathDelegate_ = new TPathDelegate(
      {[this](int row) { return commands_.Catalogue.Row(row).Cell.Path; },
       [this](int row, const std::string& text) { return commands_.tlPathValidate(row, text); },
       [this](int row) { tlPathButtonClick(row); }},
      this);
  tlSound_->setItemDelegateForColumn(kColPath, pathDelegate_);

  connect(tlSound_, &QTableWidget::currentCellChanged, this,
          [this](int row, int, int previousRow, int) {
            if (previousRow >= 0) tlSound_->verticalHeaderItem(previousRow)->setText(QString());
            if (row >= 0) tlSound_->verticalHeaderItem(row)->setText(Q(guitxt::RowMarker));
          });
  connect(tlSound_, &QTableWidget::cellClicked, this,
          [this](int row, int column) { tlSoundClick(row, column); });
}

void TMainForm::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar"));
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(kStatusHeight);
  for (size_t i = 0; i < panels_.size(); ++i) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The last panel takes what the others leave.
    bar->addWidget(panel, i + 1 == panels_.size() ? 1 : 0);
    panels_[i] = panel;
  }
}

void TMainForm::ShowState() {
  for (size_t i = 0; i < panels_.size(); ++i) {
    panels_[i]->setText(Q(commands_.StatusBar.Text[i]));
    if (i + 1 == panels_.size())
      panels_[i]->setMinimumWidth(commands_.StatusBar.Width[i]);
    else
      panels_[i]->setFixedWidth(commands_.StatusBar.Width[i]);
  }
  const TPathEditor* editor = pathDelegate_->OpenEditor();
  for (int r = 0; r < TFragmentCatalogue::Count(); ++r) {
    const TFragmentRow& row = commands_.Catalogue.Row(r);
    const std::array<const std::string*, 3> texts{&row.NameText, &row.PathText, &row.InfoText};
    for (int c = 0; c < 3; ++c) {
      if (c == kColPath && editor && editor->Row() == r) continue;  // being edited
      QTableWidgetItem* item = tlSound_->item(r, c);
      const QString text = Q(*texts[c]);
      if (item->text() != text) item->setText(text);
    }
  }
}

void TMainForm::Run(const std::function<void()>& command) {
  pathDelegate_->CommitAndClose();
  try {
    command();
  } catch (const TAppError& e) {
    errorBox_(ErrorBoxText(e.Text()), std::string(txt::AppTitle));
  }
  ShowState();
}

void TMainForm::ProgSettingsClick() {
  Run([this] {
    TfrmSettings settings(Ports(), this);
    settings.ASSpinEdit1->setValue(commands_.State.PortNumber);
    settings.ASSpinEdit2->setValue(commands_.State.DeviceAddress);
    if (settings.exec() == QDialog::Accepted)
      commands_.SetSettings(static_cast<uint8_t>(settings.ASSpinEdit1->value()),
                            static_cast<uint8_t>(settings.ASSpinEdit2->value()));
  });
}

void TMainForm::tlPathButtonClick(int row) {
  bool filled = false;
  try {
    filled = commands_.tlPathButtonClick(row);
  } catch (const TAppError& e) {
    errorBox_(ErrorBoxText(e.Text()), std::string(txt::AppTitle));
  }
  TPathEditor* editor = pathDelegate_->OpenEditor();
  if (filled && editor && editor->Row() == row)
    editor->Edit()->setText(Q(commands_.Catalogue.Row(row).Cell.Path));
  if (editor) editor->Edit()->setFocus();
}

void TMainForm::tlSoundClick(int row, int column) {
  // A click opens the path cell's editor at once, also on the current cell.
  if (column == kColPath && !pathDelegate_->OpenEditor())
    tlSound_->editItem(tlSound_->item(row, column));
  TPathEditor* editor = pathDelegate_->OpenEditor();
  const bool editorOpen = column == kColPath && editor && editor->Row() == row;
  if (const auto text = commands_.tlSoundClick(row, column, editorOpen); text && editorOpen)
    editor->Edit()->setText(Q(*text));
}

}  // namespace dikton::gui

#include "ufrmSettings.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "uConst_Orbis.h"
#include "uGuiTexts.h"
#include "uQtStrings.h"

namespace dikton::gui {

namespace {
constexpr int kClientWidth = 243, kClientHeight = 130;                           // px
constexpr int kLabelX = 12, kFieldX = 140, kFieldWidth = 89, kFieldHeight = 21;  // px
constexpr int kPortY = 14, kDeviceY = 37, kAddressY = 58, kButtonY = 94;         // px
constexpr int kButtonWidth = 75, kButtonHeight = 25;                             // px
constexpr int kOkX = 36, kCancelX = 132;                                         // px
constexpr int kDeviceFontPx = 9;                                                 // px

QLabel* BoldLabel(std::string_view text, int y, QWidget* parent) {
  auto* label = new QLabel(Q(text), parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  label->setGeometry(kLabelX, y, kFieldX - kLabelX - 4, kFieldHeight);
  return label;
}

QSpinBox* SpinField(const char* name, int min, int max, int y, QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QLatin1String(name));
  spin->setRange(min, max);  // a typed value outside is corrected to the nearest bound
  spin->setSingleStep(1);
  spin->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  spin->setGeometry(kFieldX, y, kFieldWidth, kFieldHeight);
  return spin;
}
}  // namespace

TfrmSettings::TfrmSettings(const TPortMap& ports, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      ports_(ports) {
  setWindowTitle(Q(guitxt::SettingsCaption));
  setFont(DiktonFont());
  setFixedSize(kClientWidth, kClientHeight);

  auto* portLabel = BoldLabel(guitxt::PortLabel, kPortY, this);
  ASSpinEdit1 = SpinField("ASSpinEdit1", kMinPort, kMaxPort, kPortY, this);
  portLabel->setBuddy(ASSpinEdit1);

  lblPortDevice = new QLabel(this);
  lblPortDevice->setObjectName(QStringLiteral("lblPortDevice"));
  QFont small = lblPortDevice->font();
  small.setPixelSize(kDeviceFontPx);
  lblPortDevice->setFont(small);
  lblPortDevice->setGeometry(kFieldX, kDeviceY, kClientWidth - kFieldX - 4, kDeviceFontPx + 4);

  auto* addressLabel = BoldLabel(guitxt::AddressLabel, kAddressY, this);
  ASSpinEdit2 = SpinField("ASSpinEdit2", kMinDeviceAddress, kMaxDeviceAddress, kAddressY, this);
  addressLabel->setBuddy(ASSpinEdit2);

  btnOK = new QPushButton(Q(guitxt::OkButton), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setGeometry(kOkX, kButtonY, kButtonWidth, kButtonHeight);
  btnCancel = new QPushButton(Q(guitxt::CancelButton), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setGeometry(kCancelX, kButtonY, kButtonWidth, kButtonHeight);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(btnOK, btnCancel);
  setTabOrder(btnCancel, ASSpinEdit1);
  setTabOrder(ASSpinEdit1, ASSpinEdit2);
  btnOK->setFocus();

  connect(ASSpinEdit1, &QSpinBox::valueChanged, this, [this] { ShowPortDevice(); });
  ShowPortDevice();
}

void TfrmSettings::ShowPortDevice() {
  lblPortDevice->setText(Q(ports_.DeviceFor(ASSpinEdit1->value())));
}

}  // namespace dikton::gui

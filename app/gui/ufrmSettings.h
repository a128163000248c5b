// TfrmSettings: the COM port number and the device address.
#pragma once

#include <QDialog>

#include "uPortNames.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace dikton::gui {

class TfrmSettings : public QDialog {
  Q_OBJECT

 public:
  // 'ports' tells which device a port number opens; it must outlive the dialog.
  TfrmSettings(const TPortMap& ports, QWidget* owner);

  QSpinBox* ASSpinEdit1;  // port number
  QSpinBox* ASSpinEdit2;  // device address
  QPushButton* btnOK;
  QPushButton* btnCancel;
  QLabel* lblPortDevice;  // the device the chosen number opens

 private:
  void ShowPortDevice();

  const TPortMap& ports_;
};

}  // namespace dikton::gui

// The FTP server settings dialog: server address, port, user name and password, and a button
// that connects with them. The settings file is written only once a connection with them has
// worked. One dialog lives from its first use to the end of the run, so it shows what was
// entered last.
#pragma once

#include <QDialog>

#include "core/OperationRunner.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace kestrel {
class AppContext;
class FtpClient;
}

namespace kestrel::ui {

class TUnitServerSettingFrm : public QDialog {
  Q_OBJECT
 public:
  // The fields start with what `ftp` holds (the settings of the running connection) when it
  // holds an IPv4 address, otherwise with a LAN default. Network work goes through `run`; the
  // settings are written into the Settings folder of `context`, and questions asked through its
  // prompts.
  TUnitServerSettingFrm(AppContext& context, FtpClient& ftp, OperationRunner run, QWidget* parent);

  // Four groups of up to three digits, each right-aligned with blanks: "10.7.0.2" gives
  // " 10.  7.  0.  2".
  static QString MaskedAddress(const QString& address);

  QLabel* lblServerIP;
  QLabel* lblPort;
  QLabel* lblUserName;
  QLabel* lblPassword;
  QLineEdit* edtPort;
  QLineEdit* edtUserName;
  QLineEdit* edtPassword;
  QPushButton* btnConnect;
  QStatusBar* statConnect;
  QLineEdit* medtServerIP;

  void btnConnectClick();
  QString StatusPanel(int panel) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  AppContext& context_;
  FtpClient& ftp_;
  OperationRunner run_;
  QLabel* statPanels_[2];
};

}  // namespace kestrel::ui

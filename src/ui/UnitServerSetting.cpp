#include "ui/UnitServerSetting.h"

#include <QRegularExpression>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

#include "core/AppContext.h"
#include "core/TextEscape.h"
#include "playlists/FtpServerConnect.h"

namespace kestrel::ui {

namespace {

constexpr const char* kDefaultAddress = "192.168.1.100";

template <typename W>
W* Make(QWidget* parent, const char* name, const QRect& r) {
  auto* w = new W(parent);
  w->setObjectName(name);
  w->setGeometry(r);
  return w;
}

QLabel* Caption(QWidget* parent, const char* name, int x, int y) {
  auto* label = new QLabel(name, parent);
  label->setObjectName(name);
  label->move(x, y);
  return label;
}

}  // namespace

QString TUnitServerSettingFrm::MaskedAddress(const QString& address) {
  QStringList groups = address.split('.');
  for (QString& g : groups) g = g.trimmed().rightJustified(3, ' ');
  return groups.join('.');
}

TUnitServerSettingFrm::TUnitServerSettingFrm(AppContext& context, FtpClient& ftp, OperationRunner run, QWidget* parent)
    : QDialog(parent), context_(context), ftp_(ftp), run_(std::move(run)) {
  setObjectName("UnitServerSettingFrm");
  setWindowTitle("UnitServerSettingFrm");
  QFont f("Microsoft Sans Serif");
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(11);
  setFont(f);
  resize(479, 152 - 30);  // 479 x 152 with the frame
  setMinimumSize(479, 100);

  lblServerIP = Caption(this, "lblServerIP", 19, 20);
  lblPort = Caption(this, "lblPort", 270, 20);
  lblUserName = Caption(this, "lblUserName", 10, 53);
  lblPassword = Caption(this, "lblPassword", 243, 53);
  edtPort = Make<QLineEdit>(this, "edtPort", QRect(304, 15, 57, 24));
  edtUserName = Make<QLineEdit>(this, "edtUserName", QRect(75, 48, 153, 24));
  edtPassword = Make<QLineEdit>(this, "edtPassword", QRect(304, 48, 153, 24));
  btnConnect = Make<QPushButton>(this, "btnConnect", QRect(379, 15, 78, 25));
  btnConnect->setText("btnConnect");
  btnConnect->setAutoDefault(false);
  medtServerIP = Make<QLineEdit>(this, "medtServerIP", QRect(75, 15, 151, 24));
  medtServerIP->setInputMask("000.000.000.000; ");
  medtServerIP->setMaxLength(15);
  QFont editFont = f;
  editFont.setPixelSize(13);
  for (QLineEdit* e : {edtPort, edtUserName, edtPassword, medtServerIP}) e->setFont(editFont);

  statConnect = new QStatusBar(this);
  statConnect->setObjectName("statConnect");
  statConnect->setSizeGripEnabled(false);
  for (int i = 0; i < 2; ++i) {
    statPanels_[i] = new QLabel(statConnect);
    if (i == 0) statPanels_[i]->setFixedWidth(100);
    statConnect->addWidget(statPanels_[i], i);
  }

  // What the mask can show: four groups of up to three digits.
  static const QRegularExpression kDotted("^\\d{1,3}(\\.\\d{1,3}){3}$");
  const FtpAccount& held = ftp_.Account();
  const bool heldAddress = kDotted.match(QString::fromStdString(held.host)).hasMatch();
  medtServerIP->setText(MaskedAddress(heldAddress ? QString::fromStdString(held.host) : kDefaultAddress));
  edtPort->setText(heldAddress ? QString::number(held.port) : "21");
  edtUserName->setText(heldAddress ? QString::fromStdString(held.userName) : "coral");
  edtPassword->setText(heldAddress ? QString::fromStdString(held.password) : "tevka");

  connect(btnConnect, &QPushButton::clicked, this, &TUnitServerSettingFrm::btnConnectClick);
}

void TUnitServerSettingFrm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  statConnect->setGeometry(0, height() - 20, width(), 20);
}

QString TUnitServerSettingFrm::StatusPanel(int panel) const { return statPanels_[panel]->text(); }

void TUnitServerSettingFrm::btnConnectClick() {
  const FtpServerSettings typed{medtServerIP->displayText().toStdString(), edtPort->text().toStdString(),
                                edtUserName->text().toStdString(), edtPassword->text().toStdString()};
  ConnectResult result;
  RunThrough(run_, [&] {
    result = ConnectAndSave(ftp_, context_.CurrentPrompts(), typed, context_.SettingsFile(kFtpServerIniName));
  });
  if (result.outcome == ConnectOutcome::Connected)
    statPanels_[1]->setText(QString::fromStdString(EscapeControls(result.loginReply)));
}

}  // namespace kestrel::ui

#include "ui/UnitUserInput.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "core/mPublicFunction.h"
#include "playlists/PlayListOperations.h"

namespace kestrel::ui {

namespace {

QWidget* Panel(QWidget* parent, const char* name, const QRect& r) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(name);
  panel->setGeometry(r);
  return panel;
}

}  // namespace

TUnitUserInputFrm::TUnitUserInputFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("UnitUserInputFrm");
  QFont f("Microsoft Sans Serif");
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(13);
  setFont(f);
  setFixedSize(343, 122);

  pnlBottom = Panel(this, "pnlBottom", QRect(0, 122 - 45, 343, 45));
  btnOK = new QPushButton("OK", pnlBottom);
  btnOK->setObjectName("btnOK");
  btnOK->setGeometry(64, 9, 75, 25);
  btnCancle = new QPushButton("Cancel", pnlBottom);
  btnCancle->setObjectName("btnCancle");
  btnCancle->setGeometry(200, 9, 75, 25);
  for (QPushButton* b : {btnOK, btnCancle}) b->setAutoDefault(false);

  pnlTop = Panel(this, "pnlTop", QRect(0, 0, 343, 41));
  lblTips = new QLabel(pnlTop);
  lblTips->setObjectName("lblTips");
  lblTips->setGeometry(12, 11, 320, 20);

  pnlClient = Panel(this, "pnlClient", QRect(0, 41, 343, 122 - 45 - 41));
  edtInput = new QLineEdit(pnlClient);
  edtInput->setObjectName("edtInput");
  edtInput->setGeometry(24, 5, 300, 24);

  connect(btnOK, &QPushButton::clicked, this, &TUnitUserInputFrm::btnOKClick);
  connect(btnCancle, &QPushButton::clicked, this, &TUnitUserInputFrm::btnCancleClick);
  // The dialog sees Enter and Esc before the control that has the focus.
  for (QWidget* w : {static_cast<QWidget*>(edtInput), static_cast<QWidget*>(btnOK), static_cast<QWidget*>(btnCancle)})
    w->installEventFilter(this);
}

void TUnitUserInputFrm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  edtInput->setFocus();
}

bool TUnitUserInputFrm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter: btnOKClick(); return true;
      case Qt::Key_Escape: btnCancleClick(); return true;
      default: break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TUnitUserInputFrm::Refuse(const QString& tip) {
  lblTips->setText(tip);
  QPalette p = lblTips->palette();
  p.setColor(QPalette::WindowText, Qt::red);
  lblTips->setPalette(p);
}

void TUnitUserInputFrm::btnOKClick() {
  const std::string typed = TrimText(edtInput->text().toStdString());
  if (Mode == 2 && typed == StartName) {
    reject();
    return;
  }
  if (!typed.empty() && std::find(Items.begin(), Items.end(), typed) != Items.end()) {
    Refuse(kExistsText);
    return;
  }
  // Such a name would make a nested folder or be refused by the server: say so before sending.
  if (!IsPlainPlayListName(typed)) {
    Refuse(kNotPlainText);
    return;
  }
  accept();
}

void TUnitUserInputFrm::btnCancleClick() { reject(); }

bool InputName(QWidget* parent, const QString& title, const QString& tip, std::string& name,
               const std::vector<std::string>& items, int mode) {
  TUnitUserInputFrm frm(parent);
  frm.setWindowTitle(title);
  frm.lblTips->setText(tip);
  frm.edtInput->setText(QString::fromStdString(name));
  frm.edtInput->selectAll();
  frm.Items = items;
  frm.Mode = mode;
  frm.StartName = name;
  if (frm.exec() != QDialog::Accepted) return false;
  name = TrimText(frm.edtInput->text().toStdString());
  return true;
}

}  // namespace kestrel::ui

// The name input dialog: one line for a play list's name, with OK and Cancel, used by every
// "Add List..." and "Edit List...". Enter confirms and Esc cancels wherever the focus is.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrel::ui {

class TUnitUserInputFrm : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kExistsText = "Exists already!";
  static constexpr const char* kNotPlainText = "A name can not hold \"/\" or \"\\\"!";

  explicit TUnitUserInputFrm(QWidget* parent);

  QWidget* pnlBottom;
  QPushButton* btnOK;
  QPushButton* btnCancle;
  QWidget* pnlTop;
  QLabel* lblTips;
  QWidget* pnlClient;
  QLineEdit* edtInput;

  int Mode = 1;                     // 1: a new name, 2: a changed name
  std::string StartName;            // the name proposed
  std::vector<std::string> Items;   // names that must not be repeated

  void btnOKClick();
  void btnCancleClick();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Refuse(const QString& tip);
};

// Shows the dialog with `title` and `tip` and `name` for editing. True when the user confirmed:
// `name` is then what was typed without blanks around it (possibly empty). False when cancelled
// or, in mode 2, confirmed unchanged; `name` is kept. A name equal to one of `items` (exact
// comparison), or holding "/" or "\", keeps the dialog open with a red tip saying why.
bool InputName(QWidget* parent, const QString& title, const QString& tip, std::string& name,
               const std::vector<std::string>& items, int mode);

}  // namespace kestrel::ui

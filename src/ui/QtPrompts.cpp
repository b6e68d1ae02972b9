#include "ui/QtPrompts.h"

#include <QApplication>
#include <QMessageBox>
#include <memory>

namespace kestrel::ui {

void QtPrompts::Show(PromptKind kind, const std::string& text) {
  const QString message = QString::fromStdString(text);
  gate_.Call([kind, message, title = title_] {
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButton button = QMessageBox::Ok;
    switch (kind) {
      case PromptKind::InfoOk: break;
      case PromptKind::ErrorOk: icon = QMessageBox::Critical; break;
      case PromptKind::ErrorYes: icon = QMessageBox::Critical; button = QMessageBox::Yes; break;
      case PromptKind::InfoYes: button = QMessageBox::Yes; break;
    }
    QMessageBox box(icon, title, message, button, QApplication::activeWindow());
    box.exec();
  });
}

bool QtPrompts::Confirm(const std::string& text) {
  const QString message = QString::fromStdString(text);
  auto yes = std::make_shared<bool>(false);
  gate_.Call([message, yes, title = title_] {
    *yes = QMessageBox::question(QApplication::activeWindow(), title, message,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
  });
  return *yes;
}

}  // namespace kestrel::ui

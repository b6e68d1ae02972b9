#include "ui/QtPrompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace kestrel::ui {

namespace {

QString Title() { return QApplication::applicationDisplayName(); }

// Runs `box` on the window thread; from another thread, waits there for the user's answer.
template <typename F>
auto OnWindowThread(F box) {
  using Result = decltype(box());
  if (QThread::currentThread() == qApp->thread()) return box();
  Result result{};
  QMetaObject::invokeMethod(qApp, [&] { result = box(); }, Qt::BlockingQueuedConnection);
  return result;
}

}  // namespace

void QtPrompts::Show(PromptKind kind, const std::string& text) {
  const QString message = QString::fromStdString(text);
  OnWindowThread([&] {
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButton button = QMessageBox::Ok;
    switch (kind) {
      case PromptKind::InfoOk: break;
      case PromptKind::ErrorOk: icon = QMessageBox::Critical; break;
      case PromptKind::ErrorYes: icon = QMessageBox::Critical; button = QMessageBox::Yes; break;
      case PromptKind::InfoYes: button = QMessageBox::Yes; break;
    }
    QMessageBox box(icon, Title(), message, button, QApplication::activeWindow());
    box.exec();
    return true;
  });
}

bool QtPrompts::Confirm(const std::string& text) {
  const QString message = QString::fromStdString(text);
  return OnWindowThread([&] {
    return QMessageBox::question(QApplication::activeWindow(), Title(), message,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
  });
}

}  // namespace kestrel::ui

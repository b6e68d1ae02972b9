// The program entry: the application, the session with its main window, the event loop.
#include <QApplication>
#include <QScreen>

#include "app/Session.h"
#include "core/CommandLine.h"
#include "ui/Main.h"

int main(int argc, char** argv) {
  kestrel::SetProgramArguments(argc, argv);
  QApplication app(argc, argv);
  // The application title captions message boxes only: a display name set here would be
  // appended to the main window's caption on the title bar.
  QApplication::setApplicationName("Kestrel");

  int result = 1;
  kestrel::app::TSession session;
  if (session.Start()) {
    kestrel::ui::TMainFrm& frm = session.Window();
    // Fill the screen also where no window manager maximises windows.
    if (const QScreen* screen = frm.screen()) frm.setGeometry(screen->availableGeometry());
    frm.showMaximized();
    result = app.exec();
  }
  session.Stop();
  return result;
}

// The program entry: the application, the main window and its start-up, the event loop.
#include <QApplication>
#include <QScreen>

#include "core/CommandLine.h"
#include "core/Prompts.h"
#include "core/Termination.h"
#include "core/StartUp.h"
#include "ui/Main.h"
#include "ui/QtPrompts.h"

int main(int argc, char** argv) {
  kestrel::SetProgramArguments(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Kestrel");
  QApplication::setApplicationDisplayName("Kestrel");

  kestrel::ui::QtPrompts prompts;
  kestrel::SetPrompts(&prompts);
  // The library asks to end the program (no FTP connection): quit once the current event is done.
  kestrel::SetTerminationHandler([] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); });

  int result = 1;
  {
    kestrel::ui::TMainFrm frm;
    frm.SetCloseQueryHandler([&frm] { kestrel::RunShutdown(frm); });
    if (kestrel::RunStartUp(frm)) {
      // Fill the screen also where no window manager maximises windows.
      if (const QScreen* screen = frm.screen()) frm.setGeometry(screen->availableGeometry());
      frm.showMaximized();
      result = app.exec();
    }
  }
  kestrel::SetTerminationHandler({});
  kestrel::SetPrompts(nullptr);
  return result;
}

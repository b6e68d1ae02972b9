// The program entry: the application, the session with its main window, the event loop.
#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <cstdio>
#include <cstring>

#include "app/Session.h"
#include "core/AppContext.h"
#include "core/CommandLine.h"
#include "ui/Main.h"

namespace {

const char kUsage[] =
    "Usage: kestrel [debug=1]\n"
    "\n"
    "Manages the play lists on a Veltra player's FTP server and controls playback in its\n"
    "zones over the device bus (UDP port 6000, broadcast to the local network), in a window.\n"
    "\n"
    "  debug=1    send every bus datagram with the debug header word (first argument only)\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Settings: ftpServer.ini (the player's FTP server), Zone.ini (the zones) and localIP.ini\n"
    "(the preferred address of this computer) in the folder Settings beside the program when it\n"
#ifdef _WIN32
    "exists and can be written; else in %APPDATA%\\Kestrel\\Settings. kestrel-cli settings shows\n"
    "the folder in use and writes the files; the window writes ftpServer.ini from its settings\n"
    "dialog (Ctrl+Alt+S).\n";
#else
    "exists; else in $XDG_CONFIG_HOME/kestrel/Settings (~/.config/kestrel/Settings when\n"
    "XDG_CONFIG_HOME is not set). kestrel-cli settings shows the folder in use and writes the\n"
    "files; the window writes ftpServer.ini from its settings dialog (Ctrl+Alt+S).\n";
#endif

}  // namespace

int main(int argc, char** argv) {
  // Answered before anything starts: no window, no display, nothing on the network.
  if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("kestrel %s\n", KESTREL_VERSION_TEXT);
    return 0;
  }

  // The window takes its settings from the folder the rule chooses; only "debug=1" is read.
  kestrel::AppContext context({}, nullptr, kestrel::DebugModeFromArguments(argc, argv));
  QApplication app(argc, argv);
  // The application title captions message boxes only: a display name set here would be
  // appended to the main window's caption on the title bar.
  QApplication::setApplicationName("Kestrel");
  // The desktop entry and icon an installed program comes with.
  QGuiApplication::setDesktopFileName("kestrel");
  QApplication::setWindowIcon(QIcon::fromTheme("kestrel"));

  int result = 1;
  kestrel::app::TSession session(context);
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

#include "core/StartUp.h"

#include <QApplication>
#include <QSlider>

#include "core/Prompts.h"
#include "core/SharedState.h"
#include "core/mGetLocalIP.h"
#include "ui/Main.h"

namespace kestrel {

namespace {

void Fail(PromptKind kind, const std::string& text) { CurrentPrompts().Show(kind, text); }

}  // namespace

bool RunStartUp(ui::TMainFrm& frm) {
  // When the window is first shown it lists the play lists, which opens the FTP connection.
  frm.SetFirstShowHandler([&frm] { frm.ListPlayLists(""); });

  const QString version = QString::fromLatin1(kVersionText);
  frm.setWindowTitle(QString("Coral Winds Veltra Play List Management (%1)").arg(version));
  QApplication::setApplicationDisplayName(QString("Kestrel (%1)").arg(version));

  ResetSharedState();
  frm.tkBarVol->setEnabled(false);

  const std::string localIP = GetLocalIP(ReadSoftwareIP());
  if (localIP.empty()) {
    Fail(PromptKind::InfoOk, "Can not get your local IP,please check you network!");
    return false;
  }
  frm.SetStatusPanel(0, QString::fromStdString("IP:" + localIP));
  SetLocalIP(localIP);
  if (LocalIPBytes() == IPv4Bytes{127, 0, 0, 1}) {
    Fail(PromptKind::InfoOk, "Please check your network and IP settings!");
    return false;
  }

  frm.CreateFtpClient();

  try {
    frm.LoadZones();
  } catch (const std::exception& e) {
    // The window still runs, with the zones read before the faulty one.
    Fail(PromptKind::ErrorOk, e.what());
    return true;
  }
  return true;
}

void RunShutdown(ui::TMainFrm& frm) {
  if (FtpClient* ftp = frm.Ftp()) ftp->Disconnect();
  ShutdownFlag = true;
}

}  // namespace kestrel

// Song upload from the main window: "Add Song...", files dropped on the song list, copying songs
// into another play list, each with the progress window.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

#include "core/Prompts.h"
#include "core/SharedState.h"
#include "ui/Main.h"
#include "ui/UnitProgressBar.h"

namespace kestrel::ui {

QStringList TMainFrm::PickSongFiles() {
  QFileDialog dlgOpenSong(this);
  dlgOpenSong.setObjectName("dlgOpenSong");
  dlgOpenSong.setNameFilter("mp3 (*.mp3)");
  dlgOpenSong.setFileMode(QFileDialog::ExistingFiles);
  dlgOpenSong.setAcceptMode(QFileDialog::AcceptOpen);
  dlgOpenSong.setSizeGripEnabled(true);
  if (dlgOpenSong.exec() != QDialog::Accepted) return {};
  return dlgOpenSong.selectedFiles();
}

void TMainFrm::acAddSongExecute() {
  TPlayListObj* target = CurrentPlayList();
  if (!ftp_ || target == nullptr) return;
  std::vector<std::string> paths;
  for (const QString& file : PickSongFiles()) paths.push_back(QDir::toNativeSeparators(file).toStdString());
  UploadSongs(target, paths);
}

void TMainFrm::DropFiles(const QList<QUrl>& urls) {
  TPlayListObj* target = CurrentPlayList();
  if (target == nullptr) return;
  std::vector<std::string> paths;
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) continue;
    const QString file = url.toLocalFile();
    if (QFileInfo(file).isDir()) continue;
    paths.push_back(QDir::toNativeSeparators(file).toStdString());
  }
  UploadSongs(target, paths);
}

void TMainFrm::UploadSongs(TPlayListObj* target, const std::vector<std::string>& paths) {
  RunUpload(target, static_cast<int>(paths.size()),
            [target, paths](SongUploader& uploader) { return uploader.UploadSongs(*target, paths); });
}

void TMainFrm::CopySongs(TPlayListObj* target, const std::vector<const TSongObj*>& songs) {
  RunUpload(target, static_cast<int>(songs.size()),
            [target, songs](SongUploader& uploader) { return uploader.CopySongs(*target, songs); });
}

void TMainFrm::RunUpload(TPlayListObj* target, int count, std::function<UploadResult(SongUploader&)> work) {
  if (!ftp_ || target == nullptr || count == 0) return;
  progress_->Begin(count);
  // Everything the user could start another operation from; message boxes stay usable.
  centralWidget()->setEnabled(false);
  auto relay = std::make_shared<ProgressRelay>(progress_);
  RunOperation([this, relay, work = std::move(work), name = target->Name] {
    SongUploader uploader(*ftp_, CurrentPrompts(), PlayListsChanged, relay.get(), &progress_->CancelFlag());
    const UploadResult result = work(uploader);
    QMetaObject::invokeMethod(this, [this, name, result] { UploadEnded(name, result); }, Qt::QueuedConnection);
  });
}

void TMainFrm::UploadEnded(const std::string& targetName, const UploadResult& result) {
  progress_->hide();
  centralWidget()->setEnabled(true);
  TPlayListObj* current = CurrentPlayList();
  if (current == nullptr || current->Name != targetName) return;
  // After a cancel the rows are read again too: the server is the judge of what is there.
  if (!result.uploaded && !result.cancelled) return;
  current->GotSong = false;
  ShowSongs(targetName);
}

}  // namespace kestrel::ui

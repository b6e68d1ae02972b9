// Song upload from the main window: "Add Song...", files dropped on the song list, copying songs
// into another play list, each with the progress window.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

#include "core/Prompts.h"
#include "core/SharedState.h"
#include "ui/Main.h"
#include "ui/UnitProgressBar.h"
#include "ui/UnitServerList.h"

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
  const TPlayListObj* target = CurrentPlayList();
  if (!ftp_ || target == nullptr) return;
  std::vector<std::string> paths;
  for (const QString& file : PickSongFiles()) paths.push_back(QDir::toNativeSeparators(file).toStdString());
  UploadSongs(target->Name, paths);
}

void TMainFrm::DropFiles(const std::vector<std::string>& dropped) {
  const TPlayListObj* target = CurrentPlayList();
  if (target == nullptr) return;
  std::vector<std::string> paths;
  for (const std::string& path : dropped)
    if (!QFileInfo(QString::fromStdString(path)).isDir()) paths.push_back(path);
  if (paths.empty()) return;
  // The drop is finished first, so that the program the files came from is not held up. A timer
  // rather than a posted call: the upload's own event loop then runs outside the delivery of
  // posted events, so the windows go on being painted.
  QTimer::singleShot(0, this, [this, name = target->Name, paths] { UploadSongs(name, paths); });
}

void TMainFrm::UploadSongs(const std::string& target, const std::vector<std::string>& paths) {
  RunUpload(target, static_cast<int>(paths.size()),
            [paths](SongUploader& uploader, TPlayListObj& playList) { return uploader.UploadSongs(playList, paths); },
            nullptr);
}

void TMainFrm::CopySongs(const std::string& target, const std::vector<TSongObj>& songs, std::function<void()> then) {
  RunUpload(target, static_cast<int>(songs.size()),
            [songs](SongUploader& uploader, TPlayListObj& playList) {
              std::vector<const TSongObj*> list;
              for (const TSongObj& song : songs) list.push_back(&song);
              return uploader.CopySongs(playList, list);
            },
            std::move(then));
}

void TMainFrm::acCopyToExecute() {
  // OK only notes what to copy; the copy runs once the chooser has closed, with the progress
  // window in front of the main window.
  std::string target;
  std::vector<TSongObj> chosen;
  const bool changed = RunChooser(ChooserMode::Copy, [&](const std::string& name, const std::vector<TSongObj*>& picked) {
    target = name;
    for (const TSongObj* song : picked)
      if (song != nullptr) chosen.push_back(*song);
    return true;
  });
  if (!changed) return;
  if (target.empty() || chosen.empty())
    RelistAfterChooser();
  else
    CopySongs(target, chosen, [this] { RelistAfterChooser(); });
}

void TMainFrm::RunUpload(const std::string& target, int count, UploadWork work, std::function<void()> then) {
  if (!ftp_ || count == 0) return;
  progress_->Begin(count);
  ProgressRelay relay(progress_);
  UploadResult result;
  // RunOperation returns when the operation has ended. The operation works on a play list object
  // of its own, so that nothing it uses belongs to the store.
  RunOperation([&] {
    TPlayListObj playList;
    playList.Name = target;
    SongUploader uploader(*ftp_, context_.CurrentPrompts(), state_.PlayListsChanged, &relay, &progress_->CancelFlag());
    result = work(uploader, playList);
  });
  UploadEnded(target, result, then);
}

void TMainFrm::UploadEnded(const std::string& target, const UploadResult& result, const std::function<void()>& then) {
  progress_->hide();
  if (then) {
    then();
    return;
  }
  TPlayListObj* current = CurrentPlayList();
  if (current == nullptr || current->Name != target) return;
  // After a cancel the rows are read again too: the server is the judge of what is there.
  if (!result.uploaded && !result.cancelled) return;
  current->GotSong = false;
  RunOperation([&] { store_->LoadSongs(*current); });
  ShowSongs(target);
}

}  // namespace kestrel::ui

#include "ui/UploadController.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "core/Prompts.h"
#include "playlists/FtpConnectionPool.h"
#include "playlists/ServerNames.h"
#include "ui/ListView.h"
#include "ui/PlayListController.h"
#include "ui/UnitProgressBar.h"

namespace kestrel::ui {

UploadController::UploadController(WindowServices& services, const MainView& view, PlayListController& playLists)
    : context_(services.context),
      window_(services.window),
      acNormalize_(view.actions.acNormalize),
      loudness_(ReadUploadLoudness(services.context.SettingsFile(kUploadSettingsFile))),
      songs_(view.songs),
      state_(services.state),
      playLists_(playLists),
      run_(services.Runner()) {
  progress_ = new TUnitProgressBarFrm(window_);
  SetDropHandler([this](const std::vector<std::string>& paths) { DropFiles(paths); });
  connect(view.actions.acAddSong, &QAction::triggered, this, &UploadController::acAddSongExecute);
  ShowLoudness();
  connect(acNormalize_, &QAction::triggered, this, &UploadController::acNormalizeExecute);
}

void UploadController::ShowLoudness() {
  const QString target = QString::fromStdString(TargetText(loudness_.targetLufs));
  acNormalize_->setText(QString("Even Out Loudness (%1 LUFS)").arg(target));
  acNormalize_->setToolTip(QString("Songs uploaded from here are stored on the player with their loudness evened out "
                                   "to %1 LUFS, without re-encoding; the files here stay as they are")
                               .arg(target));
  acNormalize_->setChecked(loudness_.normalize);
}

void UploadController::acNormalizeExecute(bool checked) {
  UploadLoudnessSetting wanted = loudness_;
  wanted.normalize = checked;
  std::string error;
  if (WriteUploadLoudness(context_.SettingsFile(kUploadSettingsFile), wanted, error)) {
    loudness_ = wanted;
  } else {
    context_.CurrentPrompts().Show(PromptKind::ErrorOk, "The setting could not be kept: " + error);
  }
  ShowLoudness();
}

QStringList UploadController::PickSongFiles() {
  QFileDialog dlgOpenSong(window_);
  dlgOpenSong.setObjectName("dlgOpenSong");
  dlgOpenSong.setNameFilter("mp3 (*.mp3)");
  dlgOpenSong.setFileMode(QFileDialog::ExistingFiles);
  dlgOpenSong.setAcceptMode(QFileDialog::AcceptOpen);
  dlgOpenSong.setSizeGripEnabled(true);
  if (dlgOpenSong.exec() != QDialog::Accepted) return {};
  return dlgOpenSong.selectedFiles();
}

void UploadController::acAddSongExecute() {
  const TPlayListObj* target = playLists_.CurrentPlayList();
  if (!playLists_.Ftp() || target == nullptr) return;
  std::vector<std::string> paths;
  for (const QString& file : PickSongFiles()) paths.push_back(QDir::toNativeSeparators(file).toStdString());
  UploadSongs(target->Name, paths);
}

void UploadController::DropFiles(const std::vector<std::string>& dropped) {
  const TPlayListObj* target = playLists_.CurrentPlayList();
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

void UploadController::UploadSongs(const std::string& target, const std::vector<std::string>& paths) {
  songs::SongScreening screening;
  songs::ScreenOptions options;
  if (loudness_.normalize) options.targetLufs = loudness_.targetLufs;
  options.cancel = &progress_->CancelFlag();
  // Every file is read once for the check; the uploader then sends what the check found.
  const auto check = [&](ProgressRelay& relay) {
    relay.Checking(0, paths.size());
    options.progress = [&relay](std::size_t done, std::size_t total) { relay.Checking(done, total); };
    screening = songs::ScreenSongs(paths, options);
    relay.CheckEnded();
    return !screening.cancelled;
  };
  const UploadResult result = RunUpload(
      target, static_cast<int>(paths.size()),
      [&](SongUploader& uploader, TPlayListObj& playList) {
        uploader.SetScreening(&screening);
        return uploader.UploadSongs(playList, paths);
      },
      nullptr, check);
  // A check stopped by Cancel sent nothing.
  if (screening.cancelled) return;
  const std::string summary = CheckFindingsText(StoredOnly(screening, result.failures));
  if (!summary.empty()) context_.CurrentPrompts().Show(PromptKind::InfoOk, summary);
}

void UploadController::CopySongs(const std::string& target, const std::vector<TSongObj>& songs, std::function<void()> then) {
  RunUpload(target, static_cast<int>(songs.size()),
            [songs](SongUploader& uploader, TPlayListObj& playList) {
              std::vector<const TSongObj*> list;
              for (const TSongObj& song : songs) list.push_back(&song);
              return uploader.CopySongs(playList, list);
            },
            std::move(then));
}

void UploadController::CancelUpload() { progress_->btnCancelClick(); }

UploadResult UploadController::RunUpload(const std::string& target, int count, UploadWork work,
                                         std::function<void()> then, const Prepare& prepare) {
  FtpClient* ftp = playLists_.Ftp();
  if (!ftp || count == 0) return {};
  progress_->Begin(count);
  ProgressRelay relay(progress_);
  UploadResult result;
  const int connections = count > 1 ? UploadConnectionsSetting(context_.SettingsFile(kUploadSettingsFile)) : 1;
  FtpServerNotes& notes = ServerNotes(context_);
  // The runner returns when the operation has ended. The operation works on a play list object
  // of its own, so that nothing it uses belongs to the store.
  run_([&] {
    if (prepare && !prepare(relay)) {
      result.cancelled = true;
      return;
    }
    TPlayListObj playList;
    playList.Name = target;
    std::unique_ptr<FtpConnectionPool> pool;
    if (connections > 1) pool = std::make_unique<FtpConnectionPool>(*ftp, notes, connections);
    SongUploader uploader(*ftp, context_.CurrentPrompts(), InstallationId(context_), &relay, &progress_->CancelFlag(),
                          pool.get());
    result = work(uploader, playList);
  });
  state_.NotePlayListsChanged(result.uploaded);
  UploadEnded(target, result, then);
  return result;
}

void UploadController::UploadEnded(const std::string& target, const UploadResult& result, const std::function<void()>& then) {
  progress_->hide();
  if (then) {
    then();
    return;
  }
  TPlayListObj* current = playLists_.CurrentPlayList();
  if (current == nullptr || current->Name != target) return;
  // After a cancel the rows are read again too: the server is the judge of what is there.
  if (!result.uploaded && !result.cancelled) return;
  current->GotSong = false;
  run_([&] { playLists_.Store()->LoadSongs(*current); });
  playLists_.ShowSongs(target);
}

void UploadController::AcceptFileDrops() {
  acceptDrops_ = true;
  TListView* list = songs_.lvSongList;
  list->setAcceptDrops(true);
  list->viewport()->setAcceptDrops(true);
  list->viewport()->installEventFilter(this);
}

bool UploadController::eventFilter(QObject* watched, QEvent* event) {
  if (!acceptDrops_ || watched != songs_.lvSongList->viewport()) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      // Song rows dragged from the view itself are no files: they go to play list rows only.
      if (!drag->mimeData()->hasUrls()) {
        drag->ignore();
        return true;
      }
      drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      std::vector<std::string> paths;
      // The shell hands the names over as UTF-16; they travel on as UTF-8, which the library
      // turns back into wide names for the Windows file calls, so no letter is lost to the
      // ANSI code page.
      for (const QUrl& url : drop->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(QDir::toNativeSeparators(url.toLocalFile()).toStdString());
      drop->acceptProposedAction();
      if (!paths.empty() && dropHandler_) dropHandler_(paths);
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace kestrel::ui

// Song upload from the main window: "Add Song...", files dropped on the song list, and copying
// songs into another play list, each with the upload progress window. Local files are checked
// before anything is sent (songs::ScreenSongs): what is no MP3 stays here and is named in the
// uploader's end message, and when "Even Out Loudness" is checked the player's copies are evened
// out to the target of the settings (UploadLoudnessSetting). A summary then names the damaged
// songs sent and the songs whose loudness was changed.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "core/AppContext.h"
#include "core/SharedState.h"
#include "playlists/UploadSongs.h"
#include "songs/SongScreening.h"
#include "ui/MainView.h"
#include "playlists/UploadLoudnessSetting.h"
#include "ui/WindowServices.h"

namespace kestrel::ui {

class PlayListController;
class ProgressRelay;
class TUnitProgressBarFrm;

class UploadController : public QObject {
  Q_OBJECT
 public:
  // Takes drops on the song list of `view` and uploads into the play lists of `playLists`; the
  // dialogs and the progress window open over the services' window.
  UploadController(WindowServices& services, const MainView& view, PlayListController& playLists);

  // "Add Song...": the MP3 files picked in dlgOpenSong into the selected play list.
  void acAddSongExecute();
  // Opens dlgOpenSong; the chosen paths in the dialog's order (none when cancelled).
  QStringList PickSongFiles();
  // What a drop of files on the song list does (the drop handler): the files (folders skipped,
  // any extension) go into the selected play list; with no play list selected nothing happens.
  void DropFiles(const std::vector<std::string>& paths);
  // Run the upload loop into the play list named `target` through the operation runner with the
  // progress window, the files checked first, off the window thread too. Then the play list's songs are
  // read again when it is the one shown, and the summary of the check follows, if it has
  // anything to say (PromptKind::InfoOk).
  void UploadSongs(const std::string& target, const std::vector<std::string>& paths);
  void CopySongs(const std::string& target, const std::vector<TSongObj>& songs, std::function<void()> then = {});
  TUnitProgressBarFrm* UnitProgressBarFrm() const { return progress_; }
  // Stops a running upload (the window closes).
  void CancelUpload();

  // "Even Out Loudness": the setting the uploads follow; changing it writes the settings file.
  UploadLoudnessSetting Loudness() const { return loudness_; }
  // What a toggle of the action does: the setting kept in the settings file, or, when that
  // cannot be written, the toggle undone with the reason shown.
  void acNormalizeExecute(bool checked);


  // Lets the song list take files dropped from the desktop or a file manager; each drop goes to
  // the handler with the local paths, in the order given.
  using DropHandler = std::function<void(const std::vector<std::string>& paths)>;
  void AcceptFileDrops();
  bool AcceptsFileDrops() const { return acceptDrops_; }
  void SetDropHandler(DropHandler handler) { dropHandler_ = std::move(handler); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using UploadWork = std::function<UploadResult(SongUploader&, TPlayListObj&)>;
  // Runs off the window thread before the uploader is made; false: nothing is sent (cancelled).
  using Prepare = std::function<bool(ProgressRelay&)>;
  UploadResult RunUpload(const std::string& target, int count, UploadWork work, std::function<void()> then,
                         const Prepare& prepare = nullptr);
  void ShowLoudness();
  void UploadEnded(const std::string& target, const UploadResult& result, const std::function<void()>& then);

  AppContext& context_;
  QWidget* window_;
  QAction* acNormalize_;
  UploadLoudnessSetting loudness_;
  SongArea songs_;
  SharedState& state_;
  PlayListController& playLists_;
  OperationRunner run_;
  TUnitProgressBarFrm* progress_;  // child of the main window
  bool acceptDrops_ = false;
  DropHandler dropHandler_;
};

}  // namespace kestrel::ui

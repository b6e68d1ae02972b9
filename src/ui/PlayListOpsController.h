// The main window's play list and song operations: add, rename and delete a play list, delete
// checked songs, move or copy them by the play list chooser, move a song by dragging its row
// onto a play list row, and the FTP server settings. The network part of each runs through the
// window's operation runner; the rows are updated afterwards.
#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "playlists/PlayListOperations.h"
#include "ui/MainView.h"
#include "ui/UnitServerList.h"
#include "ui/WindowServices.h"

namespace kestrel::ui {

class PlayListController;
class TUnitServerSettingFrm;
class UploadController;

class PlayListOpsController : public QObject {
  Q_OBJECT
 public:
  // Works on the play list and song areas of `view` as `views` shows them; copies go through
  // `uploads`. The dialogs open over the services' window.
  PlayListOpsController(WindowServices& services, const MainView& view, PlayListController& views,
                        UploadController& uploads);

  void acAddListExecute();
  void acEditListExecute();
  void acDeleteListExecute();
  void acDeleteSongExecute();
  void acMoveToExecute();
  // "Copy To...": the chooser in copy mode; its OK closes it, then the checked songs are copied
  // into the picked play list and the play lists are listed again.
  void acCopyToExecute();
  // A song row dragged onto a play list row: accept it over the play list view (the dragging
  // flag keeps the song rows while the selection follows the mouse), move it on the drop.
  bool lvPlayListDragOver(QObject* source, int row);
  void lvPlayListDragDrop(QObject* source, int row);
  void lvSongListEndDrag();
  // Opens the FTP server settings dialog (kept from its first use on); when it closes, the play
  // lists are listed again.
  void btnSettingsClick();
  TUnitServerSettingFrm* ServerSettingFrm() const { return serverSettingFrm_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  PlayListOperations Ops();
  // Opens the FTP connection again, silently, when the server has closed it (an idle time-out);
  // false after telling the user that it failed.
  bool Reconnected();
  // The play list chooser over the checked songs. In copy mode `copy` is what its OK does.
  using CopyHandler = std::function<bool(const std::string& target, const std::vector<TSongObj*>& songs)>;
  ChooserResult RunChooser(ChooserMode mode, CopyHandler copy);
  // Notes what the chooser changed and lists the play lists again when it asks for that.
  void AfterChooser(const ChooserResult& result);
  // After a drop that moved nothing: the play list whose songs are shown and the dragged song.
  void ReselectAfterDrag(const std::string& songName);
  // Drag events over the play list view; true when taken.
  bool lvPlayListDragEvent(QEvent* event);

  WindowServices& services_;
  PlayListArea playLists_;
  SongArea songs_;
  PlayListController& views_;
  UploadController& uploads_;
  TUnitServerSettingFrm* serverSettingFrm_ = nullptr;  // child of the window once made
};

}  // namespace kestrel::ui

// The play list chooser: picks the play list that receives the checked songs ("Move To...").
// It lists the store's play lists and offers "Add List...", "Edit List..." and "Delete List"
// on them; the caller learns whether it must list the play lists again and whether the zones'
// play lists may have changed.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/OperationRunner.h"
#include "playlists/PlayListOperations.h"
#include "playlists/PlayListStore.h"

class QAction;
class QPushButton;

namespace kestrel::ui {

class TActionList;
class TListView;

enum class ChooserMode : int { Move = 0, Copy = 1 };

struct ChooserContext {
  // Copies `songs` into the play list named `target`; true closes the chooser as confirmed.
  using CopyHandler = std::function<bool(const std::string& target, const std::vector<TSongObj*>& songs)>;

  PlayListOperations* ops = nullptr;  // required
  OperationRunner run;                // network work goes through it (empty: runs at once)
  CopyHandler copy;                   // copy mode's OK; without it OK does nothing there
};

class TfrmServerList : public QDialog {
  Q_OBJECT
 public:
  TfrmServerList(ChooserContext context, QWidget* parent);
  ~TfrmServerList() override;

  TListView* lvPlayList;
  QPushButton* btnListAdd;
  QPushButton* btnListEdit;
  QPushButton* btnListDelete;
  QPushButton* btnOK;
  QPushButton* btnCancel;
  TActionList* actServerList;
  QAction* acOK;
  QAction* acEditList;
  QAction* acDeleteList;

  ChooserMode Mode = ChooserMode::Move;
  bool Changed = false;            // a play list was added, renamed or deleted in here
  bool PlayListsChanged = false;   // an operation in here may have changed the zones' play lists
  std::vector<TSongObj*> Songs;    // the songs to move

  // A row referring to `playList`, which stays owned by its holder.
  void AddRow(TPlayListObj* playList);
  TPlayListObj* RowPlayList(int row) const;

  void btnListAddClick();
  void acEditListExecute();
  void acDeleteListExecute();
  void acOKExecute();
  void btnCancelClick();

 private:
  void Run(const std::function<void()>& operation);
  // Opens the connection again when the server has closed it; the user is told when that fails.
  bool Reconnected();
  std::vector<std::string> RowNames() const;

  ChooserContext context_;
  std::vector<TPlayListObj*> rows_;
  std::vector<std::unique_ptr<TPlayListObj>> added_;  // play lists created in here
};

struct ChooserResult {
  bool relist = false;            // closed with OK, or a play list was added, renamed or deleted in it
  bool playListsChanged = false;  // the zones' play lists may have changed (always so with relist)
};

// Shows the chooser over the store's play lists with `songs` in `mode`.
ChooserResult ChoosePlayList(QWidget* parent, const PlayListStore& store, const std::vector<TSongObj*>& songs,
                             ChooserMode mode, ChooserContext context);

}  // namespace kestrel::ui

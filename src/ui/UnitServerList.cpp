#include "ui/UnitServerList.h"

#include <QPushButton>

#include "ui/ActionList.h"
#include "ui/AnchorLayout.h"
#include "ui/ListView.h"
#include "ui/UnitUserInput.h"

namespace kestrel::ui {

TfrmServerList::TfrmServerList(ChooserContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
  setObjectName("frmServerList");
  setWindowTitle("Play List");
  QFont f("Arial");
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(13);
  setFont(f);
  resize(446, 546);
  auto* anchors = new TAnchorLayout(this, QSize(446, 546));

  lvPlayList = new TListView("lvPlayList", {{"NO.", 50, 0, 0}, {"Play List Name", 300, 0, 0}}, false, this);
  anchors->Place(lvPlayList, QRect(12, 16, 418, 492), kAnchorAll);
  auto button = [&](const char* name, const char* text, const QRect& r, int anchor) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    anchors->Place(b, r, anchor);
    return b;
  };
  const int leftBottom = akLeft | akBottom, rightBottom = akRight | akBottom;
  btnListAdd = button("btnListAdd", "Add List...", QRect(11, 515, 70, 23), leftBottom);
  btnListEdit = button("btnListEdit", "", QRect(86, 515, 70, 23), leftBottom);
  btnListDelete = button("btnListDelete", "", QRect(161, 515, 70, 23), leftBottom);
  btnOK = button("btnOK", "", QRect(287, 515, 70, 23), rightBottom);
  btnCancel = button("btnCancel", "Cancel", QRect(361, 515, 70, 23), rightBottom);

  actServerList = new TActionList(this);
  actServerList->setObjectName("actServerList");
  auto rowSelected = [this] { return lvPlayList->SelectedRow() >= 0; };
  acOK = actServerList->Add("acOK", "OK", 0, nullptr, [this](QAction*) { acOKExecute(); });
  acEditList = actServerList->Add("acEditList", "Edit List...", 0, rowSelected, [this](QAction*) { acEditListExecute(); });
  acDeleteList = actServerList->Add("acDeleteList", "Delete List", 0, rowSelected, [this](QAction*) { acDeleteListExecute(); });
  TActionList::Bind(btnListEdit, acEditList);
  TActionList::Bind(btnListDelete, acDeleteList);
  TActionList::Bind(btnOK, acOK);
  actServerList->UpdateAll();

  connect(btnListAdd, &QPushButton::clicked, this, &TfrmServerList::btnListAddClick);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmServerList::btnCancelClick);
  connect(lvPlayList, &QTableWidget::itemDoubleClicked, this, [this] { acOKExecute(); });
}

TfrmServerList::~TfrmServerList() { lvPlayList->disconnect(this); }

void TfrmServerList::AddRow(TPlayListObj* playList) {
  rows_.push_back(playList);
  lvPlayList->AddRow({QString::number(playList->Seq), QString::fromStdString(playList->Name)});
}

TPlayListObj* TfrmServerList::RowPlayList(int row) const {
  return row >= 0 && static_cast<std::size_t>(row) < rows_.size() ? rows_[static_cast<std::size_t>(row)] : nullptr;
}

std::vector<std::string> TfrmServerList::RowNames() const {
  std::vector<std::string> names;
  for (int row = 0; row < lvPlayList->rowCount(); ++row) names.push_back(lvPlayList->CellText(row, 1).toStdString());
  return names;
}

void TfrmServerList::Run(const std::function<void()>& operation) {
  RunThrough(context_.run, operation);
}

bool TfrmServerList::Reconnected() {
  bool connected = false;
  Run([&] { connected = context_.ops->Reconnect(); });
  return connected;
}

void TfrmServerList::btnListAddClick() {
  if (!Reconnected()) return;
  const std::vector<std::string> names = RowNames();
  std::string name = NextFreePlayListName(kNewPlayListBase, names);
  if (!InputName(this, "Add play list", "Please enter name", name, names, 1)) return;
  auto playList = std::make_unique<TPlayListObj>();
  playList->Name = name;
  playList->Seq = lvPlayList->rowCount() + 1;
  bool created = false;
  Run([&] { created = context_.ops->CreateOnServer(*playList); });
  if (!created) return;
  // It exists on the server now: offer it at once as a target.
  Changed = true;
  AddRow(playList.get());
  added_.push_back(std::move(playList));
  lvPlayList->SelectRow(lvPlayList->rowCount() - 1, true);
}

void TfrmServerList::acEditListExecute() {
  const int row = lvPlayList->SelectedRow();
  TPlayListObj* playList = RowPlayList(row);
  if (playList == nullptr || !Reconnected()) return;
  std::string name = lvPlayList->CellText(row, 1).toStdString();
  if (!InputName(this, "Edit play list", "Please enter name", name, RowNames(), 2)) return;
  bool renamed = false;
  Run([&] { renamed = context_.ops->RenamePlayList(*playList, name); });
  if (!renamed) return;
  Changed = PlayListsChanged = true;
  // Later names are checked against the rows, so the row says what the server now holds.
  lvPlayList->SetCellText(row, 1, QString::fromStdString(playList->Name));
}

void TfrmServerList::acDeleteListExecute() {
  TPlayListObj* playList = RowPlayList(lvPlayList->SelectedRow());
  if (playList == nullptr || !Reconnected()) return;
  DeleteResult deleted;
  Run([&] { deleted = context_.ops->DeletePlayList(*playList); });
  if (deleted.playListsChanged) PlayListsChanged = true;
  // The row stays until the caller lists the play lists again.
  if (deleted.outcome != DeleteOutcome::NotDone) Changed = true;
}

void TfrmServerList::acOKExecute() {
  TPlayListObj* target = RowPlayList(lvPlayList->SelectedRow());
  if (target == nullptr) return;
  if (Mode == ChooserMode::Copy) {
    if (context_.copy && context_.copy(target->Name, Songs)) accept();
    return;
  }
  if (!Reconnected()) return;
  bool failed = false;
  Run([&] {
    try {
      if (context_.ops->MoveSongs(target->Name, Songs)) PlayListsChanged = true;
    } catch (const FtpError&) {
      failed = true;  // the target cannot be entered: the user may pick another
    }
  });
  if (!failed) accept();
}

void TfrmServerList::btnCancelClick() { reject(); }

ChooserResult ChoosePlayList(QWidget* parent, const PlayListStore& store, const std::vector<TSongObj*>& songs,
                             ChooserMode mode, ChooserContext context) {
  TfrmServerList frm(std::move(context), parent);
  frm.Mode = mode;
  frm.Songs = songs;
  for (const auto& playList : store.Store().PlayList)
    if (playList) frm.AddRow(playList.get());
  const bool ok = frm.exec() == QDialog::Accepted;
  const bool relist = ok || frm.Changed;
  return {relist, relist || frm.PlayListsChanged};
}

}  // namespace kestrel::ui

// Helpers for driving the windows on Qt's offscreen platform.
#pragma once

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "playlists/FtpClient.h"
#include "playlists/PlayListStore.h"
#include "support/Wait.h"
#include "ui/ListView.h"
#include "ui/Main.h"
#include "ui/PlayListController.h"
#include "ui/PlayListOpsController.h"
#include "ui/UploadController.h"

namespace kestrel::test {

// Runs the event loop for a moment: queued calls and paint events are handled, and the loop
// goes idle (which runs the actions' update handlers) as it would between user events.
inline void ProcessEvents(int ms = 20) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Handles the window's events until `done` holds; false after `ms`.
template <typename Condition>
bool WaitHandlingEvents(Condition done, int ms = 5000) {
  return WaitUntil(done, std::chrono::milliseconds(ms), [] { ProcessEvents(10); });
}

// Clicks a row's check box with the mouse, as a user would.
inline void ClickCheckBox(ui::TListView* view, int row) {
  const QModelIndex index = view->model()->index(row, 0);
  QStyleOptionViewItem option;
  option.initFrom(view);
  option.rect = view->visualRect(index);
  option.features |= QStyleOptionViewItem::HasCheckIndicator;
  option.state |= QStyle::State_Enabled;
  const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
}

// Clicks a row's given cell (not the check box).
inline void ClickCell(ui::TListView* view, int row, int column) {
  const QRect r = view->visualRect(view->model()->index(row, column));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center() + QPoint(r.width() / 4, 0));
}

// A component of `window` by the name the layout gives it. The window keeps its components to
// itself; a test reaches them as a user does, by what they are called. Components of the
// window's dialogs, which are windows of their own, are not taken. Throws (failing the test)
// when there is none.
template <typename W>
W* Part(const QWidget& window, const char* name) {
  for (W* part : window.findChildren<W*>(QString::fromLatin1(name))) {
    const QObject* holder = part->parent();
    while (holder != nullptr && !holder->isWidgetType()) holder = holder->parent();
    if (holder != nullptr && static_cast<const QWidget*>(holder)->window() == &window) return part;
  }
  throw std::logic_error(std::string("the window has no component ") + name);
}
inline QPushButton* Button(const QWidget& window, const char* name) { return Part<QPushButton>(window, name); }
inline QLabel* Label(const QWidget& window, const char* name) { return Part<QLabel>(window, name); }
inline ui::TListView* List(const QWidget& window, const char* name) { return Part<ui::TListView>(window, name); }
inline QAction* Action(const QWidget& window, const char* name) { return Part<QAction>(window, name); }

// What a main window is given by its owner; here the zone polled last is always (1, 20).
struct WindowParts {
  SharedState state;
  ZoneTable zones{[] { return std::make_pair(std::uint8_t{1}, std::uint8_t{20}); }};
  std::unique_ptr<FtpClient> ftp;
  std::unique_ptr<PlayListStore> store;
};

// A main window that owns what it is given, in the test's `context`; with `withFtp` it also has
// an FTP client and store.
class TestMainFrm : public WindowParts, public ui::TMainFrm {
 public:
  explicit TestMainFrm(AppContext& context, bool withFtp = false) : ui::TMainFrm(context, state, zones) {
    if (!withFtp) return;
    ftp = std::make_unique<FtpClient>(context.RunState<FtpServerNotes>());
    store = std::make_unique<PlayListStore>(*ftp, context);
    AttachStore(*ftp, *store);
  }
  ~TestMainFrm() override { DetachStore(); }

  template <typename W>
  W* Part(const char* name) const { return test::Part<W>(*this, name); }
  QPushButton* Button(const char* name) const { return test::Button(*this, name); }
  QLabel* Label(const char* name) const { return test::Label(*this, name); }
  ui::TListView* List(const char* name) const { return test::List(*this, name); }
  QAction* Action(const char* name) const { return test::Action(*this, name); }
};

// A main window as a user sees it: zones read from the context's Settings folder, desktop size,
// shown.
inline std::unique_ptr<TestMainFrm> OpenMainWindow(AppContext& context, bool ftp = false) {
  auto frm = std::make_unique<TestMainFrm>(context, ftp);
  frm->LoadZones();
  frm->resize(1280, 800);
  frm->show();
  ProcessEvents();
  return frm;
}

}  // namespace kestrel::test

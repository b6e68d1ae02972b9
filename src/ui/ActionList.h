// Named actions with idle-time update handlers, and the binding of buttons and menu entries to
// them. While the program is idle (the event loop is about to wait for the next event) every
// action's update handler runs and decides whether the action is enabled; the controls bound to
// an action follow its enabled state, and a click runs the action's execute handler.
#pragma once

#include <QAction>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QAbstractButton;
class QMenu;

namespace kestrel::ui {

class TActionList : public QObject {
  Q_OBJECT
 public:
  using Update = std::function<bool()>;
  using Execute = std::function<void(QAction* action)>;

  explicit TActionList(QObject* parent);

  // A new action with its caption and tag; `update` decides its enabled state (nullptr: always
  // enabled), `execute` runs when it fires.
  QAction* Add(const QString& name, const QString& caption, int tag, Update update, Execute execute);

  // Runs every update handler once (what the idle hook does).
  void UpdateAll();

  // A button that follows the action's enabled state and fires the action; it shows the
  // action's caption unless it already has a text of its own.
  static void Bind(QAbstractButton* button, QAction* action);
  // A menu entry for the action with a caption of its own (empty: the action's caption), checkable
  // and checked as the action is.
  static QAction* AddMenuItem(QMenu* menu, const QString& name, QAction* action, const QString& caption = {});

 private:
  struct Entry {
    QAction* action;
    Update update;
  };
  std::vector<Entry> entries_;
};

}  // namespace kestrel::ui

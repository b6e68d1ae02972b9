#include "ui/ActionList.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QMenu>

namespace kestrel::ui {

TActionList::TActionList(QObject* parent) : QObject(parent) {
  setObjectName("actlstMain");
  // The event loop is about to wait: the program is idle.
  if (auto* dispatcher = QAbstractEventDispatcher::instance(thread()))
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TActionList::UpdateAll);
}

QAction* TActionList::Add(const QString& name, const QString& caption, int tag, Update update, Execute execute) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  action->setData(tag);
  if (execute) connect(action, &QAction::triggered, this, [action, execute] { execute(action); });
  entries_.push_back({action, std::move(update)});
  return action;
}

void TActionList::UpdateAll() {
  for (const Entry& e : entries_) e.action->setEnabled(!e.update || e.update());
}

void TActionList::Bind(QAbstractButton* button, QAction* action) {
  const bool ownText = !button->text().isEmpty();
  if (!ownText) button->setText(action->text());
  button->setEnabled(action->isEnabled());
  connect(action, &QAction::changed, button, [button, action, ownText] {
    button->setEnabled(action->isEnabled());
    if (!ownText) button->setText(action->text());
  });
  connect(button, &QAbstractButton::clicked, action, [action] {
    if (action->isEnabled()) action->trigger();
  });
}

QAction* TActionList::AddMenuItem(QMenu* menu, const QString& name, QAction* action, const QString& caption) {
  auto* item = menu->addAction(caption.isEmpty() ? action->text() : caption);
  item->setObjectName(name);
  item->setData(action->data());
  item->setEnabled(action->isEnabled());
  // A checkable action's entry shows its check mark; an entry without a caption of its own
  // follows the action's.
  item->setCheckable(action->isCheckable());
  item->setChecked(action->isChecked());
  const bool ownCaption = !caption.isEmpty();
  connect(action, &QAction::changed, item, [item, action, ownCaption] {
    item->setEnabled(action->isEnabled());
    item->setChecked(action->isChecked());
    if (!ownCaption) item->setText(action->text());
  });
  connect(item, &QAction::triggered, action, [action] {
    if (action->isEnabled()) action->trigger();
  });
  return item;
}

}  // namespace kestrel::ui

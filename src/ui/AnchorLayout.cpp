#include "ui/AnchorLayout.h"

#include <QEvent>
#include <QWidget>

namespace kestrel::ui {

TAnchorLayout::TAnchorLayout(QWidget* parent, QSize designSize)
    : QObject(parent), parent_(parent), design_(designSize) {
  parent->installEventFilter(this);
}

void TAnchorLayout::Place(QWidget* child, QRect designRect, int anchors) {
  if (designRect.width() <= 0) designRect.setWidth(child->sizeHint().width());
  if (designRect.height() <= 0) designRect.setHeight(child->sizeHint().height());
  items_.push_back({child, designRect, anchors});
  Apply(items_.back());
}

void TAnchorLayout::Apply(const Item& item) const {
  const int dw = parent_->width() - design_.width();
  const int dh = parent_->height() - design_.height();
  QRect r = item.rect;
  // Left and right: stretch; right only: follow the right edge; neither: keep the left.
  if ((item.anchors & akRight) && (item.anchors & akLeft)) r.setWidth(r.width() + dw);
  else if (item.anchors & akRight) r.moveLeft(r.left() + dw);
  if ((item.anchors & akBottom) && (item.anchors & akTop)) r.setHeight(r.height() + dh);
  else if (item.anchors & akBottom) r.moveTop(r.top() + dh);
  item.widget->setGeometry(r);
}

bool TAnchorLayout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parent_ && event->type() == QEvent::Resize)
    for (const Item& item : items_) Apply(item);
  return QObject::eventFilter(watched, event);
}

}  // namespace kestrel::ui

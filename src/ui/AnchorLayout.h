// Places child widgets at design-time rectangles and keeps them attached to the sides of their
// parent as it grows or shrinks, the way anchored controls of a form behave.
#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace kestrel::ui {

enum Anchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
constexpr int kAnchorTopLeft = akLeft | akTop;
constexpr int kAnchorAll = akLeft | akTop | akRight | akBottom;
constexpr int kAnchorLeftBottom = akLeft | akBottom;
constexpr int kAnchorRightBottom = akRight | akBottom;
constexpr int kAnchorRightTop = akRight | akTop;

class TAnchorLayout : public QObject {
 public:
  // `parent` is laid out as if it had been designed at `designSize`.
  TAnchorLayout(QWidget* parent, QSize designSize);

  // Puts `child` at `designRect` (a zero width or height keeps the child's own size hint).
  void Place(QWidget* child, QRect designRect, int anchors = kAnchorTopLeft);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Item {
    QWidget* widget;
    QRect rect;
    int anchors;
  };
  void Apply(const Item& item) const;
  QWidget* parent_;
  QSize design_;
  std::vector<Item> items_;
};

}  // namespace kestrel::ui

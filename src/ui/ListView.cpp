#include "ui/ListView.h"

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <algorithm>

namespace kestrel::ui {

namespace {
// Paints a row in the colours its view's rule gives it.
class RowColourDelegate : public QStyledItemDelegate {
 public:
  explicit RowColourDelegate(TListView* view) : QStyledItemDelegate(view), view_(view) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!view_->RowColourRule()) return;
    if (const auto colours = view_->RowColourRule()(index.row())) {
      option->palette.setColor(QPalette::Text, colours->first);
      option->backgroundBrush = QBrush(colours->second);
    }
  }

 private:
  TListView* view_;
};
}  // namespace

TListView::TListView(const QString& name, const std::vector<ListColumn>& columns, bool checkBoxes, QWidget* parent)
    : QTableWidget(0, static_cast<int>(columns.size()), parent), columns_(columns), checkBoxes_(checkBoxes) {
  setObjectName(name);
  QStringList captions;
  for (const auto& c : columns) captions << c.caption;
  setHorizontalHeaderLabels(captions);
  for (int i = 0; i < columnCount(); ++i) setColumnWidth(i, columns_[static_cast<size_t>(i)].width);

  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setMinimumSectionSize(1);
  // The selection keeps its colour when the view loses the focus.
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(p);
  setItemDelegate(new RowColourDelegate(this));
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, &TListView::KeepColumnWidths);
}

void TListView::KeepColumnWidths(int column, int, int newWidth) {
  const ListColumn& c = columns_[static_cast<size_t>(column)];
  int w = newWidth;
  if (c.minWidth > 0) w = std::max(w, c.minWidth);
  if (c.maxWidth > 0) w = std::min(w, c.maxWidth);
  if (w != newWidth) setColumnWidth(column, w);
}

int TListView::AddRow(const QStringList& cells) {
  const int row = rowCount();
  insertRow(row);
  for (int col = 0; col < columnCount(); ++col) {
    auto* item = new QTableWidgetItem(col < cells.size() ? cells[col] : QString());
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (dragEnabled()) flags |= Qt::ItemIsDragEnabled;  // a row the user may drag elsewhere
    if (col == 0 && checkBoxes_) {
      flags |= Qt::ItemIsUserCheckable;
      item->setCheckState(Qt::Unchecked);
    }
    item->setFlags(flags);
    setItem(row, col, item);
  }
  return row;
}

void TListView::ClearRows() { setRowCount(0); }

bool TListView::IsChecked(int row) const {
  const auto* it = item(row, 0);
  return it != nullptr && it->checkState() == Qt::Checked;
}

void TListView::SetChecked(int row, bool checked) {
  if (auto* it = item(row, 0)) it->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TListView::SetCellText(int row, int column, const QString& text) {
  if (auto* it = item(row, column)) it->setText(text);
}

QString TListView::CellText(int row, int column) const {
  const auto* it = item(row, column);
  return it != nullptr ? it->text() : QString();
}

int TListView::SelectedRow() const {
  const auto rows = selectionModel() != nullptr ? selectionModel()->selectedRows() : QModelIndexList{};
  return rows.isEmpty() ? -1 : rows.first().row();
}

void TListView::SelectRow(int row, bool focus) {
  if (row < 0 || row >= rowCount()) return;
  if (focus)
    setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  else
    selectionModel()->select(model()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollToItem(item(row, 0));
}

void TListView::SetRowColourRule(RowColours rule) {
  rowColours_ = std::move(rule);
  viewport()->update();
}

}  // namespace kestrel::ui

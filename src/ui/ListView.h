// A report-style list view: columns with captions and widths (minimum and maximum kept), grid
// lines, whole-row selection that stays visible without the focus, no in-place editing, column
// headers that do not react to clicks, and optionally a check box in front of every row.
#pragma once

#include <QColor>
#include <QTableWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace kestrel::ui {

struct ListColumn {
  QString caption;
  int width = 50;
  int minWidth = 0;  // 0: none
  int maxWidth = 0;  // 0: none
};

class TListView : public QTableWidget {
  Q_OBJECT
 public:
  TListView(const QString& name, const std::vector<ListColumn>& columns, bool checkBoxes, QWidget* parent);

  // Appends a row with the given cell texts; returns its index.
  int AddRow(const QStringList& cells);
  void ClearRows();

  bool IsChecked(int row) const;
  void SetChecked(int row, bool checked);
  void SetCellText(int row, int column, const QString& text);
  QString CellText(int row, int column) const;

  // The selected row, or -1.
  int SelectedRow() const;
  // Selects `row`, makes it the current (focused) row when `focus` is set, scrolls it into view.
  void SelectRow(int row, bool focus);

  // Decides, whenever a row is drawn, its text and background colours (nullopt: the view's
  // own colours); applies to every cell of the row.
  using RowColours = std::function<std::optional<std::pair<QColor, QColor>>(int row)>;
  void SetRowColourRule(RowColours rule);
  const RowColours& RowColourRule() const { return rowColours_; }

 private:
  void KeepColumnWidths(int column, int oldWidth, int newWidth);
  std::vector<ListColumn> columns_;
  bool checkBoxes_;
  RowColours rowColours_;
};

}  // namespace kestrel::ui

// The check boxes of the zone rows as the zone list's change handler sees them: each zone's
// Checked (kept in the zone table), the number of checked zones shown beside "Total checked
// zones:", and the zone-check-changed flag by which the list's click handler tells a click that
// toggled a check box from one that picked a row.
#pragma once

#include <cstddef>

#include "zones/ZoneControl.h"
#include "zones/ZoneTable.h"

namespace kestrel {

class ZoneChecking {
 public:
  explicit ZoneChecking(ZoneTable& zones) : zones_(zones) {}

  // A change of a row, of its check box or of anything else (the selection): the row's check box
  // is stored into its zone. A check moves the count up by one and an uncheck down by one, and
  // either raises the flag; any other change lowers it. A row without a zone changes nothing.
  // The count moves only by these steps; it is never taken again from the rows.
  void RowChanged(std::size_t row, bool checked);

  int Count() const { return count_; }
  // AnyZoneChecked: the rule that enables the zone commands.
  bool AnyChecked() const { return count_ > 0; }
  // Every zone's Checked, in row order: the zones a command goes to.
  ZoneChecks Checks() const;

  // The click handler's first step: true when the click toggled a check box. Lowers the flag.
  bool TakeCheckChanged();
  void ClearCheckChanged() { checkChanged_ = false; }
  // No zone checked: the zone list was read anew.
  void Reset() {
    count_ = 0;
    checkChanged_ = false;
  }

 private:
  ZoneTable& zones_;
  int count_ = 0;
  bool checkChanged_ = false;
};

}  // namespace kestrel

#include "zones/ZoneChecking.h"

namespace kestrel {

void ZoneChecking::RowChanged(std::size_t row, bool checked) {
  if (row >= zones_.Count()) return;
  checkChanged_ = false;
  const int step = zones_.ApplyCheckState(row, checked);
  if (step == 0) return;
  count_ += step;
  checkChanged_ = true;
}

ZoneChecks ZoneChecking::Checks() const {
  ZoneChecks checks(zones_.Count(), false);
  for (std::size_t row = 0; row < checks.size(); ++row) checks[row] = zones_.Snapshot(row).Checked;
  return checks;
}

bool ZoneChecking::TakeCheckChanged() {
  const bool changed = checkChanged_;
  checkChanged_ = false;
  return changed;
}

}  // namespace kestrel

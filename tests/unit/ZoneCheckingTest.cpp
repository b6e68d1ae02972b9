#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "zones/ZoneChecking.h"

namespace kestrel {
namespace {

// The change events of the zone list in the order a view sends them, and what the counting must
// say after the last one.
TEST(ZoneChecking, CountsChecksFromChangeEventsAlone) {
  struct Event {
    std::size_t row;
    bool checked;
  };
  struct Row {
    const char* what;
    std::vector<Event> events;
    int count;
    ZoneChecks checks;
    bool checkChanged;  // the last event toggled a check box
  };
  const std::vector<Row> rows = {
      {"two zones checked", {{0, true}, {2, true}}, 2, {true, false, true}, true},
      {"a repeated event of a checked row does not count twice",
       {{1, true}, {1, true}}, 1, {false, true, false}, false},
      {"an uncheck of an unchecked row leaves the count at zero", {{0, false}}, 0, {false, false, false}, false},
      {"checked and unchecked again", {{0, true}, {1, true}, {0, false}}, 1, {false, true, false}, true},
      {"a row past the zones changes nothing", {{0, true}, {3, true}}, 1, {true, false, false}, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ZoneTable zones{[] { return std::make_pair(std::uint8_t{1}, std::uint8_t{20}); }};
    for (std::uint8_t device : {20, 21, 22}) zones.Append({"Zone", 1, device});
    ZoneChecking checking(zones);
    for (const Event& e : r.events) checking.RowChanged(e.row, e.checked);
    EXPECT_EQ(checking.Count(), r.count);
    EXPECT_EQ(checking.AnyChecked(), r.count > 0);
    EXPECT_EQ(checking.Checks(), r.checks);
    EXPECT_EQ(checking.TakeCheckChanged(), r.checkChanged);
    EXPECT_FALSE(checking.TakeCheckChanged());
  }
}

}  // namespace
}  // namespace kestrel

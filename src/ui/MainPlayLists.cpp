// The play list and song views of the main window.
#include "ui/Main.h"

namespace kestrel::ui {

void TMainFrm::ShowWhatZonePlays(const TZone&) {}

}  // namespace kestrel::ui

// Bringing the program up and taking it down around its main window.
#pragma once

namespace kestrel {

namespace ui {
class TMainFrm;
}

// The version shown in the caption and the application title.
constexpr const char* kVersionText = "V1.10";

// The start-up sequence, run once the main window exists. False when the program must end
// (the message has been shown); true otherwise, also when a later step failed and the window
// runs without it (the error has been shown).
bool RunStartUp(ui::TMainFrm& frm);

// The shutdown sequence, run when the main window is asked to close; never refuses.
void RunShutdown(ui::TMainFrm& frm);

}  // namespace kestrel

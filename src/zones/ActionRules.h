// The main window's enabling rules (the update handlers of its actions) and what its "Play"
// does, decided from what the user has chosen in the window.
#pragma once

namespace kestrel {

// What the user has chosen when an action is looked at.
struct WindowChoice {
  bool zoneChecked = false;       // at least one zone row is checked (AnyZoneChecked)
  bool playListSelected = false;  // a play list row is selected
  bool songSelected = false;      // a song row is selected
  bool songChecked = false;       // at least one song row is checked
};

// When an action is enabled.
enum class EnablingRule {
  Always,            // "Add List...", "Settings..."
  ZoneChecked,       // acPrevSongUpdate: the zone commands, the play modes, the volume track bar
  PlayListSelected,  // acEditListUpdate, acDeleteListUpdate, acAddSongUpdate
  SongChecked,       // acDeleteSongUpdate: "Delete Checked Songs", "Move To...", "Copy To..."
  SongAndZone,       // acPlaySelectedSongUpdate: a song row selected and a zone row checked
};

bool IsEnabled(EnablingRule rule, const WindowChoice& choice);

// "Play" plays the chosen song exactly when "Play Selected Song" is enabled, and otherwise sends
// the plain play command.
enum class PlayKind { Play, PlaySelectedSong };
PlayKind WhatPlayDoes(const WindowChoice& choice);

}  // namespace kestrel

#include "zones/ActionRules.h"

namespace kestrel {

bool IsEnabled(EnablingRule rule, const WindowChoice& choice) {
  switch (rule) {
    case EnablingRule::Always:
      return true;
    case EnablingRule::ZoneChecked:
      return choice.zoneChecked;
    case EnablingRule::PlayListSelected:
      return choice.playListSelected;
    case EnablingRule::SongChecked:
      return choice.songChecked;
    case EnablingRule::SongAndZone:
      return choice.songSelected && choice.zoneChecked;
  }
  return false;
}

PlayKind WhatPlayDoes(const WindowChoice& choice) {
  return IsEnabled(EnablingRule::SongAndZone, choice) ? PlayKind::PlaySelectedSong : PlayKind::Play;
}

}  // namespace kestrel

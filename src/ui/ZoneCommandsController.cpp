#include "ui/ZoneCommandsController.h"

#include <QAction>
#include <QPushButton>
#include <QSlider>

#include "ui/ListView.h"
#include "ui/PlayListController.h"

namespace kestrel::ui {

ZoneCommandsController::ZoneCommandsController(const MainView& view, const ZoneChecking& checking,
                                               const PlayListController& playLists, std::function<WindowChoice()> choice)
    : area_(view.zones), actions_(view.actions), checking_(checking), playLists_(playLists), choice_(std::move(choice)) {
  const std::pair<QAction*, void (ZoneCommandsController::*)()> handlers[] = {
      {actions_.acPrevSong, &ZoneCommandsController::acPrevSongExecute},
      {actions_.acNextSong, &ZoneCommandsController::acNextSongExecute},
      {actions_.acPlay, &ZoneCommandsController::acPlayExecute},
      {actions_.acStop, &ZoneCommandsController::acStopExecute},
      {actions_.acMute, &ZoneCommandsController::acMuteExecute},
      {actions_.acPlaySelectedSong, &ZoneCommandsController::acPlaySelectedSongExecute},
      {actions_.acUpdateZonePlayList, &ZoneCommandsController::acUpdateZonePlayListExecute},
      {actions_.acPlayMode, &ZoneCommandsController::acPlayModeExecute}};
  for (const auto& [action, handler] : handlers) connect(action, &QAction::triggered, this, handler);
  for (QAction* mode : {actions_.acSinglePlay, actions_.acSingleCycle, actions_.acListPlay, actions_.acListCycle})
    connect(mode, &QAction::triggered, this, [this, mode] { vSetPlayMode(mode); });
  connect(area_.tkBarVol, &QSlider::valueChanged, this, &ZoneCommandsController::tkBarVolChange);
  connect(view.songs.lvSongList, &QTableWidget::itemDoubleClicked, this, [this] { lvSongListDblClick(); });
}

void ZoneCommandsController::ToCheckedZones(void (ZoneControl::*command)(const ZoneChecks&)) {
  if (control_) (control_->*command)(checking_.Checks());
}

void ZoneCommandsController::acPrevSongExecute() { ToCheckedZones(&ZoneControl::PrevSong); }

void ZoneCommandsController::acNextSongExecute() { ToCheckedZones(&ZoneControl::NextSong); }

std::optional<ZoneChecks> ZoneCommandsController::ReloadedChecks() {
  if (!control_) return std::nullopt;
  ZoneChecks checks = checking_.Checks();
  control_->ReloadIfNeeded(checks);
  return checks;
}

void ZoneCommandsController::acPlayExecute() {
  const std::optional<ZoneChecks> checks = ReloadedChecks();
  if (!checks) return;
  if (WhatPlayDoes(choice_()) == PlayKind::PlaySelectedSong)
    acPlaySelectedSongExecute();
  else
    control_->Play(*checks, std::nullopt);
}

void ZoneCommandsController::acStopExecute() { ToCheckedZones(&ZoneControl::Stop); }

void ZoneCommandsController::acMuteExecute() { ToCheckedZones(&ZoneControl::Mute); }

void ZoneCommandsController::acPlaySelectedSongExecute() {
  const std::optional<ZoneChecks> checks = ReloadedChecks();
  if (!checks) return;
  if (const auto chosen = playLists_.ChosenSong()) control_->PlaySelectedSong(*checks, *chosen);
}

void ZoneCommandsController::acUpdateZonePlayListExecute() { ToCheckedZones(&ZoneControl::UpdateZonePlayLists); }

// The play mode menu opens below the control that triggered it, the "Play Mode" button.
void ZoneCommandsController::acPlayModeExecute() { PopupMenuUnder(area_.btnPlayModeAll, actions_.pmPlayMode); }

void ZoneCommandsController::vSetPlayMode(QAction* action) {
  if (control_) control_->SetPlayMode(action->data().toInt(), checking_.Checks());
}

void ZoneCommandsController::tkBarVolChange(int position) {
  // The track bar is usable exactly when a zone is checked.
  if (control_ && IsEnabled(EnablingRule::ZoneChecked, choice_())) control_->SendVolume(position, checking_.Checks());
}

void ZoneCommandsController::lvSongListDblClick() {
  if (IsEnabled(EnablingRule::SongAndZone, choice_())) acPlaySelectedSongExecute();
}

}  // namespace kestrel::ui

#include "zones/ZoneTable.h"

#include <chrono>

#include "zones/ZoneStatusText.h"

namespace kestrel {

void TZoneReport::SetZoneTimes(std::int32_t durationSeconds, std::int32_t positionSeconds) {
  zone_.DurText = ZoneTimeText(durationSeconds);
  zone_.PosText = ZoneTimeText(positionSeconds);
}

void TZoneReport::SetZoneSong(const std::string& name, std::int32_t songNo) {
  if (!name.empty()) zone_.SongName = name;
  if (songNo != -1) zone_.SongNo = songNo;
}

ZoneTable::ZoneTable(PolledAddressFn polledAddress) : polledAddress_(std::move(polledAddress)) {}

void ZoneTable::SetRowTextHandler(RowTextFn handler) { rowText_ = std::move(handler); }

void ZoneTable::SetRowAnswerHandler(RowAnswerFn handler) { rowAnswer_ = std::move(handler); }

std::size_t ZoneTable::Append(const ZoneDefinition& zone) {
  auto row = std::make_unique<Row>();
  row->name = zone.name;
  row->zone.SubnetID = zone.subnetID;
  row->zone.DeviceID = zone.deviceID;
  rows_.push_back(std::move(row));
  return rows_.size() - 1;
}

TZone ZoneTable::Snapshot(std::size_t row) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rows_[row]->zone;
}

int ZoneTable::ApplyCheckState(std::size_t row, bool checked) {
  std::lock_guard<std::mutex> lock(mutex_);
  TZone& zone = rows_[row]->zone;
  const bool old = zone.Checked;
  zone.Checked = checked;
  if (!old && checked) return 1;
  if (old && !checked) return -1;
  return 0;
}

void ZoneTable::Modify(std::size_t row, const std::function<void(TZone&)>& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  change(rows_[row]->zone);
}

void ZoneTable::UpdatePolledZone(bool recompose, const std::function<void(TZone&)>& store) {
  if (!polledAddress_) return;
  const auto [subnet, device] = polledAddress_();
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  std::size_t row = 0;
  std::string text;
  bool answersAgain = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (; row < rows_.size(); ++row)
      if (rows_[row]->zone.SubnetID == subnet && rows_[row]->zone.DeviceID == device) break;
    if (row == rows_.size()) return;
    TZone& zone = rows_[row]->zone;
    store(zone);
    rows_[row]->answeredPoll = true;
    answersAgain = !Answering(zone);
    zone.UnansweredPolls = 0;
    zone.LastAnswer = now;
    if (recompose) text = ComposeZoneStatusText(zone);
  }
  if (recompose && rowText_) rowText_(row, text);
  if (answersAgain && rowAnswer_) rowAnswer_(row, true, now);
}

void ZoneTable::PollEnded(std::size_t row) {
  std::int64_t lastAnswer = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (row >= rows_.size()) return;
    Row& r = *rows_[row];
    if (r.answeredPoll) {
      r.answeredPoll = false;
      return;
    }
    if (++r.zone.UnansweredPolls != kUnansweredPollsForSilence) return;
    lastAnswer = r.zone.LastAnswer;
  }
  if (rowAnswer_) rowAnswer_(row, false, lastAnswer);
}

void ZoneTable::SetZoneTimes(std::int32_t durationSeconds, std::int32_t positionSeconds) {
  UpdatePolledZone(true, [&](TZone& z) { TZoneReport(z).SetZoneTimes(durationSeconds, positionSeconds); });
}

void ZoneTable::SetZoneVolume(std::uint8_t volume) {
  UpdatePolledZone(true, [&](TZone& z) { TZoneReport(z).SetZoneVolume(volume); });
}

void ZoneTable::SetZonePlayMode(std::uint8_t mode) {
  UpdatePolledZone(true, [&](TZone& z) { TZoneReport(z).SetZonePlayMode(mode); });
}

void ZoneTable::SetZoneSong(const std::string& name, std::int32_t songNo) {
  UpdatePolledZone(true, [&](TZone& z) { TZoneReport(z).SetZoneSong(name, songNo); });
}

void ZoneTable::SetZoneListNo(std::int32_t listNo) {
  UpdatePolledZone(false, [&](TZone& z) { TZoneReport(z).SetZoneListNo(listNo); });
}

void ZoneTable::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  rows_.clear();
}

}  // namespace kestrel

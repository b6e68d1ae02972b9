// The zones in row order, each owned here, and what they report about themselves.
//
// The rows are appended once at start-up and never change after that, so their count, names and
// addresses are read without a lock. The fields that change (the reported status, the check and
// mute state) are guarded by the table's own mutex, since the receive thread writes the status
// while the window reads it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "bus/ZoneStatusSink.h"
#include "zones/TZone.h"
#include "zones/ZoneIni.h"

namespace kestrel {

// Stores what a zone reports into one TZone: times as their text, an empty song name and the
// song number -1 keeping what was stored.
class TZoneReport : public ZoneStatusSink {
 public:
  explicit TZoneReport(TZone& zone) : zone_(zone) {}
  void SetZoneTimes(std::int32_t durationSeconds, std::int32_t positionSeconds) override;
  void SetZoneVolume(std::uint8_t volume) override { zone_.Volume = volume; }
  void SetZonePlayMode(std::uint8_t mode) override { zone_.PlayMode = mode; }
  void SetZoneSong(const std::string& name, std::int32_t songNo) override;
  void SetZoneListNo(std::int32_t listNo) override { zone_.ListNo = listNo; }

 private:
  TZone& zone_;
};

class ZoneTable : public ZoneStatusSink {
 public:
  // The device address of the zone polled last; read by the status operations.
  using PolledAddressFn = std::function<std::pair<std::uint8_t, std::uint8_t>()>;
  // Called, on the thread that stored a report, with a row and its new status text.
  using RowTextFn = std::function<void(std::size_t row, const std::string& text)>;
  // Called, on the thread that noticed it, when a row's zone stops answering (`answering`
  // false) or answers again; `lastAnswer` as in TZone.
  using RowAnswerFn = std::function<void(std::size_t row, bool answering, std::int64_t lastAnswer)>;

  // Polls in a row without an answer after which a zone counts as not answering: three
  // polling rounds.
  static constexpr std::int32_t kUnansweredPollsForSilence = 3;
  static bool Answering(const TZone& zone) { return zone.UnansweredPolls < kUnansweredPollsForSilence; }

  explicit ZoneTable(PolledAddressFn polledAddress);

  // Set before any thread reports.
  void SetRowTextHandler(RowTextFn handler);
  void SetRowAnswerHandler(RowAnswerFn handler);

  // At start-up before any thread runs, or when the zones are read anew: then the query thread
  // is stopped and the poll lock held, so that no report is being stored.
  std::size_t Append(const ZoneDefinition& zone);

  // Releases every zone: at shutdown after every thread that reads the rows has ended, or when
  // the zones are read anew (as for Append).
  void Clear();

  std::size_t Count() const { return rows_.size(); }
  const std::string& Name(std::size_t row) const { return rows_[row]->name; }
  std::uint8_t SubnetID(std::size_t row) const { return rows_[row]->zone.SubnetID; }
  std::uint8_t DeviceID(std::size_t row) const { return rows_[row]->zone.DeviceID; }

  // A copy of the zone as it is now.
  TZone Snapshot(std::size_t row) const;

  // Stores the row's check box into the zone's Checked: +1 when it became checked, -1 when it
  // became unchecked, 0 when the change was something else.
  int ApplyCheckState(std::size_t row, bool checked);

  // Runs `change` on the zone under the table's lock (the mute command keeps its state here).
  void Modify(std::size_t row, const std::function<void(TZone&)>& change);

  // The query thread, under the poll lock, when it moves the polled address on from `row`: the
  // replies of its poll are in. A poll without any counts against the zone, and the
  // kUnansweredPollsForSilence-th in a row tells the answer handler that it stopped answering.
  void PollEnded(std::size_t row);

  // The status operations: each stores into the first zone whose address is the polled one and,
  // except for the list number, rebuilds that row's text. A second zone with the same address
  // is never updated; without a matching zone nothing happens. Each is an answer of the zone:
  // it takes the time, and a zone that was not answering tells the answer handler it is again.
  void SetZoneTimes(std::int32_t durationSeconds, std::int32_t positionSeconds) override;
  void SetZoneVolume(std::uint8_t volume) override;
  void SetZonePlayMode(std::uint8_t mode) override;
  void SetZoneSong(const std::string& name, std::int32_t songNo) override;
  void SetZoneListNo(std::int32_t listNo) override;

 private:
  struct Row {
    std::string name;
    TZone zone;
    bool answeredPoll = false;  // since its last PollEnded
  };

  void UpdatePolledZone(bool recompose, const std::function<void(TZone&)>& store);

  PolledAddressFn polledAddress_;
  RowTextFn rowText_;
  RowAnswerFn rowAnswer_;
  std::vector<std::unique_ptr<Row>> rows_;
  mutable std::mutex mutex_;
};

}  // namespace kestrel

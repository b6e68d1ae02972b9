// The zone list dialog of the main window, driven by keys: edits stay in the dialog until OK,
// which writes Zone.ini (the file as it was kept beside it) and has the window read the zones.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QSpinBox>

#include "core/AppContext.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"
#include "ui/UnitZoneList.h"
#include "UiTestSupport.h"

using namespace kestrel;
using namespace kestrel::ui;

namespace {

const std::string kTwoZones =
    "; the site\r\n[TotalZones]\r\nTotalZones=2\r\n[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n"
    "[Zone2]\r\nZoneName=Bar\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=21\r\n";

class ZoneListDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.write("Zone.ini", kTwoZones);
    frm = test::OpenMainWindow(context);
  }
  // Opens the dialog as a user does, with Ctrl+Alt+Z.
  QDialog* Open() {
    QTest::keyClick(frm->windowHandle(), Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier);
    test::ProcessEvents();
    auto* dialog = frm->findChild<QDialog*>("UnitZoneListFrm");
    EXPECT_TRUE(dialog != nullptr && QTest::qWaitForWindowActive(dialog));
    return dialog;
  }
  void Key(QDialog* dialog, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::AltModifier) {
    QTest::keyClick(dialog->windowHandle(), key, modifiers);
    test::ProcessEvents();
  }
  void AddZone(QDialog* dialog, const QString& name, int device) {
    test::Part<QSpinBox>(*dialog, "edtDevice")->setValue(device);
    QLineEdit* edit = test::Part<QLineEdit>(*dialog, "edtName");
    edit->setFocus();
    QTest::keyClicks(edit, name);
    Key(dialog, Qt::Key_Return, Qt::NoModifier);  // Enter in the name field adds the zone
  }
  QStringList Names(TListView* list) {
    QStringList names;
    for (int row = 0; row < list->rowCount(); ++row) names << list->CellText(row, 0);
    return names;
  }

  test::TempDir settings;
  test::RecordingPrompts prompts;
  AppContext context{settings.str(), &prompts};
  std::unique_ptr<test::TestMainFrm> frm;
};

}  // namespace

TEST(ZoneListSubnets, AreReadAsNumbersAndRanges) {
  const std::vector<std::pair<QString, std::vector<std::uint8_t>>> cases = {
      {"1", {1}}, {"1-3", {1, 2, 3}}, {" 1, 4 - 5", {1, 4, 5}}, {"2,2,1-2", {2, 1}},
      {"", {}}, {"3-1", {}}, {"256", {}}, {"1,x", {}}, {"1,", {}}};
  for (const auto& [text, expected] : cases) {
    std::vector<std::uint8_t> subnets;
    const bool read = TUnitZoneListFrm::ParseSubnets(text, subnets);
    EXPECT_EQ(read, !expected.empty()) << text.toStdString();
    EXPECT_EQ(read ? subnets : expected, expected) << text.toStdString();
  }
}

TEST_F(ZoneListDialog, CancelWritesNothing) {
  QDialog* dialog = Open();
  AddZone(dialog, "Spa", 22);
  EXPECT_EQ(Names(test::List(*dialog, "lvZones")), QStringList({"Lobby", "Bar", "Spa"}));
  Key(dialog, Qt::Key_Escape, Qt::NoModifier);
  EXPECT_EQ(test::TempDir::ReadFile(settings.file("Zone.ini")), kTwoZones);
  EXPECT_FALSE(std::filesystem::exists(settings.file("Zone.ini.bak")));
  EXPECT_EQ(test::List(*frm, "lvPlayZones")->rowCount(), 2);
}

TEST_F(ZoneListDialog, EditsAreWrittenByOkAndTheWindowReadsThem) {
  test::ClickCheckBox(test::List(*frm, "lvPlayZones"), 1);
  ASSERT_EQ(test::Label(*frm, "lblZoneSelectedCount")->text(), "1");
  QDialog* dialog = Open();
  TListView* rows = test::List(*dialog, "lvZones");
  AddZone(dialog, "Bar", 30);  // refused: the name is taken
  ASSERT_EQ(prompts.Shown().size(), 1u);
  EXPECT_EQ(prompts.Shown()[0].second, "there is a zone named \"Bar\" already");
  test::Part<QLineEdit>(*dialog, "edtName")->clear();
  AddZone(dialog, "Spa", 22);
  QTest::mouseClick(test::Button(*dialog, "btnMoveUp"), Qt::LeftButton);  // Spa, selected as added
  test::ClickCell(rows, 0, 0);
  QTest::mouseClick(test::Button(*dialog, "btnRemove"), Qt::LeftButton);  // Lobby
  EXPECT_EQ(Names(rows), QStringList({"Spa", "Bar"}));

  Key(dialog, Qt::Key_Return, Qt::NoModifier);
  EXPECT_EQ(test::TempDir::ReadFile(settings.file("Zone.ini.bak")), kTwoZones);
  std::vector<std::string> written;
  ReadZoneIni(settings.file("Zone.ini"), [&](const ZoneDefinition& z) {
    written.push_back(z.name + " " + std::to_string(z.subnetID) + ":" + std::to_string(z.deviceID));
  });
  EXPECT_EQ(written, std::vector<std::string>({"Spa 1:22", "Bar 1:21"}));
  EXPECT_EQ(test::TempDir::ReadFile(settings.file("Zone.ini")).rfind("; the site\r\n", 0), 0u);
  // The window shows the new list, nothing checked.
  EXPECT_EQ(Names(test::List(*frm, "lvPlayZones")), QStringList({"Spa", "Bar"}));
  EXPECT_EQ(test::Label(*frm, "lblZoneSelectedCount")->text(), "0");
  EXPECT_EQ(frm->Zones().Count(), 2u);
}

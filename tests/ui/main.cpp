#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // A desktop-sized screen, so that windows and popup menus are placed as on a real one.
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" KESTREL_OFFSCREEN_CONFIG);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

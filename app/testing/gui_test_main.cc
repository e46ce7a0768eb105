// The main of the GUI test programs: a QApplication and the Qt event pump
// installed, as in the desktop program. CTest runs them on Qt's offscreen
// platform; so does a run by hand that names no platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/qt_event_pump.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();  // needs no display
  // Death tests start the program afresh rather than forking a process that
  // holds Qt's threads.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  qm::QtEventPump pump;
  qm::event_pump_install(&pump);
  const int result = RUN_ALL_TESTS();
  qm::event_pump_install(nullptr);
  return result;
}

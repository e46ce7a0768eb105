#include "app/app.h"

#include <QApplication>

#include "app/main_window.h"
#include "app/qt_event_pump.h"
#include "app/shell.h"

namespace qm {

int app_main(char* program_name) {
  int argc = 1;
  char* argv[] = {program_name, nullptr};
  QApplication application(argc, argv);
  QtEventPump pump;
  event_pump_install(&pump);
  DesktopShell shell;
  MainWindow window(shell);
  window.load();
  QApplication::exec();
  event_pump_install(nullptr);
  return 0;
}

}  // namespace qm

#include "app/shell.h"

#include <cstdio>
#include <cstdlib>
#include <QDesktopServices>
#include <QUrl>

namespace qm {

void DesktopShell::open_address(const QString& address) {
  QDesktopServices::openUrl(QUrl(address));
}

void DesktopShell::end_process(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace qm

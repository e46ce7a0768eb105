#include "app/app.h"

int main(int /*argc*/, char** argv) {
  static char fallback[] = "qirvomorvalin";
  return qm::app_main(argv[0] ? argv[0] : fallback);
}

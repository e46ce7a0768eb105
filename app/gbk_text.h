// The one crossing between widget texts (QString) and the system's GBK texts.
#pragma once

#include <QString>

#include "text/text.h"

namespace qm {

// A character GBK cannot hold becomes "?"; a NUL ends the text.
Text text_from_qstring(const QString& text);
// Bytes that are not GBK become U+FFFD.
QString qstring_from_text(const Text& text);

}  // namespace qm

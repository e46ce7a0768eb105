#include "app/gbk_text.h"

#include "web/web.h"

namespace qm {

Text text_from_qstring(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return gbk_from_utf8(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

QString qstring_from_text(const Text& text) {
  return QString::fromStdString(utf8_from_gbk(text));
}

}  // namespace qm

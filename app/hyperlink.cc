#include "app/hyperlink.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace qm {

Hyperlink::Hyperlink(const QString& text, QString address, QWidget* parent)
    : QLabel(text, parent), address_(std::move(address)) {
  setTextFormat(Qt::PlainText);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_Hover);  // skins colour it under the mouse
  setToolTip(address_);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
}

void Hyperlink::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    Q_EMIT activated();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void Hyperlink::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Enter:
    case Qt::Key_Return:
    case Qt::Key_Space:
      Q_EMIT activated();
      return;
    default:
      QLabel::keyPressEvent(event);
  }
}

}  // namespace qm

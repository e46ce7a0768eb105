// A label that stands for a web address: drawn as a link, activated by a
// left click or, with the focus, by Enter, Return or Space.
#pragma once

#include <QLabel>
#include <QString>

namespace qm {

class Hyperlink final : public QLabel {
  Q_OBJECT

 public:
  Hyperlink(const QString& text, QString address, QWidget* parent);
  const QString& address() const noexcept { return address_; }

 Q_SIGNALS:
  void activated();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString address_;
};

}  // namespace qm

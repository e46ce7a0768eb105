#include "app/run_window_adapter.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>

#include "app/gbk_text.h"
#include "app/main_window.h"

namespace qm {

Text MainWindowRun::keyword() { return text_from_qstring(window_.keyword_box().text()); }

bool MainWindowRun::exact() { return window_.exact_box().isChecked(); }

void MainWindowRun::set_collect_button(bool enabled, const Text& caption) {
  QPushButton& button = window_.collect_button();
  button.setEnabled(enabled);
  button.setText(qstring_from_text(caption));
}

void MainWindowRun::set_results(const Text& text) {
  window_.results_box().setPlainText(qstring_from_text(text));
}

void MainWindowRun::append_results(const Text& text) {
  QPlainTextEdit& box = window_.results_box();
  box.moveCursor(QTextCursor::End);
  box.ensureCursorVisible();
  QTextDocument& document = *box.document();
  document.setUndoRedoEnabled(false);
  box.insertPlainText(qstring_from_text(text));
  document.setUndoRedoEnabled(true);
  box.ensureCursorVisible();
}

void MainWindowRun::set_results_caption(const Text& caption) {
  window_.results_frame().setTitle(qstring_from_text(caption));
}

}  // namespace qm

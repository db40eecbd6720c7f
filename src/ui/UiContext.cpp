#include "UiContext.h"

#include <QMessageBox>

namespace quorvel::ui {

void TMessageBoxes::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, kAppTitle, text);
}

bool TMessageBoxes::Ask(QWidget* parent, const QString& question) {
  return QMessageBox::warning(parent, kAppTitle, question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes;
}

void TMessageBoxes::ShowInfo(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, kAppTitle, text);
}

}  // namespace quorvel::ui

#pragma once

#include "AppPage.h"

class QPlainTextEdit;
class QPushButton;

namespace quorvel::ui {

/// "Состояние": the report of the terminal's state, read on "Прочитать".
class TfmStatus final : public TAppPage {
  Q_OBJECT

 public:
  TfmStatus(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
  QIcon GetImage() const override;

  /// ReadStatus into a fresh record, then the report replaces the view's text; the status
  /// text is cleared at the end, also after a failure.
  void btnReadClick();

  QPlainTextEdit* Memo = nullptr;
  QPushButton* btnRead = nullptr;
};

}  // namespace quorvel::ui

#include "fmuStatus.h"

#include "Ortenas.h"
#include "PageBuilder.h"
#include "StatusReport.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

#include <memory>

namespace quorvel::ui {

TfmStatus::TfmStatus(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TAppPage(context, runner, QStringLiteral("Состояние"), parent) {
  setObjectName("fmStatus");
  TPageBuilder b(this, QStringLiteral(" Состояние "));
  Memo = b.AddText("Memo", "", true, true);
  btnRead = b.AddButton({"btnRead", "Прочитать"});
  connect(btnRead, &QPushButton::clicked, this, &TfmStatus::btnReadClick);
}

QIcon TfmStatus::GetImage() const { return style()->standardIcon(QStyle::SP_ComputerIcon); }

void TfmStatus::btnReadClick() {
  auto status = std::make_shared<TOrtenaStatus>();
  TOrtena& facade = context_.Facade;
  RunOperation(
      [&facade, status] {
        try {
          facade.ReadStatus(*status);
        } catch (...) {
          facade.ClearStatus();
          throw;
        }
        facade.ClearStatus();
      },
      [this, status] { Memo->setPlainText(Q(FormatStatusReport(*status))); });
}

}  // namespace quorvel::ui

#include "fmuScriptSettings.h"

#include "AppDoc.h"
#include "OperationRunner.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "ScriptDef.h"
#include "UiContext.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

namespace quorvel::ui {

namespace {

void CopyScriptDefs(const TScriptDefs& from, TScriptDefs& to) {
  to.Clear();
  to.FileVersion = from.FileVersion;
  for (int i = 0; i < from.Count(); ++i) to.Add()->Assign(*from.Items(i));
}

}  // namespace

TfmScriptSettings::TfmScriptSettings(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : QDialog(parent), context_(context), runner_(runner) {
  setObjectName("fmScriptSettings");
  setWindowTitle(QStringLiteral("Параметры скрипта"));
  auto* layout = new QVBoxLayout(this);
  Memo = new QPlainTextEdit(this);
  Memo->setObjectName("Memo");
  Memo->setAccessibleName(QString::fromUtf8(kScriptVersionCaption));
  Memo->setReadOnly(true);
  layout->addWidget(Memo, 1);
  auto* row = new QHBoxLayout;
  btnUpdate = MakeButton(this, "btnUpdate", QStringLiteral("Обновить"));
  row->addWidget(btnUpdate);
  row->addStretch(1);
  btnClose = MakeButton(this, "btnClose", QStringLiteral("Закрыть"));
  row->addWidget(btnClose);
  layout->addLayout(row);
  connect(btnUpdate, &QPushButton::clicked, this, &TfmScriptSettings::btnUpdateClick);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
  resize(360, 200);
  ShowVersion();
}

void TfmScriptSettings::ShowVersion() {
  Memo->setPlainText(QString::fromUtf8(kScriptVersionCaption) + ": " +
                     Q(context_.Doc.ScriptDefs().FileVersion));
}

void TfmScriptSettings::btnUpdateClick() {
  btnUpdate->setEnabled(false);
  TOrtena& facade = context_.Facade;
  // Downloaded into a set of its own, so the document's set is not touched off the UI thread
  // and stays whole when the download fails.
  auto loaded = std::make_shared<TScriptDefs>();
  CopyScriptDefs(context_.Doc.ScriptDefs(), *loaded);
  const auto finish = [this] {
    ShowVersion();
    btnUpdate->setEnabled(true);
    btnUpdate->setFocus();
  };
  const bool started = runner_.Run(
      this, [&facade, loaded] { facade.UpdateScriptDefs(*loaded); },
      [this, loaded, finish] {
        CopyScriptDefs(*loaded, context_.Doc.ScriptDefs());
        finish();
      },
      [this, finish](std::exception_ptr error) {
        runner_.ShowError(error);
        finish();
      });
  if (!started) finish();
}

}  // namespace quorvel::ui

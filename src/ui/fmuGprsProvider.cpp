#include "fmuGprsProvider.h"

#include "AppDoc.h"
#include "OperationRunner.h"
#include "PageBuilder.h"
#include "UiContext.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvel::ui {

TfmGprsProvider::TfmGprsProvider(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : QDialog(parent), context_(context), runner_(runner) {
  setObjectName("fmGprsProvider");
  setWindowTitle(QStringLiteral("Выбор GPRS провайдера"));
  auto* layout = new QVBoxLayout(this);
  lbProviders = new QListWidget(this);
  lbProviders->setObjectName("lbProviders");
  lbProviders->setAccessibleName(QStringLiteral("GPRS провайдеры"));
  layout->addWidget(lbProviders);
  auto* row = new QHBoxLayout;
  btnUpdate = MakeButton(this, "btnUpdate", QStringLiteral("Обновить"),
                         QStringLiteral("Обновить список провайдеров с сервера"));
  row->addWidget(btnUpdate);
  row->addStretch(1);
  // Enter in the list reaches the default button: it ends the dialog with OK.
  AddOkCancel(this, row, btnOk, btnCancel);
  layout->addLayout(row);
  connect(btnOk, &QPushButton::clicked, this, &TfmGprsProvider::accept);
  connect(btnUpdate, &QPushButton::clicked, this, &TfmGprsProvider::btnUpdateClick);
  connect(lbProviders, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
  FillList();
}

void TfmGprsProvider::FillList() {
  const TGprsProviders& providers = context_.Doc.GprsProviders();
  lbProviders->clear();
  for (int i = 0; i < providers.Count(); ++i) lbProviders->addItem(Q(providers.Items(i).Name()));
  if (providers.IsValidIndex(providers.ItemIndex)) lbProviders->setCurrentRow(providers.ItemIndex);
}

void TfmGprsProvider::btnUpdateClick() {
  TAppDoc& doc = context_.Doc;
  runner_.Run(
      this, [&doc] { doc.UpdateGprsProviders(); }, [this] { FillList(); });
}

void TfmGprsProvider::accept() {
  if (runner_.Busy()) return;
  // Only a row the user sees as chosen counts; the current row alone may be unselected.
  const QList<QListWidgetItem*> chosen = lbProviders->selectedItems();
  context_.Doc.GprsProviders().ItemIndex = chosen.isEmpty() ? -1 : lbProviders->row(chosen.first());
  QDialog::accept();
}

void TfmGprsProvider::reject() {
  if (runner_.Busy()) return;
  QDialog::reject();
}

}  // namespace quorvel::ui

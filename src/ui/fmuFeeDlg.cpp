#include "fmuFeeDlg.h"

#include "Errors.h"
#include "Fees.h"
#include "PageBuilder.h"
#include "UiContext.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace quorvel::ui {

namespace {

// The keys of a number field: digits and the "." separator; editing and clipboard keys pass
// anyway. A pasted text with anything else is refused whole.
QLineEdit* NumberField(QWidget* parent, const char* name, const char* label) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setAccessibleName(AccessibleName(label));
  edit->setMaxLength(TfmFeeDlg::kFieldLength);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9.]*"), edit));
  return edit;
}

}  // namespace

TfmFeeDlg::TfmFeeDlg(TFee& fee, IUiMessages& messages, QWidget* parent)
    : QDialog(parent), fee_(fee), messages_(messages) {
  setObjectName("fmFeeDlg");
  setWindowTitle(QStringLiteral("Ставка комиссии"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  constexpr const char* kSumLabel = "Максимальная сумма, руб.:";
  constexpr const char* kValueLabel = "Значение:";
  edtSum = NumberField(this, "edtSum", kSumLabel);
  edtValue = NumberField(this, "edtValue", kValueLabel);
  form->addRow(QString::fromUtf8(kSumLabel), edtSum);
  form->addRow(QString::fromUtf8(kValueLabel), edtValue);

  auto* type = new QGroupBox(QStringLiteral("Тип ставки:"), this);
  type->setAccessibleName(QStringLiteral("Тип ставки"));
  auto* typeLayout = new QHBoxLayout(type);
  rbPercent = new QRadioButton(QStringLiteral("Процентная"), type);
  rbPercent->setObjectName("rbPercent");
  rbFixed = new QRadioButton(QStringLiteral("Суммовая"), type);
  rbFixed->setObjectName("rbFixed");
  typeLayout->addWidget(rbPercent);
  typeLayout->addWidget(rbFixed);
  layout->addWidget(type);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  AddOkCancel(this, buttons, btnOK, btnCancel, "btnOK");
  layout->addLayout(buttons);
  connect(btnOK, &QPushButton::clicked, this, &TfmFeeDlg::btnOKClick);

  edtSum->setText(Q(fee.FeeSum.ToString()));
  edtValue->setText(Q(NumberText(fee.FeeValue)));
  (fee.FeeType == kFeeFixed ? rbFixed : rbPercent)->setChecked(true);
}

void TfmFeeDlg::btnOKClick() {
  QLineEdit* field = edtSum;
  try {
    const std::int32_t type = rbPercent->isChecked() ? kFeePercent : kFeeFixed;
    const Money sum = ParseFeeSumField(S(edtSum->text()));
    field = edtValue;
    const double value = ParseFeeValueField(S(edtValue->text()));
    field = nullptr;
    fee_.SetValues(type, sum, value);
  } catch (const std::exception& e) {
    messages_.ShowError(this, Q(e.what()));
    if (field != nullptr) field->setFocus();
    return;
  }
  accept();
}

}  // namespace quorvel::ui

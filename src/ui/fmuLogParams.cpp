#include "fmuLogParams.h"

#include "AppManager.h"
#include "LogFile.h"
#include "PageBuilder.h"
#include "UiContext.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quorvel::ui {

TfmLogParams::TfmLogParams(TLogFile& log, QWidget* parent) : QDialog(parent), log_(log) {
  setWindowTitle(QStringLiteral("Параметры лога"));
  setObjectName("fmLogParams");
  auto* grid = new QGridLayout(this);
  chbLogEnabled = new QCheckBox(QStringLiteral("Вести лог"), this);
  chbLogEnabled->setObjectName("chbLogEnabled");
  chbLogEnabled->setToolTip(QStringLiteral("Ведение лога разрешено"));
  chbLogEnabled->setAccessibleName(QStringLiteral("Вести лог"));
  grid->addWidget(chbLogEnabled, 0, 0, 1, 3);
  auto* label = new QLabel(QStringLiteral("Файл лога:"), this);
  edtFileName = new QLineEdit(this);
  edtFileName->setObjectName("edtFileName");
  edtFileName->setToolTip(QStringLiteral("Название лог файла"));
  edtFileName->setAccessibleName(QStringLiteral("Файл лога"));
  edtFileName->setMinimumWidth(320);
  label->setBuddy(edtFileName);
  btnFileName = MakeButton(this, "btnFileName", QStringLiteral("..."), QStringLiteral("Выбрать файл"));
  grid->addWidget(label, 1, 0);
  grid->addWidget(edtFileName, 1, 1);
  grid->addWidget(btnFileName, 1, 2);
  auto* row = new QHBoxLayout;
  btnDefault = MakeButton(this, "btnDefault", QStringLiteral("По умолчанию"),
                          QStringLiteral("Установить параметры по умолчанию"));
  row->addWidget(btnDefault);
  row->addStretch(1);
  AddOkCancel(this, row, btnOk, btnCancel);
  grid->addLayout(row, 2, 0, 1, 3);

  chbLogEnabled->setChecked(log_.Enabled());
  edtFileName->setText(Q(log_.FileName()));
  chbLogEnabledClick();
  connect(chbLogEnabled, &QCheckBox::toggled, this, &TfmLogParams::chbLogEnabledClick);
  connect(btnFileName, &QPushButton::clicked, this, &TfmLogParams::btnFileNameClick);
  connect(btnDefault, &QPushButton::clicked, this, &TfmLogParams::btnDefaultClick);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(this, &QDialog::accepted, this, &TfmLogParams::Apply);
}

void TfmLogParams::chbLogEnabledClick() {
  const bool on = chbLogEnabled->isChecked();
  edtFileName->setEnabled(on);
  btnFileName->setEnabled(on);
}

void TfmLogParams::btnFileNameClick() {
  const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Файл лога"), edtFileName->text(),
                                                    QString(), nullptr, QFileDialog::DontConfirmOverwrite);
  if (!file.isEmpty()) edtFileName->setText(file);
}

void TfmLogParams::btnDefaultClick() { edtFileName->setText(Q(TAppManager::DefaultLogFileName())); }

void TfmLogParams::Apply() {
  log_.SetEnabled(chbLogEnabled->isChecked());
  log_.SetFileName(S(edtFileName->text()));
}

}  // namespace quorvel::ui

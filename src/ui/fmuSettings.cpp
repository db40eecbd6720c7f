#include "fmuSettings.h"

#include "AppManager.h"
#include "LogFile.h"
#include "OperationRunner.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "StatusReport.h"
#include "UiContext.h"
#include "fmuFind.h"
#include "fmuLogParams.h"
#include "fmuScriptSettings.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

namespace quorvel::ui {

std::string LinkTestLine(const std::string& label, const std::string& value) {
  return PadRight(label, 20) + " : " + value;
}

TfmSettings::TfmSettings(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : QDialog(parent), context_(context), runner_(runner) {
  setObjectName("fmSettings");
  setWindowTitle(QStringLiteral("Параметры"));
  auto* layout = new QVBoxLayout(this);
  auto* gbParams = new QGroupBox(QStringLiteral("Параметры связи"), this);
  gbParams->setObjectName("gbParams");
  auto* grid = new QGridLayout(gbParams);
  auto* label = new QLabel(QStringLiteral("COM порт:"), gbParams);
  cbPorts = new QComboBox(gbParams);
  cbPorts->setObjectName("cbPorts");
  cbPorts->setAccessibleName(QStringLiteral("COM порт"));
  cbPorts->setMinimumWidth(300);
  label->setBuddy(cbPorts);
  grid->addWidget(label, 0, 0);
  grid->addWidget(cbPorts, 0, 1, 1, 3);
  btnConnect = MakeButton(gbParams, "btnConnect", QStringLiteral("Проверка связи"),
                          QStringLiteral("Проверка связи с устройством"));
  btnSearch = MakeButton(gbParams, "btnSearch", QStringLiteral("Поиск устройства..."),
                         QStringLiteral("Открыть диалог поска устройства"));
  btnLogParams = MakeButton(gbParams, "btnLogParams", QStringLiteral("Параметры лога..."),
                            QStringLiteral("Задать параметры лог-файла"));
  btnScripts = MakeButton(gbParams, "btnScripts", QStringLiteral("Параметры скриптов"));
  grid->addWidget(btnConnect, 1, 1);
  grid->addWidget(btnSearch, 1, 2);
  grid->addWidget(btnLogParams, 1, 3);
  grid->addWidget(btnScripts, 3, 3);
  auto* resultLabel = new QLabel(QStringLiteral("Результат:"), gbParams);
  edtResult = new QPlainTextEdit(gbParams);
  edtResult->setObjectName("edtResult");
  edtResult->setAccessibleName(QStringLiteral("Результат"));
  edtResult->setReadOnly(true);
  edtResult->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  edtResult->setFixedHeight(64);
  resultLabel->setBuddy(edtResult);
  grid->addWidget(resultLabel, 2, 0, Qt::AlignTop);
  grid->addWidget(edtResult, 2, 1, 1, 3);
  layout->addWidget(gbParams);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  AddOkCancel(this, row, btnOk, btnCancel);
  layout->addLayout(row);

  RunSearch = [](TfmSettings& self) {
    TfmFind find(EnumComPorts(), self.context_.Settings.PortName(), &self);
    find.exec();
    if (find.HasRun()) self.context_.Settings.SetPortName(find.ChosenPath());
  };
  connect(btnConnect, &QPushButton::clicked, this, &TfmSettings::btnConnectClick);
  connect(btnSearch, &QPushButton::clicked, this, &TfmSettings::btnSearchClick);
  connect(btnLogParams, &QPushButton::clicked, this, &TfmSettings::btnLogParamsClick);
  connect(btnScripts, &QPushButton::clicked, this, &TfmSettings::btnScriptsClick);
  connect(btnOk, &QPushButton::clicked, this, [this] {
    try {
      Apply();
    } catch (...) {
      runner_.ShowError(std::current_exception());
      return;
    }
    accept();
  });
  SetPorts(EnumComPorts());
}

void TfmSettings::SetPorts(std::vector<TComPortInfo> ports) {
  ports_ = std::move(ports);
  FillPorts();
}

void TfmSettings::FillPorts() {
  const std::string current = context_.Settings.PortName();
  bool listed = current.empty();
  for (const TComPortInfo& port : ports_) listed = listed || port.Path == current;
  std::vector<TComPortInfo> rows = ports_;
  if (!listed) rows.push_back({current, current, "", 0});
  cbPorts->clear();
  for (const TComPortInfo& port : rows) cbPorts->addItem(PortCaption(port), Q(port.Path));
  cbPorts->setCurrentIndex(cbPorts->findData(Q(current)));
}

void TfmSettings::Apply() {
  if (cbPorts->currentIndex() >= 0) context_.Settings.SetPortName(S(cbPorts->currentData().toString()));
  if (context_.SaveSettings)
    context_.SaveSettings();
  else
    context_.Settings.SaveSettings();
}

void TfmSettings::btnConnectClick() {
  Apply();
  edtResult->clear();
  auto lines = std::make_shared<std::string>();
  TOrtena& facade = context_.Facade;
  runner_.Run(
      this,
      [&facade, lines] {
        try {
          const std::string hardware = facade.QueryHardwareVersion();
          const std::string serial = facade.QuerySerialNumber();
          *lines =
              LinkTestLine("Версия оборудования", hardware) + "\n" + LinkTestLine("Серийный номер", serial);
        } catch (...) {
          facade.ClearStatus();
          throw;
        }
        facade.ClearStatus();
      },
      [this, lines] { edtResult->setPlainText(Q(*lines)); },
      [this](std::exception_ptr error) {
        try {
          std::rethrow_exception(error);
        } catch (const std::exception& e) {
          edtResult->setPlainText(Q(e.what()));
        }
      });
}

void TfmSettings::btnSearchClick() {
  EnableControls(false);
  context_.Facade.ClearStatus();
  try {
    Apply();
    RunSearch(*this);
  } catch (...) {
    EnableControls(true);
    runner_.ShowError(std::current_exception());
    return;
  }
  FillPorts();
  EnableControls(true);
}

void TfmSettings::btnLogParamsClick() {
  TfmLogParams dialog(context_.Settings.Log(), this);
  dialog.exec();
}

void TfmSettings::btnScriptsClick() {
  TfmScriptSettings dialog(context_, runner_, this);
  dialog.exec();
}

}  // namespace quorvel::ui

#include "fmuUpdate.h"

#include "AppDoc.h"
#include "ComPort.h"
#include "Errors.h"
#include "HexFile.h"
#include "ModemDriver.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "ServiceRecord.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace quorvel::ui {

namespace {

constexpr const char* kRunningMessage = "Идет обновление ПО";
constexpr const char* kRestartText = "Перезапустите терминал и нажмите кнопку OK";
constexpr const char* kStoppedText =
    "Запись прервана.\nТерминал запустится только после того, как прошивка будет записана полностью.";
constexpr int kBaudRates[] = {230400, 115200, 57600, 38400, 28800, 19200, 14400, 9600, 7200, 4800, 2400};
constexpr int kDefaultBaudIndex = 1;  // 115200
constexpr int kTimerMs = 100;

QLineEdit* AddReadOnly(QFormLayout* form, QWidget* parent, const char* name, const char* label,
                       const char* hint) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setReadOnly(true);
  edit->setToolTip(QString::fromUtf8(hint));
  edit->setAccessibleName(AccessibleName(label));
  auto* caption = new QLabel(QString::fromUtf8(label), parent);
  caption->setBuddy(edit);
  form->addRow(caption, edit);
  return edit;
}

}  // namespace

TfmUpdate::TfmUpdate(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TAppPage(context, runner, QStringLiteral("Обновление ПО"), parent) {
  setObjectName("fmUpdate");
  TPageBuilder b(this, QStringLiteral("Обновление ПО"));
  QFormLayout* form = b.Form();
  QWidget* group = b.Group();

  edtFileName = new QLineEdit(group);
  edtFileName->setObjectName("edtFileName");
  edtFileName->setToolTip(QStringLiteral("Файл приложения"));
  edtFileName->setAccessibleName(QStringLiteral("Файл"));
  btnFileName = MakeButton(group, "btnFileName", QStringLiteral("..."), QStringLiteral("Выбрать файл"));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(edtFileName, 1);
  fileRow->addWidget(btnFileName);
  auto* fileLabel = new QLabel(QStringLiteral("Файл:"), group);
  fileLabel->setBuddy(edtFileName);
  form->addRow(fileLabel, fileRow);

  auto* params = new QGroupBox(group);
  params->setObjectName("gbParams");
  auto* paramsForm = new QFormLayout(params);
  cbBaudRate = new QComboBox(params);
  cbBaudRate->setObjectName("cbBaudRate");
  cbBaudRate->setAccessibleName(QStringLiteral("Скорость связи"));
  for (int rate : kBaudRates) cbBaudRate->addItem(QString::number(rate));
  cbBaudRate->setCurrentIndex(kDefaultBaudIndex);
  auto* baudLabel = new QLabel(QStringLiteral("Скорость связи:"), params);
  baudLabel->setBuddy(cbBaudRate);
  paramsForm->addRow(baudLabel, cbBaudRate);
  chbVerifyData = new QCheckBox(QStringLiteral("Проверять данные"), params);
  chbVerifyData->setObjectName("chbVerifyData");
  chbVerifyData->setAccessibleName(chbVerifyData->text());
  chbVerifyData->setChecked(true);
  paramsForm->addRow(chbVerifyData);
  chbFastWrite = new QCheckBox(QStringLiteral("Быстрая запись"), params);
  chbFastWrite->setObjectName("chbFastWrite");
  chbFastWrite->setAccessibleName(chbFastWrite->text());
  chbFastWrite->setToolTip(QStringLiteral("Блоки по 4 КБ, строки данных без ожидания эха каждой"));
  paramsForm->addRow(chbFastWrite);
  form->addRow(params);
  BuildStatusBox(form);

  btnWrite = b.AddButton({"btnWrite", "Записать"});
  btnWrite->setEnabled(false);
  btnStop = b.AddButton({"btnStop", "Прервать", "Прервать запись после текущей страницы"});
  btnStop->setEnabled(false);
  Timer = new QTimer(this);
  Timer->setInterval(kTimerMs);
  connect(Timer, &QTimer::timeout, this, &TfmUpdate::TimerTimer);
  connect(edtFileName, &QLineEdit::textChanged, this, &TfmUpdate::edtFileNameChange);
  connect(btnFileName, &QPushButton::clicked, this, &TfmUpdate::btnFileNameClick);
  connect(btnWrite, &QPushButton::clicked, this, &TfmUpdate::btnWriteClick);
  connect(btnStop, &QPushButton::clicked, this, &TfmUpdate::btnStopClick);
}

void TfmUpdate::BuildStatusBox(QFormLayout* form) {
  auto* box = new QGroupBox(form->parentWidget());
  box->setObjectName("gbStatus");
  auto* statusForm = new QFormLayout(box);
  statusForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  edtStatus = AddReadOnly(statusForm, box, "edtStatus", "Состояние:", "Текущая операция");
  ProgressBar = new QProgressBar(box);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setToolTip(QStringLiteral("Ход выполнения"));
  ProgressBar->setAccessibleName(QStringLiteral("Ход выполнения"));
  ProgressBar->setRange(0, 1);
  ProgressBar->setValue(0);
  auto* progressLabel = new QLabel(QStringLiteral("Ход выполнения:"), box);
  progressLabel->setBuddy(ProgressBar);
  statusForm->addRow(progressLabel, ProgressBar);
  edtDataRate = AddReadOnly(statusForm, box, "edtDataRate", "Скорость записи:", "Скорость записи");
  edtTimeLeft = AddReadOnly(statusForm, box, "edtTimeLeft", "Прошло:", "Прошло секунд");
  form->addRow(box);
}

TfmUpdate::~TfmUpdate() {
  Timer->stop();
  // The worker's last act posts to this page; Qt drops the call once the page is gone.
  update_.reset();
}

QIcon TfmUpdate::GetImage() const { return style()->standardIcon(QStyle::SP_ArrowUp); }

void TfmUpdate::UpdatePage() {
  edtFileName->setText(Q(context_.Doc.HexFileName));
  edtFileNameChange();
}

void TfmUpdate::UpdateObject() { context_.Doc.HexFileName = S(edtFileName->text()); }

void TfmUpdate::CheckClose() {
  if (status_.Snapshot().Running) throw Exception(kRunningMessage);
}

void TfmUpdate::edtFileNameChange() { btnWrite->setEnabled(!edtFileName->text().isEmpty()); }

void TfmUpdate::btnFileNameClick() {
  const QString name = context_.Messages.OpenFileName(
      this, {QStringLiteral("Файл прошивки (*.hex)|*.hex|Все файлы (*.*)|*.*"), QStringLiteral("hex"),
             QStringLiteral("Firmware"), edtFileName->text()});
  if (!name.isEmpty()) edtFileName->setText(name);
}

void TfmUpdate::btnWriteClick() {
  if (status_.Snapshot().Running) return;
  const std::string fileName = S(edtFileName->text());
  auto image = std::make_shared<THexFile>();
  TComm& comm = context_.Facade.Driver().Comm();
  // The record is opened before the line is touched; the update itself runs on its own worker
  // and is recorded when it ends, so this preparation is not a write of its own.
  const std::optional<TWriteNote> note = WriteNote();
  const std::optional<std::string> setting = runner_.RecordSetting();
  auto entry = std::make_shared<std::unique_ptr<TRecordedWrite>>();
  runner_.Run(
      this,
      [fileName, image, &comm, note, setting, entry] {
        if (note && setting) *entry = std::make_unique<TRecordedWrite>(*setting, *note);
        try {
          image->LoadFromFile(fileName);
          TISPWriter::CheckImage(*image, fileName);
          // The line goes quiet before the user restarts the terminal into its bootloader.
          if (!comm.Connected()) comm.Open();
          comm.SetRTS(false);
        } catch (...) {
          // Nothing was written; the record is closed here, off the window's thread.
          entry->reset();
          throw;
        }
      },
      [this, image, entry] {
        written_ = std::move(*entry);
        StartUpdate(image);
      });
}

void TfmUpdate::StartUpdate(const TISPImage& image) {
  context_.Messages.ShowInfo(this, QString::fromUtf8(kRestartText));
  UpdateObject();
  TISPParams params;
  params.FileName = context_.Doc.HexFileName;
  params.BaudRate = cbBaudRate->currentText().toInt();
  params.Verify = chbVerifyData->isChecked();
  params.Fast = chbFastWrite->isChecked();
  if (!update_) {
    update_ = std::make_unique<TISPUpdate>(context_.Facade.Driver(), status_);
    update_->SetOnFinished([this] {
      RecordUpdate();
      QMetaObject::invokeMethod(
          this, [this] { WorkerEnded(); }, Qt::QueuedConnection);
    });
  }
  status_.ResetStop();
  recordError_.clear();
  try {
    update_->Start(params, image);
  } catch (...) {
    // The port could not be opened: nothing was sent.
    written_.reset();
    runner_.ShowError(std::current_exception());
    return;
  }
  started_.start();
  edtDataRate->clear();
  SetBusy(true);
  TimerTimer();
  Timer->start();
}

void TfmUpdate::btnStopClick() {
  status_.RequestStop();
  btnStop->setEnabled(false);
}

void TfmUpdate::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  EnableControls(!busy);
  // The rest of the window goes off; this page stays on for its stop button.
  for (QWidget* kept = this; kept->parentWidget() != nullptr && !kept->isWindow();
       kept = kept->parentWidget())
    for (QWidget* other : kept->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (other != kept && !other->isWindow()) other->setEnabled(!busy);
  btnStop->setEnabled(busy);
}

void TfmUpdate::TimerTimer() {
  const TUpdateStatus::TSnapshot s = status_.Snapshot();
  // The final texts span lines; the edit shows them on one.
  edtStatus->setText(Q(s.Text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
  edtStatus->setCursorPosition(0);
  // Several blocks of odd sizes can carry the position past Max; a bar ignores such a value.
  ProgressBar->setRange(0, std::max(1, s.Max));
  ProgressBar->setValue(std::min(s.Position, std::max(1, s.Max)));
  const qint64 seconds = started_.isValid() ? started_.elapsed() / 1000 : 0;
  edtTimeLeft->setText(QString::asprintf("  %5d ", static_cast<int>(seconds)) + QStringLiteral("сек."));
  if (s.Rate != 0) edtDataRate->setText(QStringLiteral("  %1 %2").arg(s.Rate).arg(QStringLiteral("байт/с")));
  if (s.Running) return;
  Timer->stop();
  SetBusy(false);
}

void TfmUpdate::RecordUpdate() {
  if (!written_) return;
  const TUpdateStatus::TSnapshot s = status_.Snapshot();
  const std::string result = !s.Failed                 ? kRecordPassed
                             : status_.StopRequested() ? kRecordStopped
                                                       : kRecordFailed;
  try {
    written_->Finish(result, s.Failed ? s.Text : std::string());
  } catch (const std::exception& e) {
    recordError_ = e.what();
  }
  written_.reset();
}

void TfmUpdate::WorkerEnded() {
  if (update_) update_->WaitFor();
  if (!recordError_.empty()) context_.Messages.ShowError(this, Q(recordError_));
  TimerTimer();
  const TUpdateStatus::TSnapshot s = status_.Snapshot();
  if (s.Failed && status_.StopRequested())
    context_.Messages.ShowInfo(this, QString::fromUtf8(kStoppedText));
  else if (s.Failed)
    context_.Messages.ShowError(this, Q(s.Text));
  else
    context_.Messages.ShowInfo(this, Q(s.Text));
  emit updateFinished(!s.Failed);
}

}  // namespace quorvel::ui

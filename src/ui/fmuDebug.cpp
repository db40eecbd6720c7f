#include "fmuDebug.h"

#include "Cp1251.h"
#include "ModemDriver.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "SerialPort.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel::ui {

namespace {

constexpr const char* kSection = "DebugForm";

}  // namespace

TfmDebug::TfmDebug(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TAppPage(context, runner, QStringLiteral("Отладка"), parent) {
  setObjectName("fmDebug");
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (now != nullptr && isAncestorOf(now)) lastFocus_ = now;
  });
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  btnPortOpen = MakeToolButton(this, "btnPortOpen", QStringLiteral("Открыть COM порт"), QStyle::SP_MediaPlay);
  btnPortClose =
      MakeToolButton(this, "btnPortClose", QStringLiteral("Закрыть COM порт"), QStyle::SP_MediaStop);
  btnClearLog =
      MakeToolButton(this, "btnClearLog", QStringLiteral("Очистить лог"), QStyle::SP_DialogResetButton);
  btnFont =
      MakeToolButton(this, "btnFont", QStringLiteral("Изменить шрифт"), QStyle::SP_FileDialogDetailedView);
  for (QToolButton* b : {btnPortOpen, btnPortClose, btnClearLog, btnFont}) bar->addWidget(b);
  bar->addStretch(1);
  layout->addLayout(bar);
  Memo = new QPlainTextEdit(this);
  Memo->setObjectName("Memo");
  Memo->setAccessibleName(QStringLiteral("Отладка"));
  Memo->setReadOnly(true);
  Memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(Memo, 1);

  connect(btnPortOpen, &QToolButton::clicked, this, &TfmDebug::btnPortOpenClick);
  connect(btnPortClose, &QToolButton::clicked, this, &TfmDebug::btnPortCloseClick);
  connect(btnClearLog, &QToolButton::clicked, this, &TfmDebug::ClearLogClick);
  connect(btnFont, &QToolButton::clicked, this, &TfmDebug::btnFontClick);
  Timer1 = new QTimer(this);
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TfmDebug::Timer1Timer);
  Timer1->start();
  Listen(true);
}

TfmDebug::~TfmDebug() { Listen(false); }

QIcon TfmDebug::GetImage() const { return style()->standardIcon(QStyle::SP_MessageBoxInformation); }

void TfmDebug::Listen(bool on) {
  TSerialPort& spare = context_.Facade.Driver().SparePort();
  if (!on) {
    spare.SetOnData({});
    return;
  }
  // The handler holds the buffer itself, so a chunk in flight never outlives it.
  std::shared_ptr<TDebugBuffer> buffer = buffer_;
  spare.SetOnData([buffer](ISerialPort&, const std::string& data) { buffer->Append(data); });
}

void TfmDebug::UpdateButtons() {
  const bool open = context_.Facade.Driver().SparePort().Connected();
  btnPortOpen->setEnabled(!open);
  btnPortClose->setEnabled(open);
}

void TfmDebug::UpdatePage() {
  QSettings ini(context_.IniFileName, QSettings::IniFormat);
  const QString stored = ini.value(QString(kSection) + "/Font").toString();
  QFont font;
  if (!stored.isEmpty() && font.fromString(stored)) Memo->setFont(font);
  UpdateButtons();
  // The control the user left the page in takes the focus back once the page is on screen.
  const QString active = ini.value(QString(kSection) + "/ActiveControl").toString();
  if (active.isEmpty()) return;
  QTimer::singleShot(0, this, [this, active] {
    auto* control = findChild<QWidget*>(active);
    if (control != nullptr && control->isVisible() && control->isEnabled()) control->setFocus();
  });
}

void TfmDebug::UpdateObject() {
  QSettings ini(context_.IniFileName, QSettings::IniFormat);
  ini.setValue(QString(kSection) + "/Font", Memo->font().toString());
  ini.setValue(QString(kSection) + "/State", isMaximized() ? "Maximized" : "Normal");
  ini.setValue(QString(kSection) + "/ActiveControl", lastFocus_ ? lastFocus_->objectName() : QString());
}

void TfmDebug::btnPortOpenClick() {
  TSerialPort& spare = context_.Facade.Driver().SparePort();
  try {
    spare.Open();
    spare.SetRTS(true);
    Listen(true);
  } catch (...) {
    UpdateButtons();
    runner_.ShowError(std::current_exception());
    return;
  }
  UpdateButtons();
}

void TfmDebug::btnPortCloseClick() {
  TSerialPort& spare = context_.Facade.Driver().SparePort();
  spare.Close();
  Listen(false);
  UpdateButtons();
}

void TfmDebug::ClearLogClick() {
  buffer_->Clear();
  Memo->clear();
}

void TfmDebug::btnFontClick() {
  bool ok = false;
  const QFont font = QFontDialog::getFont(&ok, Memo->font(), this, QStringLiteral("Шрифт"));
  if (ok) Memo->setFont(font);
}

void TfmDebug::Timer1Timer() {
  std::string text;
  if (!buffer_->Take(text)) return;
  Memo->setPlainText(Q(Cp1251ToUtf8(text)));
  Memo->moveCursor(QTextCursor::End);
  Memo->verticalScrollBar()->setValue(Memo->verticalScrollBar()->maximum());
}

}  // namespace quorvel::ui

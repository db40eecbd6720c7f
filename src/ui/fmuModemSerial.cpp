#include "fmuModemSerial.h"

#include "Ortenas.h"
#include "PageBuilder.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStyle>

#include <memory>

namespace quorvel::ui {

namespace {
constexpr const char* kSection = "ModemForm";
constexpr const char* kSerialKey = "Serial";
}  // namespace

TfmModemSerial::TfmModemSerial(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TAppPage(context, runner, QStringLiteral("Параметры"), parent) {
  setObjectName("fmModemSerial");
  TPageBuilder b(this, QStringLiteral("Параметры"));
  edtSerial = b.AddField({"edtSerial", "Серийный номер модема:", TFieldKind::Digits, 8});
  btnWrite = b.AddButton({"btnWrite", "Записать"});
  btnRead = b.AddButton({"btnRead", "Прочитать"});
  connect(btnWrite, &QPushButton::clicked, this, &TfmModemSerial::btnWriteClick);
  connect(btnRead, &QPushButton::clicked, this, &TfmModemSerial::btnReadClick);
  QSettings ini(context_.IniFileName, QSettings::IniFormat);
  edtSerial->setText(ini.value(QString(kSection) + "/" + kSerialKey).toString().left(8));
}

QIcon TfmModemSerial::GetImage() const { return style()->standardIcon(QStyle::SP_FileDialogInfoView); }

void TfmModemSerial::UpdateObject() { Remember(); }

void TfmModemSerial::Remember() {
  QSettings ini(context_.IniFileName, QSettings::IniFormat);
  ini.setValue(QString(kSection) + "/" + kSerialKey, edtSerial->text());
}

void TfmModemSerial::btnReadClick() {
  auto serial = std::make_shared<std::string>();
  TOrtena& facade = context_.Facade;
  RunOperation([&facade, serial] { *serial = facade.ReadSerialNumber(); },
               [this, serial] {
                 edtSerial->setText(Q(*serial));
                 Remember();
               });
}

void TfmModemSerial::btnWriteClick() {
  Remember();
  TOrtena& facade = context_.Facade;
  const std::string serial = S(edtSerial->text());
  RunOperation([&facade, serial] { facade.WriteSerialNumber(serial); });
}

}  // namespace quorvel::ui

// The tables of the payment-system pages: fields, their model values, buttons and what each
// button runs.
#include "fmuPaysys.h"

#include "AppDoc.h"
#include "AppDocXml.h"
#include "Cp1251.h"
#include "FileText.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "TestConfigImport.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include <memory>

namespace quorvel::ui {

namespace {

using TValue = std::function<std::string&()>;

template <class T>
TValue Ref(T* object, std::string T::*member) {
  return [object, member]() -> std::string& { return object->*member; };
}

TPaysysButton WriteButton(std::function<void()> work) {
  return {{"btnWrite", "Записать"}, [work = std::move(work)](TfmPaysysPage& p) { p.Write(work); }};
}

// Write for a page whose write sends files in packets, with StopButton beside it.
TPaysysButton FilesWriteButton(std::function<void()> work) {
  return {{"btnWrite", "Записать"}, [work = std::move(work)](TfmPaysysPage& p) { p.WriteFiles(work); }};
}

// On while files travel; the runner takes its clicks.
TPaysysButton StopButton() { return {{"btnStop", "Прервать", "Прервать передачу после текущего пакета"}}; }

TPaysysButton ReadButton(std::function<void()> work) {
  return {{"btnRead", "Прочитать"}, [work = std::move(work)](TfmPaysysPage& p) { p.Read(work); }};
}

TPaysysButton LoadButton(const char* hint, std::function<void(const std::string&)> load) {
  return {{"btnLoad", "Загрузить..", hint},
          [load = std::move(load)](TfmPaysysPage& p) { p.LoadFile(XmlFileDialog(), load); }};
}

TPaysysButton SaveButton(const char* hint, std::function<void(const std::string&)> save) {
  return {{"btnSave", "Сохранить..", hint},
          [save = std::move(save)](TfmPaysysPage& p) { p.SaveFile(XmlFileDialog(), save); }};
}

// A file name with its ".." that puts the chosen path into the field.
TPaysysChooser FileChooser(const char* name, TFileDialogDef (*dialog)()) {
  return {name, "..", nullptr, [dialog](TfmPaysysPage& p, QLineEdit* edit) { p.ChooseFile(edit, dialog()); }};
}

TPaysysField KeyFileField(TValue value) {
  return {.Def = {"edtKeyFileName", "Файл ключа:"},
          .Value = std::move(value),
          .Chooser = FileChooser("btnKeyFileName", KeyFileDialog)};
}

TPaysysField CerFileField(TValue value) {
  return {.Def = {"edtCerFileName", "Файл сертификата:"},
          .Value = std::move(value),
          .Chooser = FileChooser("btnCerFileName", CertificateDialog)};
}

TPaysysField WordFileField(TValue value) {
  return {.Def = {"edtWordFileName", "Файл кодового слова:"},
          .Value = std::move(value),
          .Chooser = FileChooser("btnWordFileName", CodeWordDialog)};
}

TPaysysField DeviceIdField(TValue value, const char* label = "Идентификатор устройства:") {
  return {.Def = {"edtDeviceID", label}, .Value = std::move(value)};
}

TPaysysField AgentIdField(TValue value) {
  return {.Def = {"edtAgentID", "Идентификатор агента:"}, .Value = std::move(value)};
}

// MasterPort and PegasMP: the same page on their own objects.
TPaysysPageDef MasterPortDef(TUiContext& c, TMasterPortProtocol& s, const char* caption, const char* group) {
  TOrtena& f = c.Facade;
  TPaysysChooser open{"btnOpen", "..", "Загрузить настройки платежного\nсервера из файла",
                      [sys = &s](TfmPaysysPage& p, QLineEdit* edit) {
                        p.LoadFile(
                            XmlFileDialog(),
                            [sys](const std::string& file) { LoadTestConfigFile(*sys, file); }, edit->text());
                      }};
  TPaysysPageDef d{QString::fromUtf8(caption), QString::fromUtf8(group), &s};
  d.Fields = {
      {.Def = {"edtFileName", "Файл параметров приложения:"},
       .Value = Ref<TMasterPortProtocol>(&s, &TMasterPortProtocol::TestConfigFileName),
       .Chooser = open},
      {.Def = {"edtSerial", "Серийный номер модема:", TFieldKind::ReadOnly, 8},
       .Value = Ref<TMasterPortProtocol>(&s, &TMasterPortProtocol::SerialNumber)},
      {.Def = {"edtApplicationID", "Идентификатор приложения:", TFieldKind::ReadOnly},
       .Value = Ref<TMasterPortProtocol>(&s, &TMasterPortProtocol::ApplicationID)},
      {.Def = {"edtSenderID", "Идентификатор отправителя:", TFieldKind::ReadOnly},
       .Value = Ref<TMasterPortProtocol>(&s, &TMasterPortProtocol::SenderID)},
      {.Def = {"edtReceiverID", "Идентификатор получателя:", TFieldKind::ReadOnly},
       .Value = Ref<TMasterPortProtocol>(&s, &TMasterPortProtocol::ReceiverID)},
  };
  d.Buttons = {
      {{"btnRestore", "Восстановить"},
       [&f, &s](TfmPaysysPage& p) { p.Write([&f, &s] { f.RestoreBackup(s); }); }},
      WriteButton([&f, &s] { f.WriteMasterPort(s); }),
  };
  return d;
}

// Enter in the file field reads the file in configuration-document form only.
void ConnectFileEnter(TfmPaysysPage& page, TMasterPortProtocol& system) {
  QLineEdit* edit = page.Field("edtFileName");
  QObject::connect(edit, &QLineEdit::returnPressed, &page, [&page, &system, edit] {
    page.Read([&system, file = S(edit->text())] {
      TAppDocXml reader;
      reader.LoadTestSettings(system, file);
    });
  });
}

TPaysysPageDef CyberplatDef(TUiContext& c) {
  TOrtena& f = c.Facade;
  TCyberplat& s = c.Doc.Cyberplat();
  TCyberplatPoint* point = &s.CyberplatPoint;
  TPaysysPageDef d{QStringLiteral("CyberPlat"), QStringLiteral("CyberPlat"), &s};
  const auto keyChooser = [](const char* name, TCyberplatKey* key, int type) {
    return TPaysysChooser{name, "Загрузить..", nullptr, [key, type](TfmPaysysPage& p, QLineEdit*) {
                            p.LoadFile(CyberplatKeyDialog(), [key, type](const std::string& file) {
                              key->LoadFromFile(file, type);
                            });
                          }};
  };
  d.Fields = {
      {.Def = {"edtSD", "Код дилера:", TFieldKind::Digits},
       .Value = Ref<TCyberplatPoint>(point, &TCyberplatPoint::SD),
       .Group = "Точка"},
      {.Def = {"edtAP", "Код точки:", TFieldKind::Digits},
       .Value = Ref<TCyberplatPoint>(point, &TCyberplatPoint::AP)},
      {.Def = {"edtOP", "Код оператора:", TFieldKind::Digits},
       .Value = Ref<TCyberplatPoint>(point, &TCyberplatPoint::OP)},
      // The password only goes into the model, which never saves it: it lives for this run.
      {.Def = {"edtPassword", "Пароль:", TFieldKind::Secret},
       .Value = Ref<TCyberplat>(&s, &TCyberplat::Password),
       .Bind = TBind::Out,
       .Group = "Секретный ключ"},
      {.Def = {"edtSecretKey", "Ключ:", TFieldKind::ReadOnly},
       .Value = Ref<TCyberplatKey>(&s.SecretKey, &TCyberplatKey::KeyNum),
       .Bind = TBind::In,
       .Chooser = keyChooser("btnOpenSecretKey", &s.SecretKey, kCyberplatSecretKey)},
      {.Def = {"edtPublicKey", "Ключ:", TFieldKind::ReadOnly},
       .Value = Ref<TCyberplatKey>(&s.PublicKey, &TCyberplatKey::KeyNum),
       .Bind = TBind::In,
       .Group = "Открытый ключ",
       .Chooser = keyChooser("btnOpenPublicKey", &s.PublicKey, kCyberplatPublicKey)},
  };
  d.Buttons = {
      // A file that holds only part of a point changes nothing.
      LoadButton("Загрузить информацию о точке.",
                 [point](const std::string& file) {
                   TCyberplatPoint read;
                   TAppDocXml().LoadCyberplatPoint(read, file);
                   *point = read;
                 }),
      SaveButton("Сохранить информацию о точке.",
                 [point](const std::string& file) { TAppDocXml().SaveCyberplatPoint(*point, file); }),
      WriteButton([&f, &s] { f.WriteCyberplat(s); }),
  };
  return d;
}

TPaysysPageDef EPortDef(TUiContext& c) {
  TOrtena& f = c.Facade;
  TEPort& s = c.Doc.EPort();
  TPaysysPageDef d{QStringLiteral("EPort"), QStringLiteral("e-port"), &s};
  d.Fields = {
      {.Def = {"edtEPortCardNumber", "Номер карты:", TFieldKind::Text, 12},
       .Value = Ref<TEPort>(&s, &TEPort::CardNumber)},
      {.Def = {"edtEPortCardPin", "PIN код карты:", TFieldKind::Text, 20},
       .Value = Ref<TEPort>(&s, &TEPort::CardPin)},
      {.Def = {"edtEPortPoint", "Точка продажи:", TFieldKind::Digits},
       .Value = Ref<TEPort>(&s, &TEPort::Point)},
  };
  d.Buttons = {
      LoadButton("Загрузить параметры.", [&s](const std::string& file) { TAppDocXml().LoadEPort(s, file); }),
      SaveButton("Сохранить параметры.", [&s](const std::string& file) { TAppDocXml().SaveEPort(s, file); }),
      WriteButton([&f, &s] { f.WriteEPort(s); }),
  };
  return d;
}

TPaysysPageDef EPortPrivateKeyDef(TUiContext& c) {
  TOrtena& f = c.Facade;
  TPaysysPageDef d{QStringLiteral("Закрытый ключ"), QStringLiteral("Закрытый ключ")};
  d.Icon = QStyle::SP_FileDialogContentsView;
  d.Fields = {{.Def = {"Memo", ""}, .Bind = TBind::None, .Memo = true}};
  d.Buttons = {
      {{"btnLoad", "Загрузить.."},
       [](TfmPaysysPage& p) {
         auto text = std::make_shared<std::string>();
         p.LoadFile(
             KeyFileDialog(), [text](const std::string& file) { *text = Cp1251ToUtf8(ReadFileText(file)); },
             {}, [&p, text] { p.Memo("Memo")->setPlainText(Q(*text)); });
       }},
      {{"btnWrite", "Записать"},
       [&f](TfmPaysysPage& p) {
         p.Write([&f, pem = S(p.Memo("Memo")->toPlainText())] {
           TClearStatusGuard clear(f);
           f.WritePrivateKeyPem(pem);
         });
       }},
  };
  return d;
}

TPaysysPageDef XPlatDef(TUiContext& c) {
  TOrtena& f = c.Facade;
  TXPlat& s = c.Doc.XPlat();
  TPaysysPageDef d{QStringLiteral("XPlat"), QStringLiteral("X-Plat"), &s};
  d.Fields = {
      {.Def = {"edtPoint", "Точка продажи:", TFieldKind::Digits, 19},
       .Value = Ref<TXPlat>(&s, &TXPlat::Point)},
      {.Def = {"edtLogin", "Логин:", TFieldKind::Text, 29}, .Value = Ref<TXPlat>(&s, &TXPlat::Login)},
      {.Def = {"edtPassword", "Пароль:", TFieldKind::Secret, 29},
       .Value = Ref<TXPlat>(&s, &TXPlat::Password),
       .Bind = TBind::Out},
      {.Def = {"Memo", "Секретный ключ:", TFieldKind::ReadOnly},
       .Value = Ref<TXPlat>(&s, &TXPlat::Key),
       .Bind = TBind::In,
       .Memo = true,
       .Chooser = {"btnOpenSecretKey", "Загрузить..", "Загрузить секретный ключ.",
                   [&s](TfmPaysysPage& p, QLineEdit*) {
                     p.LoadFile(XmlFileDialog(), [&s](const std::string& file) { s.LoadKeyFile(file); });
                   }}},
  };
  d.Buttons = {
      LoadButton(nullptr, [&s](const std::string& file) { TAppDocXml().LoadXPlat(s, file); }),
      SaveButton(nullptr, [&s](const std::string& file) { TAppDocXml().SaveXPlat(s, file); }),
      WriteButton([&f, &s] { f.WriteXPlat(s); }),
  };
  return d;
}

// OSMP and PegasOSMP: the same page with their own files.
template <class TSystem>
TPaysysPageDef OsmpDef(TUiContext& c, TSystem& s, const char* caption, const char* group,
                       void (TAppDocXml::*load)(TSystem&, const std::string&),
                       void (TAppDocXml::*save)(const TSystem&, const std::string&)) {
  TOrtena& f = c.Facade;
  TPaysysPageDef d{QString::fromUtf8(caption), QString::fromUtf8(group), &s};
  d.Fields = {
      {.Def = {"edtLogin", "Логин:"}, .Value = Ref<TOSMPProtocol>(&s, &TOSMPProtocol::Login)},
      {.Def = {"edtPassword", "Пароль:", TFieldKind::Secret},
       .Value = Ref<TOSMPProtocol>(&s, &TOSMPProtocol::Password)},
      {.Def = {"edtTerminalID", "Номер терминала:", TFieldKind::Digits, 20},
       .Value = Ref<TOSMPProtocol>(&s, &TOSMPProtocol::TerminalID)},
  };
  d.Buttons = {
      LoadButton(nullptr, [&s, load](const std::string& file) { (TAppDocXml().*load)(s, file); }),
      SaveButton(nullptr, [&s, save](const std::string& file) { (TAppDocXml().*save)(s, file); }),
      WriteButton([&f, &s] { f.WriteOSMP(s); }),
  };
  return d;
}

TPaysysPageDef EasyPayDef(TUiContext& c) {
  TOrtena& f = c.Facade;
  TEasyPay& s = c.Doc.EasyPay();
  TPaysysPageDef d{QStringLiteral("ЛЕГКО И УДОБНО"), QStringLiteral("ЛЕГКО И УДОБНО"), &s};
  d.Fields = {KeyFileField(Ref<TEasyPay>(&s, &TEasyPay::KeyFileName)),
              CerFileField(Ref<TEasyPay>(&s, &TEasyPay::CerFileName))};
  d.Buttons = {FilesWriteButton([&f, &s] { f.WriteEasyPay(s); }), StopButton()};
  return d;
}

TPaysysPageDef KrasplatDef(TUiContext& c) {
  TOrtena& f = c.Facade;
  TKrasplat& s = c.Doc.Krasplat();
  TPaysysPageDef d{QStringLiteral("ПлатеЖКа"), QStringLiteral("ПлатеЖКа"), &s};
  d.Fields = {KeyFileField(Ref<TKrasplat>(&s, &TKrasplat::KeyFileName)),
              CerFileField(Ref<TKrasplat>(&s, &TKrasplat::CerFileName)),
              WordFileField(Ref<TKrasplat>(&s, &TKrasplat::WordFileName)),
              DeviceIdField(Ref<TKrasplat>(&s, &TKrasplat::DeviceID), "Номер устройства:")};
  d.Buttons = {FilesWriteButton([&f, &s] { f.WriteKrasplat(s); }), StopButton()};
  return d;
}

TPaysysPageDef BercutDef(TUiContext& c) {
  TOrtena& f = c.Facade;
  TBercut& s = c.Doc.Bercut();
  TPaysysPageDef d{QStringLiteral("Беркут"), QStringLiteral("Беркут"), &s};
  d.Fields = {DeviceIdField(Ref<TBercut>(&s, &TBercut::DeviceID))};
  d.Buttons = {WriteButton([&f, &s] { f.WriteBercut(s); })};
  return d;
}

// Absolutplat and Eurofon: the same page on their own operations.
template <class TSystem>
TPaysysPageDef AgentDef(TUiContext& c, TSystem& s, const QString& caption,
                        void (TOrtena::*write)(const TSystem&), void (TOrtena::*read)(TSystem&)) {
  TOrtena& f = c.Facade;
  TPaysysPageDef d{caption, caption, &s};
  d.Fields = {AgentIdField(Ref<TSystem>(&s, &TSystem::AgentID)),
              DeviceIdField(Ref<TSystem>(&s, &TSystem::DeviceID)),
              WordFileField(Ref<TSystem>(&s, &TSystem::WordFileName))};
  d.Buttons = {FilesWriteButton([&f, &s, write] { (f.*write)(s); }),
               ReadButton([&f, &s, read] { (f.*read)(s); }), StopButton()};
  return d;
}

TPaysysPageDef UbsPayDef(TUiContext& c) {
  TOrtena& f = c.Facade;
  TUbsPay& s = c.Doc.UbsPay();
  const QString caption = QStringLiteral("Объединённые Биллинговые Системы");
  TPaysysPageDef d{caption, caption, &s};
  d.Fields = {{.Def = {"edtURL", "URL:"}, .Value = Ref<TUbsPay>(&s, &TUbsPay::URL)},
              DeviceIdField(Ref<TUbsPay>(&s, &TUbsPay::DeviceID)),
              AgentIdField(Ref<TUbsPay>(&s, &TUbsPay::AgentID))};
  d.Buttons = {WriteButton([&f, &s] { f.WriteUbsPay(s); }), ReadButton([&f, &s] { f.ReadUbsPay(s); })};
  return d;
}

}  // namespace

TfmMasterPort::TfmMasterPort(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner,
                    MasterPortDef(context, context.Doc.MasterPort(), "MasterPort", "MasterPort"), parent) {
  setObjectName("fmMasterPort");
  ConnectFileEnter(*this, context.Doc.MasterPort());
}

TfmPegasMP::TfmPegasMP(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner,
                    MasterPortDef(context, context.Doc.PegasMP(), "PegasPay - Мастерпорт",
                                  "PEGAS, протокол Мастерпорт"),
                    parent) {
  setObjectName("fmPegasMP");
  ConnectFileEnter(*this, context.Doc.PegasMP());
}

TfmCyberPlat::TfmCyberPlat(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner, CyberplatDef(context), parent) {
  setObjectName("fmCyberPlat");
}

TfmEPort::TfmEPort(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner, EPortDef(context), parent) {
  setObjectName("fmEPort");
}

TfmEPortPrivateKey::TfmEPortPrivateKey(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner, EPortPrivateKeyDef(context), parent) {
  setObjectName("fmEPortPrivateKey");
}

TfmXPlat::TfmXPlat(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner, XPlatDef(context), parent) {
  setObjectName("fmXPlat");
}

TfmOSMP::TfmOSMP(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner,
                    OsmpDef<TOSMP>(context, context.Doc.OSMP(), "ОСМП", "ОСМП", &TAppDocXml::LoadOSMP,
                                   &TAppDocXml::SaveOSMP),
                    parent) {
  setObjectName("fmOSMP");
}

TfmPegasOSMP::TfmPegasOSMP(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(
          context, runner,
          OsmpDef<TPegasOSMP>(context, context.Doc.PegasOSMP(), "PEGAS - ОСМП", "PEGAS, протокол ОСМП",
                              &TAppDocXml::LoadPegasOSMP, &TAppDocXml::SavePegasOSMP),
          parent) {
  setObjectName("fmPegasOSMP");
}

TfmEasyPay::TfmEasyPay(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner, EasyPayDef(context), parent) {
  setObjectName("fmEasyPay");
}

TfmKrasplat::TfmKrasplat(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner, KrasplatDef(context), parent) {
  setObjectName("fmKrasplat");
}

TfmBercut::TfmBercut(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner, BercutDef(context), parent) {
  setObjectName("fmBercut");
}

TfmAbsolutplat::TfmAbsolutplat(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner,
                    AgentDef<TAbsolutplat>(context, context.Doc.Absolutplat(),
                                           Q(context.Doc.Absolutplat().GetDisplayName()),
                                           &TOrtena::WriteAbsolutplat, &TOrtena::ReadAbsolutplat),
                    parent) {
  setObjectName("fmAbsolutplat");
}

TfmEurofon::TfmEurofon(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner,
                    AgentDef<TEurofon>(context, context.Doc.Eurofon(), QStringLiteral("Eurofon"),
                                       &TOrtena::WriteEurofon, &TOrtena::ReadEurofon),
                    parent) {
  setObjectName("fmEurofon");
}

TfmUbsPay::TfmUbsPay(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmPaysysPage(context, runner, UbsPayDef(context), parent) {
  setObjectName("fmUbsPay");
}

}  // namespace quorvel::ui

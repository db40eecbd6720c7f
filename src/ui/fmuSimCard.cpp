#include "fmuSimCard.h"

#include "AppDoc.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "SimCardEntry.h"
#include "fmuGprsProvider.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStyle>

namespace quorvel::ui {

namespace {

constexpr const char* kSection = "SimCardForm";
constexpr const char* kApnKey = "Apn";
constexpr const char* kLoginKey = "Login";
constexpr const char* kPasswordKey = "Password";

QString Key(const char* name) { return QString(kSection) + "/" + name; }

}  // namespace

TfmSimCard::TfmSimCard(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TAppPage(context, runner, QStringLiteral("SIM-карта"), parent) {
  setObjectName("fmSimCard");
  TPageBuilder b(this, QStringLiteral(" SIM-карта"));
  edtPin = b.AddField({"edtPin", "PIN-код:", TFieldKind::Digits, 4});
  edtApn = b.AddField({"edtApn", "Точка доступа, APN:", TFieldKind::Text, 50});
  edtLogin = b.AddField({"edtLogin", "Имя пользователя:", TFieldKind::Text, 20});
  edtPassword = b.AddField({"edtPassword", "Пароль:", TFieldKind::Text, 20});
  btnProvider = MakeButton(b.Group(), "btnProvider", QStringLiteral("..."));
  btnProvider->setAccessibleName(QStringLiteral("Выбор GPRS провайдера"));
  btnProvider->setMaximumWidth(btnProvider->fontMetrics().horizontalAdvance("......") + 16);
  // The operator button sits at the end of the access point's row, beside the fields it fills.
  QFormLayout* form = b.Form();
  const QFormLayout::TakeRowResult apnRow = form->takeRow(edtApn);
  auto* apnLine = new QHBoxLayout;
  apnLine->addWidget(edtApn);
  apnLine->addWidget(btnProvider);
  form->insertRow(1, apnRow.labelItem->widget(), apnLine);
  delete apnRow.labelItem;
  delete apnRow.fieldItem;

  btnWrite = b.AddButton({"btnWrite", "Записать"});
  btnRead = b.AddButton({"btnRead", "Прочитать"});
  connect(btnWrite, &QPushButton::clicked, this, &TfmSimCard::btnWriteClick);
  connect(btnRead, &QPushButton::clicked, this, &TfmSimCard::btnReadClick);
  connect(btnProvider, &QPushButton::clicked, this, &TfmSimCard::btnProviderClick);
  RunProviderDialog = [](TfmGprsProvider& dialog) { return dialog.exec() == QDialog::Accepted; };
}

QIcon TfmSimCard::GetImage() const { return style()->standardIcon(QStyle::SP_DriveNetIcon); }

void TfmSimCard::showEvent(QShowEvent* event) {
  TAppPage::showEvent(event);
  if (restored_) return;
  restored_ = true;
  if (Restore()) UpdateObject();
}

bool TfmSimCard::Restore() {
  // Only values that were stored replace the document's: a first run with no remembered
  // values must not empty the card read from Quorvel.xml.
  QSettings ini(context_.IniFileName, QSettings::IniFormat);
  bool any = false;
  const auto take = [&](QLineEdit* edit, const char* name) {
    if (!ini.contains(Key(name))) return;
    edit->setText(ini.value(Key(name)).toString().left(edit->maxLength()));
    any = true;
  };
  take(edtApn, kApnKey);
  take(edtLogin, kLoginKey);
  take(edtPassword, kPasswordKey);
  return any;
}

void TfmSimCard::Remember() {
  QSettings ini(context_.IniFileName, QSettings::IniFormat);
  ini.setValue(Key(kApnKey), edtApn->text());
  ini.setValue(Key(kLoginKey), edtLogin->text());
  ini.setValue(Key(kPasswordKey), edtPassword->text());
}

void TfmSimCard::UpdatePage() {
  const TSimCard& card = context_.Doc.SimCards().FindSlot(kSimEntrySlot);
  edtApn->setText(Q(card.Apn));
  edtLogin->setText(Q(card.Login));
  edtPassword->setText(Q(card.Password));
}

TSimEntry TfmSimCard::Entry() const {
  return {S(edtPin->text()), S(edtApn->text()), S(edtLogin->text()), S(edtPassword->text())};
}

void TfmSimCard::UpdateObject() {
  Remember();
  ApplySimEntry(context_.Doc.SimCards(), Entry());
}

void TfmSimCard::btnReadClick() {
  TOrtena& facade = context_.Facade;
  TSimCards& cards = context_.Doc.SimCards();
  RunOperation([&facade, &cards] { facade.ReadSimCards(cards); }, [this] { UpdatePage(); });
}

void TfmSimCard::btnWriteClick() {
  try {
    CheckSimEntry(Entry());
  } catch (const ESimEntryError& e) {
    QLineEdit* field = e.Field() == TSimEntryField::Pin ? edtPin : edtApn;
    field->setFocus();
    field->selectAll();
    context_.Messages.ShowError(this, Q(e.what()));
    return;
  }
  UpdateObject();
  TOrtena& facade = context_.Facade;
  const TSimCards& cards = context_.Doc.SimCards();
  RunOperation([&facade, &cards] { facade.WriteSimCards(cards); });
}

void TfmSimCard::btnProviderClick() {
  TfmGprsProvider dialog(context_, runner_, this);
  if (!RunProviderDialog(dialog)) return;
  const TGprsProviders& providers = context_.Doc.GprsProviders();
  if (!providers.IsValidIndex(providers.ItemIndex)) return;
  const TGprsProvider& chosen = providers.Items(providers.ItemIndex);
  edtApn->setText(Q(chosen.Apn));
  edtLogin->setText(Q(chosen.Login));
  edtPassword->setText(Q(chosen.Password));
}

}  // namespace quorvel::ui

#include "fmuServer.h"

#include "AppDocXml.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "PaymentSystem.h"
#include "ServerParams.h"
#include "TestConfigImport.h"
#include "TextUtils.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>

#include <algorithm>
#include <climits>

namespace quorvel::ui {

namespace {

constexpr const char* kXmlFilter = "Файл xml (*.xml)|*.xml|Все файлы (*.*)|*.*";

// A number field whose arrows keep to min..max while typing may go beyond it, so that a typed
// value out of range stays visible and is refused with its message rather than silently
// clamped.
class TRangeSpin final : public QSpinBox {
 public:
  TRangeSpin(int min, int max, QWidget* parent) : QSpinBox(parent), min_(min), max_(max) {
    setRange(INT_MIN, INT_MAX);
    setValue(min);
  }
  void stepBy(int steps) override {
    const long long next = static_cast<long long>(value()) + steps;
    setValue(static_cast<int>(std::clamp<long long>(next, min_, max_)));
  }

 protected:
  StepEnabled stepEnabled() const override {
    StepEnabled enabled = StepNone;
    if (value() < max_) enabled |= StepUpEnabled;
    if (value() > min_) enabled |= StepDownEnabled;
    return enabled;
  }

 private:
  int min_;
  int max_;
};

}  // namespace

TfmServer::TfmServer(TUiContext& context, TOperationRunner& runner, TPaymentSystem& system, QWidget* parent)
    : TAppPage(context, runner, QStringLiteral("Сервер"), parent), system_(system) {
  setObjectName("fmServer");
  TPageBuilder b(this, QStringLiteral("Параметры сервера"));
  edtAddress = b.AddField({"edtAddress", "IP-адрес сервера:"});
  edtPort = b.AddField({"edtPort", "Номер порта на сервере:", TFieldKind::Text, 5});
  seRetryCount = new TRangeSpin(TServerParams::kMinRetryCount, TServerParams::kMaxRetryCount, b.Group());
  seRetryCount->setObjectName("seRetryCount");
  seRetryCount->setAccessibleName(AccessibleName("Число повторов:"));
  auto* retryLabel = new QLabel(QStringLiteral("Число повторов:"), b.Group());
  retryLabel->setBuddy(seRetryCount);
  b.Form()->addRow(retryLabel, seRetryCount);
  edtServerName = b.AddField({"edtServerName", "WWW адрес сервера:", TFieldKind::ReadOnly});
  btnLoad = b.AddButton({"btnLoad", "Загрузить..", "Загрузить параметры сервера."});
  btnSave = b.AddButton({"btnSave", "Сохранить..", "Сохранить параметры сервера."});
  btnWrite = b.AddButton({"btnWrite", "Записать"});
  btnRead = b.AddButton({"btnRead", "Прочитать"});
  connect(btnLoad, &QPushButton::clicked, this, &TfmServer::btnLoadClick);
  connect(btnSave, &QPushButton::clicked, this, &TfmServer::btnSaveClick);
  connect(btnWrite, &QPushButton::clicked, this, &TfmServer::btnWriteClick);
  connect(btnRead, &QPushButton::clicked, this, &TfmServer::btnReadClick);
}

QIcon TfmServer::GetImage() const { return style()->standardIcon(QStyle::SP_ComputerIcon); }

void TfmServer::UpdatePage() {
  const TServerParams& params = system_.ServerParams();
  edtAddress->setText(Q(params.Address));
  edtPort->setText(QString::number(params.Port));
  seRetryCount->setValue(params.RetryCount());
  edtServerName->setText(Q(params.ServerName));
}

void TfmServer::UpdateObject() {
  TServerParams& params = system_.ServerParams();
  params.Address = S(edtAddress->text());
  params.ServerName = S(edtServerName->text());
  std::int64_t port = 0;
  params.Port = TryStrToInt64(S(edtPort->text()), port) ? static_cast<std::int32_t>(port) : 0;
  params.SetRetryCount(StrToInt64(S(seRetryCount->cleanText())));
}

bool TfmServer::TryUpdateObject() {
  try {
    UpdateObject();
    return true;
  } catch (...) {
    runner_.ShowError(std::current_exception());
    return false;
  }
}

void TfmServer::btnReadClick() {
  TOrtena& facade = context_.Facade;
  TPaymentSystem& system = system_;
  RunOperation([&facade, &system] { facade.ReadServerParams(system); }, [this] { UpdatePage(); });
}

void TfmServer::btnWriteClick() {
  if (!TryUpdateObject()) return;
  TOrtena& facade = context_.Facade;
  const TPaymentSystem& system = system_;
  RunOperation([&facade, &system] { facade.WriteServerParams(system); });
}

void TfmServer::btnLoadClick() {
  const QString file = context_.Messages.OpenFileName(this, {kXmlFilter, "xml", {}, {}});
  if (file.isEmpty()) return;
  TPaymentSystem& system = system_;
  RunOperation([&system, name = S(file)] { LoadServerFile(system, name); }, [this] { UpdatePage(); });
}

void TfmServer::btnSaveClick() {
  const QString file = context_.Messages.SaveFileName(this, {kXmlFilter, "xml", {}, "xml"});
  if (file.isEmpty() || !TryUpdateObject()) return;
  const TPaymentSystem& system = system_;
  RunOperation([&system, name = S(file)] { AppDocXml().SaveServerParams(system, name); });
}

}  // namespace quorvel::ui

#include "fmuXmlData.h"

#include "Cp1251.h"
#include "Errors.h"
#include "FileText.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "TextUtils.h"
#include "TransferProgress.h"
#include "XmlHighlighter.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTextBlock>
#include <QVBoxLayout>

#include <fmt/printf.h>

namespace quorvel::ui {

const TXmlDataKind kXmlDataKind{"Провайдеры", "fmXmlData", &TOrtena::WriteXmlData, &TOrtena::ReadXmlData};
const TXmlDataKind kPhonesKind{"База номеров", "fmPhones", &TOrtena::WritePhoneBase, &TOrtena::ReadPhoneBase};

namespace {

const QString kXmlFilter = QStringLiteral("Файл xml (*.xml)|*.xml|Все файлы (*.*)|*.*");

// The editor's text as the terminal and the files hold it. A character windows-1251 has no
// byte for is refused with its line, so the user finds it in a long file.
std::string FileBytes(const std::string& text) {
  try {
    return Utf8ToCp1251(text);
  } catch (const EEncodingError& e) {
    const std::vector<std::string> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (!IsCp1251Representable(lines[i]))
        throw EEncodingError(fmt::sprintf("Строка %d: %s", i + 1, e.what()));
    }
    throw;
  }
}

// Removes a listener of the driver's status when the transfer ends, however it ends.
class TListenerScope {
 public:
  TListenerScope(TDriverStatus& status, TDriverStatus::TChangeEvent handler)
      : status_(status), key_(status.AddListener(std::move(handler))) {}
  ~TListenerScope() { status_.RemoveListener(key_); }
  TListenerScope(const TListenerScope&) = delete;
  TListenerScope& operator=(const TListenerScope&) = delete;

 private:
  TDriverStatus& status_;
  int key_;
};

}  // namespace

TfmXmlData::TfmXmlData(TUiContext& context, TOperationRunner& runner, const TXmlDataKind& kind,
                       QWidget* parent)
    : TAppPage(context, runner, QString::fromUtf8(kind.Caption), parent),
      kind_(kind),
      progress_(std::make_shared<TTransferProgress>()) {
  setObjectName(kind.Name);
  TPageBuilder b(this, QString::fromUtf8(kind.Caption));
  seData = b.AddText("seData", "", true, false);
  Highlighter = new TXmlHighlighter(seData->document());
  pbTransfer = new QProgressBar(b.Group());
  pbTransfer->setObjectName("pbTransfer");
  pbTransfer->setAccessibleName(QStringLiteral("Ход выполнения"));
  pbTransfer->setToolTip(QStringLiteral("Ход выполнения"));
  pbTransfer->setRange(0, 1);
  pbTransfer->setValue(0);
  lblTransfer = new QLabel(b.Group());
  lblTransfer->setObjectName("lblTransfer");
  auto* row = new QHBoxLayout;
  row->addWidget(pbTransfer, 1);
  row->addWidget(lblTransfer, 1);
  b.Form()->addRow(row);
  btnWrite = b.AddButton({"btnWrite", "Записать"});
  btnRead = b.AddButton({"btnRead", "Прочитать"});
  btnOpen = b.AddButton({"btnOpen", "Загрузить..", "Загрузить из файла"});
  btnSave = b.AddButton({"btnSave", "Сохранить..", "Сохранить в файле"});
  btnClear = b.AddButton({"btnClear", "Очистить", "Очистить поле"});
  btnStop = b.AddButton({"btnStop", "Прервать", "Прервать передачу после текущего пакета"});
  btnStop->setEnabled(false);
  connect(btnWrite, &QPushButton::clicked, this, &TfmXmlData::btnWriteClick);
  connect(btnRead, &QPushButton::clicked, this, &TfmXmlData::btnReadClick);
  connect(btnOpen, &QPushButton::clicked, this, &TfmXmlData::btnOpenClick);
  connect(btnSave, &QPushButton::clicked, this, &TfmXmlData::btnSaveClick);
  connect(btnClear, &QPushButton::clicked, this, &TfmXmlData::btnClearClick);
}

TfmXmlData::~TfmXmlData() = default;

QIcon TfmXmlData::GetImage() const { return style()->standardIcon(QStyle::SP_FileIcon); }

std::string TfmXmlData::EditorText() const {
  // Block by block: the document's plain text would turn no-break spaces into spaces.
  std::string text;
  for (QTextBlock block = seData->document()->begin(); block.isValid(); block = block.next()) {
    if (block != seData->document()->begin()) text += "\r\n";
    text += S(block.text());
  }
  return text;
}

void TfmXmlData::SetEditorBytes(const std::string& bytes) {
  QString text = Q(Cp1251ToUtf8(bytes));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  seData->setPlainText(text);
}

void TfmXmlData::RunTransfer(TTransfer transfer, TOperationRunner::TWork done) {
  TOrtena& facade = context_.Facade;
  std::shared_ptr<TTransferProgress> progress = progress_;
  progress->Begin(0);
  ShowTransfer();
  const bool started = RunStoppable(
      btnStop,
      [this, &facade, progress, transfer] {
        TClearStatusGuard clear(facade);
        // The driver reports on this worker thread; the page redraws on its own thread.
        TListenerScope listen(facade.DriverStatus(), [this, progress](TDriverStatus& status) {
          if (progress->OnStatus(status.Text()))
            QMetaObject::invokeMethod(
                this, [this] { ShowTransfer(); }, Qt::QueuedConnection);
        });
        try {
          transfer(facade, *progress);
        } catch (...) {
          progress->End();
          throw;
        }
        progress->Complete();
      },
      [this, done] {
        ShowTransfer();
        if (done) done();
      });
  if (started) return;
  progress->End();
  ShowTransfer();
}

void TfmXmlData::Stopped() {
  TAppPage::Stopped();
  ShowTransfer();
  lblTransfer->setText(QStringLiteral("Прервано. ") + lblTransfer->text());
}

void TfmXmlData::ShowTransfer() {
  const TTransferProgress::TSnapshot s = progress_->Snapshot();
  if (s.Total > 0) {
    pbTransfer->setRange(0, s.Total);
    pbTransfer->setValue(std::min(s.Done, s.Total));
    lblTransfer->setText(QStringLiteral("Пакетов: %1 из %2").arg(s.Done).arg(s.Total));
    return;
  }
  // A read does not know its length before its last packet.
  pbTransfer->setRange(0, s.Open ? 0 : std::max(1, s.Done));
  pbTransfer->setValue(s.Done);
  lblTransfer->setText(s.Done > 0 || !s.Open ? QStringLiteral("Пакетов: %1").arg(s.Done) : QString());
}

void TfmXmlData::btnWriteClick() {
  const std::string text = EditorText();
  const auto write = kind_.Write;
  RunTransfer(
      [text, write](TOrtena& facade, TTransferProgress& progress) {
        const std::string bytes = FileBytes(text);
        progress.Begin(DataFilePackets(bytes.size()));
        (facade.*write)(bytes);
      },
      {});
}

void TfmXmlData::btnReadClick() {
  auto bytes = std::make_shared<std::string>();
  const auto read = kind_.Read;
  RunTransfer(
      [bytes, read](TOrtena& facade, TTransferProgress& progress) {
        progress.Begin(0);
        *bytes = (facade.*read)();
      },
      [this, bytes] { SetEditorBytes(*bytes); });
}

void TfmXmlData::btnOpenClick() {
  const QString name = context_.Messages.OpenFileName(this, {kXmlFilter, QStringLiteral("xml"), {}, {}});
  if (name.isEmpty()) return;
  auto bytes = std::make_shared<std::string>();
  RunOperation([file = S(name), bytes] { *bytes = ReadFileText(file); },
               [this, bytes] { SetEditorBytes(*bytes); });
}

void TfmXmlData::btnSaveClick() {
  const QString name = context_.Messages.SaveFileName(this, {kXmlFilter, {}, {}, QStringLiteral("xml")});
  if (name.isEmpty()) return;
  RunOperation(
      [file = S(name), text = EditorText()] { WriteFileText(file, FileBytes(text), TWriteKind::Output); });
}

void TfmXmlData::btnClearClick() { seData->clear(); }

}  // namespace quorvel::ui

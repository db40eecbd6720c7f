#include "fmuReceiptLines.h"

#include "AppDoc.h"
#include "AppDocXml.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "TextUtils.h"

#include <QEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <memory>

namespace quorvel::ui {

namespace {

constexpr const char* kFileFilter = "Файл xml (*.xml)|*.xml|Все файлы (*.*)|*.*";
constexpr int kNumberColumnWidth = 30;
constexpr int kRowHeight = 25;

// Files are read and written on the worker thread, each with a parser of its own: the shared
// one belongs to the UI thread.

std::string LoadHeaderFile(const std::string& fileName) { return TAppDocXml().LoadHeader(fileName); }
void SaveHeaderFile(const std::string& text, const std::string& fileName) {
  TAppDocXml().SaveHeader(text, fileName);
}
std::string LoadTrailerFile(const std::string& fileName) { return TAppDocXml().LoadTrailer(fileName); }
void SaveTrailerFile(const std::string& text, const std::string& fileName) {
  TAppDocXml().SaveTrailer(text, fileName);
}

const TReceiptLinesDef kHeaderDef{"fmHeader",
                                  "Клише",
                                  " Клише",
                                  "Загрузить клише.",
                                  "Сохранить клише.",
                                  &TAppDoc::Header,
                                  &TOrtena::ReadHeader,
                                  &TOrtena::WriteHeader,
                                  LoadHeaderFile,
                                  SaveHeaderFile};
const TReceiptLinesDef kTrailerDef{"fmTrailer",
                                   "Рекламный текст",
                                   " Рекламный текст",
                                   "Загрузить рекламный текст.",
                                   "Сохранить рекламный текст.",
                                   &TAppDoc::Trailer,
                                   &TOrtena::ReadTrailer,
                                   &TOrtena::WriteTrailer,
                                   LoadTrailerFile,
                                   SaveTrailerFile};

}  // namespace

TfmReceiptLines::TfmReceiptLines(TUiContext& context, TOperationRunner& runner, const TReceiptLinesDef& def,
                                 QWidget* parent)
    : TAppPage(context, runner, QString::fromUtf8(def.Caption), parent), def_(def) {
  setObjectName(def.ObjectName);
  TPageBuilder b(this, QString::fromUtf8(def.GroupCaption));
  QGroupBox* group = b.Group();
  auto* maxLength = new QLabel(QStringLiteral("Максимальная длина строки: 24 символа"), group);
  b.Form()->addRow(maxLength);
  lblCount = new QLabel(QStringLiteral("0"), group);
  lblCount->setObjectName("lblCount");
  lblCount->setAccessibleName(QStringLiteral("Количество символов"));
  b.Form()->addRow(new QLabel(QStringLiteral("Количество символов:"), group), lblCount);
  BuildGrid();
  b.Form()->addRow(Grid);
  btnLoad = b.AddButton({"btnLoad", "Загрузить..", def.LoadHint});
  btnSave = b.AddButton({"btnSave", "Сохранить..", def.SaveHint});
  btnWrite = b.AddButton({"btnWrite", "Записать"});
  btnRead = b.AddButton({"btnRead", "Прочитать"});
  connect(btnLoad, &QPushButton::clicked, this, &TfmReceiptLines::btnLoadClick);
  connect(btnSave, &QPushButton::clicked, this, &TfmReceiptLines::btnSaveClick);
  connect(btnWrite, &QPushButton::clicked, this, &TfmReceiptLines::btnWriteClick);
  connect(btnRead, &QPushButton::clicked, this, &TfmReceiptLines::btnReadClick);
}

void TfmReceiptLines::BuildGrid() {
  // Labels and editors of a plain grid rather than editors laid into a table's cells: a
  // screen reader walks the page down to every line and hears it by its name.
  Grid = new QFrame(this);
  Grid->setObjectName("Grid");
  Grid->setAccessibleName(windowTitle());
  Grid->setFrameShape(QFrame::StyledPanel);
  Grid->setBackgroundRole(QPalette::Mid);
  Grid->setAutoFillBackground(true);
  auto* layout = new QGridLayout(Grid);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(1);
  layout->setColumnStretch(1, 1);
  for (int row = 0; row < kLineCount; ++row) {
    auto* number = new QLabel(QString::number(row + 1), Grid);
    number->setObjectName(QStringLiteral("lblLine%1").arg(row + 1));
    number->setAlignment(Qt::AlignCenter);
    number->setFixedSize(kNumberColumnWidth, kRowHeight);
    number->setAutoFillBackground(true);
    number->setBackgroundRole(QPalette::Button);
    // The lines are always in edit mode: an editor in every row.
    auto* line = new QLineEdit(Grid);
    line->setObjectName(QStringLiteral("edtLine%1").arg(row + 1));
    line->setAccessibleName(QStringLiteral("Строка %1").arg(row + 1));
    line->setFrame(false);
    line->setFixedHeight(kRowHeight);
    line->installEventFilter(this);
    number->setBuddy(line);
    // The counter belongs to the line being edited; lines filled from the model stay silent.
    connect(line, &QLineEdit::textChanged, this, [this, row](const QString& text) {
      if (row == editedRow_) ShowCount(text);
    });
    layout->addWidget(number, row, 0);
    layout->addWidget(line, row, 1);
    lines_.push_back(line);
  }
}

QIcon TfmReceiptLines::GetImage() const { return style()->standardIcon(QStyle::SP_FileDialogDetailedView); }

bool TfmReceiptLines::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    const auto it = std::find(lines_.begin(), lines_.end(), watched);
    if (it != lines_.end()) {
      editedRow_ = static_cast<int>(it - lines_.begin());
      ShowCount((*it)->text());
    }
  }
  return TAppPage::eventFilter(watched, event);
}

// Characters, not UTF-16 units: a character outside the basic plane counts once.
void TfmReceiptLines::ShowCount(const QString& text) {
  lblCount->setText(QString::number(text.toUcs4().size()));
}

std::string TfmReceiptLines::LinesText() const {
  std::vector<std::string> lines;
  for (const QLineEdit* line : lines_) lines.push_back(S(line->text()));
  return CrLfText(lines);
}

void TfmReceiptLines::SetLinesText(const std::string& text) {
  const std::vector<std::string> lines = FixedLines(text, kLineCount);
  for (int row = 0; row < kLineCount; ++row) Line(row)->setText(Q(lines[static_cast<std::size_t>(row)]));
  ShowCount(Line(editedRow_)->text());
}

void TfmReceiptLines::UpdatePage() { SetLinesText(context_.Doc.*def_.Text); }

void TfmReceiptLines::UpdateObject() { context_.Doc.*def_.Text = LinesText(); }

void TfmReceiptLines::btnReadClick() {
  auto text = std::make_shared<std::string>();
  TOrtena& facade = context_.Facade;
  auto read = def_.Read;
  RunOperation(
      [&facade, read, text] {
        TClearStatusGuard clear(facade);
        *text = (facade.*read)();
      },
      [this, text] { SetLinesText(*text); });
}

void TfmReceiptLines::btnWriteClick() {
  TOrtena& facade = context_.Facade;
  auto write = def_.Write;
  RunOperation([&facade, write, text = LinesText()] {
    TClearStatusGuard clear(facade);
    (facade.*write)(text);
  });
}

void TfmReceiptLines::btnLoadClick() {
  const QString file = context_.Messages.OpenFileName(this, {QString::fromUtf8(kFileFilter), "xml", {}, {}});
  if (file.isEmpty()) return;
  auto text = std::make_shared<std::string>();
  auto load = def_.Load;
  RunOperation([load, text, name = S(file)] { *text = load(name); },
               [this, text] {
                 context_.Doc.*def_.Text = *text;
                 UpdatePage();
               });
}

void TfmReceiptLines::btnSaveClick() {
  const QString file =
      context_.Messages.SaveFileName(this, {QString::fromUtf8(kFileFilter), "xml", {}, "xml"});
  if (file.isEmpty()) return;
  UpdateObject();
  auto save = def_.Save;
  RunOperation([save, text = context_.Doc.*def_.Text, name = S(file)] { save(text, name); });
}

TfmHeader::TfmHeader(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmReceiptLines(context, runner, kHeaderDef, parent) {}

TfmTrailer::TfmTrailer(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TfmReceiptLines(context, runner, kTrailerDef, parent) {}

}  // namespace quorvel::ui

#include "fmuReceiptLines.h"

#include "AppDoc.h"
#include "AppDocXml.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "TextUtils.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QTableWidget>

#include <algorithm>
#include <memory>

namespace quorvel::ui {

namespace {

constexpr const char* kFileFilter = "Файл xml (*.xml)|*.xml|Все файлы (*.*)|*.*";
constexpr int kNumberColumnWidth = 30;
constexpr int kRowHeight = 25;
// Column 1 is this much narrower than the page: the number column and the frames.
constexpr int kLineColumnMargin = 64;

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
  Grid = new QTableWidget(kLineCount, 2, this);
  Grid->setObjectName("Grid");
  Grid->setAccessibleName(windowTitle());
  Grid->horizontalHeader()->hide();
  Grid->verticalHeader()->hide();
  // Without headers the select-all corner has no use; it would be a nameless control.
  Grid->setCornerButtonEnabled(false);
  if (auto* corner = Grid->findChild<QAbstractButton*>()) corner->hide();
  Grid->setColumnWidth(0, kNumberColumnWidth);
  Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Grid->setFixedHeight(kLineCount * kRowHeight + 2 * Grid->frameWidth());
  for (int row = 0; row < kLineCount; ++row) {
    Grid->setRowHeight(row, kRowHeight);
    auto* number = new QTableWidgetItem(QString::number(row + 1));
    number->setFlags(Qt::ItemIsEnabled);
    number->setTextAlignment(Qt::AlignCenter);
    number->setBackground(palette().button());
    Grid->setItem(row, 0, number);
    // An editor in every cell: the lines are always in edit mode.
    auto* line = new QLineEdit(Grid);
    line->setObjectName(QStringLiteral("edtLine%1").arg(row + 1));
    line->setAccessibleName(QStringLiteral("Строка %1").arg(row + 1));
    line->setFrame(false);
    line->installEventFilter(this);
    // The counter belongs to the line being edited; lines filled from the model stay silent.
    connect(line, &QLineEdit::textChanged, this, [this, row](const QString& text) {
      if (row == editedRow_) ShowCount(text);
    });
    Grid->setCellWidget(row, 1, line);
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

void TfmReceiptLines::resizeEvent(QResizeEvent* event) {
  TAppPage::resizeEvent(event);
  Grid->setColumnWidth(1, std::max(kNumberColumnWidth, event->size().width() - kLineColumnMargin));
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

#include "fmuScript.h"

#include "Errors.h"
#include "ModemDriver.h"
#include "PageBuilder.h"
#include "ScriptHighlighter.h"
#include "ScriptText.h"
#include "Scripts.h"
#include "UiContext.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QTextCursor>
#include <QVBoxLayout>

#include <fmt/printf.h>

namespace quorvel::ui {

namespace {

constexpr const char* kIniName = "ScriptEditor.ini";
constexpr const char* kErrorLine = "[Error] (%d), %s";
// Rows of the error list remember the index of their error here; -1: no error.
constexpr int kErrorRole = Qt::UserRole;

QFont DefaultFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  if (!QFontInfo(font).fixedPitch()) font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  return font;
}

}  // namespace

TfmScript::TfmScript(TUiContext& context, QWidget* parent) : QDialog(parent), context_(context) {
  setObjectName("fmScript");
  setWindowTitle(QStringLiteral("Скрипты ввода"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  edtID = new QSpinBox(this);
  edtID->setObjectName("edtID");
  edtID->setRange(1, 2000);
  edtID->setAccessibleName(QStringLiteral("ID"));
  edtText = new QLineEdit(this);
  edtText->setObjectName("edtText");
  edtText->setAccessibleName(QStringLiteral("Текст"));
  form->addRow(QStringLiteral("ID:"), edtID);
  form->addRow(QStringLiteral("Текст:"), edtText);
  layout->addLayout(form);

  splitter_ = new QSplitter(Qt::Vertical, this);
  SynEdit = new QPlainTextEdit(splitter_);
  SynEdit->setObjectName("SynEdit");
  SynEdit->setAccessibleName(QStringLiteral("Текст скрипта"));
  SynEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
  SynEdit->setFont(DefaultFont());
  lbErrors = new QListWidget(splitter_);
  lbErrors->setObjectName("lbErrors");
  lbErrors->setAccessibleName(QStringLiteral("Ошибки"));
  lbErrors->setToolTip(QStringLiteral("Двойной щелчок выделяет место ошибки"));
  splitter_->setStretchFactor(0, 4);
  splitter_->setStretchFactor(1, 1);
  layout->addWidget(splitter_, 1);
  Highlighter = new TScriptHighlighter(SynEdit->document());
  Highlighter->LoadStyles(IniFileName());

  auto* row = new QHBoxLayout;
  btnCheck = MakeButton(this, "btnCheck", QStringLiteral("Проверить"));
  row->addWidget(btnCheck);
  row->addStretch(1);
  AddOkCancel(this, row, btnOK, btnCancel, "btnOK");
  layout->addLayout(row);

  connect(btnCheck, &QPushButton::clicked, this, &TfmScript::btnCheckClick);
  connect(btnOK, &QPushButton::clicked, this, &TfmScript::btnOKClick);
  connect(lbErrors, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { SelectError(lbErrors->row(item)); });
  resize(640, 480);
  RestorePlacement();
}

TfmScript::~TfmScript() = default;

QString TfmScript::IniFileName() const {
  return QFileInfo(context_.IniFileName).dir().filePath(QString::fromLatin1(kIniName));
}

void TfmScript::RestorePlacement() {
  const QSettings ini(IniFileName(), QSettings::IniFormat);
  if (ini.contains("Script/Geometry")) restoreGeometry(ini.value("Script/Geometry").toByteArray());
  if (ini.contains("Script/Splitter")) splitter_->restoreState(ini.value("Script/Splitter").toByteArray());
  QFont font;
  if (ini.contains("Script/Font") && font.fromString(ini.value("Script/Font").toString()))
    SynEdit->setFont(font);
}

void TfmScript::SavePlacement() const {
  QSettings ini(IniFileName(), QSettings::IniFormat);
  ini.setValue("Script/Geometry", saveGeometry());
  ini.setValue("Script/Splitter", splitter_->saveState());
  ini.setValue("Script/Font", SynEdit->font().toString());
}

void TfmScript::done(int result) {
  SavePlacement();
  QDialog::done(result);
}

void TfmScript::Open(TScript& script, TScriptDef& def) {
  script_ = &script;
  def_ = &def;
  Highlighter->SetKeywords(Q(def.GetKeywords()));
  edtID->setValue(script.Number());
  edtText->setText(Q(script.Name()));
  SynEdit->setPlainText(Q(ScriptTextToLf(script.Text())));
  SynEdit->moveCursor(QTextCursor::Start);
  SynEdit->setFocus();
  btnCheckClick();
}

bool TfmScript::Execute(TScript& script, TScriptDef& def) {
  Open(script, def);
  return exec() == QDialog::Accepted;
}

void TfmScript::btnCheckClick() {
  lbErrors->clear();
  errors_.clear();
  if (def_ == nullptr) return;
  checkedText_ = ScriptTextToCrLf(S(SynEdit->toPlainText()));
  try {
    def_->Check(checkedText_);
  } catch (const std::exception& e) {
    // A character the terminal's code page lacks: no position to show, only the reason.
    auto* item = new QListWidgetItem(Q(e.what()), lbErrors);
    item->setData(kErrorRole, -1);
    return;
  }
  const TScriptErrors& errors = def_->Errors();
  if (errors.Count() == 0) {
    auto* item = new QListWidgetItem(QString::fromUtf8(kScriptNoErrors), lbErrors);
    item->setData(kErrorRole, -1);
    return;
  }
  for (int i = 0; i < errors.Count(); ++i) {
    const TScriptError& error = *errors.Items(i);
    errors_.push_back(error);
    auto* item = new QListWidgetItem(Q(fmt::sprintf(kErrorLine, error.Line, error.Message)), lbErrors);
    item->setData(kErrorRole, i);
  }
}

void TfmScript::SelectError(int row) {
  const QListWidgetItem* item = lbErrors->item(row);
  if (item == nullptr) return;
  const int index = item->data(kErrorRole).toInt();
  if (index < 0 || index >= static_cast<int>(errors_.size())) return;
  const TScriptSelection selection =
      ScriptErrorSelection(checkedText_, errors_[static_cast<std::size_t>(index)]);
  // The text may have changed since the check: the selection stays inside it.
  const int length = static_cast<int>(SynEdit->document()->characterCount()) - 1;
  QTextCursor cursor(SynEdit->document());
  cursor.setPosition(std::min(selection.Start, length));
  cursor.setPosition(std::min(selection.End, length), QTextCursor::KeepAnchor);
  SynEdit->setTextCursor(cursor);
  SynEdit->setFocus();
}

void TfmScript::btnOKClick() {
  if (script_ == nullptr) return;
  try {
    const std::string text = ScriptTextToCrLf(S(SynEdit->toPlainText()));
    const std::int32_t number = edtID->value();
    // The checker's findings are advice; a text the terminal cannot take at all is refused
    // here, where it can still be corrected, rather than when the list is written.
    (void)ScriptWireText(number, text);
    script_->SetNumber(number);
    script_->SetName(S(edtText->text()));
    script_->SetText(text);
  } catch (const std::exception& e) {
    context_.Messages.ShowError(this, Q(e.what()));
    return;
  }
  accept();
}

}  // namespace quorvel::ui

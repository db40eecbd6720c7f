#include "PageBuilder.h"

#include <QDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvel::ui {

QString AccessibleName(const char* label) {
  QString name = QString::fromUtf8(label).trimmed();
  if (name.endsWith(':')) name.chop(1);
  return name;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, const QString& hint) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  if (!hint.isEmpty()) b->setToolTip(hint);
  const bool hasLetters = std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
  b->setAccessibleName(hasLetters || hint.isEmpty() ? QString(text).remove('&') : hint);
  return b;
}

QToolButton* MakeToolButton(QWidget* parent, const char* name, const QString& hint,
                            QStyle::StandardPixmap icon) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setToolTip(hint);
  b->setAccessibleName(hint);
  b->setIcon(parent->style()->standardIcon(icon));
  return b;
}

TPageBuilder::TPageBuilder(QWidget* page, const QString& groupTitle) : page_(page) {
  layout_ = new QVBoxLayout(page);
  group_ = new QGroupBox(groupTitle, page);
  group_->setAccessibleName(groupTitle.trimmed());
  form_ = new QFormLayout(group_);
  form_->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  // Fields keep their height and the space goes below them; a text view takes it instead.
  layout_->addWidget(group_, 0);
  layout_->addStretch(1);
  buttons_ = new QHBoxLayout;
  buttons_->addStretch(1);
  layout_->addLayout(buttons_);
}

void TPageBuilder::AddFields(std::initializer_list<TFieldDef> fields) {
  for (const TFieldDef& f : fields) AddField(f);
}

QLineEdit* TPageBuilder::AddField(const TFieldDef& field) {
  auto* edit = new QLineEdit(group_);
  edit->setObjectName(field.Name);
  edit->setAccessibleName(AccessibleName(field.Label));
  if (field.MaxLength > 0) edit->setMaxLength(field.MaxLength);
  if (field.Hint != nullptr) edit->setToolTip(QString::fromUtf8(field.Hint));
  switch (field.Kind) {
    case TFieldKind::Digits:
      // Drops every key but the digits, as the terminal's numeric fields expect; a paste of
      // other characters is refused whole.
      edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
      break;
    case TFieldKind::ReadOnly:
      edit->setReadOnly(true);
      break;
    case TFieldKind::Secret:
      edit->setEchoMode(QLineEdit::Password);
      break;
    case TFieldKind::Text:
      break;
  }
  auto* label = new QLabel(QString::fromUtf8(field.Label), group_);
  label->setBuddy(edit);
  form_->addRow(label, edit);
  fields_[field.Name] = edit;
  return edit;
}

QPlainTextEdit* TPageBuilder::AddText(const char* name, const char* label, bool fixed, bool readOnly) {
  auto* text = new QPlainTextEdit(group_);
  layout_->setStretch(0, 1);
  layout_->setStretch(1, 0);
  text->setObjectName(name);
  text->setAccessibleName(label != nullptr && *label != 0 ? AccessibleName(label) : group_->accessibleName());
  text->setReadOnly(readOnly);
  if (fixed) {
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
  }
  text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  if (label != nullptr && *label != 0)
    form_->addRow(new QLabel(QString::fromUtf8(label), group_), text);
  else
    form_->addRow(text);
  return text;
}

QSpinBox* TPageBuilder::AddSpin(const char* name, const char* label, int min, int max) {
  auto* spin = new QSpinBox(group_);
  spin->setObjectName(name);
  spin->setAccessibleName(AccessibleName(label));
  spin->setRange(min, max);
  auto* caption = new QLabel(QString::fromUtf8(label), group_);
  caption->setBuddy(spin);
  form_->addRow(caption, spin);
  return spin;
}

QGroupBox* TPageBuilder::BeginGroup(const QString& title) {
  auto* box = new QGroupBox(title, group_);
  box->setAccessibleName(title.trimmed());
  auto* form = new QFormLayout(box);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  // Every group sits in the page's own group, one below the other.
  static_cast<QFormLayout*>(group_->layout())->addRow(box);
  form_ = form;
  return box;
}

void TPageBuilder::AddButtons(std::initializer_list<TButtonDef> buttons) {
  for (const TButtonDef& b : buttons) AddButton(b);
}

QPushButton* TPageBuilder::AddButton(const TButtonDef& button) {
  QPushButton* b = MakeButton(page_, button.Name, QString::fromUtf8(button.Text),
                              button.Hint != nullptr ? QString::fromUtf8(button.Hint) : QString());
  buttons_->addWidget(b);
  buttonsByName_[button.Name] = b;
  return b;
}

QLineEdit* TPageBuilder::Field(const std::string& name) const {
  const auto it = fields_.find(name);
  return it == fields_.end() ? nullptr : it->second;
}

QPushButton* TPageBuilder::Button(const std::string& name) const {
  const auto it = buttonsByName_.find(name);
  return it == buttonsByName_.end() ? nullptr : it->second;
}

void AddOkCancel(QDialog* dialog, QBoxLayout* row, QPushButton*& ok, QPushButton*& cancel,
                 const char* okName) {
  ok = MakeButton(dialog, okName, QStringLiteral("OK"));
  cancel = MakeButton(dialog, "btnCancel", QStringLiteral("Отмена"));
  // Enter anywhere in the dialog reaches the default button.
  ok->setDefault(true);
  row->addWidget(ok);
  row->addWidget(cancel);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}

}  // namespace quorvel::ui

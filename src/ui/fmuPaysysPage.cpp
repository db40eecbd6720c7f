#include "fmuPaysysPage.h"

#include "PaymentSystem.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>
#include <utility>

namespace quorvel::ui {

TFileDialogDef XmlFileDialog() {
  return {QStringLiteral("Файл xml (*.xml)|*.xml|Все файлы (*.*)|*.*"), QStringLiteral("xml"), {}, {}};
}

TFileDialogDef CyberplatKeyDialog() {
  return {QStringLiteral("Файл ключей (*.key)|*.key|Все файлы (*.*)|*.*"), QStringLiteral("key"), {}, {}};
}

TFileDialogDef KeyFileDialog() {
  return {QStringLiteral("Файл ключа (*.key)|*.key|Все файлы (*.*)|*.*"), {}, {}, {}};
}

TFileDialogDef CertificateDialog() {
  return {QStringLiteral("Файл сертификата (*.cer)|*.cer|Все файлы (*.*)|*.*"), {}, {}, {}};
}

TFileDialogDef CodeWordDialog() { return {QStringLiteral("Все файлы (*.*)|*.*"), {}, {}, {}}; }

TfmPaysysPage::TfmPaysysPage(TUiContext& context, TOperationRunner& runner, TPaysysPageDef def,
                             QWidget* parent)
    : TAppPage(context, runner, def.Caption, parent), def_(std::move(def)) {
  TPageBuilder b(this, def_.Group);
  if (def_.System != nullptr) {
    // The operator's site, opened in the user's browser.
    lblURL = new QLabel(b.Group());
    lblURL->setObjectName("lblURL");
    lblURL->setOpenExternalLinks(true);
    lblURL->setTextInteractionFlags(Qt::TextBrowserInteraction);
    b.Form()->addRow(lblURL);
  }
  for (TPaysysField& field : def_.Fields) AddField(b, field);
  for (const TPaysysButton& button : def_.Buttons) {
    QPushButton* push = b.AddButton(button.Def);
    buttons_[button.Def.Name] = push;
    if (button.Click)
      connect(push, &QPushButton::clicked, this, [this, click = button.Click] { click(*this); });
  }
  if (QPushButton* stop = Button("btnStop")) stop->setEnabled(false);
}

void TfmPaysysPage::AddField(TPageBuilder& b, TPaysysField& field) {
  if (field.Group != nullptr) b.BeginGroup(QString::fromUtf8(field.Group));
  QWidget* control = nullptr;
  if (field.Memo) {
    const bool readOnly = field.Def.Kind == TFieldKind::ReadOnly;
    QPlainTextEdit* memo = b.AddText(field.Def.Name, field.Def.Label, true, readOnly);
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memos_[field.Def.Name] = memo;
    control = memo;
  } else {
    QLineEdit* edit = b.AddField(field.Def);
    edits_[field.Def.Name] = edit;
    control = edit;
  }
  if (field.Chooser.Name == nullptr) return;
  // The chooser sits right of its field: the field's cell becomes the pair.
  QFormLayout* form = b.Form();
  int row = -1;
  QFormLayout::ItemRole role = QFormLayout::FieldRole;
  form->getWidgetPosition(control, &row, &role);
  form->removeWidget(control);
  auto* cell = new QWidget(control->parentWidget());
  auto* line = new QHBoxLayout(cell);
  line->setContentsMargins(0, 0, 0, 0);
  line->addWidget(control, 1);
  QPushButton* chooser =
      MakeButton(cell, field.Chooser.Name, QString::fromUtf8(field.Chooser.Text),
                 field.Chooser.Hint != nullptr ? QString::fromUtf8(field.Chooser.Hint) : QString());
  if (chooser->text().size() <= 2)
    chooser->setFixedWidth(chooser->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 12);
  line->addWidget(chooser, 0, Qt::AlignTop);
  form->setWidget(row, QFormLayout::FieldRole, cell);
  buttons_[field.Chooser.Name] = chooser;
  auto* edit = qobject_cast<QLineEdit*>(control);
  connect(chooser, &QPushButton::clicked, this,
          [this, edit, click = field.Chooser.Click] { click(*this, edit); });
}

void TfmPaysysPage::UpdatePage() {
  if (lblURL != nullptr) {
    const QString url = Q(def_.System->GetSiteURL());
    lblURL->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(url.toHtmlEscaped()));
    lblURL->setAccessibleName(url);
    lblURL->setToolTip(url);
  }
  for (const TPaysysField& field : def_.Fields) {
    if (!field.Value || (field.Bind != TBind::Both && field.Bind != TBind::In)) continue;
    const QString text = Q(field.Value());
    if (field.Memo)
      memos_.at(field.Def.Name)->setPlainText(text);
    else
      edits_.at(field.Def.Name)->setText(text);
  }
}

void TfmPaysysPage::UpdateObject() {
  for (const TPaysysField& field : def_.Fields) {
    if (!field.Value || (field.Bind != TBind::Both && field.Bind != TBind::Out)) continue;
    field.Value() =
        S(field.Memo ? memos_.at(field.Def.Name)->toPlainText() : edits_.at(field.Def.Name)->text());
  }
}

QIcon TfmPaysysPage::GetImage() const { return style()->standardIcon(def_.Icon); }

QLineEdit* TfmPaysysPage::Field(const std::string& name) const {
  const auto it = edits_.find(name);
  return it == edits_.end() ? nullptr : it->second;
}

QPlainTextEdit* TfmPaysysPage::Memo(const std::string& name) const {
  const auto it = memos_.find(name);
  return it == memos_.end() ? nullptr : it->second;
}

QPushButton* TfmPaysysPage::Button(const std::string& name) const {
  const auto it = buttons_.find(name);
  return it == buttons_.end() ? nullptr : it->second;
}

void TfmPaysysPage::Write(TOperationRunner::TWork work) {
  UpdateObject();
  RunOperation(std::move(work));
}

void TfmPaysysPage::WriteFiles(TOperationRunner::TWork work) {
  UpdateObject();
  RunStoppable(Button("btnStop"), std::move(work));
}

// What was typed goes into the model first, so that refilling the page after the work shows
// the values read and keeps the others.
void TfmPaysysPage::Read(TOperationRunner::TWork work) {
  UpdateObject();
  RunOperation(std::move(work), [this] { UpdatePage(); });
}

void TfmPaysysPage::LoadFile(const TFileDialogDef& dialog, std::function<void(const std::string&)> load,
                             const QString& proposed, TOperationRunner::TWork done) {
  TFileDialogDef ask = dialog;
  ask.FileName = proposed;
  const QString file = context_.Messages.OpenFileName(this, ask);
  if (file.isEmpty()) return;
  UpdateObject();  // as in Read
  RunOperation([load = std::move(load), name = S(file)] { load(name); },
               [this, done = std::move(done)] {
                 UpdatePage();
                 if (done) done();
               });
}

void TfmPaysysPage::SaveFile(const TFileDialogDef& dialog, std::function<void(const std::string&)> save) {
  UpdateObject();
  const QString file = context_.Messages.SaveFileName(this, dialog);
  if (file.isEmpty()) return;
  RunOperation([save = std::move(save), name = S(file)] { save(name); });
}

void TfmPaysysPage::ChooseFile(QLineEdit* edit, const TFileDialogDef& dialog) {
  TFileDialogDef ask = dialog;
  ask.FileName = edit->text();
  const QString file = context_.Messages.OpenFileName(this, ask);
  if (!file.isEmpty()) edit->setText(file);
}

}  // namespace quorvel::ui

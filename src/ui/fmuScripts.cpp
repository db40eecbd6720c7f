#include "fmuScripts.h"

#include "AppDoc.h"
#include "AppDocXml.h"
#include "Errors.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "PaymentSystem.h"
#include "Scripts.h"
#include "TextUtils.h"
#include "fmuScript.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quorvel::ui {

namespace {

const TFileDialogDef kScriptsFileDialog{
    QStringLiteral("Файл xml (*.xml)|*.xml|Все файлы (*.*)|*.*"), QStringLiteral("xml"), {}, {}};

// The list view that tells whether a caption is being edited: the Enter that ends an edit
// reaches the list after its editor, and must not open the script editor as well.
class TScriptListView final : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;
  bool Editing() const { return state() == QAbstractItemView::EditingState; }
};

}  // namespace

TfmScripts::TfmScripts(TUiContext& context, TOperationRunner& runner, TPaymentSystem& system, QWidget* parent)
    : TAppPage(context, runner, QStringLiteral("Скрипты ввода"), parent), system_(system) {
  setObjectName("fmScripts");
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(QStringLiteral(" Скрипты ввода"), this);
  group->setAccessibleName(QStringLiteral("Скрипты ввода"));
  auto* row = new QHBoxLayout(group);
  ListView = new TScriptListView(group);
  ListView->setObjectName("ListView");
  ListView->setAccessibleName(QStringLiteral("Скрипты ввода"));
  ListView->setHeaderLabels({QStringLiteral("ID"), QStringLiteral("Название")});
  ListView->setRootIsDecorated(false);
  ListView->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Only F2 renames (renumbers) a row in place; a double click opens the editor.
  ListView->setEditTriggers(QAbstractItemView::EditKeyPressed);
  ListView->setContextMenuPolicy(Qt::CustomContextMenu);
  ListView->header()->resizeSection(0, 80);
  ListView->installEventFilter(this);
  row->addWidget(ListView, 1);
  auto* buttons = new QVBoxLayout;
  btnAdd = MakeButton(group, "btnAdd", QStringLiteral("Добавить..."));
  btnEdit = MakeButton(group, "btnEdit", QStringLiteral("Изменить..."));
  btnDelete = MakeButton(group, "btnDelete", QStringLiteral("Удалить"));
  btnClear = MakeButton(group, "btnClear", QStringLiteral("Очистить"));
  btnLoad = MakeButton(group, "btnLoad", QStringLiteral("Загрузить.."));
  btnSave = MakeButton(group, "btnSave", QStringLiteral("Сохранить.."));
  btnUpdate = MakeButton(group, "btnUpdate", QStringLiteral("Обновить"));
  for (QPushButton* b : {btnAdd, btnEdit, btnDelete, btnClear, btnLoad, btnSave, btnUpdate})
    buttons->addWidget(b);
  buttons->addStretch(1);
  row->addLayout(buttons);
  layout->addWidget(group, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  btnRead = MakeButton(this, "btnRead", QStringLiteral("Прочитать"));
  btnWrite = MakeButton(this, "btnWrite", QStringLiteral("Записать"));
  btnStop = MakeButton(this, "btnStop", QStringLiteral("Прервать"),
                       QStringLiteral("Прервать передачу после текущего пакета"));
  btnStop->setEnabled(false);
  bottom->addWidget(btnRead);
  bottom->addWidget(btnWrite);
  bottom->addWidget(btnStop);
  layout->addLayout(bottom);
  BuildMenu();

  ConnectHandlers();
  RunEditor = [this](TScript& script) {
    return Editor().Execute(script, *context_.Doc.ScriptDefs().First());
  };
  UpdatePage();
}

TfmScripts::~TfmScripts() = default;

void TfmScripts::ConnectHandlers() {
  connect(btnAdd, &QPushButton::clicked, this, &TfmScripts::btnAddClick);
  connect(btnEdit, &QPushButton::clicked, this, &TfmScripts::btnEditClick);
  connect(btnDelete, &QPushButton::clicked, this, &TfmScripts::btnDeleteClick);
  connect(btnClear, &QPushButton::clicked, this, &TfmScripts::btnClearClick);
  connect(btnLoad, &QPushButton::clicked, this, &TfmScripts::btnLoadClick);
  connect(btnSave, &QPushButton::clicked, this, &TfmScripts::btnSaveClick);
  connect(btnUpdate, &QPushButton::clicked, this, &TfmScripts::btnUpdateClick);
  connect(btnWrite, &QPushButton::clicked, this, &TfmScripts::btnWriteClick);
  connect(btnRead, &QPushButton::clicked, this, &TfmScripts::btnReadClick);
  connect(ListView, &QTreeWidget::currentItemChanged, this, &TfmScripts::RowChanged);
  connect(ListView, &QTreeWidget::itemChanged, this, &TfmScripts::RowEdited);
  connect(ListView, &QTreeWidget::itemDoubleClicked, this, [this] { Guarded([this] { EditSelected(); }); });
  connect(ListView, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu->popup(ListView->viewport()->mapToGlobal(at)); });
}

void TfmScripts::BuildMenu() {
  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName("PopupMenu");
  actAdd_ = PopupMenu->addAction(QStringLiteral("Добавить..."), this, &TfmScripts::btnAddClick);
  actEdit_ = PopupMenu->addAction(QStringLiteral("Изменить..."), this, &TfmScripts::btnEditClick);
  actDelete_ = PopupMenu->addAction(QStringLiteral("Удалить"), this, &TfmScripts::btnDeleteClick);
  actClear_ = PopupMenu->addAction(QStringLiteral("Очистить"), this, &TfmScripts::btnClearClick);
}

QIcon TfmScripts::GetImage() const { return style()->standardIcon(QStyle::SP_FileDialogListView); }

TScripts& TfmScripts::Scripts() const { return system_.Scripts(); }

TfmScript& TfmScripts::Editor() {
  // Not a child of the page: the page turns its own buttons off while the editor runs.
  if (!editor_) editor_ = std::make_unique<TfmScript>(context_, window() != this ? window() : nullptr);
  return *editor_;
}

void TfmScripts::UpdatePage() {
  btnUpdate->setEnabled(!system_.GetScriptsURL().empty());
  TScripts& scripts = Scripts();
  filling_ = true;
  ListView->clear();
  for (int i = 0; i < scripts.Count(); ++i) {
    const TScript& script = scripts.Items(i);
    auto* item = new QTreeWidgetItem(ListView, {QString::number(script.Number()), Q(script.Name())});
    if (script.Editable()) item->setFlags(item->flags() | Qt::ItemIsEditable);
  }
  if (scripts.IsValidIndex(scripts.ItemIndex)) {
    QTreeWidgetItem* item = ListView->topLevelItem(scripts.ItemIndex);
    ListView->setCurrentItem(item);
    ListView->scrollToItem(item);
  }
  filling_ = false;
  UpdateButtons();
}

void TfmScripts::UpdateButtons() {
  const int row =
      ListView->currentItem() != nullptr ? ListView->indexOfTopLevelItem(ListView->currentItem()) : -1;
  const bool editable = Scripts().IsValidIndex(row) && Scripts().Items(row).Editable();
  const bool any = Scripts().HasEditable();
  for (QWidget* w : std::initializer_list<QWidget*>{btnEdit, btnDelete}) w->setEnabled(editable);
  btnClear->setEnabled(any);
  actEdit_->setEnabled(editable);
  actDelete_->setEnabled(editable);
  actClear_->setEnabled(any);
}

void TfmScripts::RowChanged() {
  if (filling_) return;
  const int row =
      ListView->currentItem() != nullptr ? ListView->indexOfTopLevelItem(ListView->currentItem()) : -1;
  if (row >= 0) Scripts().ItemIndex = row;
  UpdateButtons();
}

void TfmScripts::Guarded(const std::function<void()>& action) {
  EnableControls(false);
  try {
    action();
  } catch (...) {
    runner_.ShowError(std::current_exception());
  }
  EnableControls(true);
  UpdateButtons();
}

void TfmScripts::btnAddClick() {
  Guarded([this] {
    TScripts& scripts = Scripts();
    TScript& script = scripts.AddNew();
    bool ok = false;
    try {
      ok = RunEditor(script);
    } catch (...) {
      scripts.Delete(script);
      UpdatePage();
      throw;
    }
    if (ok) {
      scripts.Sort();
      scripts.ItemIndex = scripts.IndexOf(script);
    } else {
      scripts.Delete(script);
    }
    UpdatePage();
  });
}

void TfmScripts::EditSelected() {
  TScripts& scripts = Scripts();
  if (!scripts.IsValidIndex(scripts.ItemIndex)) return;
  TScript& script = scripts.Items(scripts.ItemIndex);
  if (!script.Editable()) return;
  if (!RunEditor(script)) return;
  scripts.Sort();
  scripts.ItemIndex = scripts.IndexOf(script);
  UpdatePage();
}

void TfmScripts::btnEditClick() {
  Guarded([this] { EditSelected(); });
}

void TfmScripts::DeleteSelected() {
  TScripts& scripts = Scripts();
  if (!scripts.IsValidIndex(scripts.ItemIndex)) return;
  const TScript& script = scripts.Items(scripts.ItemIndex);
  if (!script.Editable()) return;
  scripts.Delete(script);
  if (scripts.ItemIndex >= scripts.Count()) scripts.ItemIndex = scripts.Count() - 1;
  UpdatePage();
  if (ListView->topLevelItemCount() == 0) btnAdd->setFocus();
}

void TfmScripts::btnDeleteClick() {
  Guarded([this] { DeleteSelected(); });
}

void TfmScripts::btnClearClick() {
  Guarded([this] {
    Scripts().ClearEditable();
    UpdatePage();
  });
}

void TfmScripts::RowEdited(QTreeWidgetItem* item, int column) {
  if (filling_ || column != 0) return;
  const int row = ListView->indexOfTopLevelItem(item);
  if (!Scripts().IsValidIndex(row)) return;
  TScript& script = Scripts().Items(row);
  try {
    const QString text = item->text(0).trimmed();
    script.SetNumber(text.isEmpty() ? 0 : StrToInt(S(text)));
    Scripts().Sort();
    Scripts().ItemIndex = Scripts().IndexOf(script);
  } catch (...) {
    runner_.ShowError(std::current_exception());
  }
  // Rebuilt after the edit has ended: the caption shows the number the script really has.
  QMetaObject::invokeMethod(this, &TfmScripts::UpdatePage, Qt::QueuedConnection);
}

bool TfmScripts::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListView && event->type() == QEvent::KeyPress &&
      !static_cast<TScriptListView*>(ListView)->Editing()) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Delete) {
      DeleteSelected();
      return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      Guarded([this] { EditSelected(); });
      return true;
    }
  }
  return TAppPage::eventFilter(watched, event);
}

void TfmScripts::btnLoadClick() {
  TFileDialogDef dialog = kScriptsFileDialog;
  const QString file = context_.Messages.OpenFileName(this, dialog);
  if (file.isEmpty()) return;
  TPaymentSystem& system = system_;
  const std::string name = S(file);
  // A reader of its own: the program's shared one belongs to the UI thread.
  RunOperation([&system, name] { TAppDocXml().LoadScripts(system, name); }, [this] { UpdatePage(); });
}

void TfmScripts::btnSaveClick() {
  TFileDialogDef dialog = kScriptsFileDialog;
  dialog.FileName = QStringLiteral("xml");
  const QString file = context_.Messages.SaveFileName(this, dialog);
  if (file.isEmpty()) return;
  const TPaymentSystem& system = system_;
  const std::string name = S(file);
  RunOperation([&system, name] { TAppDocXml().SaveScripts(system, name); });
}

void TfmScripts::btnUpdateClick() {
  TOrtena& facade = context_.Facade;
  TPaymentSystem& system = system_;
  RunOperation([&facade, &system] { facade.UpdateScripts(system); }, [this] { UpdatePage(); });
}

void TfmScripts::btnWriteClick() {
  TOrtena& facade = context_.Facade;
  const TPaymentSystem& system = system_;
  RunStoppable(btnStop, [&facade, &system] { facade.WriteScripts(system); });
}

void TfmScripts::btnReadClick() {
  TOrtena& facade = context_.Facade;
  TPaymentSystem& system = system_;
  RunStoppable(
      btnStop, [&facade, &system] { facade.ReadScripts(system); }, [this] { UpdatePage(); });
}

}  // namespace quorvel::ui

#include "fmuFees.h"

#include "AppDoc.h"
#include "AppDocXml.h"
#include "FeeTable.h"
#include "Fees.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "fmuFeeDlg.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

namespace quorvel::ui {

namespace {

constexpr const char* kOpenFilter = "xml файлы (*.xml)|*.xml|Все файлы (*.*)|*.*";
constexpr const char* kSaveFilter = "xml файлы (*.xml)|*.xml";
constexpr const char* kFeesFolder = "Fees";
constexpr int kSumColumnWidth = 100;

QComboBox* AddChoice(QFormLayout* form, QWidget* group, const char* name, const char* label) {
  auto* box = new QComboBox(group);
  box->setObjectName(name);
  box->setAccessibleName(AccessibleName(label));
  auto* caption = new QLabel(QString::fromUtf8(label), group);
  caption->setBuddy(box);
  form->addRow(caption, box);
  return box;
}

QAction* AddMenuItem(QWidget* list, QPushButton* button) {
  auto* action = new QAction(button->text(), list);
  action->setToolTip(button->toolTip());
  list->addAction(action);
  QObject::connect(action, &QAction::triggered, button, &QPushButton::click);
  return action;
}

}  // namespace

TfmFees::TfmFees(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : TAppPage(context, runner, QStringLiteral("Ставки комиссии"), parent) {
  setObjectName("fmFees");
  TPageBuilder b(this, QStringLiteral(" Ставки комиссии"));
  QGroupBox* group = b.Group();
  // The group takes the page's height: the list grows with it.
  if (auto* pageLayout = qobject_cast<QBoxLayout*>(layout())) {
    pageLayout->setStretch(0, 1);
    pageLayout->setStretch(1, 0);
  }
  cbTable = AddChoice(b.Form(), group, "cbTable", "Таблица:");
  cbScheme = AddChoice(b.Form(), group, "cbScheme", "Тип:");
  BuildList(group);
  btnLoad = b.AddButton({"btnLoad", "Загрузить..", "Загрузить список ставок комиссий из файла"});
  btnSave = b.AddButton({"btnSave", "Сохранить..", "Сохранить список ставок комиссий в файл"});
  btnWrite = b.AddButton({"btnWrite", "Записать"});
  btnRead = b.AddButton({"btnRead", "Прочитать"});

  const TFeeTables& tables = context_.Doc.FeeTables();
  for (int i = 0; i < tables.Count(); ++i) cbTable->addItem(Q(tables.Items(i).DisplayName()));
  cbTable->setCurrentIndex(tables.IsValidIndex(tables.ItemIndex) ? tables.ItemIndex : 0);

  connect(cbTable, &QComboBox::currentIndexChanged, this, &TfmFees::TableChosen);
  connect(cbScheme, &QComboBox::currentIndexChanged, this, &TfmFees::SchemeChosen);
  connect(btnAdd, &QPushButton::clicked, this, &TfmFees::btnAddClick);
  connect(btnEdit, &QPushButton::clicked, this, &TfmFees::btnEditClick);
  connect(btnDelete, &QPushButton::clicked, this, &TfmFees::btnDeleteClick);
  connect(btnClear, &QPushButton::clicked, this, &TfmFees::btnClearClick);
  connect(btnClearAll, &QPushButton::clicked, this, &TfmFees::btnClearAllClick);
  connect(btnLoad, &QPushButton::clicked, this, &TfmFees::btnLoadClick);
  connect(btnSave, &QPushButton::clicked, this, &TfmFees::btnSaveClick);
  connect(btnWrite, &QPushButton::clicked, this, &TfmFees::btnWriteClick);
  connect(btnRead, &QPushButton::clicked, this, &TfmFees::btnReadClick);
  connect(lvFees, &QTreeWidget::itemDoubleClicked, this, &TfmFees::btnEditClick);
  connect(lvFees, &QTreeWidget::currentItemChanged, this, &TfmFees::UpdateButtons);

  RunFeeDialog = [this](TFee& fee) {
    TfmFeeDlg dialog(fee, context_.Messages, this);
    return dialog.exec() == QDialog::Accepted;
  };
  UpdatePage();
}

void TfmFees::BuildList(QWidget* group) {
  auto* row = new QHBoxLayout;
  lvFees = new QTreeWidget(group);
  lvFees->setObjectName("lvFees");
  lvFees->setAccessibleName(QStringLiteral("Ставки комиссии"));
  lvFees->setRootIsDecorated(false);
  lvFees->setColumnCount(2);
  lvFees->setHeaderLabels({QStringLiteral("Сумма"), QStringLiteral("Значение")});
  lvFees->setColumnWidth(0, kSumColumnWidth);
  lvFees->header()->setStretchLastSection(true);
  lvFees->setSelectionMode(QAbstractItemView::SingleSelection);
  lvFees->setContextMenuPolicy(Qt::ActionsContextMenu);
  lvFees->installEventFilter(this);
  row->addWidget(lvFees, 1);
  auto* column = new QVBoxLayout;
  btnAdd = MakeButton(this, "btnAdd", QStringLiteral("Добавить..."),
                      QStringLiteral("Добавить новую ставку комиссии"));
  btnEdit =
      MakeButton(this, "btnEdit", QStringLiteral("Изменить..."), QStringLiteral("Изменить ставку комиссии"));
  btnDelete =
      MakeButton(this, "btnDelete", QStringLiteral("Удалить"), QStringLiteral("Удалить ставку комиссии"));
  btnClear =
      MakeButton(this, "btnClear", QStringLiteral("Очистить"), QStringLiteral("Удалить все ставки комиссии"));
  btnClearAll = MakeButton(this, "btnClearAll", QStringLiteral("Очистить все"),
                           QStringLiteral("Удалить все ставки комиссии для всех таблиц"));
  for (QPushButton* b : {btnAdd, btnEdit, btnDelete, btnClear, btnClearAll}) column->addWidget(b);
  column->addStretch(1);
  row->addLayout(column);
  static_cast<QFormLayout*>(group->layout())->addRow(row);
  actAdd = AddMenuItem(lvFees, btnAdd);
  actEdit = AddMenuItem(lvFees, btnEdit);
  actDelete = AddMenuItem(lvFees, btnDelete);
  actClear = AddMenuItem(lvFees, btnClear);
}

QIcon TfmFees::GetImage() const { return style()->standardIcon(QStyle::SP_FileDialogListView); }

TFeeTable& TfmFees::CurrentTable() {
  TFeeTables& tables = context_.Doc.FeeTables();
  return tables.Items(tables.IsValidIndex(tables.ItemIndex) ? tables.ItemIndex : 0);
}

TFees& TfmFees::CurrentFees() { return CurrentTable().Fees(); }

void TfmFees::UpdatePage() {
  updating_ = true;
  const TFeeTables& tables = context_.Doc.FeeTables();
  cbTable->setCurrentIndex(tables.IsValidIndex(tables.ItemIndex) ? tables.ItemIndex : 0);
  cbScheme->clear();
  cbScheme->addItems(Q(TFeeTables::SchemeNames()).split(QStringLiteral("\r\n")));
  cbScheme->setCurrentIndex(CurrentTable().SchemeType());
  updating_ = false;
  FillList();
  UpdateButtons();
}

void TfmFees::FillList() {
  const TFees& fees = CurrentFees();
  lvFees->clear();
  for (int i = 0; i < fees.Count(); ++i) {
    const TFee& fee = fees.Items(i);
    new QTreeWidgetItem(lvFees, {Q(FeeSumText(fee)), Q(FeeValueText(fee))});
  }
  if (!fees.IsValidIndex(fees.ItemIndex)) return;
  QTreeWidgetItem* item = lvFees->topLevelItem(fees.ItemIndex);
  lvFees->setCurrentItem(item);
  lvFees->scrollToItem(item);
  if (isVisible()) lvFees->setFocus();
}

void TfmFees::UpdateButtons() {
  const TFees& fees = CurrentFees();
  const bool rows = lvFees->topLevelItemCount() > 0;
  for (QPushButton* b : {btnEdit, btnDelete, btnClear}) b->setEnabled(rows);
  for (QAction* a : {actEdit, actDelete, actClear}) a->setEnabled(rows);
  btnAdd->setEnabled(fees.CanAdd());
  actAdd->setEnabled(fees.CanAdd());
}

void TfmFees::FocusAdd() {
  if (lvFees->topLevelItemCount() == 0 && btnAdd->isEnabled() && btnAdd->isVisible()) btnAdd->setFocus();
}

int TfmFees::SelectedRow() const {
  QTreeWidgetItem* item = lvFees->currentItem();
  return item == nullptr ? -1 : lvFees->indexOfTopLevelItem(item);
}

bool TfmFees::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lvFees && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Delete) {
      btnDeleteClick();
      return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      btnEditClick();
      return true;
    }
  }
  return TAppPage::eventFilter(watched, event);
}

void TfmFees::TableChosen(int index) {
  if (updating_ || index < 0) return;
  context_.Doc.FeeTables().ItemIndex = index;
  UpdatePage();
}

void TfmFees::SchemeChosen(int index) {
  if (updating_ || index < 0) return;
  CurrentTable().SetSchemeType(index);
}

void TfmFees::btnAddClick() {
  TFees& fees = CurrentFees();
  if (!fees.CanAdd()) return;
  const std::int32_t selected = fees.ItemIndex;
  TFee& fee = fees.Add();
  if (RunFeeDialog(fee)) {
    // The rate found its place by its sum; the selection follows it there.
    fees.ItemIndex = fees.IndexOf(fee);
  } else {
    fees.Delete(fees.IndexOf(fee));
    fees.ItemIndex = selected;
  }
  UpdatePage();
}

void TfmFees::btnEditClick() {
  TFees& fees = CurrentFees();
  const int row = SelectedRow();
  if (!fees.IsValidIndex(row)) return;
  TFee& fee = fees.Items(row);
  if (!RunFeeDialog(fee)) return;
  fees.ItemIndex = fees.IndexOf(fee);
  UpdatePage();
}

void TfmFees::btnDeleteClick() {
  TFees& fees = CurrentFees();
  const int row = SelectedRow();
  if (!fees.IsValidIndex(row)) return;
  fees.ItemIndex = row;
  fees.Delete(row);
  if (fees.Count() > 0 && fees.ItemIndex >= fees.Count()) fees.ItemIndex = fees.Count() - 1;
  UpdatePage();
  FocusAdd();
}

void TfmFees::btnClearClick() {
  CurrentFees().Clear();
  lvFees->clear();
  UpdateButtons();
  FocusAdd();
}

void TfmFees::btnClearAllClick() {
  context_.Doc.FeeTables().ClearAllFees();
  lvFees->clear();
  UpdateButtons();
  FocusAdd();
}

void TfmFees::btnLoadClick() {
  const QString file =
      context_.Messages.OpenFileName(this, {QString::fromUtf8(kOpenFilter), "xml", kFeesFolder, {}});
  if (file.isEmpty()) return;
  // The tables change only when the whole file was read; the list shows nothing of the
  // model while the worker runs, so it is refreshed after.
  TFeeTables& tables = context_.Doc.FeeTables();
  RunOperation([&tables, name = S(file)] { TAppDocXml().LoadFeeTables(tables, name); },
               [this] { UpdatePage(); });
}

void TfmFees::btnSaveClick() {
  const QString file =
      context_.Messages.SaveFileName(this, {QString::fromUtf8(kSaveFilter), "xml", kFeesFolder, {}});
  if (file.isEmpty()) return;
  const TFeeTables& tables = context_.Doc.FeeTables();
  RunOperation([&tables, name = S(file)] { TAppDocXml().SaveFeeTables(tables, name); });
}

void TfmFees::btnWriteClick() {
  TOrtena& facade = context_.Facade;
  const TFeeTables& tables = context_.Doc.FeeTables();
  RunOperation([&facade, &tables] { facade.WriteFeeTables(tables); });
}

void TfmFees::btnReadClick() {
  TOrtena& facade = context_.Facade;
  TFeeTables& tables = context_.Doc.FeeTables();
  RunOperation([&facade, &tables] { facade.ReadFeeTables(tables); }, [this] { UpdatePage(); });
}

}  // namespace quorvel::ui

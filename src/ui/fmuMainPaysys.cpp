// The main window's payment-system part: the table of systems and their pages, the toolbar's
// choice of the system and the subtree each one adds to the tree.
#include "AppDoc.h"
#include "fmuMain.h"
#include "fmuPaysys.h"

#include <QComboBox>
#include <QLayout>
#include <QSignalBlocker>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QTreeWidgetItemIterator>

namespace quorvel::ui {

void TfmMain::CreatePaymentSystems(QLayout* panel) {
  TAppDoc& doc = context_.Doc;
  fmMasterPort = new TfmMasterPort(context_, runner_, DataPanel);
  fmCyberPlat = new TfmCyberPlat(context_, runner_, DataPanel);
  fmEPort = new TfmEPort(context_, runner_, DataPanel);
  fmEPortPrivateKey = new TfmEPortPrivateKey(context_, runner_, DataPanel);
  fmXPlat = new TfmXPlat(context_, runner_, DataPanel);
  fmOSMP = new TfmOSMP(context_, runner_, DataPanel);
  fmPegasOSMP = new TfmPegasOSMP(context_, runner_, DataPanel);
  fmEasyPay = new TfmEasyPay(context_, runner_, DataPanel);
  fmKrasplat = new TfmKrasplat(context_, runner_, DataPanel);
  fmBercut = new TfmBercut(context_, runner_, DataPanel);
  fmAbsolutplat = new TfmAbsolutplat(context_, runner_, DataPanel);
  fmEurofon = new TfmEurofon(context_, runner_, DataPanel);
  fmPegasMP = new TfmPegasMP(context_, runner_, DataPanel);
  fmUbsPay = new TfmUbsPay(context_, runner_, DataPanel);
  // The numbers the terminal reports for its active system, in the toolbar's order. PegasOSMP
  // has no number of its own: it works under OSMP's 4 and is reached through the toolbar.
  systemRows_ = {
      {0, &doc.MasterPort(), fmMasterPort},
      {1, &doc.Cyberplat(), fmCyberPlat},
      {2, &doc.EPort(), fmEPort},
      {3, &doc.XPlat(), fmXPlat},
      {4, &doc.OSMP(), fmOSMP},
      {4, &doc.PegasOSMP(), fmPegasOSMP},
      {5, &doc.EasyPay(), fmEasyPay},
      {6, &doc.Krasplat(), fmKrasplat},
      {7, &doc.Bercut(), fmBercut},
      {8, &doc.Absolutplat(), fmAbsolutplat},
      {9, &doc.Eurofon(), fmEurofon},
      {10, &doc.PegasMP(), fmPegasMP},
      {12, &doc.UbsPay(), fmUbsPay},
  };
  for (const TSystemRow& row : systemRows_) {
    row.Page->hide();
    panel->addWidget(row.Page);
  }
  fmEPortPrivateKey->hide();
  panel->addWidget(fmEPortPrivateKey);

  cbPaymentSystem = new QComboBox(this);
  cbPaymentSystem->setObjectName("cbPaymentSystem");
  cbPaymentSystem->setAccessibleName(QStringLiteral("Платежная система"));
  cbPaymentSystem->setToolTip(QStringLiteral("Платежная система"));
  cbPaymentSystem->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  for (const TSystemRow& row : systemRows_) cbPaymentSystem->addItem(Q(row.System->GetDisplayName()));
  if (auto* bar = findChild<QToolBar*>("ToolBar")) bar->addWidget(cbPaymentSystem);
  connect(cbPaymentSystem, &QComboBox::activated, this, &TfmMain::ChooseSystem);
}

QTreeWidgetItem* TfmMain::AddPaymentSystem(QTreeWidgetItem* parent, TPaymentSystem& system) {
  int index = 0;
  while (systemRows_.at(static_cast<std::size_t>(index)).System != &system) ++index;
  const TSystemRow& row = systemRows_[static_cast<std::size_t>(index)];
  QTreeWidgetItem* node = AddSystemPages(parent, row.Page, system);
  if (row.Page == fmEPort) AddPage(node, fmEPortPrivateKey);
  shownSystem_ = &system;
  const QSignalBlocker quiet(cbPaymentSystem);
  cbPaymentSystem->setCurrentIndex(index);
  return node;
}

void TfmMain::ChooseSystem(int index) {
  if (index < 0 || index >= static_cast<int>(systemRows_.size())) return;
  const TSystemRow& row = systemRows_[static_cast<std::size_t>(index)];
  if (row.System == shownSystem_) return;
  shownSystem_ = row.System;
  CurrentSystemID = row.Number;
  try {
    BuildTree(row.Number);
  } catch (...) {
    runner_.ShowError(std::current_exception());
    return;
  }
  // The chosen system's own page comes on screen.
  for (QTreeWidgetItemIterator it(TreeView); *it != nullptr; ++it)
    if ((*it)->data(0, Qt::UserRole).value<QObject*>() == row.Page) TreeView->setCurrentItem(*it);
}

}  // namespace quorvel::ui

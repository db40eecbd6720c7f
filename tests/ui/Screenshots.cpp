// Pictures of the program as a user sees it, against the simulator: the main window on every
// page of its tree (each reached through the tree, after its read button where it has one),
// and the dialogs as they stand over the window. Usage: quorvel_ui_screenshots OUTDIR
#include "Bootloader.h"
#include "BootloaderFlash.h"
#include "FeeTable.h"
#include "Fees.h"
#include "HexImage.h"
#include "UiFixture.h"
#include "fmuAbout.h"
#include "fmuBench.h"
#include "fmuJournal.h"
#include "fmuDebug.h"
#include "fmuFees.h"
#include "fmuFind.h"
#include "fmuGprsProvider.h"
#include "fmuLogParams.h"
#include "fmuMain.h"
#include "fmuModemSerial.h"
#include "fmuPaysys.h"
#include "fmuReceiptLines.h"
#include "fmuScript.h"
#include "fmuScriptSettings.h"
#include "fmuScripts.h"
#include "fmuServer.h"
#include "fmuSettings.h"
#include "fmuSimCard.h"
#include "fmuStatus.h"
#include "fmuUpdate.h"
#include "fmuXmlData.h"

#include "PaymentSystem.h"
#include "Profile.h"
#include "Scripts.h"

#include <QApplication>
#include <QTableWidget>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cstdio>

namespace {

using quorvel::ui::TfmMain;

void Settle(int ms = 300) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool Save(QWidget* w, const QString& dir, const QString& name) {
  Settle();
  const QString path = dir + "/" + name + ".png";
  if (!w->grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// The screen where window and dialog stand, the dialog over the window: what the user sees.
bool SaveOver(QWidget* window, QWidget* dialog, const QString& dir, const QString& name) {
  Settle();
  QRect area = window->frameGeometry();
  if (dialog != nullptr) area = area.united(dialog->frameGeometry());
  const QPixmap shot =
      QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  const QString path = dir + "/" + name + ".png";
  if (shot.isNull() || !shot.save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// Selects the tree node of page (any depth), as a click in the tree would.
void Select(TfmMain& w, const QWidget* page) {
  for (QTreeWidgetItemIterator it(w.TreeView); *it != nullptr; ++it)
    if ((*it)->data(0, Qt::UserRole).value<QObject*>() == page) w.TreeView->setCurrentItem(*it);
}

void ClickAndWait(TfmMain& w, QPushButton* button) {
  QSignalSpy done(&w.Runner(), &quorvel::ui::TOperationRunner::finished);
  button->click();
  done.wait(15000);
}

// The provider page of the subtree the tree shows.
quorvel::ui::TfmXmlData* ProviderPage(TfmMain& w) {
  for (QTreeWidgetItemIterator it(w.TreeView); *it != nullptr; ++it) {
    auto* page = qobject_cast<quorvel::ui::TfmXmlData*>((*it)->data(0, Qt::UserRole).value<QObject*>());
    if (page != nullptr && &page->Kind() == &quorvel::ui::kXmlDataKind) return page;
  }
  return nullptr;
}

// The update page after a run into the simulator's bootloader, and a provider page with XML.
bool SaveUpdatePages(TfmMain& w, quorvel::ui::test::TUiFixture& f, const QString& dir) {
  bool ok = true;
  const QString hex = f.Home.filePath("Ortena.hex");
  QFile file(hex);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(quorvel::ui::test::IntelHex(0, quorvel::ui::test::HexPattern(6000)));
  file.close();
  f.Sim.SetBootloaderFactory(
      quorvel::sim::BootloaderFactory(std::make_shared<quorvel::sim::TBootloaderFlash>()));
  f.Sim.EnterBootloader();
  Select(w, w.fmUpdate);
  w.fmUpdate->edtFileName->setText(hex);
  QSignalSpy ended(w.fmUpdate, &quorvel::ui::TfmUpdate::updateFinished);
  w.fmUpdate->btnWrite->click();
  ended.wait(60000);
  ok = Save(&w, dir, "17-update") && ok;
  f.Sim.Restart();  // out of the bootloader, back to the PC link

  quorvel::ui::TfmXmlData* providers = ProviderPage(w);
  if (providers == nullptr) return false;
  Select(w, providers);
  providers->seData->setPlainText(QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<!-- Провайдеры терминала -->\n<providers>\n"
      "  <group name=\"Сотовая связь\">\n    <provider id=\"1\" name=\"Оператор &quot;Север&quot;\"/>\n"
      "    <provider id=\"2\" name=\"Оператор &amp; партнеры\"/>\n  </group>\n</providers>\n"));
  ClickAndWait(w, providers->btnWrite);
  ok = Save(&w, dir, "18-providers") && ok;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(quorvel::ui::kAppTitle);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  quorvel::ui::LoadQtTranslations(app);

  quorvel::ui::test::TUiFixture f;
  TfmMain w(*f.Context);
  w.show();
  bool ok = true;
  Select(w, w.fmStatus);
  ClickAndWait(w, w.fmStatus->btnRead);
  ok = Save(&w, dir, "01-status") && ok;
  Select(w, w.fmModemSerial);
  ClickAndWait(w, w.fmModemSerial->btnRead);
  ok = Save(&w, dir, "02-serial") && ok;
  Select(w, w.fmDebug);
  w.fmDebug->btnPortOpenClick();
  ClickAndWait(w, w.fmModemSerial->btnRead);
  Settle(1200);
  ok = Save(&w, dir, "03-debug") && ok;
  w.fmDebug->btnPortCloseClick();

  quorvel::ui::TfmSettings settings(*f.Context, w.Runner(), &w);
  settings.show();
  QSignalSpy linkDone(&w.Runner(), &quorvel::ui::TOperationRunner::finished);
  settings.btnConnect->click();
  linkDone.wait(15000);
  ok = SaveOver(&w, &settings, dir, "04-settings") && ok;
  settings.hide();

  quorvel::ui::TfmFind find({{"ttyS0", "/dev/ttyS0", "", 1}, {"sim", f.Sim.SlavePath(), "", 2}},
                            f.Session->Settings().PortName(), &w);
  find.show();
  f.Session->ClosePort();
  QSignalSpy ended(&find, &quorvel::ui::TfmFind::searchEnded);
  find.btnStartClick();
  ended.wait(20000);
  ok = SaveOver(&w, &find, dir, "05-find") && ok;
  find.hide();

  quorvel::ui::TfmLogParams logParams(f.Session->Settings().Log(), &w);
  logParams.show();
  ok = SaveOver(&w, &logParams, dir, "06-log") && ok;
  logParams.hide();

  quorvel::ui::TfmAbout about(&w);
  about.show();
  ok = SaveOver(&w, &about, dir, "07-about") && ok;
  about.hide();

  Select(w, w.fmSimCard);
  ClickAndWait(w, w.fmSimCard->btnRead);
  ok = Save(&w, dir, "08-simcard") && ok;
  quorvel::TGprsProviders& providers = f.Session->Doc().GprsProviders();
  for (const char* name : {"МТС", "Билайн", "МегаФон"}) providers.Add().SetName(name);
  providers.ItemIndex = 1;
  quorvel::ui::TfmGprsProvider operators(*f.Context, w.Runner(), &w);
  operators.show();
  ok = SaveOver(&w, &operators, dir, "09-gprs-operators") && ok;
  operators.hide();
  // The server page of the system the tree shows, once the system's subtree is in it.
  for (QTreeWidgetItemIterator it(w.TreeView); *it != nullptr; ++it) {
    auto* server = qobject_cast<quorvel::ui::TfmServer*>((*it)->data(0, Qt::UserRole).value<QObject*>());
    if (server == nullptr) continue;
    w.TreeView->setCurrentItem(*it);
    ClickAndWait(w, server->btnRead);
    ok = Save(&w, dir, "10-server") && ok;
    break;
  }
  f.Session->Doc().EPort().CardNumber = "123456789012";
  f.Session->Doc().EPort().Point = "77";
  w.ChooseSystem(w.cbPaymentSystem->findText("EPort"));
  Select(w, w.fmEPort);
  ok = Save(&w, dir, "11-eport") && ok;
  Select(w, w.fmHeader);
  ClickAndWait(w, w.fmHeader->btnRead);
  ok = Save(&w, dir, "12-header") && ok;
  quorvel::TFees& fees = f.Session->Doc().FeeTables().Items(0).Fees();
  fees.Add().SetValues(quorvel::kFeePercent, quorvel::Money::Parse("1000"), 1.5);
  fees.Add().SetValues(quorvel::kFeePercent, quorvel::Money::Parse("5000"), 1);
  fees.Add().SetValues(quorvel::kFeeFixed, quorvel::Money::Parse("15000"), 50);
  Select(w, w.fmFees);
  ok = Save(&w, dir, "13-fees") && ok;
  {
    quorvel::TPaymentSystem& system = f.Session->Doc().PaymentSystems().SystemForPage(0);
    quorvel::TScript& script = system.Scripts().AddNew();
    script.SetName("Ввод счета и суммы");
    script.SetText(
        "// Лицевой счет, затем сумма\r\nACCOUNT = MASKEDIT(0,0,120,20,'9999999999',1);\r\n"
        "AMOUNT = SUMEDIT(0,30,120,20,10.0,15000.0,2);\r\nFOO(1);\r\n");
    // The scripts page of the system the tree shows, reached through its node.
    w.ChooseSystem(0);
    for (QTreeWidgetItemIterator it(w.TreeView); *it != nullptr; ++it) {
      auto* scripts = qobject_cast<quorvel::ui::TfmScripts*>((*it)->data(0, Qt::UserRole).value<QObject*>());
      if (scripts == nullptr) continue;
      w.TreeView->setCurrentItem(*it);
      scripts->UpdatePage();
      ok = Save(&w, dir, "14-scripts") && ok;
      break;
    }
    quorvel::ui::TfmScript editor(*f.Context, &w);
    editor.show();
    editor.Open(script, *f.Session->Doc().ScriptDefs().First());
    editor.SelectError(0);
    ok = SaveOver(&w, &editor, dir, "15-script-editor") && ok;
    editor.hide();
    quorvel::ui::TfmScriptSettings scriptSettings(*f.Context, w.Runner(), &w);
    scriptSettings.show();
    ok = SaveOver(&w, &scriptSettings, dir, "16-script-settings") && ok;
  }
  ok = SaveUpdatePages(w, f, dir) && ok;

  // Every other page of the tree, as the tree of each system in the toolbar shows it.
  Select(w, w.fmTrailer);
  ok = Save(&w, dir, "19-trailer") && ok;
  QStringList seen;
  for (int system = 0; system < w.cbPaymentSystem->count(); ++system) {
    w.ChooseSystem(system);
    int index = 0;
    for (QTreeWidgetItemIterator it(w.TreeView); *it != nullptr; ++it, ++index) {
      auto* page = qobject_cast<quorvel::ui::TAppPage*>((*it)->data(0, Qt::UserRole).value<QObject*>());
      // The pages every tree holds were taken above (the system's own page is the sixth node);
      // one picture per kind of page under a system.
      if ((*it)->parent() == nullptr && index != 5) continue;
      if (seen.contains(page->objectName())) continue;
      seen << page->objectName();
      w.TreeView->setCurrentItem(*it);
      ok = Save(&w, dir, QStringLiteral("%1-%2").arg(19 + seen.size()).arg(page->objectName())) && ok;
    }
  }
  // The service bench over the window, after a run into the simulated terminal.
  {
    const QString profileFile = f.Home.filePath("shop.xml");
    quorvel::TProfile profile;
    profile.Groups = {quorvel::TProfileGroup::Header, quorvel::TProfileGroup::Trailer};
    profile.Header = "Магазин «Ромашка»\r\n";
    profile.Trailer = "Спасибо за покупку\r\n";
    profile.SaveToFile(profileFile.toStdString());
    quorvel::ui::TfmBench bench(*f.Context, &w);
    bench.SetPorts({{"sim", f.Sim.SlavePath(), "", 1}});
    bench.edtProfile->setText(profileFile);
    bench.show();
    QSignalSpy benchEnded(&bench, &quorvel::ui::TfmBench::runEnded);
    bench.btnStartClick();
    if (benchEnded.count() == 0) benchEnded.wait(60000);
    ok = SaveOver(&w, &bench, dir, "38-bench") && ok;
  }
  // The service record's journal over the window, with the bench's run above.
  {
    quorvel::ui::TfmJournal journal(*f.Context, w.Runner(), &w);
    QSignalSpy loaded(&journal, &quorvel::ui::TfmJournal::loaded);
    journal.show();
    if (loaded.count() == 0) loaded.wait(60000);
    if (journal.gridRuns->rowCount() > 0) journal.gridRuns->selectRow(0);
    ok = SaveOver(&w, &journal, dir, "39-journal") && ok;
  }
  return ok ? 0 : 1;
}

// The SIM card page with its operator dialog, and a payment system's server page.
#include "AppDocXml.h"
#include "LoopbackHttp.h"
#include "UiFixture.h"
#include "fmuGprsProvider.h"
#include "fmuMain.h"
#include "fmuServer.h"
#include "fmuSimCard.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <memory>

namespace quorvel::ui::test {

class SimServerGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    f_ = std::make_unique<TUiFixture>();
    w_ = std::make_unique<TfmMain>(*f_->Context);
    w_->show();
  }
  void cleanup() {
    w_.reset();
    f_.reset();
  }

  void rememberedAccessValuesReplaceTheDocumentsOnlyWhenStored() {
    TSimCards& cards = f_->Session->Doc().SimCards();
    cards.FindSlot(1).Apn = "doc.apn";
    cards.FindSlot(2).Enabled = true;
    {
      QSettings ini(f_->Context->IniFileName, QSettings::IniFormat);
      ini.setValue("SimCardForm/Apn", "remembered.apn");
      ini.setValue("SimCardForm/Login", "rem");
    }
    TfmSimCard& page = *w_->fmSimCard;
    w_->Pages.ShowPage(&page);
    QCOMPARE(page.edtApn->text(), QString("remembered.apn"));
    QCOMPARE(cards.FindSlot(1).Apn, std::string("remembered.apn"));
    QCOMPARE(cards.FindSlot(1).Login, std::string("rem"));
    QVERIFY(cards.FindSlot(1).Enabled && !cards.FindSlot(2).Enabled);

    // Nothing remembered: the card from the document stays as it is.
    TfmSimCard fresh(*f_->Context, w_->Runner());
    QSettings(f_->Context->IniFileName, QSettings::IniFormat).remove("SimCardForm");
    cards.FindSlot(1).Apn = "doc.apn";
    fresh.show();
    fresh.UpdatePage();
    QCOMPARE(fresh.edtApn->text(), QString("doc.apn"));
    QCOMPARE(cards.FindSlot(1).Apn, std::string("doc.apn"));
  }

  void aRefusedSimEntryFocusesItsFieldAndSendsNothing() {
    TfmSimCard& page = *w_->fmSimCard;
    w_->Pages.ShowPage(&page);
    struct TCase {
      QString Pin, Apn, Message, Selected;
      QLineEdit* Field;
    };
    const TCase cases[] = {
        {"", "internet", "Необходимо ввести PIN-код SIM-карты 1.", "", page.edtPin},
        {"12", "internet", "PIN-код SIM-карты должен состоять из четырех цифр", "12", page.edtPin},
        {"1234", "", "Не введено имя точки доступа SIM-карты 1.", "", page.edtApn},
    };
    for (const TCase& c : cases) {
      f_->Messages.Errors.clear();
      page.edtPin->setText(c.Pin);
      page.edtApn->setText(c.Apn);
      page.btnProvider->setFocus();
      QTest::mouseClick(page.btnWrite, Qt::LeftButton);
      QCOMPARE(f_->Messages.Errors, QStringList{c.Message});
      QCOMPARE(page.window()->focusWidget(), c.Field);
      QCOMPARE(c.Field->selectedText(), c.Selected);
      QVERIFY(!w_->Runner().Busy());
    }
    QCOMPARE(f_->Sim.CommandCount(), 0u);
    QCOMPARE(f_->Sim.State().Sims[0].Apn, std::string("internet.mts.ru"));
  }

  void aWrittenCardReachesTheTerminalAndReadsBack() {
    f_->Sim.Update([](sim::TSimState& s) { s.Sims[1] = {true, true, "1111", "second.apn", "", "", true}; });
    TfmSimCard& page = *w_->fmSimCard;
    w_->Pages.ShowPage(&page);
    QTest::keyClicks(page.edtPin, "12x34");
    QCOMPARE(page.edtPin->text(), QString("1234"));
    page.edtApn->setText("internet.beeline.ru");
    page.edtLogin->setText("beeline");
    page.edtPassword->setText("bee line");
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.last().at(0).toBool(), true);
    const sim::TSimState state = f_->Sim.State();
    QVERIFY(state.Sims[0].Enabled && state.Sims[0].Priority);
    QCOMPARE(state.Sims[0].Pin, std::string("1234"));
    QCOMPARE(state.Sims[0].Apn, std::string("internet.beeline.ru"));
    QCOMPARE(state.Sims[0].Password, std::string("bee line"));
    QVERIFY(!state.Sims[1].Present);
    QSettings ini(f_->Context->IniFileName, QSettings::IniFormat);
    QCOMPARE(ini.value("SimCardForm/Login").toString(), QString("beeline"));

    f_->Sim.Update([](sim::TSimState& s) { s.Sims[0].Login = "other"; });
    page.edtLogin->clear();
    QTest::mouseClick(page.btnRead, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(page.edtLogin->text(), QString("other"));
    QCOMPARE(page.edtApn->text(), QString("internet.beeline.ru"));
    QCOMPARE(page.edtPin->text(), QString("1234"));
  }

  void theOperatorDialogFillsTheAccessFieldsAndLeavesThePin() {
    TGprsProviders& providers = f_->Session->Doc().GprsProviders();
    providers.Clear();
    for (const char* name : {"МТС", "Билайн"}) {
      TGprsProvider& p = providers.Add();
      p.SetName(name);
      p.Apn = std::string(name) == "МТС" ? "internet.mts.ru" : "internet.beeline.ru";
      p.Login = p.Password = std::string(name) == "МТС" ? "mts" : "beeline";
    }
    providers.ItemIndex = 0;
    TfmSimCard& page = *w_->fmSimCard;
    w_->Pages.ShowPage(&page);
    page.edtPin->setText("5678");
    QStringList shown;
    page.RunProviderDialog = [&](TfmGprsProvider& dialog) {
      for (int i = 0; i < dialog.lbProviders->count(); ++i) shown << dialog.lbProviders->item(i)->text();
      shown << QString::number(dialog.lbProviders->currentRow());
      QListWidget* list = dialog.lbProviders;
      const QRect row = list->visualItemRect(list->item(1));
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
      return dialog.result() == QDialog::Accepted;
    };
    QTest::mouseClick(page.btnProvider, Qt::LeftButton);
    QCOMPARE(shown, (QStringList{"МТС", "Билайн", "0"}));
    QCOMPARE(providers.ItemIndex, 1);
    QCOMPARE(page.edtApn->text(), QString("internet.beeline.ru"));
    QCOMPARE(page.edtLogin->text(), QString("beeline"));
    QCOMPARE(page.edtPassword->text(), QString("beeline"));
    QCOMPARE(page.edtPin->text(), QString("5678"));

    // Cancel changes nothing.
    page.RunProviderDialog = [](TfmGprsProvider& dialog) {
      dialog.lbProviders->setCurrentRow(0);
      QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
      return dialog.result() == QDialog::Accepted;
    };
    QTest::mouseClick(page.btnProvider, Qt::LeftButton);
    QCOMPARE(page.edtApn->text(), QString("internet.beeline.ru"));
    QCOMPARE(providers.ItemIndex, 1);

    // Enter in the list is OK.
    page.RunProviderDialog = [](TfmGprsProvider& dialog) {
      dialog.show();
      dialog.lbProviders->setCurrentRow(0);
      QTest::keyClick(dialog.lbProviders, Qt::Key_Return);
      return dialog.result() == QDialog::Accepted;
    };
    QTest::mouseClick(page.btnProvider, Qt::LeftButton);
    QCOMPARE(page.edtApn->text(), QString("internet.mts.ru"));
    QCOMPARE(providers.ItemIndex, 0);
  }

  void theOperatorListComesFromTheSupportServerWithTheButtonsOff() {
    QTemporaryDir site;
    QDir(site.path()).mkpath("ortena");
    std::ofstream(site.filePath("ortena/gprsconfig.xml").toStdString())
        << "<?xml version='1.0' encoding='windows-1251'?><ServiceProviders>"
           "<ServiceProvider name=\"Tele2\" apn=\"internet.tele2.ru\" login=\"\" password=\"\"/>"
           "</ServiceProviders>";
    quorvel::test::LoopbackHttpServer server(site.path().toStdString());
    if (!server.Ready()) QSKIP("no python3 HTTP server");
    f_->Session->Doc().PaymentSystems().SupportServer = server.Url("");
    TfmGprsProvider dialog(*f_->Context, w_->Runner(), w_.get());
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(dialog.btnUpdate, Qt::LeftButton);
    QVERIFY(!dialog.btnOk->isEnabled() && !dialog.btnCancel->isEnabled());
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.last().at(0).toBool(), true);
    QVERIFY(dialog.btnOk->isEnabled());
    QCOMPARE(dialog.lbProviders->count(), 1);
    QCOMPARE(dialog.lbProviders->item(0)->text(), QString("Tele2"));
  }

  void aPortWithLettersIsWrittenAsZero() {
    TfmServer& page = ServerPage(f_->Session->Doc().MasterPort());
    page.edtAddress->setText("10.1.2.3");
    page.edtPort->setText("8o8");
    page.seRetryCount->setValue(7);
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.last().at(0).toBool(), true);
    QCOMPARE(f_->Sim.State().ServerPort, 0);
    QCOMPARE(f_->Sim.State().ServerAddress, std::string("10.1.2.3"));
    QCOMPARE(f_->Sim.State().RetryCount.value_or(-1), 7);
  }

  void aRetryCountOutOfRangeKeepsThePageAndIsNotWritten() {
    TfmServer& page = ServerPage(f_->Session->Doc().MasterPort());
    page.seRetryCount->selectAll();
    QTest::keyClicks(page.seRetryCount, "150");
    QTreeWidgetItem* status = w_->TreeView->topLevelItem(0);
    QTest::mouseClick(w_->TreeView->viewport(), Qt::LeftButton, {},
                      w_->TreeView->visualItemRect(status).center());
    const QString range = "Неверное значение числа повторов, 150. Допустимые значения: 1..100";
    QCOMPARE(f_->Messages.Errors, QStringList{range});
    QCOMPARE(w_->Pages.Current(), &page);
    QCOMPARE(w_->TreeView->currentItem()->text(0), QString("Сервер"));
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QCOMPARE(f_->Messages.Errors.size(), 2);
    QVERIFY(!w_->Runner().Busy());
    QCOMPARE(f_->Sim.CommandCount(), 0u);
  }

  void loadingReadsTestConfigurationsOnlyForMasterPort() {
    TAppDoc& doc = f_->Session->Doc();
    // A saved server file (not a test configuration) and a test configuration.
    TAppDoc source(f_->Home.filePath("source.xml").toStdString());
    source.SaveOnDestroy = false;
    source.MasterPort().ServerParams().Address = "172.16.0.9";
    source.MasterPort().ServerParams().Port = 9100;
    source.MasterPort().ServerParams().SetRetryCount(12);
    const QString serverFile = f_->Home.filePath("server.xml");
    AppDocXml().SaveServerParams(source.MasterPort(), S(serverFile));
    const QString config = f_->Home.filePath("config.xml");
    std::ofstream(config.toStdString())
        << "<Config><Ortena><ModemNumber>77001122</ModemNumber></Ortena><PaymentServer><Port>5443</Port>"
           "<Host>10.0.0.7</Host><ApplicationId>a</ApplicationId><SenderID>s</SenderID>"
           "<ReceiverId>r</ReceiverId>"
           "<PublicKey><RSAKeyValue><Modulus>m</Modulus><Exponent>e</Exponent></RSAKeyValue></PublicKey>"
           "<PrivateKey><RSAKeyValue><Modulus>m</Modulus><Exponent>e</Exponent><P>p</P><Q>q</Q><DP>1</DP>"
           "<DQ>2</DQ><InverseQ>i</InverseQ><D>d</D></RSAKeyValue></PrivateKey></PaymentServer></Config>";

    TfmServer& masterPort = ServerPage(doc.MasterPort());
    QCOMPARE(LoadFile(masterPort, serverFile), true);
    QCOMPARE(masterPort.edtAddress->text(), QString("172.16.0.9"));
    QCOMPARE(masterPort.edtPort->text(), QString("9100"));
    QCOMPARE(masterPort.seRetryCount->value(), 12);
    const TFileDialogDef& dialog = f_->Messages.FileDialogs.back();
    QCOMPARE(dialog.Filter, QString("Файл xml (*.xml)|*.xml|Все файлы (*.*)|*.*"));
    QCOMPARE(dialog.DefaultExt, QString("xml"));
    QCOMPARE(LoadFile(masterPort, config), true);
    QCOMPARE(masterPort.edtAddress->text(), QString("10.0.0.7"));
    QCOMPARE(doc.MasterPort().SerialNumber, std::string("77001122"));

    TfmServer& pegas = ServerPage(doc.PegasMP());
    const std::string serialBefore = doc.PegasMP().SerialNumber;
    QCOMPARE(LoadFile(pegas, config), false);
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QCOMPARE(doc.PegasMP().SerialNumber, serialBefore);
    QCOMPARE(LoadFile(pegas, serverFile), true);
    QCOMPARE(pegas.edtAddress->text(), QString("172.16.0.9"));
  }

 private:
  // The server page of the system, in the tree under a node for the system, on screen.
  TfmServer& ServerPage(TPaymentSystem& system) {
    auto* systemPage = new TAppPage(*f_->Context, w_->Runner(), Q(system.GetDisplayName()));
    QTreeWidgetItem* node = w_->AddSystemPages(nullptr, systemPage, system);
    QTreeWidgetItem* serverNode = node->child(0);
    auto* page = qobject_cast<TfmServer*>(serverNode->data(0, Qt::UserRole).value<QObject*>());
    if (page == nullptr || &page->System() != &system) qFatal("no server page of the system under its node");
    w_->TreeView->setCurrentItem(serverNode);
    return *page;
  }

  bool LoadFile(TfmServer& page, const QString& file) {
    f_->Messages.Files.push_back(file);
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(page.btnLoad, Qt::LeftButton);
    return done.wait(kWaitMs) && done.last().at(0).toBool();
  }

  std::unique_ptr<TUiFixture> f_;
  std::unique_ptr<TfmMain> w_;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::SimServerGuiTest)
#include "SimServerGuiTest.moc"

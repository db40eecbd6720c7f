// The provider and phone-base pages (editor, files, packet transfers with their progress) and
// the firmware update page, against the simulated terminal and its bootloader.
#include "Bootloader.h"
#include "BootloaderFlash.h"
#include "Cp1251.h"
#include "HexImage.h"
#include "ISPWriter.h"
#include "ModemDriver.h"
#include "SerialPort.h"
#include "UiFixture.h"
#include "XmlHighlighter.h"
#include "fmuMain.h"
#include "fmuUpdate.h"
#include "fmuXmlData.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTreeWidget>

#include <sys/stat.h>

#include <memory>

namespace quorvel::ui::test {

namespace {

// A provider file of exactly 600 bytes in windows-1251 with Cyrillic names and CR LF lines,
// as UTF-8 text with LF lines for the editor.
QString ProviderText() {
  QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<providers>\n");
  for (int i = 1; i <= 8; ++i)
    text += QStringLiteral("  <provider id=\"%1\" name=\"Оператор связи №%1\"/>\n").arg(i);
  text += QStringLiteral("</providers>\n<!-- ");
  // Padding inside the comment brings the file to 600 bytes (one byte per character, two
  // per line end).
  const qsizetype bytes = text.size() + text.count('\n');
  text += QString(600 - bytes - 4, QChar(0x0436)) + QStringLiteral(" -->");
  return text;
}

// An image of size bytes from address 0 as an Intel HEX file in the test's folder.
QString WriteHexFile(const TUiFixture& f, int size) {
  const QString hex = f.Home.filePath("app.hex");
  QFile file(hex);
  if (file.open(QIODevice::WriteOnly)) file.write(IntelHex(0, HexPattern(size)));
  return hex;
}

}  // namespace

class XmlUpdateGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { LoadQtTranslations(*QCoreApplication::instance()); }

  void init() {
    f_ = std::make_unique<TUiFixture>();
    w_ = std::make_unique<TfmMain>(*f_->Context);
    w_->show();
    systemPage_ = std::make_unique<TAppPage>(*f_->Context, w_->Runner(), QStringLiteral("OSMP"));
    QTreeWidgetItem* node = w_->AddSystemPages(nullptr, systemPage_.get(), f_->Session->Doc().OSMP());
    QCOMPARE(node->childCount(), 4);
    QCOMPARE(node->child(1)->text(0), QString("Провайдеры"));
    QCOMPARE(node->child(2)->text(0), QString("База номеров"));
    xml_ = qobject_cast<TfmXmlData*>(node->child(1)->data(0, Qt::UserRole).value<QObject*>());
    phones_ = qobject_cast<TfmXmlData*>(node->child(2)->data(0, Qt::UserRole).value<QObject*>());
    QVERIFY(xml_ != nullptr && phones_ != nullptr);
    QCOMPARE(&xml_->Kind(), &kXmlDataKind);
    QCOMPARE(&phones_->Kind(), &kPhonesKind);
  }
  void cleanup() {
    systemPage_.reset();
    w_.reset();
    f_.reset();
  }

  void aProviderFileGoesByteForByteInWindows1251AndReadsBackUnchanged() {
    const QString text = ProviderText();
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    xml_->seData->setPlainText(text);
    QTest::mouseClick(xml_->btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QVERIFY2(done.last().at(0).toBool(), qPrintable(f_->Messages.Errors.join("|")));
    const std::optional<std::string> stored = f_->Sim.State().XmlData;
    QVERIFY(stored.has_value());
    QCOMPARE(stored->size(), std::size_t{600});
    // "Оператор" in windows-1251, and lines ended with CR LF.
    QVERIFY(stored->find("\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0 \xF1\xE2\xFF\xE7\xE8 \xB9"
                         "1") != std::string::npos);
    QVERIFY(stored->find("<providers>\r\n  <provider") != std::string::npos);
    QCOMPARE(Cp1251ToUtf8(*stored), S(QString(text).replace("\n", "\r\n")));
    QCOMPARE(xml_->pbTransfer->maximum(), 3);
    QCOMPARE(xml_->pbTransfer->value(), 3);
    QCOMPARE(f_->Facade.DriverStatus().Text(), std::string());

    xml_->seData->setPlainText("прежний текст");
    QTest::mouseClick(xml_->btnRead, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(xml_->seData->toPlainText(), text);
    QCOMPARE(xml_->EditorText(), Cp1251ToUtf8(*stored));
    QCOMPARE(f_->Facade.DriverStatus().Text(), std::string());

    // The highlighter told the parts of the XML apart on a line of the file.
    const QTextBlock line = xml_->seData->document()->findBlockByNumber(2);
    QVERIFY(line.text().startsWith("  <provider id="));
    const QList<QTextLayout::FormatRange> formats = line.layout()->formats();
    const auto formatAt = [&](int pos) {
      for (const QTextLayout::FormatRange& r : formats)
        if (pos >= r.start && pos < r.start + r.length) return r.format;
      return QTextCharFormat();
    };
    QCOMPARE(formatAt(3), xml_->Highlighter->TagFormat);         // "provider"
    QCOMPARE(formatAt(12), xml_->Highlighter->AttributeFormat);  // "id"
    QCOMPARE(formatAt(15), xml_->Highlighter->ValueFormat);      // "\"1\""
  }

  void aCharacterWindows1251CannotHoldIsNamedAndNothingIsSent() {
    f_->Sim.Update([](sim::TSimState& s) { s.XmlData = std::string("old"); });
    const std::uint64_t commands = f_->Sim.CommandCount();
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    xml_->seData->setPlainText("<a>\n<b>Галочка ✓</b>\n</a>");
    QTest::mouseClick(xml_->btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.last().at(0).toBool(), false);
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QVERIFY2(f_->Messages.Errors[0].contains("✓") && f_->Messages.Errors[0].contains("Строка 2"),
             qPrintable(f_->Messages.Errors[0]));
    QCOMPARE(f_->Sim.CommandCount(), commands);
    QCOMPARE(f_->Sim.State().XmlData, std::optional<std::string>("old"));
    QVERIFY(xml_->btnWrite->isEnabled());
  }

  void aPhoneBaseOf64KiBShowsEveryPacketAsItGoesAndReadsBack() {
    QString text;
    for (int i = 0; text.size() + text.count('\n') < 64 * 1024; ++i)
      text += QStringLiteral("79%1;Абонент\n").arg(i, 9, 10, QChar('0'));
    text.truncate(64 * 1024 - text.count('\n'));
    const int lineEnds = static_cast<int>(text.count('\n'));
    const int size = static_cast<int>(text.size()) + lineEnds;
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QSignalSpy moved(phones_->pbTransfer, &QProgressBar::valueChanged);
    phones_->seData->setPlainText(text);
    QTest::mouseClick(phones_->btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(120000));
    QVERIFY2(done.last().at(0).toBool(), qPrintable(f_->Messages.Errors.join("|")));
    const int packets = (size + 255) / 256;
    QCOMPARE(phones_->pbTransfer->maximum(), packets);
    QCOMPARE(phones_->pbTransfer->value(), packets);
    QCOMPARE(phones_->lblTransfer->text(), QString("Пакетов: %1 из %1").arg(packets));
    // The bar moved while the transfer ran (steps the window had no time to draw are
    // shown together), never back.
    int between = 0;
    for (int i = 0; i < moved.count(); ++i) {
      const int value = moved[i][0].toInt();
      between += value > 0 && value < packets;
      if (i > 0) QVERIFY(value >= moved[i - 1][0].toInt());
    }
    QVERIFY2(between >= 2, qPrintable(QString::number(between)));
    QCOMPARE(f_->Sim.State().PhoneBase->size(), static_cast<std::size_t>(size));

    phones_->btnClearClick();
    QVERIFY(phones_->seData->toPlainText().isEmpty());
    QTest::mouseClick(phones_->btnRead, Qt::LeftButton);
    QVERIFY(done.wait(120000));
    QCOMPARE(phones_->seData->toPlainText(), text);
    QCOMPARE(phones_->lblTransfer->text(), QString("Пакетов: %1").arg(size / 256 + 1));
  }

  void readingReplacesTheEditorOnlyWhenTheTerminalAnswered() {
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    xml_->seData->setPlainText("мой текст");
    f_->Sim.Update([](sim::TSimState& s) { s.XmlData.reset(); });
    QTest::mouseClick(xml_->btnRead, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.last().at(0).toBool(), false);
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QCOMPARE(xml_->seData->toPlainText(), QString("мой текст"));
    QCOMPARE(f_->Facade.DriverStatus().Text(), std::string());

    f_->Sim.Update([](sim::TSimState& s) { s.XmlData = std::string(); });
    QTest::mouseClick(xml_->btnRead, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QVERIFY(done.last().at(0).toBool());
    QVERIFY(xml_->seData->toPlainText().isEmpty());
  }

  void filesLoadAndSaveTheirBytesAndAnEmptyOneKeepsTheEditor() {
    // CR LF lines, Cyrillic, a no-break space (0xA0) and the euro sign (0x88).
    const QByteArray bytes(
        "<\xEF\xF0\xEE\xE2\xE0\xE9\xE4\xE5\xF0>\xA0\x88</\xEF\xF0\xEE\xE2\xE0\xE9\xE4\xE5\xF0>\r\n"
        "<!-- \xEA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9 -->\r\n");
    const QString source = f_->Home.filePath("source.xml");
    const QString copy = f_->Home.filePath("copy.xml");
    const QString empty = f_->Home.filePath("empty.xml");
    for (const auto& [name, data] : {std::pair{source, bytes}, std::pair{empty, QByteArray()}}) {
      QFile file(name);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(data);
    }
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    f_->Messages.Files = {source, copy, empty};
    QTest::mouseClick(xml_->btnOpen, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QVERIFY(xml_->seData->toPlainText().startsWith("<провайдер>"));
    QTest::mouseClick(xml_->btnSave, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QFile saved(copy);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), bytes);

    const QString before = xml_->seData->toPlainText();
    QTest::mouseClick(xml_->btnOpen, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(f_->Messages.Errors, QStringList{"Файл пустой"});
    QCOMPARE(xml_->seData->toPlainText(), before);

    // A FIFO that nobody writes: refused at once, the page and the window stay usable.
    const QString fifo = f_->Home.filePath("providers.fifo");
    QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    f_->Messages.Files = {fifo};
    QTest::mouseClick(xml_->btnOpen, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w_->Runner().Busy(), kWaitMs);
    QCOMPARE(f_->Messages.Errors.last(), "\"" + fifo + "\" не является обычным файлом");
    QCOMPARE(xml_->seData->toPlainText(), before);
    QVERIFY(xml_->btnOpen->isEnabled());

    QCOMPARE(f_->Messages.FileDialogs.size(), std::size_t{4});
    const QString filter = "Файл xml (*.xml)|*.xml|Все файлы (*.*)|*.*";
    QCOMPARE(f_->Messages.FileDialogs[0].Filter, filter);
    QCOMPARE(f_->Messages.FileDialogs[0].DefaultExt, QString("xml"));
    QCOMPARE(f_->Messages.FileDialogs[1].Filter, filter);
    QCOMPARE(f_->Messages.FileDialogs[1].FileName, QString("xml"));
    QCOMPARE(xml_->btnOpen->toolTip(), QString("Загрузить из файла"));
  }

  void aFirmwareRunReachesTheEndAndTheWindowCannotCloseMeanwhile() {
    auto flash = std::make_shared<sim::TBootloaderFlash>();
    sim::TBootloaderFaults faults;
    faults.EraseDelayMs = 1500;  // holds the run while the window is tried
    f_->Sim.SetBootloaderFactory(sim::BootloaderFactory(flash, faults));
    QVERIFY(f_->Sim.EnterBootloader());
    const std::string image = HexPattern(2048);
    const QString hex = f_->Home.filePath("app.hex");
    QFile file(hex);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(IntelHex(0, image));
    file.close();

    TfmUpdate& page = *w_->fmUpdate;
    QVERIFY(!page.btnWrite->isEnabled());
    f_->Messages.Files = {hex};
    QTest::mouseClick(page.btnFileName, Qt::LeftButton);
    QCOMPARE(page.edtFileName->text(), hex);
    QVERIFY(page.btnWrite->isEnabled());
    QCOMPARE(f_->Messages.FileDialogs.back().DefaultExt, QString("hex"));
    QCOMPARE(f_->Messages.FileDialogs.back().InitialDir, QString("Firmware"));

    QSignalSpy prepared(&w_->Runner(), &TOperationRunner::finished);
    QSignalSpy ended(&page, &TfmUpdate::updateFinished);
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(prepared.wait(kWaitMs));
    QCOMPARE(f_->Messages.Infos, QStringList{"Перезапустите терминал и нажмите кнопку OK"});
    QVERIFY(page.Status().Snapshot().Running);
    QVERIFY(!page.btnWrite->isEnabled());
    // The rest of the window is off; the page's stop button is on.
    QVERIFY(!w_->TreeView->isEnabled());
    QVERIFY(!w_->menuBar()->isEnabled());
    QVERIFY(page.btnStop->isEnabled());
    QVERIFY_EXCEPTION_THROWN(page.CheckClose(), Exception);
    QVERIFY(!w_->close());
    QVERIFY(w_->isVisible());
    QCOMPARE(f_->Messages.Errors, QStringList{"Идет обновление ПО"});

    QVERIFY(ended.wait(60000));
    QCOMPARE(ended.last().at(0).toBool(), true);
    QCOMPARE(f_->Messages.Infos.size(), 2);
    QCOMPARE(f_->Messages.Infos[1], QString::fromUtf8(kWriteSucceeded));
    QCOMPARE(page.ProgressBar->maximum(), 4);  // two pages written, two verified
    QCOMPARE(page.ProgressBar->value(), 4);
    QVERIFY(page.edtStatus->text().startsWith("Запись выполнена успешно."));
    QVERIFY(page.edtDataRate->text().endsWith(" байт/с"));
    QVERIFY(page.edtTimeLeft->text().endsWith(" сек."));
    QVERIFY(page.btnWrite->isEnabled());
    QVERIFY(w_->centralWidget()->isEnabled());
    const std::string written = flash->Flash().substr(0, image.size());
    // The vector checksum word at offset 20 is the writer's to fill.
    QVERIFY(written.substr(0, 20) == image.substr(0, 20));
    QVERIFY(written.substr(24) == image.substr(24));
    QCOMPARE(f_->Session->Doc().HexFileName, S(hex));
    page.CheckClose();
  }

  void aStoppedTransferKeepsThePageAndAStoppedReadBringsNothing() {
    // Every reply a little late, so that the transfer still runs when the click comes.
    f_->Sim.ArmFault("*", {sim::TSimFaultKind::Delay, 0, 0, 20});
    QString text;
    while (text.size() < 40 * 256) text += QStringLiteral("79001234567;Абонент\n");
    const auto shown = [this] {
      const QRegularExpressionMatch m =
          QRegularExpression(QStringLiteral("Пакетов: (\\d+)")).match(phones_->lblTransfer->text());
      return m.hasMatch() ? m.captured(1).toInt() : 0;
    };
    phones_->seData->setPlainText(text);
    QVERIFY(!phones_->btnStop->isEnabled());
    QTest::mouseClick(phones_->btnWrite, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(shown() >= 3, kWaitMs);
    QVERIFY(phones_->btnStop->isEnabled());
    QVERIFY(!phones_->btnWrite->isEnabled());
    // A click, through the filter that keeps every other control of the busy window off.
    QTest::mouseClick(phones_->btnStop, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w_->Runner().Busy(), kWaitMs);
    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join("|")));
    QVERIFY2(phones_->lblTransfer->text().startsWith("Прервано. Пакетов: "),
             qPrintable(phones_->lblTransfer->text()));
    QVERIFY(shown() < phones_->pbTransfer->maximum());
    QCOMPARE(w_->StatusPanel->text(), QString(" Операция прервана"));
    QVERIFY(!phones_->btnStop->isEnabled());
    QVERIFY(phones_->btnWrite->isEnabled());
    QCOMPARE(phones_->seData->toPlainText(), text);
    // Packets sent stay sent; the rest never went.
    QVERIFY(!f_->Sim.State().PhoneBase ||
            f_->Sim.State().PhoneBase->size() < static_cast<std::size_t>(text.size()));

    // A read stopped midway leaves the editor as it was.
    f_->Sim.Update([&text](sim::TSimState& s) {
      s.PhoneBase = std::string(static_cast<std::size_t>(text.size()), 'x');
    });
    phones_->seData->setPlainText(QStringLiteral("прежний текст"));
    QTest::mouseClick(phones_->btnRead, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(shown() >= 3, kWaitMs);
    QTest::mouseClick(phones_->btnStop, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w_->Runner().Busy(), kWaitMs);
    QCOMPARE(phones_->seData->toPlainText(), QString("прежний текст"));
    QVERIFY(f_->Messages.Errors.isEmpty());
    QVERIFY(phones_->lblTransfer->text().startsWith("Прервано. "));

    // The next run is not stopped by the request of the last one.
    f_->Sim.ArmFault("*", {sim::TSimFaultKind::Delay, 0, 0, 0});
    phones_->seData->setPlainText(QStringLiteral("79001234567;Абонент"));
    QTest::mouseClick(phones_->btnWrite, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w_->Runner().Busy(), kWaitMs);
    QVERIFY(f_->Messages.Errors.isEmpty());
    QCOMPARE(phones_->lblTransfer->text(), QString("Пакетов: 1 из 1"));
  }

  void aStoppedFirmwareRunWritesNoFurtherPage() {
    auto flash = std::make_shared<sim::TBootloaderFlash>();
    sim::TBootloaderFaults faults;
    faults.EraseDelayMs = 1500;  // the click comes while the part erases
    f_->Sim.SetBootloaderFactory(sim::BootloaderFactory(flash, faults));
    QVERIFY(f_->Sim.EnterBootloader());
    const QString hex = WriteHexFile(*f_, 8192);
    TfmUpdate& page = *w_->fmUpdate;
    page.edtFileName->setText(hex);
    QSignalSpy ended(&page, &TfmUpdate::updateFinished);
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(page.btnStop->isEnabled(), kWaitMs);
    QTest::mouseClick(page.btnStop, Qt::LeftButton);
    QVERIFY(!page.btnStop->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, kWaitMs);
    QCOMPARE(ended.last().at(0).toBool(), false);
    QVERIFY(f_->Messages.Errors.isEmpty());
    QCOMPARE(f_->Messages.Infos.size(), 2);
    QVERIFY(f_->Messages.Infos[1].startsWith("Запись прервана."));
    QCOMPARE(page.ProgressBar->value(), 0);
    QVERIFY(flash->Flash().substr(0, 8192) == std::string(8192, '\xFF'));
    QVERIFY(page.btnWrite->isEnabled());
    QVERIFY(w_->TreeView->isEnabled());
  }

  void aRunTheBootloaderRefusesEndsInTheErrorBoxWithTheWindowBackOn() {
    sim::TBootloaderFaults faults;
    faults.WriteErrorOnCommand = 1;
    f_->Sim.SetBootloaderFactory(sim::BootloaderFactory(std::make_shared<sim::TBootloaderFlash>(), faults));
    QVERIFY(f_->Sim.EnterBootloader());
    const QString hex = WriteHexFile(*f_, 1024);
    TfmUpdate& page = *w_->fmUpdate;
    page.edtFileName->setText(hex);
    page.chbVerifyData->setChecked(false);
    QSignalSpy ended(&page, &TfmUpdate::updateFinished);
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(ended.wait(60000));
    QCOMPARE(ended.last().at(0).toBool(), false);
    QCOMPARE(f_->Messages.Infos.size(), 1);  // the restart request only
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QVERIFY2(f_->Messages.Errors[0].startsWith("12, "), qPrintable(f_->Messages.Errors[0]));
    QCOMPARE(page.ProgressBar->maximum(), 1);  // one page, no verification
    QCOMPARE(page.ProgressBar->value(), 0);
    QVERIFY(page.btnWrite->isEnabled());
    QVERIFY(w_->centralWidget()->isEnabled());
    QVERIFY(f_->Facade.Driver().SparePort().Active());
  }

  // An image of 8 KiB takes two RAM writes in the fast mode and sixteen in pages of 1 KiB: a
  // part that refuses the third one tells the modes apart.
  void theFastWriteBoxRunsTheFastMode() {
    TfmUpdate& page = *w_->fmUpdate;
    QVERIFY(!page.chbFastWrite->isChecked());
    QCOMPARE(page.chbFastWrite->accessibleName(), QString("Быстрая запись"));
    auto flash = std::make_shared<sim::TBootloaderFlash>();
    sim::TBootloaderFaults faults;
    faults.WriteErrorOnCommand = 3;
    f_->Sim.SetBootloaderFactory(sim::BootloaderFactory(flash, faults));
    QVERIFY(f_->Sim.EnterBootloader());
    page.edtFileName->setText(WriteHexFile(*f_, 8192));
    page.chbVerifyData->setChecked(false);
    page.chbFastWrite->setChecked(true);
    QSignalSpy ended(&page, &TfmUpdate::updateFinished);
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(ended.wait(60000));
    QVERIFY2(ended.last().at(0).toBool(), qPrintable(f_->Messages.Errors.join("; ")));
    QCOMPARE(page.ProgressBar->value(), 8);
    const std::string image = HexPattern(8192);
    QVERIFY(flash->Flash().substr(24, 8192 - 24) == image.substr(24));
  }

  void anImageWithoutVectorsIsRefusedBeforeTheRestartQuestion() {
    TfmUpdate& page = *w_->fmUpdate;
    page.edtFileName->clear();
    QVERIFY(!page.btnWrite->isEnabled());
    const QString hex = f_->Home.filePath("high.hex");
    QFile file(hex);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(IntelHex(0x1000, HexPattern(100)));
    file.close();
    page.edtFileName->setText(hex);
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QVERIFY2(f_->Messages.Errors[0].contains("0x00000000"), qPrintable(f_->Messages.Errors[0]));
    QVERIFY(f_->Messages.Infos.isEmpty());
    QVERIFY(!page.Status().Snapshot().Running);
    QCOMPARE(f_->Sim.CommandCount(), 0u);
  }

 private:
  std::unique_ptr<TUiFixture> f_;
  std::unique_ptr<TfmMain> w_;
  std::unique_ptr<TAppPage> systemPage_;
  TfmXmlData* xml_ = nullptr;
  TfmXmlData* phones_ = nullptr;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::XmlUpdateGuiTest)
#include "XmlUpdateGuiTest.moc"

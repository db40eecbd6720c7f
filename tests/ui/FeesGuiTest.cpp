// The receipt header and advertisement pages, the fees page and its rate dialog, against the
// simulator.
#include "UiFixture.h"
#ifndef Q_MOC_RUN  // moc cannot read the standard library's <compare> that the money type uses
#include "FeeTable.h"
#include "Fees.h"
#endif
#include "fmuFeeDlg.h"
#include "fmuFees.h"
#include "fmuMain.h"
#include "fmuReceiptLines.h"
#include "fmuStatus.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace quorvel::ui::test {

namespace {

// What the list shows, row by row: "sum | value".
QStringList Rows(const QTreeWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    rows << list->topLevelItem(i)->text(0) + " | " + list->topLevelItem(i)->text(1);
  return rows;
}

std::string EmptyLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "\r\n";
  return text;
}

int CurrentRow(const QTreeWidget* list) { return list->indexOfTopLevelItem(list->currentItem()); }

// Every rate of every table as text, with each table's scheme.
QStringList TablesText(const TFeeTables& tables) {
  QStringList out;
  for (int i = 0; i < tables.Count(); ++i) {
    const TFeeTable& t = tables.Items(i);
    out << QStringLiteral("%1 scheme %2").arg(i + 1).arg(t.SchemeType());
    for (int k = 0; k < t.Fees().Count(); ++k)
      out << Q(FeeSumText(t.Fees().Items(k)) + " " + FeeValueText(t.Fees().Items(k)));
  }
  return out;
}

}  // namespace

class FeesGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { LoadQtTranslations(*QCoreApplication::instance()); }
  void init() {
    f_ = std::make_unique<TUiFixture>();
    w_ = std::make_unique<TfmMain>(*f_->Context);
    w_->show();
  }
  void cleanup() {
    w_.reset();
    f_.reset();
  }

  void theHeaderGoesOutAsTenLinesUnshortenedAndReadsBack() {
    TfmReceiptLines& page = *w_->fmHeader;
    w_->Pages.ShowPage(&page);
    for (int row = 0; row < TfmReceiptLines::kLineCount; ++row) page.Line(row)->clear();
    f_->Sim.ClearReceivedLines();
    QVERIFY(Click(page.btnWrite));
    QStringList written;
    for (const std::string& line : f_->Sim.ReceivedLines())
      if (line.find("SMHEADER=") != std::string::npos) written << QString::fromLatin1(line.c_str());
    QCOMPARE(written.size(), 10);  // an empty header still clears every line of the terminal
    // AT+SMHEADER=<sequence>,<line>,"<text>",<checksum>: lines 1..10, each with an empty text
    for (int n = 1; n <= 10; ++n)
      QVERIFY2(written[n - 1].contains(QStringLiteral(",%1,\"\",").arg(n)), qPrintable(written.join('\n')));
    for (const std::string& line : f_->Sim.State().Header) QCOMPARE(line, std::string());
    QCOMPARE(f_->Facade.DriverStatus().Text(), std::string());

    const QString longLine = QStringLiteral("Магазин у дома, ул. Ленина 10");  // 29
    page.Line(0)->setFocus();
    page.Line(0)->setText(longLine);  // QTest types ASCII keys only
    QTest::keyClick(page.Line(0), Qt::Key_End);
    QTest::keyClicks(page.Line(0), "!");
    QCOMPARE(page.lblCount->text(), QStringLiteral("30"));
    page.Line(1)->setFocus();
    QTest::keyClicks(page.Line(1), "abc");
    QCOMPARE(page.lblCount->text(), QStringLiteral("3"));
    page.Line(0)->setFocus();
    QCOMPARE(page.lblCount->text(), QStringLiteral("30"));  // taking up a line shows its length
    QVERIFY(Click(page.btnWrite));
    QCOMPARE(f_->Sim.State().Header[0], S(longLine + "!"));
    QCOMPARE(f_->Sim.State().Header[1], std::string("abc"));

    for (int row = 0; row < TfmReceiptLines::kLineCount; ++row) page.Line(row)->clear();
    QVERIFY(Click(page.btnRead));
    QCOMPARE(page.Line(0)->text(), longLine + "!");
    QCOMPARE(page.Line(1)->text(), QStringLiteral("abc"));
    QCOMPARE(page.Line(2)->text(), QString());
    QCOMPARE(page.lblCount->text(), QStringLiteral("30"));  // the line being edited, as read
    QCOMPARE(f_->Facade.DriverStatus().Text(), std::string());
    w_->Pages.ShowPage(w_->fmStatus);  // leaving the page hands the lines to the document
    QCOMPARE(f_->Session->Doc().Header, S(longLine) + "!\r\nabc\r\n" + EmptyLines(8));
  }

  void aScreenReaderFindsEveryLineOfBothGridsByItsName() {
    for (TfmReceiptLines* page :
         {static_cast<TfmReceiptLines*>(w_->fmHeader), static_cast<TfmReceiptLines*>(w_->fmTrailer)}) {
      w_->Pages.ShowPage(page);
      // Walked down from the page as an assistive tool walks it, not looked up by widget.
      QStringList editors;
      std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        if (node == nullptr) return;
        if (node->role() == QAccessible::EditableText) editors << node->text(QAccessible::Name);
        for (int i = 0; i < node->childCount(); ++i) walk(node->child(i));
      };
      walk(QAccessible::queryAccessibleInterface(page));
      QStringList expected;
      for (int row = 1; row <= TfmReceiptLines::kLineCount; ++row)
        expected << QStringLiteral("Строка %1").arg(row);
      QCOMPARE(editors, expected);
      page->Line(3)->setText("ООО Ромашка");
      QAccessibleInterface* line = QAccessible::queryAccessibleInterface(page->Line(3));
      QCOMPARE(line->text(QAccessible::Value), QString("ООО Ромашка"));
    }
  }

  void aFailedReadClearsTheStatusAndKeepsTheLines() {
    TfmReceiptLines& page = *w_->fmTrailer;
    w_->Pages.ShowPage(&page);
    page.Line(0)->setText("прежний");
    f_->Sim.ArmFault("SMREKLAM", sim::TSimFault{sim::TSimFaultKind::Error, 2, 0, 0});
    QVERIFY(!Click(page.btnRead));
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QCOMPARE(page.Line(0)->text(), QStringLiteral("прежний"));
    QCOMPARE(f_->Facade.DriverStatus().Text(), std::string());
  }

  void theAdvertisementSavesAndLoadsThroughItsFileDialogs() {
    TfmReceiptLines& page = *w_->fmTrailer;
    w_->Pages.ShowPage(&page);
    page.SetLinesText("Скидки\r\nкаждый день\r\n");
    const QString file = f_->Home.filePath("trailer.xml");
    f_->Messages.Files.push_back(file);
    QVERIFY(Click(page.btnSave));
    QCOMPARE(f_->Messages.FileDialogs.back().Filter,
             QStringLiteral("Файл xml (*.xml)|*.xml|Все файлы (*.*)|*.*"));
    QCOMPARE(f_->Messages.FileDialogs.back().DefaultExt, QStringLiteral("xml"));

    page.SetLinesText("");
    const QString broken = f_->Home.filePath("broken.xml");
    QFile out(broken);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("<root><Trailer Line1=");
    out.close();
    f_->Messages.Files.push_back(broken);
    QVERIFY(!Click(page.btnLoad));
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QCOMPARE(page.Line(0)->text(), QString());  // nothing taken from a broken file

    f_->Messages.Files.push_back(file);
    QVERIFY(Click(page.btnLoad));
    QCOMPARE(page.Line(0)->text(), QStringLiteral("Скидки"));
    QCOMPARE(page.Line(1)->text(), QStringLiteral("каждый день"));
    QCOMPARE(f_->Session->Doc().Trailer, "Скидки\r\nкаждый день\r\n" + EmptyLines(8));
  }

  void deletingTheLastOfThreeRatesSelectsTheNewLastRow() {
    TfmFees& page = ShowFees();
    for (const char* sum : {"100", "200", "300"}) AddRate(page, sum, "1.5", false);
    QCOMPARE(Rows(page.lvFees), QStringList({"100 руб. | 1.5 %", "200 руб. | 1.5 %", "300 руб. | 1.5 %"}));
    page.lvFees->setCurrentItem(page.lvFees->topLevelItem(2));
    QTest::keyClick(page.lvFees, Qt::Key_Delete);
    QCOMPARE(Rows(page.lvFees), QStringList({"100 руб. | 1.5 %", "200 руб. | 1.5 %"}));
    QCOMPARE(CurrentRow(page.lvFees), 1);
    QCOMPARE(page.CurrentFees().ItemIndex, 1);
    QTest::mouseClick(page.btnClear, Qt::LeftButton);
    QCOMPARE(page.CurrentFees().Count(), 0);
    QVERIFY(!page.btnDelete->isEnabled() && !page.btnEdit->isEnabled() && !page.actClear->isEnabled());
    QCOMPARE(page.window()->focusWidget(), page.btnAdd);
  }

  void theEleventhRateIsRefusedUntilOneIsDeleted() {
    TfmFees& page = ShowFees();
    for (int i = 1; i <= 10; ++i) AddRate(page, QByteArray::number(i * 100), "20", true);
    QCOMPARE(page.CurrentFees().Count(), 10);
    QCOMPARE(page.lvFees->topLevelItem(9)->text(1), QStringLiteral("20 руб."));
    QVERIFY(!page.btnAdd->isEnabled());
    QVERIFY(!page.actAdd->isEnabled());
    page.btnAddClick();  // a click that still arrives adds nothing
    QCOMPARE(page.CurrentFees().Count(), 10);
    page.lvFees->setCurrentItem(page.lvFees->topLevelItem(4));
    QTest::mouseClick(page.btnDelete, Qt::LeftButton);
    QCOMPARE(page.CurrentFees().Count(), 9);
    QVERIFY(page.btnAdd->isEnabled());
    QVERIFY(page.actAdd->isEnabled());
    QVERIFY(!page.lvFees->findItems("500 руб.", Qt::MatchExactly).size());
  }

  void theRateDialogStaysOpenOnABadNumberOrABrokenRule() {
    TFees fees;
    TFee& fee = fees.Add();
    fee.SetValues(kFeePercent, Money::Parse("1000"), 1.5);
    TfmFeeDlg dialog(fee, f_->Messages, w_.get());
    dialog.show();
    QCOMPARE(dialog.edtSum->text(), QStringLiteral("1000"));
    QCOMPARE(dialog.edtValue->text(), QStringLiteral("1.5"));
    QVERIFY(dialog.rbPercent->isChecked());
    dialog.edtSum->clear();
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QVERIFY2(f_->Messages.Errors[0].contains("неверная денежная сумма"), qPrintable(f_->Messages.Errors[0]));

    QTest::keyClicks(dialog.edtSum, "5a0,");  // the keys a number field drops
    QCOMPARE(dialog.edtSum->text(), QStringLiteral("50"));
    dialog.edtValue->setText("50");
    dialog.rbFixed->setChecked(true);
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(f_->Messages.Errors.last(), QString::fromUtf8(kFeeFixedMessage));
    QCOMPARE(fee.FeeSum, Money::Parse("1000"));  // nothing stored of a refused rate
    QCOMPARE(fee.FeeType, kFeePercent);

    dialog.edtSum->setText("50.01");
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(Q(FeeSumText(fee) + " " + FeeValueText(fee)), QStringLiteral("50.01 руб. 50 руб."));
  }

  void aCancelledNewRateLeavesNoZeroRate() {
    TfmFees& page = ShowFees();
    AddRate(page, "500", "2", false);
    int opened = 0;
    page.RunFeeDialog = [this, &page, &opened](TFee& fee) {
      ++opened;
      TfmFeeDlg dialog(fee, f_->Messages, &page);
      dialog.show();
      dialog.edtSum->setText("900");
      dialog.edtValue->setText("3");
      QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
      return dialog.result() == QDialog::Accepted;
    };
    QTest::mouseClick(page.btnAdd, Qt::LeftButton);
    QCOMPARE(opened, 1);
    QCOMPARE(page.CurrentFees().Count(), 1);
    QCOMPARE(Rows(page.lvFees), QStringList({"500 руб. | 2 %"}));
    QCOMPARE(CurrentRow(page.lvFees), 0);
    page.lvFees->setCurrentItem(page.lvFees->topLevelItem(0));
    QTest::keyClick(page.lvFees, Qt::Key_Return);  // a cancelled change leaves the rate as it was
    QCOMPARE(opened, 2);
    QCOMPARE(Rows(page.lvFees), QStringList({"500 руб. | 2 %"}));
  }

  void theTablesGoToAFileAndComeBackWhileABrokenFileChangesNothing() {
    TFeeTables& tables = f_->Session->Doc().FeeTables();
    tables.Items(4).SetSchemeType(kSchemeFromTransaction);
    tables.Items(4).Fees().Add().SetValues(kFeeFixed, Money::Parse("300"), 12.5);
    tables.ItemIndex = 4;
    const QStringList saved = TablesText(tables);
    TfmFees& page = ShowFees();
    const QString file = f_->Home.filePath("fees.xml");
    f_->Messages.Files.push_back(file);
    QVERIFY(Click(page.btnSave));
    const TFileDialogDef& save = f_->Messages.FileDialogs.back();
    QCOMPARE(save.Filter, QStringLiteral("xml файлы (*.xml)|*.xml"));
    QCOMPARE(save.InitialDir, QStringLiteral("Fees"));
    QCOMPARE(save.DefaultExt, QStringLiteral("xml"));

    QTest::mouseClick(page.btnClearAll, Qt::LeftButton);
    page.cbTable->setCurrentIndex(0);
    const QString broken = f_->Home.filePath("broken.xml");
    QFile out(broken);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(
        "<root><FeeTables><ItemIndex>2</ItemIndex><FeeTable><SchemeType>7</SchemeType>"
        "</FeeTable></FeeTables></root>");
    out.close();
    f_->Messages.Files.push_back(broken);
    QVERIFY(!Click(page.btnLoad));
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QCOMPARE(tables.ItemIndex, 0);
    QCOMPARE(tables.Items(4).SchemeType(), kSchemeFromTransaction);

    f_->Messages.Files.push_back(file);
    QVERIFY(Click(page.btnLoad));
    const TFileDialogDef& open = f_->Messages.FileDialogs.back();
    QCOMPARE(open.Filter, QStringLiteral("xml файлы (*.xml)|*.xml|Все файлы (*.*)|*.*"));
    QCOMPARE(open.InitialDir, QStringLiteral("Fees"));
    QCOMPARE(TablesText(tables), saved);
    QCOMPARE(page.cbTable->currentIndex(), 4);
    QCOMPARE(Rows(page.lvFees), QStringList({"300 руб. | 12.5 руб."}));
  }

  void switchingTablesShowsTheirSchemeAndRatesAndASchemeIsStoredAtOnce() {
    TFeeTables& tables = f_->Session->Doc().FeeTables();
    tables.Items(2).SetSchemeType(kSchemeFromDeposit);
    tables.Items(2).Fees().Add().SetValues(kFeePercent, Money::Parse("1000"), 1.5);
    TfmFees& page = ShowFees();
    QCOMPARE(page.cbTable->count(), 10);
    QCOMPARE(page.cbTable->itemText(2), QStringLiteral("Таблица 3"));
    QCOMPARE(page.cbScheme->currentText(), QStringLiteral("Начисляется"));
    QVERIFY(Rows(page.lvFees).isEmpty());
    page.cbTable->setCurrentIndex(2);
    QCOMPARE(tables.ItemIndex, 2);
    QCOMPARE(page.cbScheme->currentText(), QStringLiteral("Включается от внесенной суммы"));
    QCOMPARE(Rows(page.lvFees), QStringList({"1000 руб. | 1.5 %"}));
    QVERIFY(page.btnEdit->isEnabled());
    page.cbScheme->setCurrentIndex(1);
    QCOMPARE(tables.Items(2).SchemeType(), kSchemeFromTransaction);
    page.cbTable->setCurrentIndex(0);
    QCOMPARE(tables.Items(2).SchemeType(), kSchemeFromTransaction);
    QCOMPARE(tables.Items(0).SchemeType(), kSchemeAdded);
    QVERIFY(!page.btnEdit->isEnabled());
  }

  void allTenTablesAreWrittenAndReadBack() {
    TFeeTables& tables = f_->Session->Doc().FeeTables();
    for (int i = 0; i < tables.Count(); ++i) {
      tables.Items(i).SetSchemeType(i % 3);
      for (int k = 0; k <= i; ++k)
        tables.Items(i).Fees().Add().SetValues(k % 2, Money::FromKopecks((i + 1) * 10000 + k * 150),
                                               1 + k * 0.25);
    }
    const QStringList written = TablesText(tables);
    TfmFees& page = ShowFees();
    QVERIFY(Click(page.btnWrite));
    QVERIFY(f_->Sim.State().Fees[9].Rates[9].has_value());
    QCOMPARE(f_->Sim.State().Fees[9].Scheme.value_or(-1), 0);

    QTest::mouseClick(page.btnClearAll, Qt::LeftButton);
    for (int i = 0; i < tables.Count(); ++i) tables.Items(i).SetSchemeType(0);
    QVERIFY(TablesText(tables) != written);
    QVERIFY(Click(page.btnRead));
    QCOMPARE(TablesText(tables), written);
    page.cbTable->setCurrentIndex(9);
    QCOMPARE(page.lvFees->topLevelItemCount(), 10);
    QCOMPARE(page.lvFees->topLevelItem(1)->text(1), QStringLiteral("1.25 руб."));
  }

 private:
  // Clicks a page button and waits for its operation; true when it succeeded.
  bool Click(QPushButton* button) {
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(button, Qt::LeftButton);
    return done.wait(kWaitMs) && done.last().at(0).toBool();
  }

  TfmFees& ShowFees() {
    w_->Pages.ShowPage(w_->fmFees);
    return *w_->fmFees;
  }

  // "Добавить..." with the rate dialog filled in and closed with OK.
  void AddRate(TfmFees& page, const QByteArray& sum, const QByteArray& value, bool fixed) {
    page.RunFeeDialog = [&](TFee& fee) {
      TfmFeeDlg dialog(fee, f_->Messages, &page);
      dialog.show();
      dialog.edtSum->clear();
      QTest::keyClicks(dialog.edtSum, sum);
      dialog.edtValue->clear();
      QTest::keyClicks(dialog.edtValue, value);
      (fixed ? dialog.rbFixed : dialog.rbPercent)->setChecked(true);
      QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
      return dialog.result() == QDialog::Accepted;
    };
    QTest::mouseClick(page.btnAdd, Qt::LeftButton);
  }

  std::unique_ptr<TUiFixture> f_;
  std::unique_ptr<TfmMain> w_;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::FeesGuiTest)
#include "FeesGuiTest.moc"

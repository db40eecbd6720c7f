// The input-script list of a payment system, the script editor and the script definitions
// dialog, against the simulator.
#include "ScriptHighlighter.h"
#include "UiFixture.h"
#include "fmuMain.h"
#include "fmuScript.h"
#include "fmuScriptSettings.h"
#include "fmuScripts.h"
#include "fmuSettings.h"

#include "PaymentSystem.h"
#include "ScriptDef.h"
#include "Scripts.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace quorvel::ui::test {

namespace {

// Runs act once widget is on screen (inside the modal loop that shows it); checks every 20 ms.
void WhenShown(QWidget* widget, std::function<void()> act) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, widget, act] {
    if (!widget->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act();
  });
  timer->start(20);
}

// Types a script into the visible editor and presses OK.
void FillEditor(TfmScript& editor, int number, const QString& name, const QString& text) {
  editor.edtID->setValue(number);
  editor.edtText->setText(name);
  editor.SynEdit->setPlainText(text);
  QTest::mouseClick(editor.btnOK, Qt::LeftButton);
}

// FillEditor that never leaves the modal loop hanging: an editor OK did not close is cancelled.
void FillAndClose(TfmScript& editor, int number, const QString& name, const QString& text) {
  FillEditor(editor, number, name, text);
  if (editor.isVisible()) editor.reject();
}

QStringList Rows(const QTreeWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    rows << list->topLevelItem(i)->text(0) + " " + list->topLevelItem(i)->text(1);
  return rows;
}

}  // namespace

class ScriptsGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { LoadQtTranslations(*QCoreApplication::instance()); }

  void init() {
    f_ = std::make_unique<TUiFixture>();
    w_ = std::make_unique<TfmMain>(*f_->Context);
    // The terminal's active system, so that writing asks nothing.
    system_ = &f_->Session->Doc().PaymentSystems().SystemForPage(0);
    page_ = std::make_unique<TfmScripts>(*f_->Context, w_->Runner(), *system_);
    page_->show();
  }
  void cleanup() {
    page_.reset();
    w_.reset();
    f_.reset();
  }

  void anErrorLineSelectsItsTokenInTheEditor() {
    TScripts& scripts = system_->Scripts();
    TScript& script = scripts.AddNew();
    script.SetText("// Ввод номера телефона\r\nWINDOW(1);\r\n  FOO(1);\r\n");
    TfmScript editor(*f_->Context);
    editor.show();
    editor.Open(script, *f_->Session->Doc().ScriptDefs().First());
    QCOMPARE(editor.lbErrors->count(), 1);
    QCOMPARE(editor.lbErrors->item(0)->text(), QString("[Error] (3), FOO, неизвестный идентификатор"));
    const QRect row = editor.lbErrors->visualItemRect(editor.lbErrors->item(0));
    QTest::mouseClick(editor.lbErrors->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(editor.lbErrors->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(editor.SynEdit->textCursor().selectedText(), QString("FOO"));
    // The definitions' names are marked, an unknown one is not.
    const auto marked = [&editor](int line, int start, int length) {
      for (const QTextLayout::FormatRange& r :
           editor.SynEdit->document()->findBlockByNumber(line).layout()->formats())
        if (r.start == start && r.length == length) return r.format == editor.Highlighter->KeywordFormat();
      return false;
    };
    QVERIFY(marked(1, 0, 6));
    QVERIFY(!marked(2, 2, 3));

    // "Проверить" checks what the editor holds now.
    editor.SynEdit->setPlainText("WINDOW(1);\nNUMBER = 5;");
    QTest::mouseClick(editor.btnCheck, Qt::LeftButton);
    QCOMPARE(editor.lbErrors->item(0)->text(), QString("[Error] (2), неверный тип"));
    editor.SelectError(0);
    QCOMPARE(editor.SynEdit->textCursor().selectedText(), QString("5"));
    editor.SynEdit->setPlainText("WINDOW(1);\nNUMBER = 'x';");
    editor.btnCheckClick();
    QCOMPARE(editor.lbErrors->count(), 1);
    QCOMPARE(editor.lbErrors->item(0)->text(), QString("Ошибок нет"));

    // Font and placement outlive the window, in ScriptEditor.ini beside Quorvel.ini.
    editor.SynEdit->zoomIn(3);
    const int size = editor.SynEdit->font().pointSize();
    editor.reject();
    QVERIFY(QFile::exists(f_->Home.filePath("ScriptEditor.ini")));
    TfmScript again(*f_->Context);
    QCOMPARE(again.SynEdit->font().pointSize(), size);
  }

  void clearLeavesTheTwoBuiltInRowsThatCannotBeChanged() {
    TScripts& scripts = system_->Scripts();
    scripts.AddNew().SetName("Первый");
    scripts.AddNew().SetName("Второй");
    scripts.ItemIndex = 1;
    page_->UpdatePage();
    QCOMPARE(Rows(page_->ListView), QStringList({"0 Ввод номера", "1 Ввод счета", "10 Первый", "11 Второй"}));
    QVERIFY(!page_->btnEdit->isEnabled());
    QVERIFY(!page_->btnDelete->isEnabled());
    QVERIFY(page_->btnClear->isEnabled());
    page_->ListView->setFocus();
    QTest::keyClick(page_->ListView, Qt::Key_Delete);
    QCOMPARE(scripts.Count(), 4);
    page_->ListView->setCurrentItem(page_->ListView->topLevelItem(2));
    QVERIFY(page_->btnEdit->isEnabled());
    QTest::keyClick(page_->ListView, Qt::Key_Delete);
    QCOMPARE(Rows(page_->ListView), QStringList({"0 Ввод номера", "1 Ввод счета", "11 Второй"}));

    // F2 renumbers in place: a number outside the user range is refused, another one sorts.
    page_->ListView->setCurrentItem(page_->ListView->topLevelItem(2));
    QTest::keyClick(page_->ListView, Qt::Key_F2);
    auto* edit = page_->ListView->findChild<QLineEdit*>();
    QVERIFY(edit != nullptr && edit->isVisible());
    edit->setText("5");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(f_->Messages.Errors.size(), 1, kWaitMs);
    QVERIFY(f_->Messages.Errors[0].startsWith("Неверный номер скрипта (5)"));
    QTRY_COMPARE_WITH_TIMEOUT(Rows(page_->ListView),
                              QStringList({"0 Ввод номера", "1 Ввод счета", "11 Второй"}), kWaitMs);
    scripts.AddNew().SetName("Третий");
    page_->UpdatePage();
    page_->ListView->setCurrentItem(page_->ListView->topLevelItem(2));
    f_->Messages.Errors.clear();
    QTest::keyClick(page_->ListView, Qt::Key_F2);
    edit = page_->ListView->findChild<QLineEdit*>();
    QVERIFY(edit != nullptr);
    edit->setText("30");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(Rows(page_->ListView),
                              QStringList({"0 Ввод номера", "1 Ввод счета", "10 Третий", "30 Второй"}),
                              kWaitMs);
    QCOMPARE(page_->ListView->currentItem()->text(0), QString("30"));

    QTest::mouseClick(page_->btnClear, Qt::LeftButton);
    QCOMPARE(Rows(page_->ListView), QStringList({"0 Ввод номера", "1 Ввод счета"}));
    QCOMPARE(scripts.Count(), 2);
    QVERIFY(!page_->btnClear->isEnabled());
    QVERIFY(f_->Messages.Errors.isEmpty());

    // A system without a scripts address has nothing to update from.
    QVERIFY(page_->btnUpdate->isEnabled());
    TfmScripts bercut(*f_->Context, w_->Runner(), f_->Session->Doc().PaymentSystems().SystemForPage(7));
    QVERIFY(!bercut.btnUpdate->isEnabled());
  }

  void anAddedScriptIsWrittenToTheTerminalAndReadBack() {
    TfmScript& editor = page_->Editor();
    int proposed = 0;
    WhenShown(&editor, [&editor, &proposed] {
      proposed = editor.edtID->value();
      FillAndClose(editor, 12, "Счет", "WINDOW(1);\n// окно счета\nACCOUNT = MASKEDIT(0,0,100,20,'999',1);");
    });
    QTest::mouseClick(page_->btnAdd, Qt::LeftButton);
    QCOMPARE(proposed, 10);  // the first free number
    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join('\n')));
    QCOMPARE(Rows(page_->ListView), QStringList({"0 Ввод номера", "1 Ввод счета", "12 Счет"}));
    QCOMPARE(page_->ListView->currentItem()->text(0), QString("12"));
    const TScript* script = system_->Scripts().FindByNumber(12);
    QVERIFY(script != nullptr);
    // Kept with CR LF line ends, as the checker and the configuration document expect.
    QCOMPARE(Q(script->Text()),
             QString("WINDOW(1);\r\n// окно счета\r\nACCOUNT = MASKEDIT(0,0,100,20,'999',1);"));

    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(page_->btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.takeFirst().at(0).toBool(), true);
    const std::string sent = sim::ScriptText(f_->Sim.State(), 12);
    QCOMPARE(Q(sent), QString("WINDOW(1);ACCOUNT = MASKEDIT(0,0,100,20,'999',1);"));

    f_->Sim.Update([](sim::TSimState& s) { sim::SetScriptText(s, 12, "WINDOW(2);"); });
    QTest::mouseClick(page_->btnRead, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(Q(system_->Scripts().FindByNumber(12)->Text()), QString("WINDOW(2);"));
    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join('\n')));
  }

  void aStoppedWriteLeavesTheRestUnsentAndAStoppedReadChangesNoScript() {
    TScript& script = system_->Scripts().AddNew();
    script.SetNumber(12);
    std::string text;
    while (text.size() < 20 * 300) text += "WINDOW(1);\r\n";
    script.SetText(text);
    // Every reply a little late, so that the transfer still runs when the click comes.
    f_->Sim.ArmFault("*", {sim::TSimFaultKind::Delay, 0, 0, 20});
    QVERIFY(!page_->btnStop->isEnabled());
    QTest::mouseClick(page_->btnWrite, Qt::LeftButton);
    QVERIFY(page_->btnStop->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(f_->Sim.CommandCount() >= 4, kWaitMs);
    QTest::mouseClick(page_->btnStop, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w_->Runner().Busy(), kWaitMs);
    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join('\n')));
    QCOMPARE(w_->StatusPanel->text(), QString(" Операция прервана"));
    // The end mark never went: the terminal holds no finished script 12.
    QVERIFY(sim::ScriptText(f_->Sim.State(), 12) != std::string(text));
    QVERIFY(!page_->btnStop->isEnabled());
    QVERIFY(page_->btnWrite->isEnabled());

    // As the terminal keeps a script: without line ends.
    std::string stored;
    while (stored.size() < 20 * 300) stored += "WINDOW(1);";
    f_->Sim.Update([&stored](sim::TSimState& s) { sim::SetScriptText(s, 12, stored); });
    script.SetText("WINDOW(2);");
    const std::uint64_t before = f_->Sim.CommandCount();
    QTest::mouseClick(page_->btnRead, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(f_->Sim.CommandCount() >= before + 4, kWaitMs);
    QTest::mouseClick(page_->btnStop, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w_->Runner().Busy(), kWaitMs);
    QCOMPARE(system_->Scripts().FindByNumber(12)->Text(), std::string("WINDOW(2);"));
    QVERIFY(f_->Messages.Errors.isEmpty());
  }

  void checkerErrorsDoNotStopStoringButAWrongNumberOrAnUnsendableTextDoes() {
    TfmScript& editor = page_->Editor();
    WhenShown(&editor, [&editor] { FillAndClose(editor, 10, "Ошибочный", "FOO;"); });
    QTest::mouseClick(page_->btnAdd, Qt::LeftButton);
    const TScript* stored = system_->Scripts().FindByNumber(10);
    QVERIFY(stored != nullptr);
    QCOMPARE(Q(stored->Text()), QString("FOO;"));
    QVERIFY(f_->Messages.Errors.isEmpty());

    // A character the terminal's code page lacks: refused while the editor is open; so is a
    // number outside the user range. The list stays as it was.
    page_->ListView->setCurrentItem(page_->ListView->topLevelItem(2));
    QStringList seen;
    WhenShown(&editor, [&editor, &seen, this] {
      FillEditor(editor, 10, "Ошибочный", QString("COMMENT = '") + QChar(0x263A) + "';");
      seen << QString(editor.isVisible() ? "open" : "closed");
      FillEditor(editor, 5, "Ошибочный", "WINDOW(1);");
      seen << QString(editor.isVisible() ? "open" : "closed");
      seen << f_->Messages.Errors;
      QTest::mouseClick(editor.btnCancel, Qt::LeftButton);
    });
    QTest::mouseClick(page_->btnEdit, Qt::LeftButton);
    QCOMPARE(seen.size(), 4);
    QCOMPARE(seen.mid(0, 2), QStringList({"open", "open"}));
    QVERIFY2(seen[2].contains("Сценарий ввода 10"), qPrintable(seen[2]));
    QVERIFY2(seen[3].startsWith("Неверный номер скрипта (5)"), qPrintable(seen[3]));
    QCOMPARE(Q(system_->Scripts().FindByNumber(10)->Text()), QString("FOO;"));
    QCOMPARE(system_->Scripts().Count(), 3);

    // A cancelled addition leaves no row behind.
    WhenShown(&editor, [&editor] { QTest::mouseClick(editor.btnCancel, Qt::LeftButton); });
    QTest::mouseClick(page_->btnAdd, Qt::LeftButton);
    QCOMPARE(Rows(page_->ListView), QStringList({"0 Ввод номера", "1 Ввод счета", "10 Ошибочный"}));
  }

  void savedScriptsLoadBackAndABrokenFileChangesNothing() {
    TScripts& scripts = system_->Scripts();
    TScript& script = scripts.AddNew();
    script.SetName("Сумма");
    script.SetText("AMOUNT = SUMEDIT(0,0,100,20,1.0,99.5,1);");
    page_->UpdatePage();
    const QString file = f_->Home.filePath("scripts.xml");
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    f_->Messages.Files.push_back(file);
    QTest::mouseClick(page_->btnSave, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(f_->Messages.FileDialogs.back().Filter, QString("Файл xml (*.xml)|*.xml|Все файлы (*.*)|*.*"));
    QCOMPARE(f_->Messages.FileDialogs.back().DefaultExt, QString("xml"));

    QTest::mouseClick(page_->btnClear, Qt::LeftButton);
    QCOMPARE(page_->ListView->topLevelItemCount(), 2);
    f_->Messages.Files.push_back(file);
    QTest::mouseClick(page_->btnLoad, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(Rows(page_->ListView), QStringList({"0 Ввод номера", "1 Ввод счета", "10 Сумма"}));
    QCOMPARE(Q(scripts.FindByNumber(10)->Text()), QString("AMOUNT = SUMEDIT(0,0,100,20,1.0,99.5,1);"));

    QFile broken(f_->Home.filePath("broken.xml"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("<root><scripts><script>");
    broken.close();
    f_->Messages.Files.push_back(broken.fileName());
    QTest::mouseClick(page_->btnLoad, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QCOMPARE(Rows(page_->ListView), QStringList({"0 Ввод номера", "1 Ввод счета", "10 Сумма"}));
    QVERIFY(page_->btnLoad->isEnabled());
  }

  void everySystemNodeHasTheScriptsOfItsSystem() {
    TAppPage systemPage(*f_->Context, w_->Runner(), QStringLiteral("Система"));
    QTreeWidgetItem* node = w_->AddSystemPages(nullptr, &systemPage, *system_);
    TfmScripts* found = nullptr;
    for (int i = 0; i < node->childCount(); ++i) {
      auto* page = qobject_cast<TfmScripts*>(node->child(i)->data(0, Qt::UserRole).value<QObject*>());
      if (page == nullptr) continue;
      QVERIFY(found == nullptr);
      QCOMPARE(node->child(i)->text(0), QString("Скрипты ввода"));
      found = page;
    }
    QVERIFY(found != nullptr);
    QCOMPARE(&found->System(), system_);
  }

  void theSettingsDialogOpensTheScriptDefinitionsWhichUpdateFromTheServer() {
    TfmSettings settings(*f_->Context, w_->Runner());
    settings.show();
    QVERIFY(settings.btnScripts->isVisible());
    QString shown;
    WhenShown(&settings, [&shown] {
      QTimer::singleShot(50, [&shown] {
        auto* dialog = qobject_cast<TfmScriptSettings*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        shown = dialog->Memo->toPlainText();
        QTest::mouseClick(dialog->btnClose, Qt::LeftButton);
      });
    });
    QTest::mouseClick(settings.btnScripts, Qt::LeftButton);
    QCOMPARE(shown, QString("Версия скрипта: 1.0"));

    // The support server is a folder here; first without the file, then with it.
    f_->Facade.SetSupportServer(S(f_->Home.path()));
    TfmScriptSettings dialog(*f_->Context, w_->Runner());
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    dialog.btnUpdateClick();
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QVERIFY(dialog.btnUpdate->isEnabled());
    QCOMPARE(dialog.Memo->toPlainText(), QString("Версия скрипта: 1.0"));
    QVERIFY(QDir(f_->Home.path()).mkpath("ortena"));
    QFile defs(f_->Home.filePath("ortena/otscripts.xml"));
    QVERIFY(defs.open(QIODevice::WriteOnly));
    defs.write(
        "<OrtenaScripts><FileVersion>2.5</FileVersion><script><Methods><method><text>BEEP</text>"
        "<type>0</type><params/></method></Methods><Variables/><ModemVersion>Ver 3</ModemVersion>"
        "</script></OrtenaScripts>");
    defs.close();
    dialog.btnUpdateClick();
    QVERIFY(!dialog.btnUpdate->isEnabled());
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(dialog.Memo->toPlainText(), QString("Версия скрипта: 2.5"));
    QCOMPARE(f_->Session->Doc().ScriptDefs().First()->GetKeywords(), std::string("BEEP\r\n"));
    QVERIFY(dialog.btnUpdate->isEnabled());
  }

 private:
  std::unique_ptr<TUiFixture> f_;
  std::unique_ptr<TfmMain> w_;
  TPaymentSystem* system_ = nullptr;
  std::unique_ptr<TfmScripts> page_;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::ScriptsGuiTest)
#include "ScriptsGuiTest.moc"

#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "app/Module2.h"
#include "gui/DirList.h"
#include "gui/Form1.h"
#include "office/OfficeRegistry.h"
#include "support/FakeRunningOffice.h"
#include "support/UnoDocuments.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

// The window running the Word job on real documents through LibreOffice.
class TestForm1Office : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void tickRowsAndReplace();
};

void TestForm1Office::tickRowsAndReplace()
{
    QTemporaryDir dir;
    const QString docs = dir.filePath("docs");
    QDir().mkpath(docs);
    const QString first = QDir::toNativeSeparators(docs + "/a.docx");
    const QString second = QDir::toNativeSeparators(docs + "/b.doc");
    const QString third = QDir::toNativeSeparators(docs + "/c.docx");
    UnoDocuments::writeDocument(first, {{"甲 OLD"}, {}, {}, {}, {}});
    UnoDocuments::writeDocument(second, {{"乙 没有"}, {}, {}, {}, {}});
    UnoDocuments::writeDocument(third, {{"丙 OLD"}, {}, {}, {}, {}});

    QTemporaryDir app;
    const AppFolders folders(app.path());
    Journal journal(Module2::StartUp(folders, Clock::system()).journalDayFolder, Clock::system());
    Form1 form(folders, journal, std::make_unique<FakeRunningOffice>(), OfficeRegistry::system());
    form.Form_Load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // Collect the folder as a user does, then tick the first two rows.
    form.findChild<QRadioButton*>("Option1")->click();
    auto* dir1 = form.findChild<DirList*>("Dir1");
    QVERIFY(dir1->setPath(docs));
    dir1->setCurrentRow(dir1->rowOf(docs));
    emit dir1->entryClicked();
    auto* list = form.findChild<QListWidget*>("List1");
    QCOMPARE(list->count(), 3); // a.docx, c.docx come in the .docx pass after b.doc
    QCOMPARE(list->item(0)->text(), second);
    list->item(0)->setCheckState(Qt::Checked);
    list->item(1)->setCheckState(Qt::Checked);

    form.findChild<QLineEdit*>("Text1")->setText("OLD");
    form.findChild<QLineEdit*>("Text2")->setText("NEW");
    form.findChild<QPushButton*>("Command1")->click();

    QCOMPARE(form.findChild<QPlainTextEdit*>("Text3")->toPlainText(),
             second + " 没找到替换的内容\n" + first + " 已替换内容");
    auto* bar = form.findChild<QProgressBar*>("ProgressBar1");
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 2);
    QCOMPARE(bar->value(), 2);
    QCOMPARE(form.findChild<QLabel*>("Label5")->text(), QString("已完成 2 个文件！ 全部操作已完成"));

    word::ApplicationPtr word = OfficeRegistry::system().createWordProcessor("Word.Application");
    QVERIFY(word->documentsOpen(first)->content()->text().contains("甲 NEW"));
    QVERIFY(word->documentsOpen(third)->content()->text().contains("丙 OLD")); // not ticked
    word->quit();
}

QTEST_MAIN(TestForm1Office)
#include "tst_form1_office.moc"

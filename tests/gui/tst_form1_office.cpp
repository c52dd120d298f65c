#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "app/Module2.h"
#include "gui/DirList.h"
#include "gui/Form1.h"
#include "office/OfficeRegistry.h"
#include "support/FakeRunningOffice.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

// The window running the Word job on real documents through LibreOffice.
class TestForm1Office : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void workersShowWhatOneEngineShows();
};

namespace {

// What a user sees of one run of the Word job in the window over a folder dropped onto it.
struct WindowRun
{
    QString log;
    QString status;
    int barValue = -1;
    int barMax = -1;
    bool barShown = false;
    QStringList journal; // without time stamps
    int timerTicks = 0;  // how often a timer of the window's thread fired during the run
};

WindowRun replaceInDroppedFolder(const QString& folder, const QString& workerProgram, int workers)
{
    WindowRun run;
    QTemporaryDir app;
    const AppFolders folders(app.path());
    Journal journal(Module2::StartUp(folders, Clock::system()).journalDayFolder, Clock::system());
    Form1 form(folders, journal, std::make_unique<FakeRunningOffice>(), OfficeRegistry::system());
    form.setWorkers(workerProgram, workers);
    form.Form_Load();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return run;

    form.findChild<QRadioButton*>("Option1")->click();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder)});
    QDragEnterEvent enter(form.rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&form, &enter);
    QDropEvent drop(QPointF(form.rect().center()), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&form, &drop);
    form.findChild<QCheckBox*>("Check2")->click(); // every row ticked
    form.findChild<QLineEdit*>("Text1")->setText("OLD");
    form.findChild<QLineEdit*>("Text2")->setText("新文");

    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&run] { ++run.timerTicks; });
    ticker.start(20);
    form.findChild<QPushButton*>("Command1")->click();
    ticker.stop();

    run.log = form.findChild<QPlainTextEdit*>("Text3")->toPlainText();
    run.status = form.findChild<QLabel*>("Label5")->text();
    auto* bar = form.findChild<QProgressBar*>("ProgressBar1");
    run.barValue = bar->value();
    run.barMax = bar->maximum();
    run.barShown = bar->isVisible();
    run.journal = journalMessages(folders.journal());
    return run;
}

} // namespace

void TestForm1Office::workersShowWhatOneEngineShows()
{
    QTemporaryDir dir;
    const QString one = QDir::toNativeSeparators(dir.filePath("one"));
    const QString many = QDir::toNativeSeparators(dir.filePath("many"));
    QDir().mkpath(one);
    QDir().mkpath(many);
    const UnoDocuments::WordContent with{{"正文 OLD 一", "第二段 OLD"}, {}, {}, {}, {}};
    const UnoDocuments::WordContent without{{"正文 一"}, {}, {}, {}, {}};
    // Both formats mixed (the .docx go to the lossless engine), one broken .doc, one file without the text.
    const QList<std::pair<QString, bool>> made = {
        {"a1.doc", true}, {"a2.docx", true}, {"a3.doc", false}, {"a4.doc", true}, {"a5.doc", true},
    };
    for (const auto& [name, hasText] : made)
        UnoDocuments::writeDocument(one + "/" + name, hasText ? with : without);
    {
        QFile broken(one + "/a6 坏.doc");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("\xD0\xCF\x11\xE0 not really a document\r\n");
    }
    QMap<QString, QByteArray> before;
    for (const QString& name : QDir(one).entryList(QDir::Files)) {
        before.insert(name, bytes(one + "/" + name));
        QVERIFY(QFile::copy(one + "/" + name, many + "/" + name));
    }

    const WindowRun single = replaceInDroppedFolder(one, {}, 0);
    const WindowRun workers = replaceInDroppedFolder(many, YANHE_BIN, 2);

    const QString sep = QDir::separator();
    // The dropped folder filled the list: every file ticked and worked on, the .doc before the .docx.
    QStringList lines = single.log.split('\n');
    QVERIFY2(lines.size() == 7, qPrintable(single.log));
    // The run's last line counts the file that failed.
    QCOMPARE(lines.takeLast(), QString(" 失败 1 个文件，详见上方"));
    QCOMPARE(lines.last(), one + sep + "a2.docx 已替换内容");
    const QString broken = one + sep + "a6 坏.doc 打开失败，未修改";
    QVERIFY2(lines.removeIf([&](const QString& line) { return line.startsWith(broken); }) == 1,
             qPrintable(single.log));
    lines.sort();
    QCOMPARE(lines, (QStringList{one + sep + "a1.doc 已替换内容", one + sep + "a2.docx 已替换内容",
                                 one + sep + "a3.doc 没找到替换的内容", one + sep + "a4.doc 已替换内容",
                                 one + sep + "a5.doc 已替换内容"}));
    QCOMPARE(single.status, QString("已完成 6 个文件！ 全部操作已完成"));
    QCOMPARE(single.barMax, 6);
    QCOMPARE(single.barValue, 6);
    QVERIFY(single.barShown);

    // On two worker processes: the same lines in the same order, bar, status line and journal.
    const auto asOne = [&](QString text) { return text.replace(many, one); };
    QCOMPARE(asOne(workers.log), single.log);
    QCOMPARE(workers.status, single.status);
    QCOMPARE(workers.barMax, single.barMax);
    QCOMPARE(workers.barValue, single.barValue);
    QCOMPARE(workers.barShown, single.barShown);
    QStringList manyJournal;
    for (const QString& line : workers.journal)
        manyJournal << asOne(line);
    QCOMPARE(manyJournal, single.journal);
    // The window stayed live while the workers ran.
    QVERIFY(workers.timerTicks > 0);

    // The same files changed the same way, as a user sees them; the others keep their bytes.
    for (const auto& [name, hasText] : made) {
        QCOMPARE(bytes(many + "/" + name) != before.value(name), hasText);
        if (hasText) {
            const QStringList pages = UnoDocuments::renderPages(many + "/" + name);
            QCOMPARE(pages, UnoDocuments::renderPages(one + "/" + name));
            QVERIFY2(pages.join('\n').contains("第二段 新文"), qPrintable(pages.join('\n')));
        }
    }
    QCOMPARE(bytes(many + "/a6 坏.doc"), before.value("a6 坏.doc"));
}

QTEST_MAIN(TestForm1Office)
#include "tst_form1_office.moc"

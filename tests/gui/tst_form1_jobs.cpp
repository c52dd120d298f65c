#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "app/Module2.h"
#include "gui/DirList.h"
#include "gui/Form1.h"
#include "gui/MessageBox.h"
#include "office/OfficeRegistry.h"
#include "support/CliRun.h"
#include "support/FakeRunningOffice.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QtTest>
#include <QtWidgets>
#include <functional>
#include <memory>

// The window running jobs on real files through LibreOffice, as a user drives it: a double-click
// on a job button, Esc and closing in the middle of a run, failures, previews, worker processes.
namespace {

// What the platform delivers for a double-click, queued as it arrives while
// the window is busy: press, release, double-click, release.
void postDoubleClick(QWidget* widget)
{
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                    QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QCoreApplication::postEvent(widget, new QMouseEvent(type, at, global, Qt::LeftButton, held, {}));
    }
}

// A started window over the real office engines, in a temporary application folder.
struct Window
{
    QTemporaryDir app;
    AppFolders folders{app.path()};
    Journal journal{Module2::StartUp(folders, Clock::system()).journalDayFolder, Clock::system()};
    std::unique_ptr<Form1> form;

    explicit Window(const QString& workerProgram = {}, int workers = 0)
    {
        form = std::make_unique<Form1>(folders, journal, std::make_unique<FakeRunningOffice>(),
                                       OfficeRegistry::system());
        form->setWorkers(workerProgram, workers);
        form->Form_Load();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    template <class T = QWidget> T* control(const QString& name) const { return form->findChild<T*>(name); }

    // The option chosen, the folder double-clicked, every row ticked.
    QStringList collect(const QString& option, const QString& folder)
    {
        control<QRadioButton>(option)->click();
        auto* dir1 = control<DirList>("Dir1");
        dir1->setPath(folder);
        dir1->setCurrentRow(dir1->rowOf(folder));
        emit dir1->entryClicked();
        auto* list = control<QListWidget>("List1");
        QStringList rows;
        for (int row = 0; row < list->count(); ++row) {
            list->item(row)->setCheckState(Qt::Checked);
            rows << list->item(row)->text();
        }
        return rows;
    }
    // Types into a text box; a box or option named with no text is ticked.
    void enter(const QList<std::pair<QString, QString>>& inputs) const
    {
        for (const auto& [name, text] : inputs) {
            if (auto* edit = control<QLineEdit>(name))
                edit->setText(text);
            else
                control<QAbstractButton>(name)->setChecked(true);
        }
    }
    void replaceWords() const { enter({{"Text1", "词"}, {"Text2", "词语"}}); }
    QString log() const { return control<QPlainTextEdit>("Text3")->toPlainText(); }
    QString status() const { return control<QLabel>("Label5")->text(); }
};

const UnoDocuments::WordContent kWords{{"正文 词"}, {}, {"眉词"}, {"脚"}, {}};

QString joined(const QString& path, const QString& story)
{
    return UnoDocuments::stories(path).value(story).join('\n');
}

// Replaced once: "词语", never "词语语".
void wordReplacedOnce(const QString& path, const QString& story)
{
    const QString text = joined(path, story);
    QVERIFY2(text.contains("词语") && !text.contains("词语语"), qPrintable(path + ": " + text));
}

} // namespace

// Per job button: its tab's option, the files it works on, what the user
// types, and what the folder must hold after one run.
struct JobCase
{
    QString option;
    QStringList files;
    QList<std::pair<QString, QString>> inputs;
    std::function<void(const QString& folder)> once;
};
Q_DECLARE_METATYPE(JobCase)

class TestForm1Jobs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { MessageBox::clearAnswers(); }
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void doubleClickRunsEachJobOnce_data();
    void doubleClickRunsEachJobOnce();
    void stopAndCloseMidRun();
    void passwordDocumentAsOnTheCommandLine();
    void previewOnlySavesNothing();
    void workersShowWhatOneEngineShows();

private:
    QTemporaryDir m_made; // documents made once, copied for each case
    QString made(const QString& name) const { return m_made.filePath(name); }
    // A fresh folder with copies of the made files.
    QString copies(QTemporaryDir& dir, const QStringList& names) const
    {
        const QString folder = dir.filePath("files");
        QDir().mkpath(folder);
        for (const QString& name : names)
            QFile::copy(made(name), QDir(folder).filePath(name));
        return folder;
    }
};

void TestForm1Jobs::initTestCase()
{
    UnoDocuments::writeDocument(made("a.doc"), kWords);
    UnoDocuments::writeDocument(made("b.docx"), kWords);
    UnoDocuments::writeWorkbook(made("c.xlsx"),
                                {{"表一", {{1, 1, "词"}, {2, 1, "词"}}}, {"表二", {{1, 1, "无"}}}});
    UnoDocuments::writeWorkbook(made("d.xlsx"), {{"表一", {{1, 1, "词"}}}});
    for (int i = 0; i < 8; ++i)
        UnoDocuments::writeDocument(made(QString("s%1.doc").arg(i)),
                                    {{QString("第 %1 篇 词").arg(i)}, {}, {}, {}, {}});
    writeFile(made("e.txt"), "text");
    writeFile(made("f.txt"), "text");
}

void TestForm1Jobs::doubleClickRunsEachJobOnce_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<JobCase>("job");
    using Inputs = QList<std::pair<QString, QString>>;
    const auto row = [](const char* button, const QString& option, const QStringList& files,
                        const Inputs& inputs, const std::function<void(const QString&)>& once) {
        QTest::newRow(button) << QString(button) << JobCase{option, files, inputs, once};
    };
    // The check of each file of the case.
    const auto each = [](const QStringList& names, const std::function<void(const QString&)>& check) {
        return [=](const QString& folder) {
            for (const QString& name : names)
                check(folder + "/" + name);
        };
    };
    const auto replacedIn = [](const QString& story) {
        return [=](const QString& path) { wordReplacedOnce(path, story); };
    };
    const QStringList documents{"a.doc", "b.docx"};
    const QStringList workbooks{"c.xlsx", "d.xlsx"};
    const QStringList texts{"e.txt", "f.txt"};
    const Inputs words{{"Text1", "词"}, {"Text2", "词语"}};
    row("Command1", "Option1", documents, words, each(documents, replacedIn("body")));
    row("Command9", "Option11", documents, {{"Text13_0", "词"}, {"Text13_1", "词语"}},
        each(documents, replacedIn("body")));
    row("Command7", "Option7", documents, {{"Check10", {}}, {"Text12_0", "词"}, {"Text12_1", "词语"}},
        each(documents, replacedIn("headers-footers")));
    row("Command3", "Option7", documents, {{"Check12_0", {}}, {"Text4", "新页眉"}},
        each(documents,
             [](const QString& path) { QCOMPARE(joined(path, "headers-footers").count("新页眉"), 1); }));
    row("Command2", "Option2", workbooks, words, each(workbooks, replacedIn("cells")));
    // c.xlsx has two sheets, d.xlsx one.
    row("Command8", "Option2", workbooks, {{"Text15_0", "3"}, {"Text15_1", "2"}, {"Text15_2", "写入"}},
        each(workbooks, [](const QString& path) {
            QCOMPARE(joined(path, "cells").count("写入"), path.endsWith("c.xlsx") ? 2 : 1);
        }));
    row("Command4", "Option9", texts, {{"Text8", "*.txt"}, {"Check7", {}}},
        [](const QString& folder) { QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList()); });
    row("Command6", "Option10", texts, {{"Text11", "*.txt"}, {"Text10", "新"}, {"Option8_2", {}}},
        [](const QString& folder) {
            const QStringList names = QDir(folder).entryList(QDir::Files);
            QCOMPARE(names.size(), 2);
            for (const QString& name : names)
                QVERIFY2(name.count("新") == 1, qPrintable(name));
        });
}

void TestForm1Jobs::doubleClickRunsEachJobOnce()
{
    QFETCH(QString, button);
    QFETCH(JobCase, job);
    QTemporaryDir dir;
    const QString folder = copies(dir, job.files);
    Window window;
    window.enter(job.inputs); // before the collection: the patterns are among them
    for (int i = 0; button == "Command6" && i < 4; ++i)
        MessageBox::setNextAnswer(QMessageBox::Ok); // the rename's notices
    const QStringList rows = window.collect(job.option, QDir::toNativeSeparators(folder));
    QCOMPARE(rows.size(), job.files.size());

    // The whole run happens inside the delivery of the first click.
    postDoubleClick(window.control<QPushButton>(button));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(!window.form->jobRunning());

    // No file was reported twice, and none failed.
    const QStringList messages = journalMessages(window.folders.journal());
    for (const QString& path : rows) {
        const QStringList about = messages.filter(path);
        QCOMPARE(QSet<QString>(about.cbegin(), about.cend()).size(), about.size());
    }
    QVERIFY2(!window.log().contains("失败"), qPrintable(window.log()));
    job.once(folder);
}

void TestForm1Jobs::stopAndCloseMidRun()
{
    QStringList names;
    for (int i = 0; i < 8; ++i)
        names << QString("s%1.doc").arg(i);
    // The documents are read back later; the test's own soffice must not be counted now.
    UnoDocuments::shutdown();

    for (const bool byClosing : {false, true}) {
        QTemporaryDir dir;
        const QString folder = copies(dir, names);
        Window window;
        window.collect("Option1", QDir::toNativeSeparators(folder));
        window.replaceWords();
        auto* stop = window.form->findChild<QAction*>("stopJob");
        QVERIFY(!stop->isVisible());

        // The user acts from the window's events, which the run lets through
        // between files: once the first file is reported.
        bool acted = false, stopShown = false, stillShown = false;
        QTimer user;
        connect(&user, &QTimer::timeout, [&] {
            if (acted || window.log().isEmpty())
                return;
            acted = true;
            stopShown = stop->isVisible();
            if (byClosing) {
                window.form->close();
                stillShown = window.form->isVisible(); // until the job has stopped
            } else {
                QTest::keyClick(window.form.get(), Qt::Key_Escape);
                stillShown = true;
            }
        });
        user.start(20);
        window.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.form.get()));
        window.control<QPushButton>("Command1")->click();
        user.stop();
        QVERIFY(acted && stopShown && stillShown);
        QVERIFY(!window.form->jobRunning());
        if (byClosing)
            QTRY_VERIFY(!window.form->isVisible());
        QVERIFY(!stop->isVisible());

        // The last line counts the files left; each file is done, or keeps its bytes.
        const QRegularExpressionMatch stopped =
            QRegularExpression("\n 用户停止，未处理 (\\d+) 个文件$").match(window.log());
        const int left = stopped.hasMatch() ? stopped.captured(1).toInt() : -1;
        QVERIFY2(left > 0 && left < names.size(), qPrintable(window.log()));
        QCOMPARE(journalMessages(window.folders.journal()).last(),
                 QString(" 用户停止，未处理 %1 个文件").arg(left));
        QVERIFY(!window.status().contains("全部操作已完成"));
        QTRY_COMPARE_WITH_TIMEOUT(sofficesOf(), QList<qint64>(), 15000);
        int untouched = 0;
        for (const QString& name : names) {
            const QString path = folder + "/" + name;
            if (bytes(path) == bytes(made(name)))
                ++untouched;
            else
                QVERIFY2(joined(path, "body").contains("词语"), qPrintable(path));
        }
        QCOMPARE(untouched, left);
        UnoDocuments::shutdown();
    }
}

void TestForm1Jobs::passwordDocumentAsOnTheCommandLine()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("files");
    QDir().mkpath(folder);
    const QString locked = QDir::toNativeSeparators(folder + "/locked.doc");
    UnoDocuments::writeDocument(locked, kWords, "secret");
    const QByteArray before = bytes(locked);

    Window window;
    window.collect("Option1", QDir::toNativeSeparators(folder));
    window.replaceWords();
    window.control<QPushButton>("Command1")->click();
    const QString shown = window.log().section('\n', 0, 0);
    QVERIFY2(shown.endsWith(" 打开失败，未修改：文件有密码保护"), qPrintable(shown));

    QTemporaryDir app;
    const CliRun cli = CliRun::of({"word-replace", "--old", "词", "--new", "词语", locked}, app.path());
    QCOMPARE(cli.code, 1);
    QCOMPARE(cli.out.value(0), shown);
    QCOMPARE(bytes(locked), before);
}

// With 只预览，不保存 ticked, the replace counts in the log box and saves and keeps nothing.
void TestForm1Jobs::previewOnlySavesNothing()
{
    QTemporaryDir dir;
    const QString folder = copies(dir, {"a.doc", "b.docx"});
    Window window;
    const QStringList rows = window.collect("Option1", QDir::toNativeSeparators(folder));
    QCOMPARE(rows.size(), 2);
    window.replaceWords();
    window.enter({{"Check13_2", {}}}); // headers and footers
    auto* preview = window.form->findChild<QAction*>("previewOnly");
    QVERIFY(preview);
    preview->setChecked(true);
    QCOMPARE(window.form->findChild<QMenu*>("preview")->title(), QString("预览（开）"));

    window.control<QPushButton>("Command1")->click();
    for (const char* name : {"a.doc", "b.docx"})
        QCOMPARE(bytes(folder + "/" + QString(name)), bytes(made(name)));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QCOMPARE(window.log(), rows.join(" 预览：正文 1 处，文本框 0 处，页眉 1 处，页脚 0 处\n") +
                               " 预览：正文 1 处，文本框 0 处，页眉 1 处，页脚 0 处");
    QCOMPARE(window.status(), QString("预览完成，没有保存任何文件"));
    QVERIFY(QDir(window.app.filePath("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());

    // Unticked, the same click replaces.
    preview->setChecked(false);
    window.control<QPushButton>("Command1")->click();
    wordReplacedOnce(folder + "/b.docx", "body");
    wordReplacedOnce(folder + "/a.doc", "body");
}

void TestForm1Jobs::workersShowWhatOneEngineShows()
{
    QTemporaryDir dir;
    const QString one = QDir::toNativeSeparators(dir.filePath("one"));
    const QString many = QDir::toNativeSeparators(dir.filePath("many"));
    // Both formats mixed (the .docx go to the lossless engine), one broken .doc, one file without the text.
    const QList<std::pair<QString, bool>> documents = {
        {"a1.doc", true}, {"a2.docx", true}, {"a3.doc", false}, {"a4.doc", true}, {"a5.doc", true},
    };
    QDir().mkpath(one);
    for (const auto& [name, hasText] : documents) {
        const QStringList body = hasText ? QStringList{"正文 OLD 一", "第二段 OLD"} : QStringList{"正文 一"};
        UnoDocuments::writeDocument(one + "/" + name, {body, {}, {}, {}, {}});
    }
    writeFile(one + "/a6 坏.doc", "\xD0\xCF\x11\xE0 not really a document\r\n");
    QMap<QString, QByteArray> before;
    QDir().mkpath(many);
    for (const QString& name : QDir(one).entryList(QDir::Files)) {
        before.insert(name, bytes(one + "/" + name));
        QVERIFY(QFile::copy(one + "/" + name, many + "/" + name));
    }

    // What a user sees of one run of the Word job over the folder: the log, the status line, the bar
    // and the journal; and how often a timer of the window's thread fired meanwhile.
    const auto run = [](const QString& folder, const QString& workerProgram, int workers, int& ticks) {
        Window window(workerProgram, workers);
        window.collect("Option1", folder);
        window.enter({{"Text1", "OLD"}, {"Text2", "新文"}});
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(20);
        window.control<QPushButton>("Command1")->click();
        ticker.stop();
        const auto* bar = window.control<QProgressBar>("ProgressBar1");
        return QStringList{window.log(), window.status(),
                           QString("%1/%2 %3").arg(bar->value()).arg(bar->maximum()).arg(bar->isVisible())} +
               journalMessages(window.folders.journal());
    };
    int ticks = 0;
    const QStringList single = run(one, {}, 0, ticks);
    ticks = 0;
    QStringList workers = run(many, YANHE_BIN, 2, ticks);

    // Every file worked on, the .doc before the .docx; the run's last line counts the file that failed.
    const QString sep = QDir::separator();
    QStringList lines = single.at(0).split('\n');
    QVERIFY2(lines.size() == 7, qPrintable(single.at(0)));
    QCOMPARE(lines.takeLast(), QString(" 失败 1 个文件，详见上方"));
    QCOMPARE(lines.last(), one + sep + "a2.docx 已替换内容");
    const QString broken = one + sep + "a6 坏.doc 打开失败，未修改";
    QVERIFY2(lines.removeIf([&](const QString& line) { return line.startsWith(broken); }) == 1,
             qPrintable(single.at(0)));
    lines.sort();
    QCOMPARE(lines, (QStringList{one + sep + "a1.doc 已替换内容", one + sep + "a2.docx 已替换内容",
                                 one + sep + "a3.doc 没找到替换的内容", one + sep + "a4.doc 已替换内容",
                                 one + sep + "a5.doc 已替换内容"}));
    QCOMPARE(single.at(1), QString("已完成 6 个文件！ 全部操作已完成"));
    QCOMPARE(single.at(2), QString("6/6 1"));

    // On two worker processes: the same lines in the same order, bar, status line and journal;
    // the window stayed live while the workers ran.
    workers.replaceInStrings(many, one);
    QCOMPARE(workers, single);
    QVERIFY(ticks > 0);

    // The same files changed the same way, as a user sees them; the others keep their bytes.
    for (const auto& [name, hasText] : documents) {
        QCOMPARE(bytes(many + "/" + name) != before.value(name), hasText);
        if (hasText) {
            const QStringList pages = UnoDocuments::renderPages(many + "/" + name);
            QCOMPARE(pages, UnoDocuments::renderPages(one + "/" + name));
            QVERIFY2(pages.join('\n').contains("第二段 新文"), qPrintable(pages.join('\n')));
        }
    }
    QCOMPARE(bytes(many + "/a6 坏.doc"), before.value("a6 坏.doc"));
}

QTEST_MAIN(TestForm1Jobs)
#include "tst_form1_jobs.moc"

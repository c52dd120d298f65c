#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "app/Module2.h"
#include "gui/DirList.h"
#include "gui/Form1.h"
#include "gui/MessageBox.h"
#include "office/OfficeRegistry.h"
#include "support/FakeRunningOffice.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QtTest>
#include <QtWidgets>
#include <functional>
#include <memory>

// The window running jobs on real files through LibreOffice, as a user drives it.
namespace {

// A double-click as the platform queues it while the window is busy: press, release, double, release.
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

    QStringList rows; // as collected

    // The option chosen, the folder double-clicked, every row ticked.
    void collect(const QString& option, const QString& folder)
    {
        control<QRadioButton>(option)->click();
        auto* dir1 = control<DirList>("Dir1");
        dir1->setPath(folder);
        dir1->setCurrentRow(dir1->rowOf(folder));
        emit dir1->entryClicked();
        auto* list = control<QListWidget>("List1");
        for (int row = 0; row < list->count(); ++row) {
            list->item(row)->setCheckState(Qt::Checked);
            rows << list->item(row)->text();
        }
    }
    // A double-click on a job button: the whole run happens inside the delivery of the first click;
    // no file was reported twice, and none failed.
    void runByDoubleClick(const QString& button) const
    {
        postDoubleClick(control<QPushButton>(button));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(!form->jobRunning());
        const QStringList messages = journalMessages(folders.journal());
        for (const QString& path : rows) {
            const QStringList about = messages.filter(path);
            QCOMPARE(QSet<QString>(about.cbegin(), about.cend()).size(), about.size());
        }
        QVERIFY2(!log().contains("失败"), qPrintable(log()));
    }
    // Types into a text box; a box, option or menu entry named with no text is ticked.
    void enter(const QList<std::pair<QString, QString>>& inputs) const
    {
        for (const auto& [name, text] : inputs) {
            if (auto* edit = control<QLineEdit>(name))
                edit->setText(text);
            else if (auto* entry = control<QAction>(name))
                entry->setChecked(true);
            else
                control<QAbstractButton>(name)->setChecked(true);
        }
    }
    QString log() const { return control<QPlainTextEdit>("Text3")->toPlainText(); }
    QString status() const { return control<QLabel>("Label5")->text(); }
};

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

// A job button's case: its tab's option, its files, what the user types, and the check after one run.
struct JobCase
{
    QString button;
    QString option;
    QStringList files;
    QList<std::pair<QString, QString>> inputs;
    std::function<void(const Window& window, const QString& folder)> once;
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
    for (const char* name : {"a.doc", "b.docx"})
        UnoDocuments::writeDocument(made(name), {{"正文 词"}, {}, {"眉词"}, {"脚"}, {}});
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
    QTest::addColumn<JobCase>("job");
    using Inputs = QList<std::pair<QString, QString>>;
    using Check = std::function<void(const Window&, const QString&)>;
    // The row's name is its button.
    const auto row = [](const char* name, const QString& option, const QStringList& files,
                        const Inputs& inputs, const Check& once) {
        QTest::newRow(name) << JobCase{name, option, files, inputs, once};
    };
    // The check of each file of the case.
    const auto each = [](const QStringList& names, const std::function<void(const QString&)>& check) {
        return [=](const Window&, const QString& folder) {
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
        [](const Window&, const QString& folder) {
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
        });
    row("Command6", "Option10", texts, {{"Text11", "*.txt"}, {"Text10", "新"}, {"Option8_2", {}}},
        [](const Window&, const QString& folder) {
            const QStringList names = QDir(folder).entryList(QDir::Files);
            QCOMPARE(names.size(), 2);
            for (const QString& name : names)
                QVERIFY2(name.count("新") == 1, qPrintable(name));
        });
    // With 只预览，不保存 ticked the replace counts and keeps nothing; unticked, the same button replaces.
    row("Command1", "Option1", documents, words + Inputs{{"Check13_2", {}}, {"previewOnly", {}}},
        [=, this](const Window& window, const QString& folder) {
            QCOMPARE(window.control<QMenu>("preview")->title(), QString("预览（开）"));
            QStringList lines;
            for (const QString& name : documents) {
                QCOMPARE(bytes(folder + "/" + name), bytes(made(name)));
                lines << QDir::toNativeSeparators(folder + "/" + name) +
                             " 预览：正文 1 处，文本框 0 处，页眉 1 处，页脚 0 处";
            }
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
            QCOMPARE(window.log(), lines.join('\n'));
            QCOMPARE(window.status(), QString("预览完成，没有保存任何文件"));
            QVERIFY(
                QDir(window.app.filePath("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
            window.control<QAction>("previewOnly")->setChecked(false);
            window.runByDoubleClick("Command1");
            each(documents, replacedIn("body"))(window, folder);
        });
}

void TestForm1Jobs::doubleClickRunsEachJobOnce()
{
    QFETCH(JobCase, job);
    QTemporaryDir dir;
    const QString folder = copies(dir, job.files);
    Window window;
    window.enter(job.inputs); // before the collection: the patterns are among them
    for (int i = 0; job.button == "Command6" && i < 4; ++i)
        MessageBox::setNextAnswer(QMessageBox::Ok); // the rename's notices
    window.collect(job.option, QDir::toNativeSeparators(folder));
    QCOMPARE(window.rows.size(), job.files.size());
    window.runByDoubleClick(job.button);
    job.once(window, folder);
}

void TestForm1Jobs::stopAndCloseMidRun()
{
    const QStringList names = QDir(m_made.path()).entryList({"s*.doc"});
    // The documents are read back later; the test's own soffice must not be counted now.
    UnoDocuments::shutdown();

    for (const bool byClosing : {false, true}) {
        QTemporaryDir dir;
        const QString folder = copies(dir, names);
        Window window;
        window.collect("Option1", QDir::toNativeSeparators(folder));
        window.enter({{"Text1", "词"}, {"Text2", "词语"}});
        auto* stop = window.form->findChild<QAction*>("stopJob");
        QVERIFY(!stop->isVisible());

        // The user acts once the first file is reported, from the events the run lets through.
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

void TestForm1Jobs::workersShowWhatOneEngineShows()
{
    QTemporaryDir dir;
    const QString one = QDir::toNativeSeparators(dir.filePath("one"));
    const QString many = QDir::toNativeSeparators(dir.filePath("many"));
    // Both formats (.docx go to the lossless engine), a broken .doc, a locked one, one without the text.
    const QList<std::pair<QString, bool>> documents = {
        {"a1.doc", true}, {"a2.docx", true}, {"a3.doc", false}, {"a4.doc", true}, {"a5.doc", true},
    };
    QDir().mkpath(one);
    for (const auto& [name, hasText] : documents) {
        const QStringList body = hasText ? QStringList{"正文 OLD 一", "第二段 OLD"} : QStringList{"正文 一"};
        UnoDocuments::writeDocument(one + "/" + name, {body, {}, {}, {}, {}});
    }
    writeFile(one + "/a6 坏.doc", "\xD0\xCF\x11\xE0 not really a document\r\n");
    UnoDocuments::writeDocument(one + "/a7 锁.doc", {{"正文 OLD"}, {}, {}, {}, {}}, "secret");
    QMap<QString, QByteArray> before;
    QDir().mkpath(many);
    for (const QString& name : QDir(one).entryList(QDir::Files)) {
        before.insert(name, bytes(one + "/" + name));
        QVERIFY(QFile::copy(one + "/" + name, many + "/" + name));
    }

    // One Word run as a user sees it (log, status line, bar, journal), and the window's timer ticks.
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
    QStringList lines = single.at(0).split('\n').replaceInStrings(one + QDir::separator(), QString());
    lines.replaceInStrings(QRegularExpression("^(a6 坏.doc 打开失败，未修改).*"), "\\1");
    QCOMPARE(lines.mid(6), (QStringList{"a2.docx 已替换内容", " 失败 2 个文件，详见上方"}));
    lines.sort();
    QCOMPARE(lines,
             (QStringList{" 失败 2 个文件，详见上方", "a1.doc 已替换内容", "a2.docx 已替换内容",
                          "a3.doc 没找到替换的内容", "a4.doc 已替换内容", "a5.doc 已替换内容",
                          "a6 坏.doc 打开失败，未修改", "a7 锁.doc 打开失败，未修改：文件有密码保护"}));
    QCOMPARE(single.at(1), QString("已完成 7 个文件！ 全部操作已完成"));
    QCOMPARE(single.at(2), QString("7/7 1"));

    // On two workers: the same lines in the same order, bar, status and journal; the window stayed live.
    workers.replaceInStrings(many, one);
    QCOMPARE(workers, single);
    QVERIFY(ticks > 0);

    // The same files changed the same way, as a user sees them; the others keep their bytes.
    for (const auto& [name, hasText] : documents) {
        QCOMPARE(bytes(many + "/" + name) != before.value(name), hasText);
        if (hasText) {
            const QStringList pages = UnoDocuments::pages(many + "/" + name);
            QCOMPARE(pages, UnoDocuments::pages(one + "/" + name));
            QVERIFY2(pages.join('\n').contains("第二段 新文"), qPrintable(pages.join('\n')));
        }
    }
    for (const QString& folder : {one, many}) {
        for (const char* name : {"a6 坏.doc", "a7 锁.doc"})
            QCOMPARE(bytes(folder + "/" + name), before.value(name));
    }
}

QTEST_MAIN(TestForm1Jobs)
#include "tst_form1_jobs.moc"

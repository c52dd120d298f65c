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

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

// The window running jobs on real files, as a user drives it: a double-click
// on a job button, Esc and closing in the middle of a run, a run with failures.
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
    QString dayFolder;
    std::unique_ptr<Journal> journal;
    std::unique_ptr<Form1> form;

    Window()
    {
        dayFolder = Module2::StartUp(folders, Clock::system()).journalDayFolder;
        journal = std::make_unique<Journal>(dayFolder, Clock::system());
        form = std::make_unique<Form1>(folders, *journal, std::make_unique<FakeRunningOffice>(),
                                       OfficeRegistry::system());
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

    QString log() const { return control<QPlainTextEdit>("Text3")->toPlainText(); }

    QStringList journalMessages() const { return ::journalMessages(dayFolder); }
};

const UnoDocuments::WordContent kWords{{"正文 词"}, {}, {"眉词"}, {"脚"}, {}};

} // namespace

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
    void failuresOpenTheLogBox();
    void passwordDocumentAsOnTheCommandLine();
    void previewOnlySavesNothing();

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
    QFile plain(made("e.txt"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.write("text");
    plain.close();
    QFile::copy(made("e.txt"), made("f.txt"));
}

// Per job button: its tab's option, the files it works on, what the user
// types, and what the files must read after one run.
struct JobCase
{
    QString option;
    QStringList files;
    std::function<void(Window&)> inputs;
    std::function<void(const QString& folder)> once;
};
Q_DECLARE_METATYPE(JobCase)

namespace {

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

void TestForm1Jobs::doubleClickRunsEachJobOnce_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<JobCase>("job");
    const auto text = [](const QString& name, const QString& value) {
        return [=](Window& window) { window.control<QLineEdit>(name)->setText(value); };
    };
    const auto wordsOnce = [](const QString& story) {
        return [=](const QString& folder) {
            wordReplacedOnce(folder + "/a.doc", story);
            wordReplacedOnce(folder + "/b.docx", story);
        };
    };
    QTest::newRow("Command1") << "Command1"
                              << JobCase{"Option1",
                                         {"a.doc", "b.docx"},
                                         [=](Window& w) {
                                             text("Text1", "词")(w);
                                             text("Text2", "词语")(w);
                                         },
                                         wordsOnce("body")};
    QTest::newRow("Command9") << "Command9"
                              << JobCase{"Option11",
                                         {"a.doc", "b.docx"},
                                         [=](Window& w) {
                                             text("Text13_0", "词")(w);
                                             text("Text13_1", "词语")(w);
                                         },
                                         wordsOnce("body")};
    QTest::newRow("Command7") << "Command7"
                              << JobCase{"Option7",
                                         {"a.doc", "b.docx"},
                                         [=](Window& w) {
                                             w.control<QCheckBox>("Check10")->setChecked(true);
                                             text("Text12_0", "词")(w);
                                             text("Text12_1", "词语")(w);
                                         },
                                         wordsOnce("headers-footers")};
    QTest::newRow("Command3") << "Command3"
                              << JobCase{"Option7",
                                         {"a.doc", "b.docx"},
                                         [=](Window& w) {
                                             w.control<QCheckBox>("Check12_0")->setChecked(true);
                                             text("Text4", "新页眉")(w);
                                         },
                                         [](const QString& folder) {
                                             for (const QString name : {"a.doc", "b.docx"}) {
                                                 const QString header =
                                                     joined(folder + "/" + name, "headers-footers");
                                                 QCOMPARE(header.count("新页眉"), 1);
                                             }
                                         }};
    QTest::newRow("Command2") << "Command2"
                              << JobCase{"Option2",
                                         {"c.xlsx", "d.xlsx"},
                                         [=](Window& w) {
                                             text("Text1", "词")(w);
                                             text("Text2", "词语")(w);
                                         },
                                         [](const QString& folder) {
                                             wordReplacedOnce(folder + "/c.xlsx", "cells");
                                             wordReplacedOnce(folder + "/d.xlsx", "cells");
                                         }};
    QTest::newRow("Command8") << "Command8"
                              << JobCase{"Option2",
                                         {"c.xlsx", "d.xlsx"},
                                         [=](Window& w) {
                                             text("Text15_0", "3")(w);
                                             text("Text15_1", "2")(w);
                                             text("Text15_2", "写入")(w);
                                         },
                                         [](const QString& folder) {
                                             QCOMPARE(joined(folder + "/c.xlsx", "cells").count("写入"), 2);
                                             QCOMPARE(joined(folder + "/d.xlsx", "cells").count("写入"), 1);
                                         }};
    QTest::newRow("Command4") << "Command4"
                              << JobCase{"Option9",
                                         {"e.txt", "f.txt"},
                                         [=](Window& w) {
                                             text("Text8", "*.txt")(w);
                                             w.control<QCheckBox>("Check7")->setChecked(true);
                                         },
                                         [](const QString& folder) {
                                             QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
                                         }};
    QTest::newRow("Command6") << "Command6"
                              << JobCase{"Option10",
                                         {"e.txt", "f.txt"},
                                         [=](Window& w) {
                                             text("Text11", "*.txt")(w);
                                             text("Text10", "新")(w);
                                             w.control<QRadioButton>("Option8_2")->setChecked(true);
                                             for (int i = 0; i < 4; ++i)
                                                 MessageBox::setNextAnswer(QMessageBox::Ok);
                                         },
                                         [](const QString& folder) {
                                             const QStringList names = QDir(folder).entryList(QDir::Files);
                                             QCOMPARE(names.size(), 2);
                                             for (const QString& name : names)
                                                 QVERIFY2(name.count("新") == 1, qPrintable(name));
                                         }};
}

void TestForm1Jobs::doubleClickRunsEachJobOnce()
{
    QFETCH(QString, button);
    QFETCH(JobCase, job);
    QTemporaryDir dir;
    const QString folder = copies(dir, job.files);
    Window window;
    job.inputs(window); // before the collection: the patterns are among them
    const QStringList rows = window.collect(job.option, QDir::toNativeSeparators(folder));
    QCOMPARE(rows.size(), job.files.size());

    // The whole run happens inside the delivery of the first click.
    postDoubleClick(window.control<QPushButton>(button));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(!window.form->jobRunning());

    // No file was reported twice, and none failed.
    const QStringList messages = window.journalMessages();
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

    // Each file done, or left byte for byte as it was; nothing else.
    const auto doneOrUntouched = [&](const QString& folder, int left) {
        int untouched = 0;
        for (const QString& name : names) {
            const QString path = folder + "/" + name;
            if (bytes(path) == bytes(made(name))) {
                ++untouched;
                continue;
            }
            QVERIFY2(joined(path, "body").contains("词语"), qPrintable(path));
        }
        QCOMPARE(untouched, left);
    };
    const auto leftIn = [](const QString& log) {
        const QString line = log.section('\n', -1);
        const QRegularExpressionMatch match =
            QRegularExpression("^ 用户停止，未处理 (\\d+) 个文件$").match(line);
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    };

    for (const bool byClosing : {false, true}) {
        QTemporaryDir dir;
        const QString folder = copies(dir, names);
        Window window;
        window.collect("Option1", QDir::toNativeSeparators(folder));
        window.control<QLineEdit>("Text1")->setText("词");
        window.control<QLineEdit>("Text2")->setText("词语");
        auto* stop = window.form->findChild<QAction*>("stopJob");
        QVERIFY(!stop->isVisible());

        // The user acts from the window's events, which the run lets through
        // between files: once the first file is reported.
        bool acted = false;
        bool stopShown = false;
        bool stillShown = false;
        QTimer user;
        user.setInterval(20);
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
        user.start();
        window.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.form.get()));
        window.control<QPushButton>("Command1")->click();
        user.stop();
        QVERIFY(acted && stopShown && stillShown);
        QVERIFY(!window.form->jobRunning());
        if (byClosing)
            QTRY_VERIFY(!window.form->isVisible());
        QVERIFY(!stop->isVisible());

        const int left = leftIn(window.log());
        QVERIFY2(left > 0 && left < names.size(), qPrintable(window.log()));
        QCOMPARE(window.journalMessages().last(), QString(" 用户停止，未处理 %1 个文件").arg(left));
        QVERIFY(!window.control<QLabel>("Label5")->text().contains("全部操作已完成"));
        QTRY_COMPARE_WITH_TIMEOUT(sofficesOf(), QList<qint64>(), 15000);
        doneOrUntouched(folder, left);
        UnoDocuments::shutdown();
    }
}

void TestForm1Jobs::failuresOpenTheLogBox()
{
    QTemporaryDir dir;
    const QString folder = copies(dir, {"c.xlsx", "d.xlsx"});
    Window window;
    const QStringList rows = window.collect("Option2", QDir::toNativeSeparators(folder));
    window.control<QLineEdit>("Text15_0")->setText("abc");
    window.control<QLineEdit>("Text15_1")->setText("1");
    auto* text3 = window.control<QPlainTextEdit>("Text3");
    auto* command11 = window.control<QPushButton>("Command11");
    QVERIFY(text3->isHidden());

    window.control<QPushButton>("Command8")->click();
    // The status line stays as it was; the log box opens on the failures and ends with their count.
    QCOMPARE(window.control<QLabel>("Label5")->text(), QString("已完成 2 个文件！ 全部操作已完成"));
    QVERIFY(text3->isVisible());
    QCOMPARE(command11->text(), QString("关闭日志"));
    const QStringList lines = window.log().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).startsWith(rows.at(0) + " 写入失败"));
    QCOMPARE(lines.at(2), QString(" 失败 2 个文件，详见上方"));
    QCOMPARE(window.journalMessages().last(), QString(" 失败 2 个文件，详见上方"));
    for (const QString name : {"c.xlsx", "d.xlsx"})
        QCOMPARE(bytes(folder + "/" + name), bytes(made(name)));

    // The toggle stays in sight and closes the box at the smallest and the largest size.
    const QSize smallest = window.form->minimumSizeHint().expandedTo(window.form->minimumSize());
    const QSize largest = window.form->screen()->availableGeometry().size().expandedTo({2560, 1600});
    for (const QSize size : {smallest, largest, smallest}) {
        window.form->resize(size);
        QTest::qWait(50);
        if (text3->isHidden())
            command11->click();
        QTRY_VERIFY(text3->isVisible());
        QCoreApplication::processEvents();
        const QPoint centre = command11->mapTo(window.form.get(), command11->rect().center());
        QVERIFY(window.form->rect().contains(centre));
        QCOMPARE(window.form->childAt(centre), command11);
        QTest::mouseClick(window.form->childAt(centre), Qt::LeftButton);
        QVERIFY(text3->isHidden());
        QCOMPARE(command11->text(), QString("打开日志"));
    }

    // A run without failures leaves the box as the user had it.
    window.control<QLineEdit>("Text15_0")->setText("1");
    window.control<QPushButton>("Command8")->click();
    QVERIFY(text3->isHidden());
    QVERIFY(!window.log().contains("失败"));
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
    window.control<QLineEdit>("Text1")->setText("词");
    window.control<QLineEdit>("Text2")->setText("词语");
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
    window.control<QLineEdit>("Text1")->setText("词");
    window.control<QLineEdit>("Text2")->setText("词语");
    window.control<QCheckBox>("Check13_2")->setChecked(true); // headers and footers
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
    QCOMPARE(window.control<QLabel>("Label5")->text(), QString("预览完成，没有保存任何文件"));
    QVERIFY(!QDir(window.app.filePath("backup")).exists() ||
            QDir(window.app.filePath("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());

    // Unticked, the same click replaces.
    preview->setChecked(false);
    window.control<QPushButton>("Command1")->click();
    wordReplacedOnce(folder + "/b.docx", "body");
    wordReplacedOnce(folder + "/a.doc", "body");
}

QTEST_MAIN(TestForm1Jobs)
#include "tst_form1_jobs.moc"

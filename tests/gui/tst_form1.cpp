#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "app/Module2.h"
#include "app/RuntimeError.h"
#include "backup/BackupStore.h"
#include "gui/Controls.h"
#include "gui/DirList.h"
#include "gui/EventBoundary.h"
#include "gui/Form1.h"
#include "gui/MessageBox.h"
#include "gui/WindowInputs.h"
#include "jobs/JobTable.h"
#include "support/FakeOffice.h"
#include "support/FakeRunningOffice.h"
#include "support/MemoryJobHost.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace {

// A started tool in a temporary application folder.
struct Started
{
    QTemporaryDir dir;
    AppFolders folders{dir.path()};
    FixedClock clock{QDateTime(QDate(2026, 12, 4), QTime(9, 30))};
    std::unique_ptr<Journal> journal;
    FakeRunningOffice* office = nullptr; // owned by the window
    FakeOffice fakeOffice;
    std::unique_ptr<Form1> form;

    Started()
    {
        journal = std::make_unique<Journal>(Module2::StartUp(folders, clock).journalDayFolder, clock);
        auto fake = std::make_unique<FakeRunningOffice>();
        office = fake.get();
        // WPS answers under both identifiers, so that every engine option stays enabled.
        fakeOffice.registered << "et.application"
                              << "ket.application";
        fakeOffice.spreadsheetPrograms["et.application"] = {"ET", "8.1", {}, 0};
        fakeOffice.spreadsheetPrograms["ket.application"] = {"KET", "11", {}, 0};
        form = std::make_unique<Form1>(folders, *journal, std::move(fake), fakeOffice);
        form->Form_Load();
        fakeOffice.calls.clear(); // the load's probes
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    template <class T = QWidget> T* control(const QString& name) const { return form->findChild<T*>(name); }
};

// The caption or text a control shows.
QString shownText(const QObject* object)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(object))
        return button->text();
    if (const auto* label = qobject_cast<const QLabel*>(object))
        return label->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(object))
        return edit->text();
    if (const auto* box = qobject_cast<const QGroupBox*>(object))
        return box->title();
    if (const auto* combo = qobject_cast<const QComboBox*>(object))
        return combo->currentText();
    if (const auto* text = qobject_cast<const QPlainTextEdit*>(object))
        return text->toPlainText();
    if (const auto* menu = qobject_cast<const QMenu*>(object))
        return menu->title();
    if (const auto* action = qobject_cast<const QAction*>(object))
        return action->text();
    return QStringLiteral("<no text: %1>").arg(QLatin1String(object->metaObject()->className()));
}

// What the platform delivers for a double-click: press, release, double-click, release.
void doubleClick(QListWidget* list, QListWidgetItem* item)
{
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
}

// Calls act on the modal window as soon as one is shown, however long the machine takes to show it.
void whenModalShown(const std::function<void(QWidget*)>& act)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (QWidget* shown = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            act(shown);
        }
    });
    poll->start();
}

const QString kUnlock = "搜索前先勾上解锁双击左侧文件夹选择，如果包含子文件夹请在文件夹上方勾选";
const QString kNote = "注意：扩展名(每个扩展名以*号开头)，多个用英文逗号“,”隔开,如:*.exe,*.jpg";

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT
private slots:
    void init() { MessageBox::clearAnswers(); }
    void cleanupTestCase() { m_shared.reset(); }
    void everyControlWithItsText_data();
    void everyControlWithItsText();
    void loadedState();
    void versionFileAndTitle();
    void welcomeScrollerCycles();
    void logBoxToggles();
    void menus();
    void optionsUnlockAndExcludeEachOther();
    void guardsAskAndEnd();
    void doubleClickCollectsIntoTheList();
    void tickAllAndRemove();
    void unreadableDrive();
    void replaceJobsFromTheFirstTab();
    void jobTableFindsItsControls();
    void rawExceptionInTheMiddleOfABatch();
    void handlersEndInOneLine();
    void renameExampleAndDeleteUnlock();
    void windowGrowsIntoTheListAndBoxes();
    void dropFolderOrFiles();
    void boxButtonsInChinese();
    void statusLineWithOneTickedRow();
    void oneJobAtATime();
    void undoLastAsksFirst();

private:
    std::unique_ptr<Started> m_shared; // one window for all rows of the control table
};

void TestForm1::everyControlWithItsText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("checked"); // -1: not a check box or option

    const auto row = [](const QString& name, const QString& text, int checked = -1) {
        QTest::newRow(qPrintable(name)) << name << text << checked;
    };
    // The texts that are computed at load or shared between places, and the defaults the jobs read.
    // The environment report of the load: Excel 2016, WPS 8.1 as ET, WPS 11 as KET.
    row("Text9", "1、本机系统提示: 已安装offcce 2016版本 版本号：16.0  2、系统wps提示:已安装WPS-V8或以下版本 "
                 "版本号：8.1.0  3、系统wps提示:已安装WPS-V9或以上版本 版本号：11.0");
    row("StatusBar1_Panel1", "砚禾办公助手");
    row("Check8_0", "常规", 1);
    row("Check8_1", "只读", 1);
    row("Check8_2", "隐藏", 0);
    row("Check8_3", "系统", 0);
    row("Text1", "输入原内容");
    row("Text2", "输入新内容");
    row("Text15_2", "输入替换内容");
    row("Text12_0", "原文本");
    row("Text12_1", "新文本");
    row("Text12_2", "原文本");
    row("Text12_3", "新文本");
    row("Text6_0", "宋体");
    row("Text7_0", "10");
    row("Combo1", "居中");
    row("Text6_1", "宋体");
    row("Text7_1", "10");
    row("Combo2", "居左");
    row("Combo3", "居中");
    row("Option9", kUnlock, 0);
    row("Option10", kUnlock, 0);
    row("Option11", "word" + kUnlock, 0);
    row("Text8", "*.doc,*.docx");
    row("Text11", "*.doc,*.docx");
    row("Label6_0", kNote);
    row("Label6_1", kNote);
    row("txtStep", "1");
    row("Option8_0", "替换前缀", 1);
    row("Option8_1", "替换后缀", 0);
    row("lblSource_0", "ple.gif");
    row("lblSource_1", "el.gif");
    row("lblTarget_0", "1.gif");
    row("lblTarget_1", "2.gif");
    row("Text13_0", "学习目标|经典例说|夯实基础|能力提升|拓展提高");
    row("Text13_1", "成功点要|预习指导|预习自测|尝试探索|拓展训练");
}

void TestForm1::everyControlWithItsText()
{
    if (!m_shared)
        m_shared = std::make_unique<Started>();
    const Started& started = *m_shared;
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(int, checked);

    const QList<QObject*> found = started.form->findChildren<QObject*>(name);
    QVERIFY2(found.size() == 1, qPrintable(QString("%1 controls named %2").arg(found.size()).arg(name)));
    QCOMPARE(shownText(found.first()), text);
    if (checked >= 0) {
        const auto* box = qobject_cast<QAbstractButton*>(found.first());
        QVERIFY(box && box->isCheckable());
        QCOMPARE(int(box->isChecked()), checked);
    }
}

void TestForm1::loadedState()
{
    const Started started;
    // No folder can be chosen before an engine option is.
    QVERIFY(!started.control("Drive1")->isEnabled());
    QVERIFY(!started.control("Dir1")->isEnabled());
    QVERIFY(started.control("ProgressBar1")->isHidden());
    QVERIFY(started.control("Check2")->isHidden());
    QVERIFY(started.control("Text3")->isHidden());
    QVERIFY(started.form->collector().SearchEnabled);
    QVERIFY(started.form->collector().SubfolderSwitch.isEmpty());
    // The welcome text, perhaps already moved on by the scroller's ticks.
    const QString welcome = started.control<QLabel>("StatusBar1_Panel2")->text();
    QCOMPARE(welcome.trimmed(), QString("欢迎使用砚禾办公助手"));
    QVERIFY(!started.control<QLabel>("StatusBar1_Panel3")->text().isEmpty());
    QVERIFY(started.control<QLabel>("StatusBar1_Panel4")->text().contains(':'));

    const auto* timer1 = started.form->findChild<QTimer*>("Timer1");
    const auto* timer3 = started.form->findChild<QTimer*>("Timer3");
    QVERIFY(timer1 && !timer1->isActive());
    QVERIFY(timer3 && timer3->isActive());
    QCOMPARE(timer3->interval(), 300);

    const auto* tabs = started.control<QTabWidget>("SSTab1");
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i)
        captions << tabs->tabText(i);
    QCOMPARE(captions, (QStringList{"文档单文本替换", "页眉-页脚-页码", "文件搜索删除", "文件批量改名",
                                    "文档多文本替换"}));
    QCOMPARE(tabs->currentIndex(), 0);

    // The list scrolls sideways over at least 2500 pixels.
    auto* list = started.control<QListWidget>("List1");
    QCOMPARE(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(list->horizontalScrollBar()->maximum() + list->viewport()->width() >= 2500);

    // The window opens at about 13455 x 8490 twips of client area.
    const QSize client = started.form->centralWidget()->size();
    QVERIFY2(qAbs(client.width() - 897) < 60 && qAbs(client.height() - 566) < 80,
             qPrintable(QString("%1x%2").arg(client.width()).arg(client.height())));
}

void TestForm1::versionFileAndTitle()
{
    const QString version = YANHE_TEST_VERSION;
    const Started started;
    QCOMPARE(started.form->versionText(), version);
    QCOMPARE(started.form->windowTitle(), "砚禾批量替换Word ExceL文档内容助手V" + version);

    QFile file(started.folders.versionFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), version.toLatin1() + "\r\n");
    file.close();

    // Every start writes it again, whatever it held.
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("0.0.1\r\nold\r\n");
    file.close();
    FakeOffice none;
    Form1 again(started.folders, *started.journal, std::make_unique<FakeRunningOffice>(), none);
    again.Form_Load();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), version.toLatin1() + "\r\n");
}

void TestForm1::welcomeScrollerCycles()
{
    const QString welcome = "欢迎使用砚禾办公助手"; // 10 characters
    // 4500 twips hold 37.5 characters: 27 blanks fit, the 28th tick starts over.
    QString text = welcome;
    for (int tick = 1; tick <= 27; ++tick) {
        text = Form1::nextWelcomeText(text, 4500);
        QCOMPARE(text, QString(tick, ' ') + welcome);
    }
    QCOMPARE(Form1::nextWelcomeText(text, 4500), welcome);
    // Only the leading blanks go.
    QCOMPARE(Form1::nextWelcomeText("  a b ", 600), QString("a b "));

    // On the window: the panel moves right per tick and comes back within one cycle.
    const Started started;
    started.form->findChild<QTimer*>("Timer3")->stop();
    auto* panel = started.control<QLabel>("StatusBar1_Panel2");
    panel->setText(welcome); // where the ticks before the stop left it does not count
    started.form->Timer3_Timer();
    QCOMPARE(panel->text(), " " + welcome);
    bool cameBack = false;
    for (int tick = 0; tick < 1000 && !cameBack; ++tick) {
        started.form->Timer3_Timer();
        cameBack = panel->text() == welcome;
    }
    QVERIFY(cameBack);
}

void TestForm1::logBoxToggles()
{
    const Started started;
    auto* command11 = started.control<QPushButton>("Command11");
    auto* text3 = started.control<QPlainTextEdit>("Text3");

    command11->click();
    QVERIFY(text3->isVisible());
    QCOMPARE(command11->text(), QString("关闭日志"));
    const QRect placed = text3->geometry();
#ifdef Q_OS_WIN
    // Under Wine the offscreen platform finds no fonts, and the window's first size follows
    // from its texts: the box takes the list frame's left and width, down to the tabs' bottom.
    const QRect frame = started.control("Frame4")->geometry();
    QCOMPARE(placed.left(), frame.left());
    QCOMPARE(placed.width(), frame.width());
    QCOMPARE(placed.bottom(), started.control("SSTab1")->geometry().bottom());
#else
    // 2760, 1440, 10455, 6375 twips at the window's first size.
    QVERIFY2(
        qAbs(placed.left() - 184) <= 12 && qAbs(placed.top() - 96) <= 16 &&
            qAbs(placed.width() - 697) <= 16 && qAbs(placed.height() - 425) <= 40,
        qPrintable(
            QString("%1,%2 %3x%4").arg(placed.x()).arg(placed.y()).arg(placed.width()).arg(placed.height())));
#endif

    started.form->appendLog("C:\\a.doc 已替换内容");
    started.form->appendLog("C:\\b.doc 没找到替换的内容");
    command11->click();
    QVERIFY(text3->isHidden());
    QCOMPARE(command11->text(), QString("打开日志"));
    QCOMPARE(text3->toPlainText(), QString("C:\\a.doc 已替换内容\nC:\\b.doc 没找到替换的内容"));

    // Same place and size on every click, whatever was set in between.
    text3->setGeometry(0, 0, 10, 10);
    command11->click();
    QCOMPARE(text3->geometry(), placed);
    QVERIFY(text3->isVisible());
    QCOMPARE(text3->toPlainText().count('\n'), 1);
}

void TestForm1::menus()
{
    const Started started;
    // The journal menu opens the Journal folder, not the day folder.
    QString opened;
    started.form->setFolderOpener([&](const QString& folder) { opened = folder; });
    started.form->findChild<QAction*>("ckrz")->trigger();
    QCOMPARE(opened, started.folders.journal());

    // The contact window is modal.
    QString modalName;
    bool modal = false;
    whenModalShown([&](QWidget* shown) {
        modalName = shown->objectName();
        modal = shown->isModal();
        shown->close();
    });
    started.form->findChild<QAction*>("das")->trigger();
    QCOMPARE(modalName, QString("Form3"));
    QVERIFY(modal);

    MessageBox::setNextAnswer(QMessageBox::Ok);
    started.form->findChild<QAction*>("gy")->trigger();
    QCOMPARE(MessageBox::answered().size(), 1);
    QCOMPARE(MessageBox::answered().first().title, QString("关于"));
    QVERIFY(MessageBox::answered().first().text.contains("砚禾办公助手"));
}

void TestForm1::optionsUnlockAndExcludeEachOther()
{
    const Started started;
    const auto option = [&](const char* name) { return started.control<QRadioButton>(name); };
    auto* check2 = started.control("Check2");

    // No Word running: no question, the lists open, Check2 shows.
    option("Option1")->click();
    QVERIFY(MessageBox::answered().isEmpty());
    QVERIFY(started.control("Drive1")->isEnabled() && started.control("Dir1")->isEnabled());
    QVERIFY(check2->isVisible());
    option("Option2")->click(); // same frame: replaces Option1
    QVERIFY(!option("Option1")->isChecked());
    option("Option1")->click();

    // Option7 clears Option1 and leaves Check2 as it was.
    option("Option7")->click();
    QVERIFY(!option("Option1")->isChecked());
    QVERIFY(check2->isVisible());
    // Option7 and Option10 form one group across their tabs.
    option("Option10")->click();
    QVERIFY(!option("Option7")->isChecked() && option("Option10")->isChecked());
    // Option9 clears Option1 and Option7 only; Option11 clears nothing.
    option("Option1")->click();
    option("Option9")->click();
    QVERIFY(!option("Option1")->isChecked() && option("Option10")->isChecked() &&
            option("Option9")->isChecked());
    option("Option11")->click();
    QVERIFY(option("Option9")->isChecked() && option("Option11")->isChecked());
}

void TestForm1::guardsAskAndEnd()
{
    {
        const Started started;
        started.office->instances["Word.Application"] = {"/home/u/open.docx"};
        MessageBox::setNextAnswer(QMessageBox::Yes);
        started.control<QRadioButton>("Option3")->click(); // the WPS option guards against Word too
        QCOMPARE(MessageBox::answered().size(), 1);
        const MessageBox::Shown& box = MessageBox::answered().first();
        QCOMPARE(box.title, QString("关闭确认..."));
        QCOMPARE(
            box.text,
            QString("您有文档已打开，必须手动保存关闭后再执本工具\r\n点“是”直接关闭文档，点“否”退出工具"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.defaultButton, QMessageBox::No);
        QCOMPARE(started.office->ended, QStringList{"winword.EXE"});
        QFile journal(started.journal->filePathAt(started.clock.now()));
        QVERIFY(journal.open(QIODevice::ReadOnly));
        // The journal is in the system's code page (on a Chinese Windows, 936).
        QVERIFY(QString::fromLocal8Bit(journal.readAll()).endsWith(" 关闭了打开的word文档\r\n"));
        QVERIFY(started.control("Dir1")->isEnabled());
    }
    MessageBox::clearAnswers();
    {
        // Option4 while Excel holds a workbook; the answer is No: the tool ends.
        const Started started;
        bool ended = false;
        started.form->setProgramEnd([&] { ended = true; });
        started.office->instances["Excel.Application"] = {"/home/u/open.xlsx"};
        MessageBox::setNextAnswer(QMessageBox::No);
        started.control<QRadioButton>("Option4")->click();
        QVERIFY(ended);
        QVERIFY(MessageBox::answered().first().text.startsWith("您有表格已打开"));
        QVERIFY(started.office->ended.isEmpty());
        QVERIFY(!started.control("Dir1")->isEnabled());
        QVERIFY(started.control("Check2")->isHidden());
    }
}

void TestForm1::doubleClickCollectsIntoTheList()
{
    QTemporaryDir tree;
    for (const char* path : {"pick/b.doc", "pick/a.docx", "pick/inner/c.doc", "pick/note.txt", "other.doc"}) {
        QDir().mkpath(QFileInfo(tree.filePath(path)).path());
        QFile file(tree.filePath(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const Started started;
    auto* dir1 = started.control<DirList>("Dir1");
    auto* list = started.control<QListWidget>("List1");
    started.control<QRadioButton>("Option1")->click();
    started.control<QCheckBox>("Check4")->click(); // sub-folders too
    QVERIFY(dir1->setPath(tree.path()));

    // Folders only, each once.
    QVERIFY(dir1->findItems("other.doc", Qt::MatchContains).isEmpty());
    // A double-click on "pick" opens it and collects from it, .doc before .docx.
    const QList<QListWidgetItem*> rows = dir1->findItems("pick", Qt::MatchEndsWith);
    QCOMPARE(rows.size(), 1);
    doubleClick(dir1, rows.first());

    const QString pick = QDir::toNativeSeparators(tree.filePath("pick"));
    const QString sep = QDir::separator();
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) {
        shown << list->item(i)->text();
        QCOMPARE(list->item(i)->checkState(), Qt::Unchecked);
    }
    QCOMPARE(shown, (QStringList{pick + sep + "b.doc", pick + sep + "inner" + sep + "c.doc",
                                 pick + sep + "a.docx"}));
    QCOMPARE(started.control<QGroupBox>("Frame4")->title(), QString("收集到的文件 3条记录。"));
    QCOMPARE(started.control<QLabel>("Label5")->text(), pick + sep + "inner"); // the last folder entered
    QVERIFY(started.control("Command1")->isEnabled());
    QCOMPARE(started.form->collector().ClickCount, 0);

    // No attribute box ticked: nothing at all.
    for (int i = 0; i < 4; ++i)
        started.control<QCheckBox>(QString("Check8_%1").arg(i))->setChecked(false);
    doubleClick(dir1, dir1->item(0));
    QCOMPARE(list->count(), 0);
    QCOMPARE(started.control<QGroupBox>("Frame4")->title(), QString("收集到的文件 0条记录。"));
    QVERIFY(!started.control("Command1")->isEnabled());
}

void TestForm1::tickAllAndRemove()
{
    const Started started;
    auto* list = started.control<QListWidget>("List1");
    auto* check2 = started.control<QCheckBox>("Check2");
    // On an empty list only the caption changes.
    check2->show();
    check2->click();
    QCOMPARE(check2->text(), QString("反选"));
    check2->click();
    QCOMPARE(check2->text(), QString("全选"));

    for (int i = 0; i < 5; ++i) {
        auto* item = new QListWidgetItem(QString("/f/%1.doc").arg(i), list);
        item->setCheckState(Qt::Unchecked);
    }
    list->item(1)->setCheckState(Qt::Checked);
    check2->click();
    for (int i = 0; i < 5; ++i)
        QCOMPARE(list->item(i)->checkState(), Qt::Checked);
    QCOMPARE(list->currentRow(), -1);
    check2->click(); // clears every row, also those ticked by hand
    for (int i = 0; i < 5; ++i)
        QCOMPARE(list->item(i)->checkState(), Qt::Unchecked);

    list->item(1)->setCheckState(Qt::Checked);
    list->item(3)->setCheckState(Qt::Checked);
    auto* remove = started.control<QPushButton>("Command5");
    remove->click(); // Check6 not ticked: nothing happens
    QCOMPARE(list->count(), 5);
    started.control<QCheckBox>("Check6")->click();
    remove->click();
    QStringList left;
    for (int i = 0; i < list->count(); ++i)
        left << list->item(i)->text();
    QCOMPARE(left, (QStringList{"/f/0.doc", "/f/2.doc", "/f/4.doc"}));
    remove->click(); // nothing ticked: nothing removed
    QCOMPARE(list->count(), 3);
}

void TestForm1::unreadableDrive()
{
    const Started started;
    auto* drives = started.control<QComboBox>("Drive1");
    QVERIFY(drives->findData(QDir::toNativeSeparators(QDir::rootPath())) >= 0);
    auto* dir1 = started.control<DirList>("Dir1");
    const QString before = dir1->path();
    const int index = drives->currentIndex();

    drives->addItem("gone", QString("/no/such/drive/"));
    drives->setCurrentIndex(drives->count() - 1);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    emit drives->activated(drives->count() - 1);
    QCOMPARE(MessageBox::answered().size(), 1);
    QVERIFY(MessageBox::answered().first().text.contains("/no/such/drive/"));
    QCOMPARE(drives->currentIndex(), index);
    QCOMPARE(dir1->path(), before);
}

void TestForm1::replaceJobsFromTheFirstTab()
{
    Started started;
    auto* list = started.control<QListWidget>("List1");
    const auto row = [&](const QString& path, bool ticked) {
        auto* item = new QListWidgetItem(path, list);
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    };
    for (const QString& path : {QString("/d/a.doc"), QString("/d/b.docx"), QString("/d/c.doc")}) {
        FakeOffice::DocumentFile file;
        file.body.text = path.endsWith("b.docx") ? "有旧字" : "无";
        started.fakeOffice.documents[path] = file;
    }
    row("/d/a.doc", true);
    row("/d/b.docx", true);
    row("/d/c.doc", false);
    started.control<QLineEdit>("Text1")->setText("旧");
    started.control<QLineEdit>("Text2")->setText("新");

    // No engine chosen: the buttons do nothing.
    started.control<QPushButton>("Command1")->click();
    QVERIFY(started.fakeOffice.calls.isEmpty());

    started.control<QRadioButton>("Option1")->click();
    started.control<QPushButton>("Command1")->click();
    QCOMPARE(started.control<QPlainTextEdit>("Text3")->toPlainText(),
             QString("/d/a.doc 没找到替换的内容\n/d/b.docx 已替换内容"));
    auto* bar = started.control<QProgressBar>("ProgressBar1");
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 2);
    QCOMPARE(bar->value(), 2);
    QCOMPARE(started.control<QLabel>("Label5")->text(), QString("已完成 2 个文件！ 全部操作已完成"));
    QCOMPARE(started.fakeOffice.documents["/d/b.docx"].body.text, QString("有新字"));
    // The Word option does not run the workbook job.
    started.control<QPushButton>("Command2")->click();
    QCOMPARE(started.fakeOffice.calls.filter("create").size(), 1);
}

void TestForm1::jobTableFindsItsControls()
{
    // Every control and button of every job is in the window, once.
    const Started started;
    for (const JobRow& row : JobTable::rows()) {
        if (!row.button.isEmpty())
            QVERIFY2(started.control<QAbstractButton>(row.button), qPrintable(row.button));
        for (const QString& name : WindowInputs::controlsOf(row.button)) {
            const QString where = row.command + ": " + name;
            QVERIFY2(started.form->findChildren<QObject*>(name).size() == 1, qPrintable(where));
        }
    }

    // The check at start names what a row misspells, and a button that is not one.
    QWidget parent;
    Controls controls;
    controls.edit("Text1", "旧", &parent);
    controls.label("Label5", "", &parent);
    controls.button("Command1", "", &parent);
    controls.option("Option1", "", &parent)->setChecked(true);
    controls.combo("Combo1", {"居左", "居中"}, "居中", &parent);
    JobRow fine;
    fine.button = "Command1";
    JobRow misspelt;
    misspelt.button = "Label5";
    JobRow commandOnly;
    commandOnly.command = "collect-more";
    const QHash<QString, QStringList> reads{
        {"Command1", {"Text1", "Option1"}}, {"Label5", {"Text1", "Txet2"}}, {"", {"Check99"}}};
    QCOMPARE(WindowInputs::missing(controls, {fine, misspelt, commandOnly},
                                   [&](const QString& button) { return reads.value(button); }),
             (QStringList{"Label5: Label5", "Label5: Txet2", "collect-more: Check99"}));

    // Inputs are read when asked; a name or kind the window lacks is the tool's
    // error, which the job's boundary reports, never a null pointer.
    const WindowInputs inputs(controls);
    QCOMPARE(inputs.text("Text1"), QString("旧"));
    controls.find("Text1")->setProperty("text", "新");
    QCOMPARE(inputs.text("Text1"), QString("新"));
    QCOMPARE(inputs.text("Combo1"), QString("居中"));
    QVERIFY(inputs.ticked("Option1"));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, inputs.text("Txet2"));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, inputs.ticked("Text1"));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, inputs.ticked("Command1"));
}

void TestForm1::rawExceptionInTheMiddleOfABatch()
{
    Started started;
    QTemporaryDir docs;
    auto* list = started.control<QListWidget>("List1");
    QStringList paths;
    for (const char* name : {"a.doc", "b.doc", "c.docx"}) {
        const QString path = QDir::toNativeSeparators(docs.filePath(name));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        FakeOffice::DocumentFile document;
        document.body.text = "旧文";
        started.fakeOffice.documents[path] = document;
        auto* item = new QListWidgetItem(path, list);
        item->setCheckState(Qt::Checked);
        paths << path;
    }
    started.fakeOffice.throwStd << "open " + paths[1];
    started.control<QLineEdit>("Text1")->setText("旧");
    started.control<QLineEdit>("Text2")->setText("新");
    started.control<QRadioButton>("Option1")->click();
    started.control<QPushButton>("Command1")->click();

    // One line for the file that failed; the others are done; the count of failures last.
    QCOMPARE(started.control<QPlainTextEdit>("Text3")->toPlainText(),
             paths[0] + " 已替换内容\n" + paths[1] + " 打开失败，未修改：自动化错误\n" + paths[2] +
                 " 已替换内容\n 失败 1 个文件，详见上方");
    QCOMPARE(started.fakeOffice.documents[paths[0]].body.text, QString("新文"));
    QCOMPARE(started.fakeOffice.documents[paths[1]].body.text, QString("旧文"));
    QCOMPARE(started.fakeOffice.documents[paths[1]].saves, 0);
    QCOMPARE(started.fakeOffice.documents[paths[2]].body.text, QString("新文"));
    QCOMPARE(started.fakeOffice.calls.last(), QString("quit"));
    // The bar and the status line finished; the window is still there.
    auto* bar = started.control<QProgressBar>("ProgressBar1");
    QCOMPARE(bar->maximum(), 3);
    QCOMPARE(bar->value(), 3);
    QCOMPARE(started.control<QLabel>("Label5")->text(), QString("已完成 3 个文件！ 全部操作已完成"));
    QVERIFY(started.form->isVisible());
    // The journal also has what the engine said.
    QFile journal(started.journal->filePathAt(started.clock.now()));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromLocal8Bit(journal.readAll())
                .contains(paths[1] + " 打开失败，未修改：自动化错误（fake engine failure）\r\n"));
}

void TestForm1::handlersEndInOneLine()
{
    // Whatever a slot throws stays on this side of the event loop: one line.
    MemoryJobHost host;
    EventBoundary boundary;
    boundary.setHost(&host);
    QPushButton standard;
    QPushButton foreign;
    QPushButton own;
    QObject::connect(&standard, &QPushButton::clicked, &standard,
                     boundary.guard([] { throw std::runtime_error("disk on fire"); }));
    QObject::connect(&foreign, &QPushButton::clicked, &foreign, boundary.guard([] { throw 42; }));
    QObject::connect(&own, &QPushButton::clicked, &own, boundary.guard([] {
        throw RuntimeError(RuntimeError::PathNotFound, RuntimeError::nameOf(RuntimeError::PathNotFound));
    }));
    standard.click();
    foreign.click();
    own.click();
    QCOMPARE(host.log, (QStringList{"操作中止：自动化错误", "操作中止：自动化错误", "操作中止：路径未找到"}));
    QCOMPARE(host.journalLines,
             (QStringList{"操作中止：自动化错误（disk on fire）", "操作中止：自动化错误（unknown exception）",
                          "操作中止：路径未找到"}));

    // In the window: the office program's creation throws a raw standard
    // exception. One line; the next click runs as usual.
    Started started;
    const QString path = "/d/a.doc";
    FakeOffice::DocumentFile document;
    document.body.text = "旧";
    started.fakeOffice.documents[path] = document;
    auto* item = new QListWidgetItem(path, started.control<QListWidget>("List1"));
    item->setCheckState(Qt::Checked);
    started.control<QLineEdit>("Text1")->setText("旧");
    started.control<QLineEdit>("Text2")->setText("新");
    started.control<QRadioButton>("Option1")->click();
    started.fakeOffice.throwStd << "create word.Application";
    started.control<QPushButton>("Command1")->click();
    auto* text3 = started.control<QPlainTextEdit>("Text3");
    QCOMPARE(text3->toPlainText(), QString("操作中止：自动化错误\n 失败 1 个文件，详见上方"));
    QFile journal(started.journal->filePathAt(started.clock.now()));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QString journalText = QString::fromLocal8Bit(journal.readAll());
    QVERIFY(journalText.contains(" 操作中止：自动化错误（fake engine failure）\r\n"));
    QVERIFY(journalText.endsWith(" 失败 1 个文件，详见上方\r\n"));
    journal.close();
    started.fakeOffice.throwStd.clear();
    started.control<QPushButton>("Command1")->click();
    QCOMPARE(text3->toPlainText(), path + " 已替换内容");

    // A journal that cannot be written: the status line says so and the
    // handler goes on (the guard's Yes still opens the folder list).
    QVERIFY(journal.remove());
    QVERIFY(QDir().mkpath(journal.fileName())); // a folder where the hour's file belongs
    started.control("Dir1")->setEnabled(false);
    started.office->instances["Word.Application"] = {"/home/u/open.docx"};
    MessageBox::setNextAnswer(QMessageBox::Yes);
    started.control<QRadioButton>("Option3")->click();
    QCOMPARE(started.office->ended, QStringList{"winword.EXE"});
    QVERIFY2(started.control<QLabel>("Label5")->text().startsWith("日志写入失败："),
             qPrintable(started.control<QLabel>("Label5")->text()));
    QVERIFY(started.control("Dir1")->isEnabled());
}

void TestForm1::renameExampleAndDeleteUnlock()
{
    Started started;
    auto* target0 = started.control<QLabel>("lblTarget_0");
    auto* target1 = started.control<QLabel>("lblTarget_1");
    QCOMPARE(target0->text(), QString("1.gif"));
    QCOMPARE(target1->text(), QString("2.gif"));
    started.control<QLineEdit>("Text10")->setText(" 新 ");
    QCOMPARE(target0->text(), QString("新1.gif"));
    QCOMPARE(target1->text(), QString("新1.gif"));
    // Choosing a position alone does not refresh the example; the next edit does.
    started.control<QRadioButton>("Option8_3")->click();
    QCOMPARE(target0->text(), QString("新1.gif"));
    started.control<QLineEdit>("txtStep")->setText("007");
    QCOMPARE(target0->text(), QString("ple新7.gif"));
    QCOMPARE(target1->text(), QString("el新7.gif"));
    // While the increment is half typed the example says so instead of a name.
    started.control<QLineEdit>("txtStep")->setText("-");
    QVERIFY2(target0->text().startsWith("（"), qPrintable(target0->text()));

    // Delete: nothing without Check7; with it, the ticked file goes with its row.
    QTemporaryDir folder;
    const QString keep = folder.filePath("keep.doc");
    const QString gone = folder.filePath("gone.doc");
    for (const QString& path : {keep, gone}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    auto* list = started.control<QListWidget>("List1");
    for (const QString& path : {keep, gone}) {
        auto* item = new QListWidgetItem(path, list);
        item->setCheckState(path == gone ? Qt::Checked : Qt::Unchecked);
    }
    started.control<QPushButton>("Command4")->click();
    QVERIFY(QFile::exists(gone));
    QCOMPARE(list->count(), 2);
    started.control<QCheckBox>("Check7")->setChecked(true);
    started.control<QPushButton>("Command4")->click();
    QVERIFY(!QFile::exists(gone) && QFile::exists(keep));
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), keep);
    QCOMPARE(started.control<QPlainTextEdit>("Text3")->toPlainText(), gone + " 已删除文件");
}

void TestForm1::windowGrowsIntoTheListAndBoxes()
{
    const Started started;
    QWidget* const fixed[] = {started.control("Frame2"),       started.control("Label5"),
                              started.control("ProgressBar1"), started.control("SSTab1"),
                              started.control("Command11"),    started.control("Command1")};
    QWidget* frame4 = started.control("Frame4");
    QWidget* list1 = started.control("List1");
    QWidget* text9 = started.control("Text9");
    auto* command11 = started.control<QPushButton>("Command11");
    auto* text3 = started.control<QPlainTextEdit>("Text3");
    QList<QRect> before;
    for (QWidget* widget : fixed)
        before << QRect(widget->mapTo(started.form.get(), QPoint()), widget->size());
    const QSize frameBefore = frame4->size();
    const QSize listBefore = list1->size();
    const QSize reportBefore = text9->size();
    command11->click();
    const QRect logBefore = text3->geometry();

    // Larger by 400 x 300 pixels: the list frame and the report box take all of it.
    started.form->resize(started.form->size() + QSize(400, 300));
    QTRY_COMPARE(frame4->width(), frameBefore.width() + 400);
    // Above and left of the list, places and sizes stay; below it, the sizes and the distance to it.
    const int lower = frame4->height() - frameBefore.height();
    for (int i = 0; i < int(std::size(fixed)); ++i) {
        const QRect expected = i < 3 ? before.at(i) : before.at(i).translated(0, lower);
        QCOMPARE(QRect(fixed[i]->mapTo(started.form.get(), QPoint()), fixed[i]->size()), expected);
    }
    QCOMPARE(list1->width(), listBefore.width() + 400);
    QCOMPARE(text9->width(), reportBefore.width() + 400);
    QCOMPARE(frame4->height() - frameBefore.height() + text9->height() - reportBefore.height(), 300);
    QVERIFY(list1->height() > listBefore.height() + 200);
    QVERIFY(text9->height() > reportBefore.height());
    // The open log box follows: as wide as the list frame, down to the tabs' bottom.
    QTRY_COMPARE(text3->width(), logBefore.width() + 400);
    QCOMPARE(text3->geometry().bottom(), started.control("SSTab1")->geometry().bottom());
    QVERIFY(text3->height() > logBefore.height());

    // Maximised and back: the first size looks as it did.
    started.form->showMaximized();
    QTRY_VERIFY(started.form->isMaximized());
    started.form->showNormal();
    started.form->resize(started.form->size() - QSize(400, 300));
    QTRY_COMPARE(frame4->size(), frameBefore);
    QCOMPARE(text9->size(), reportBefore);
    QTRY_COMPARE(text3->geometry(), logBefore);
}

void TestForm1::dropFolderOrFiles()
{
    QTemporaryDir tree;
    for (const char* path :
         {"pick/b.doc", "pick/a.docx", "pick/inner/c.doc", "pick/note.txt", "x.doc", "y.xls"}) {
        QDir().mkpath(QFileInfo(tree.filePath(path)).path());
        QFile file(tree.filePath(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const Started started;
    auto* list = started.control<QListWidget>("List1");
    auto* dir1 = started.control<DirList>("Dir1");
    const auto drop = [&](const QStringList& paths) {
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = started.form->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(started.form.get(), &enter);
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(started.form.get(), &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    };
    const auto rows = [&] {
        QStringList shown;
        for (int i = 0; i < list->count(); ++i)
            shown << list->item(i)->text();
        return shown;
    };
    const QString pick = QDir::toNativeSeparators(tree.filePath("pick"));
    const QString sep = QDir::separator();

    // Before an engine option is chosen the folder list is locked: a dropped folder collects nothing.
    QVERIFY(drop({tree.filePath("pick")}));
    QCOMPARE(list->count(), 0);

    // A dropped folder is opened and collected with the current settings: sub-folders on, then off.
    started.control<QRadioButton>("Option1")->click();
    started.control<QCheckBox>("Check4")->click();
    QVERIFY(drop({tree.filePath("pick")}));
    QCOMPARE(dir1->path(), pick);
    QCOMPARE(rows(), (QStringList{pick + sep + "b.doc", pick + sep + "inner" + sep + "c.doc",
                                  pick + sep + "a.docx"}));
    QCOMPARE(started.control<QGroupBox>("Frame4")->title(), QString("收集到的文件 3条记录。"));
    QVERIFY(started.control("Command1")->isEnabled());
    started.control<QCheckBox>("Check4")->click();
    QVERIFY(drop({tree.filePath("pick")}));
    QCOMPARE(rows(), (QStringList{pick + sep + "b.doc", pick + sep + "a.docx"}));

    // Dropped files are appended as unticked rows, in the drop's order; what is not a file is passed over.
    list->item(0)->setCheckState(Qt::Checked);
    const QString x = QDir::toNativeSeparators(tree.filePath("x.doc"));
    const QString y = QDir::toNativeSeparators(tree.filePath("y.xls"));
    QVERIFY(drop({tree.filePath("y.xls"), tree.filePath("gone.doc"), tree.filePath("x.doc")}));
    QCOMPARE(rows(), (QStringList{pick + sep + "b.doc", pick + sep + "a.docx", y, x}));
    QCOMPARE(list->item(0)->checkState(), Qt::Checked);
    QCOMPARE(list->item(3)->checkState(), Qt::Unchecked);
    QCOMPARE(started.control<QGroupBox>("Frame4")->title(), QString("收集到的文件 4条记录。"));

    // A drop of nothing local is refused.
    QVERIFY(!drop({}));
    QCOMPARE(list->count(), 4);
}

void TestForm1::boxButtonsInChinese()
{
    // The open-document question, shown for real: its buttons read 是 and 否.
    Started started;
    bool ended = false;
    started.form->setProgramEnd([&] { ended = true; });
    started.office->instances["Word.Application"] = {"/home/u/open.docx"};
    QStringList buttons;
    const auto answer = [&](const QString& which) {
        whenModalShown([&buttons, which](QWidget* shown) {
            auto* box = qobject_cast<QMessageBox*>(shown);
            if (!box)
                return;
            buttons.clear();
            for (QAbstractButton* button : box->buttons())
                buttons << button->text();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == which)
                    button->click();
            }
        });
    };
    answer("否");
    started.control<QRadioButton>("Option1")->click();
    buttons.sort();
    QCOMPARE(buttons, (QStringList{"否", "是"}));
    QVERIFY(ended);

    // A box with one button: 确定.
    answer("确定");
    started.form->findChild<QAction*>("gy")->trigger();
    QCOMPARE(buttons, QStringList{"确定"});
}

void TestForm1::statusLineWithOneTickedRow()
{
    Started started;
    auto* list = started.control<QListWidget>("List1");
    auto* label5 = started.control<QLabel>("Label5");
    FakeOffice::DocumentFile file;
    file.body.text = "旧";
    started.fakeOffice.documents["/d/set1/a.doc"] = file;
    auto* item = new QListWidgetItem("/d/set1/a.doc", list);
    item->setCheckState(Qt::Checked);
    started.control<QLineEdit>("Text1")->setText("旧");
    started.control<QLineEdit>("Text2")->setText("新");
    started.control<QRadioButton>("Option1")->click();

    // What the search left, then what an earlier run left: the closing text alone.
    label5->setText("/d/set1/");
    started.control<QPushButton>("Command1")->click();
    QCOMPARE(label5->text(), QString("全部操作已完成"));
    started.control<QPushButton>("Command1")->click();
    QCOMPARE(label5->text(), QString("全部操作已完成"));

    // The header and footer replace says so at its end too.
    label5->setText("/d/set1/");
    started.control<QRadioButton>("Option7")->click();
    started.control<QPushButton>("Command7")->click();
    QCOMPARE(label5->text(), QString("全部操作已完成"));
    QCOMPARE(started.control<QPlainTextEdit>("Text3")->toPlainText(), QString());
}

void TestForm1::oneJobAtATime()
{
    // A click on any job button while a job yields starts nothing; the search
    // and the list's commands wait; the log still grows.
    Started started;
    auto* list = started.control<QListWidget>("List1");
    QStringList paths;
    for (int i = 0; i < 3; ++i) {
        paths << QString("/d/%1.doc").arg(i);
        FakeOffice::DocumentFile file;
        file.body.text = "旧";
        started.fakeOffice.documents[paths.last()] = file;
        (new QListWidgetItem(paths.last(), list))->setCheckState(Qt::Checked);
    }
    started.control<QLineEdit>("Text1")->setText("旧");
    started.control<QLineEdit>("Text2")->setText("旧新");
    started.control<QRadioButton>("Option1")->click();
    auto* dir1 = started.control("Dir1");
    QVERIFY(dir1->isEnabled());

    QStringList inside;
    bool checkedWhileRunning = false;
    // Runs at the job's first yield, after its first file.
    QTimer::singleShot(0, [&] {
        checkedWhileRunning = true;
        QVERIFY(started.form->jobRunning());
        QVERIFY(!dir1->isEnabled());
        QVERIFY(!started.control("Command5")->isEnabled());
        QVERIFY(!started.control("Option2")->isEnabled());
        QVERIFY(started.form->findChild<QAction*>("stopJob")->isVisible());
        for (const QString button :
             {"Command1", "Command2", "Command3", "Command4", "Command6", "Command7", "Command8", "Command9"})
            started.control<QPushButton>(button)->click();
        // A click on a row's box does not untick it.
        const QRect box = list->visualItemRect(list->item(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.topLeft() + QPoint(8, box.height() / 2));
        QCOMPARE(list->item(2)->checkState(), Qt::Checked);
        inside = started.fakeOffice.calls.filter("create");
    });
    started.control<QPushButton>("Command1")->click();
    QVERIFY(checkedWhileRunning);
    QCOMPARE(inside.size(), 1);
    QCOMPARE(started.fakeOffice.calls.filter("create").size(), 1);
    for (const QString& path : paths)
        QCOMPARE(started.fakeOffice.documents[path].body.text, QString("旧新"));
    QVERIFY(dir1->isEnabled());
    QVERIFY(!started.form->findChild<QAction*>("stopJob")->isVisible());
}

void TestForm1::undoLastAsksFirst()
{
    const Started started;
    QAction* undo = started.form->findChild<QAction*>("undoLast");
    QVERIFY(undo);
    QCOMPARE(undo->text(), QString("撤销上次操作"));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    undo->trigger();
    QCOMPARE(MessageBox::answered().last().text, QString("没有可撤销的操作"));

    // A run that renamed one file.
    QTemporaryDir dir;
    const QString before = dir.filePath("甲.doc");
    const QString after = dir.filePath("新甲.doc");
    QFile file(before);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    {
        QString notice;
        const auto store = BackupStore::begin(started.folders, "rename", {}, {}, notice);
        QVERIFY(QFile::rename(before, after));
        store->renamed(before, after);
        store->finish();
    }

    // No: nothing happens. Yes: the name comes back, and the log box says so.
    MessageBox::setNextAnswer(QMessageBox::No);
    undo->trigger();
    QVERIFY2(MessageBox::answered().last().text.contains("的操作（rename，1 个文件）"),
             qPrintable(MessageBox::answered().last().text));
    QVERIFY(QFileInfo::exists(after));
    MessageBox::setNextAnswer(QMessageBox::Yes);
    undo->trigger();
    QVERIFY(QFileInfo::exists(before));
    const QString log = started.control<QPlainTextEdit>("Text3")->toPlainText();
    QVERIFY2(log.contains(QDir::toNativeSeparators(after) + " 已改回 甲.doc\n撤销完成：恢复 1 个文件"),
             qPrintable(log));
    QVERIFY(started.control("Text3")->isVisible());
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Module2.h"
#include "app/NumberText.h"
#include "app/RuntimeError.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>

namespace {

QDateTime at(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute));
}

} // namespace

class TestApp : public QObject
{
    Q_OBJECT
private slots:
    void firstAndLaterStarts();
    void failureStopsAndKeepsWhatWasMade();
    void applicationFolderFallsBackWhenNotWritable();
    void readsNumbers_data();
    void readsNumbers();
};

void TestApp::firstAndLaterStarts()
{
    QTemporaryDir dir;
    const AppFolders folders(dir.path());
    FixedClock clock(at(4, 5, 38));

    const Module2::StartUpResult first = Module2::StartUp(folders, clock);
    const QString sep = QDir::separator();
    // The application folder as the platform spells it.
    const QString base = QDir::toNativeSeparators(dir.path());
    const QString day = base + sep + "Journal" + sep + "2026-12-04";
    QCOMPARE(first.journalDayFolder, day);
    QCOMPARE(first.created,
             (QStringList{base + sep + "toconfigure", base + sep + "download", base + sep + "Journal", day,
                          base + sep + "toconfigure" + sep + "mysql.ini"}));
    QCOMPARE(bytes(folders.addressFile()), bytes(":/CUSTOM/101"));
    QVERIFY(!bytes(folders.addressFile()).isEmpty());

    // Same day again: nothing is created or written.
    const FileStates before = fileStates(dir.path());
    clock.set(at(4, 23, 59));
    const Module2::StartUpResult second = Module2::StartUp(folders, clock);
    QVERIFY(second.created.isEmpty());
    QCOMPARE(second.journalDayFolder, day);
    checkUnchanged(before, dir.path());

    // The next day: only the new day folder.
    clock.set(at(5, 0, 1));
    const Module2::StartUpResult third = Module2::StartUp(folders, clock);
    QCOMPARE(third.created, QStringList{base + sep + "Journal" + sep + "2026-12-05"});
    QCOMPARE(third.journalDayFolder, third.created.first());

    // The carried file: one the user changed stays as it is.
    const QByteArray carried = bytes(":/CUSTOM/101");
    writeFile(folders.addressFile(), "edited\r\n");
    QVERIFY(Module2::StartUp(folders, clock).created.isEmpty());
    QCOMPARE(bytes(folders.addressFile()), QByteArray("edited\r\n"));

    // A deleted one comes back whole.
    QVERIFY(QFile::remove(folders.addressFile()));
    QCOMPARE(Module2::StartUp(folders, clock).created, QStringList{folders.addressFile()});
    QCOMPARE(bytes(folders.addressFile()), carried);

#ifdef Q_OS_UNIX
    // A link to nowhere is a system entry, which a plain listing does not see:
    // written again through the link.
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("target.ini");
    QVERIFY(QFile::remove(folders.addressFile()));
    QVERIFY(QFile::link(target, folders.addressFile()));
    QCOMPARE(Module2::StartUp(folders, clock).created, QStringList{folders.addressFile()});
    QCOMPARE(bytes(target), carried);
#endif
}

void TestApp::failureStopsAndKeepsWhatWasMade()
{
    QTemporaryDir dir;
    const AppFolders folders(dir.path());
    // A file where the journal folder belongs: the day folder cannot be made.
    writeFile(folders.journal(), {});
    try {
        Module2::StartUp(folders, FixedClock(at(4, 9, 0)));
        QFAIL("start-up went on past a folder it could not create");
    } catch (const RuntimeError& error) {
        QCOMPARE(error.number(), int(RuntimeError::PathFileAccess));
        QVERIFY(error.description().contains("2026-12-04"));
        QVERIFY(error.messageText().contains("75"));
    }
    QVERIFY(QFileInfo(folders.toconfigure()).isDir());
    QVERIFY(QFileInfo(folders.download()).isDir());
    QVERIFY(!QFileInfo::exists(folders.addressFile()));
}

void TestApp::applicationFolderFallsBackWhenNotWritable()
{
    QTemporaryDir writable;
    QTemporaryDir data;
    const QString fallback = data.filePath("yanhe");
    QCOMPARE(AppFolders::resolveApplicationFolder(writable.path(), fallback), writable.path());
    QVERIFY(
        QDir(writable.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    // An installed copy: writable or not, its folder is not the application folder.
    QTemporaryDir prefix;
    QVERIFY(QDir(prefix.path()).mkpath("bin"));
    writeFile(prefix.filePath("share/yanhe/installed"), {});
    QCOMPARE(AppFolders::resolveApplicationFolder(prefix.filePath("bin"), fallback), fallback);
    QVERIFY(QDir(prefix.filePath("bin")).isEmpty());
#ifdef Q_OS_LINUX
    // /proc takes no new files, even from root.
    QCOMPARE(AppFolders::resolveApplicationFolder("/proc", fallback), fallback);
    QVERIFY(QFileInfo(fallback).isDir());
#endif
}

// The two ways a number is read from a box: the cell job's row and column
// (the leading number, rounded into 32 bits) and the rename increment (the whole
// text one number, rounded into 16 bits). No value is an invalid QVariant.
void TestApp::readsNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("cell");
    QTest::addColumn<QVariant>("step");
    const QVariant none;
    const auto row = [](const char* text, const QVariant& cell, const QVariant& step) {
        QTest::newRow(text) << QString::fromUtf8(text) << cell << step;
    };
    row("3", 3, 3);
    // Halves go to the even neighbour, both ways from zero.
    row("2.5", 2, 2);
    row("3.5", 4, 4);
    row("0.5", 0, 0);
    row("1.5", 2, 2);
    row("-2.5", -2, -2);
    row("-3.5", -4, -4);
    row("2.5000001", 3, 3);
    // Leading zeros, signs, a point at either end.
    row("007", 7, 7);
    row("+7", 7, 7);
    row("-2", -2, -2);
    row(".5", 0, 0);
    row("5.", 5, 5);
    row("1e3", 1000, 1000);
    // Blanks: ignored everywhere in a cell number, only around an increment.
    row(" 1 2 ", 12, none);
    row("\t3\n", 3, 3);
    // The cell number stops where a number cannot go on; the increment is refused.
    row("4abc", 4, none);
    row("1-2", 1, none);
    row("2.5.3", 2, none);
    row("1e", 1, none);
    row("1,5", 1, none);
    row("0x10", 0, none);
    // Nothing numeric: row or column 0, no increment.
    row("", 0, none);
    row("abc", 0, none);
    row(".", 0, none);
    row("-", 0, none);
    row("--1", 0, none);
    row("３", 0, none); // a full-width digit is not a digit here
    // The ends of 16 and 32 bits, after rounding.
    row("32767", 32767, 32767);
    row("32767.5", 32768, none);
    row("-32768.5", -32768, -32768);
    row("-32769", -32769, none);
    row("2147483646.5", 2147483646, none);
    row("2147483647.5", none, none);
    row("-2147483648.5", std::numeric_limits<qint32>::min(), none);
    row("-2147483649", none, none);
    row("99999999999", none, none);
    row("1e400", none, none);
}

void TestApp::readsNumbers()
{
    QFETCH(QString, text);
    QFETCH(QVariant, cell);
    QFETCH(QVariant, step);
    const std::optional<qint32> asCell = NumberText::roundToInt32(NumberText::leadingValue(text));
    QCOMPARE(asCell.has_value(), cell.isValid());
    if (asCell)
        QCOMPARE(*asCell, cell.toInt());
    const std::optional<qint16> asStep = NumberText::toInt16(text);
    QCOMPARE(asStep.has_value(), step.isValid());
    if (asStep)
        QCOMPARE(int(*asStep), step.toInt());
}

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"

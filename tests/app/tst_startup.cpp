#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Module2.h"
#include "app/RuntimeError.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>

namespace {

// Every entry under root with its content, to see that a start wrote nothing.
QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree.insert(path, it.fileInfo().isDir() ? QByteArray("<dir>") : bytes(path));
    }
    return tree;
}

QDateTime at(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute));
}

} // namespace

class TestStartUp : public QObject
{
    Q_OBJECT
private slots:
    void firstAndLaterStarts();
    void carriedFileWrittenAgainOnlyWhenAbsent();
    void failureStopsAndKeepsWhatWasMade();
    void applicationFolderFallsBackWhenNotWritable();
};

void TestStartUp::firstAndLaterStarts()
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
    const auto before = snapshot(dir.path());
    clock.set(at(4, 23, 59));
    const Module2::StartUpResult second = Module2::StartUp(folders, clock);
    QVERIFY(second.created.isEmpty());
    QCOMPARE(second.journalDayFolder, day);
    QCOMPARE(snapshot(dir.path()), before);

    // The next day: only the new day folder.
    clock.set(at(5, 0, 1));
    const Module2::StartUpResult third = Module2::StartUp(folders, clock);
    QCOMPARE(third.created, QStringList{base + sep + "Journal" + sep + "2026-12-05"});
    QCOMPARE(third.journalDayFolder, third.created.first());
}

void TestStartUp::carriedFileWrittenAgainOnlyWhenAbsent()
{
    QTemporaryDir dir;
    const AppFolders folders(dir.path());
    const FixedClock clock(at(4, 9, 0));
    Module2::StartUp(folders, clock);
    const QByteArray carried = bytes(":/CUSTOM/101");

    // A file the user changed stays as it is.
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

void TestStartUp::failureStopsAndKeepsWhatWasMade()
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

void TestStartUp::applicationFolderFallsBackWhenNotWritable()
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

QTEST_GUILESS_MAIN(TestStartUp)
#include "tst_startup.moc"

#include "app/Clock.h"
#include "app/Journal.h"
#include "app/RuntimeError.h"
#include "support/TestFiles.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

QDateTime at(int day, int hour, int minute, int second)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second));
}

const QLocale kChina(QLocale::Chinese, QLocale::China);

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT
private slots:
    void hourlyFilesOfExactLines();
    void longTimeHasSecondsAndNoZone();
};

void TestJournal::hourlyFilesOfExactLines()
{
    QTemporaryDir dir;
    const QString day = dir.filePath("2026-12-04");
    QVERIFY(QDir().mkdir(day));
    FixedClock clock(at(4, 17, 38, 10));
    const Journal journal(QDir::toNativeSeparators(day), clock, kChina);

    // A message is written as it is: empty, naming a path, holding a line break.
    journal.WriteJournal(QString());
    journal.WriteJournal("C:\\文档\\a.doc 已替换内容");
    journal.WriteJournal("two\r\nlines");
    const QString first = journal.filePathAt(clock.now());
    clock.set(at(4, 17, 59, 59));
    journal.WriteJournal("b");
    clock.set(at(4, 18, 0, 0));
    journal.WriteJournal("c");
    // Past midnight the file is named with the new date but stays in the start day's folder.
    clock.set(at(5, 0, 0, 1));
    journal.WriteJournal("d");

    QCOMPARE(QDir(day).entryList(QDir::Files, QDir::Name),
             (QStringList{"2026年12月04日17时.txt", "2026年12月04日18时.txt", "2026年12月05日00时.txt"}));
    // In the locale's encoding (here UTF-8, without a byte-order mark; on Windows the ANSI code page,
    // 936 in a Chinese Windows).
    const QByteArray written = bytes(first);
    QStringEncoder encoder(QStringConverter::System);
    QCOMPARE(written,
             QByteArray(encoder.encode(QString("时间：2026/12/4 17:38:10 \r\n"
                                               "时间：2026/12/4 17:38:10 C:\\文档\\a.doc 已替换内容\r\n"
                                               "时间：2026/12/4 17:38:10 two\r\nlines\r\n"
                                               "时间：2026/12/4 17:59:59 b\r\n"))));
#ifdef Q_OS_WIN
    if (GetACP() == 936)
        QVERIFY(written.startsWith("\xCA\xB1\xBC\xE4\xA3\xBA")); // 时间： in GBK
#endif
    QCOMPARE(bytes(day + "/2026年12月04日18时.txt"),
             QByteArray(encoder.encode("时间：2026/12/4 18:00:00 c\r\n")));
    QCOMPARE(bytes(day + "/2026年12月05日00时.txt"),
             QByteArray(encoder.encode("时间：2026/12/5 00:00:01 d\r\n")));

    // A day folder gone while the tool runs is an error, not a folder made again.
    const Journal gone(dir.filePath("deleted-while-running"), clock);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, gone.WriteJournal("x"));
}

void TestJournal::longTimeHasSecondsAndNoZone()
{
    for (const QLocale& locale :
         {kChina, QLocale(QLocale::English, QLocale::UnitedStates),
          QLocale(QLocale::German, QLocale::Germany), QLocale::c(), QLocale::system()}) {
        const QString format = Journal::longTimeFormat(locale);
        const QString text = locale.toString(QTime(17, 2, 3), format);
        QVERIFY2(text.contains("02") && text.contains("03"), qPrintable(text));
        QVERIFY2(!format.contains('t'), qPrintable(format));
        QVERIFY2(!text.contains("UTC") && !text.contains("GMT") && text == text.trimmed(), qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"

#include "collect/FileAttributes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace FileAttributes;

class TestFileAttributes : public QObject
{
    Q_OBJECT
private slots:
    void listingRule();
    void attributesOfEntries();
};

void TestFileAttributes::listingRule()
{
    // Normal and read-only entries always come; hidden, system and folders only when asked for.
    QVERIFY(listingReturns(Normal, Normal));
    QVERIFY(listingReturns(ReadOnly, Normal));
    QVERIFY(!listingReturns(Hidden, Normal));
    QVERIFY(!listingReturns(Hidden | ReadOnly, Directory | ReadOnly));
    QVERIFY(listingReturns(Hidden | ReadOnly, Directory | Hidden));
    QVERIFY(!listingReturns(Directory, ReadOnly | Hidden | System));
    QVERIFY(listingReturns(Directory, Directory));
    QVERIFY(!listingReturns(Directory | Hidden, Directory));
    QVERIFY(listingReturns(Directory | Hidden, Directory | Hidden));
    QVERIFY(!listingReturns(System | Hidden, Directory | System));
}

void TestFileAttributes::attributesOfEntries()
{
    QTemporaryDir dir;
    const auto touch = [&](const QString& name) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    };
    touch("plain.doc");
    touch(".hidden.doc");
    touch("locked.doc");
    QVERIFY(QFile::setPermissions(dir.filePath("locked.doc"), QFile::ReadOwner | QFile::ReadUser));
    QVERIFY(QDir(dir.path()).mkdir("sub"));

    QCOMPARE(of(dir.filePath("plain.doc")), int(Normal));
    QCOMPARE(of(dir.filePath("locked.doc")), int(ReadOnly));
    QCOMPARE(of(dir.filePath("sub")), int(Directory));
    QCOMPARE(of(dir.filePath("gone.doc")), -1);
    QVERIFY(plainListingFindsFile(dir.filePath("plain.doc")));
    QVERIFY(plainListingFindsFile(dir.filePath("locked.doc")));
    QVERIFY(!plainListingFindsFile(dir.filePath("sub")));
    QVERIFY(!plainListingFindsFile(dir.filePath("gone.doc")));
#ifdef Q_OS_UNIX
    QCOMPARE(of(dir.filePath(".hidden.doc")), int(Hidden));
    QVERIFY(!plainListingFindsFile(dir.filePath(".hidden.doc")));
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600) == 0);
    QCOMPARE(of(dir.filePath("pipe")), int(System));
    QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("dangling")));
    QCOMPARE(of(dir.filePath("dangling")), int(System));
#endif
}

QTEST_GUILESS_MAIN(TestFileAttributes)
#include "tst_fileattributes.moc"

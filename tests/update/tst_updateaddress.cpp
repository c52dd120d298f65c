#include "update/UpdateAddress.h"

#include <QFile>
#include <QTest>

class TestUpdateAddress : public QObject
{
    Q_OBJECT
private slots:
    void carriedFileHoldsTheDefaultAddress();
    void roundTripAndRejects();
};

void TestUpdateAddress::carriedFileHoldsTheDefaultAddress()
{
    QFile carried(":/CUSTOM/101");
    QVERIFY(carried.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = carried.readAll().split('\n');
    QVERIFY(lines.size() >= 1);
    // The last line with text is the address; a plain reader does not see it.
    QString last;
    for (const QByteArray& line : lines) {
        if (!line.trimmed().isEmpty())
            last = QString::fromLatin1(line);
    }
    QCOMPARE(UpdateAddress::unscramble(last), UpdateAddress::defaultAddress());
    QVERIFY(!last.contains("http"));
}

void TestUpdateAddress::roundTripAndRejects()
{
    for (const QString& address : {QString("http://127.0.0.1:8080/v.txt"),
                                   QString("https://例子.中国/更新?版=1"), QString("x"), QString(200, 'a')}) {
        const QString stored = UpdateAddress::scramble(address);
        QVERIFY(!stored.contains(address));
        QCOMPARE(UpdateAddress::unscramble(stored), address);
        QCOMPARE(UpdateAddress::unscramble(stored.toLower() + "\r\n"), address);
    }
    for (const QString& junk : {QString(), QString("abc"), QString("zz11"), QString("http://plain.example/")})
        QCOMPARE(UpdateAddress::unscramble(junk), QString());
}

QTEST_GUILESS_MAIN(TestUpdateAddress)
#include "tst_updateaddress.moc"

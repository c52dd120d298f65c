#include "support/GbkBytes.h"
#include "update/UpdateAddress.h"
#include "update/UpdateCheck.h"
#include "update/UpdateReply.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

using namespace update;

namespace {

const QString kReply =
    QStringLiteral("版 1.9.0\r\n下载地A https://a.example/yanhe-1.9.0.zip址A结\r\n"
                   "备用地B https://b.example/yanhe-1.9.0.zip址B结\r\n联系 微信 yanhe方式结\r\n");

// What the field rule promises, checked from the outside: the field sits between
// the start marker's blank and the end marker, holds no later start marker, and
// the end marker is the first one in the reply.
void checkField(const QString& reply, const QString& start, const QString& end,
                const std::optional<QString>& field)
{
    const qsizetype firstEnd = reply.indexOf(end);
    if (!field) {
        QVERIFY(firstEnd < 0 || !reply.left(firstEnd).contains(start));
        return;
    }
    QVERIFY(firstEnd >= 0);
    QVERIFY(field->startsWith(start.right(1)));
    QVERIFY(reply.left(firstEnd).endsWith(start.chopped(1) + *field));
    QVERIFY(!field->mid(1).contains(start));
    QVERIFY(!field->contains(end));
}

} // namespace

class TestUpdateReply : public QObject
{
    Q_OBJECT
private slots:
    void fieldsByTheirMarkers();
    void decodesByCharset();
    void survivesAnyReply();
    void titleNotice();
    void carriedFileHoldsTheDefaultAddress();
    void addressRoundTripAndRejects();
};

void TestUpdateReply::fieldsByTheirMarkers()
{
    ReplyFields fields = parseReply(kReply);
    QCOMPARE(fields.latestVersion, std::optional<QString>("1.9.0"));
    QCOMPARE(fields.addressA, std::optional<QString>(" https://a.example/yanhe-1.9.0.zip"));
    QCOMPARE(fields.addressB, std::optional<QString>(" https://b.example/yanhe-1.9.0.zip"));
    QCOMPARE(fields.contact, std::optional<QString>(" 微信 yanhe"));

    // The first version marker counts; the field may run short at the end.
    QCOMPARE(latestVersion("x版 1.10.0 版 2.0.0"), std::optional<QString>("1.10."));
    QCOMPARE(latestVersion("版 1.9"), std::optional<QString>("1.9"));
    QCOMPARE(latestVersion("版1.9.0"), std::nullopt);
    QCOMPARE(latestVersion(""), std::nullopt);
    // The first end marker, and the last start marker before it.
    QCOMPARE(markedField("地A x地A y址A结z址A结", "地A ", "址A结"), std::optional<QString>(" y"));
    QCOMPARE(markedField("地A 址A结", "地A ", "址A结"), std::optional<QString>(" "));
    QCOMPARE(markedField("址A结地A x址A结", "地A ", "址A结"), std::nullopt);
    QCOMPARE(markedField("地Ax址A结", "地A ", "址A结"), std::nullopt);
    QCOMPARE(markedField("地A x", "地A ", "址A结"), std::nullopt);
    QCOMPARE(markedField("地a x址a结", "地A ", "址A结"), std::nullopt); // exact comparison
}

void TestUpdateReply::decodesByCharset()
{
    const QByteArray gbk = gbkBytes(kReply);
    QVERIFY2(!gbk.isEmpty(), "this Qt cannot encode GBK");
    QVERIFY(gbk != kReply.toUtf8());
    QCOMPARE(decodeReply(gbk, "text/plain; charset=GBK"), kReply);
    QCOMPARE(decodeReply(gbk, "text/plain;charset=\"gbk\""), kReply);
    QCOMPARE(decodeReply(gbk, "text/html; format=x; Charset = gb2312"), kReply);
    // Without a charset the bytes are UTF-8, so GBK's markers are not found.
    QVERIFY(!parseReply(decodeReply(gbk, "text/plain")).latestVersion);
    QCOMPARE(decodeReply(kReply.toUtf8(), ""), kReply);
    QCOMPARE(decodeReply(kReply.toUtf8(), "text/plain; charset=no-such-charset"), kReply);
    QCOMPARE(decodeReply("\xEF\xBB\xBF" + kReply.toUtf8(), ""), kReply);
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    QCOMPARE(decodeReply(utf16.encode(kReply), ""), kReply);
}

void TestUpdateReply::survivesAnyReply()
{
    // Random bytes, and the reply mutated: markers cut, doubled, moved, bytes flipped,
    // truncated; decoded under charsets real, odd and unknown.
    QRandomGenerator random(20240613);
    const QList<QByteArray> charsets{"",
                                     "text/plain; charset=utf-8",
                                     "text/plain; charset=GBK",
                                     "charset=gb18030",
                                     "text/plain; charset=utf-16",
                                     "text/plain; charset=\"",
                                     "; charset=",
                                     "text/plain; charset=x-unknown",
                                     "text/plain; charset=Big5",
                                     ";;;charset=iso-8859-1;charset=utf-32"};
    const QList<QString> markers{kVersionMarker, kAddressAStart, kAddressAEnd, kAddressBStart,
                                 kAddressBEnd,   kContactStart,  kContactEnd};
    const QByteArray seeds[] = {kReply.toUtf8(), gbkBytes(kReply)};
    int announced = 0, other = 0;
    for (int round = 0; round < 12000; ++round) {
        QByteArray bytes;
        if (round % 4 == 0) {
            bytes.resize(random.bounded(0, 400));
            for (char& each : bytes)
                each = static_cast<char>(random.bounded(256));
        } else {
            bytes = seeds[round % 2];
            QString text = QString::fromUtf8(bytes);
            for (int edits = random.bounded(1, 6); edits > 0; --edits) {
                const QString& marker = markers.at(random.bounded(qsizetype(markers.size())));
                const qsizetype at = random.bounded(text.size() + 1);
                switch (random.bounded(4)) {
                case 0:
                    text.insert(at, marker);
                    break;
                case 1:
                    text.remove(marker);
                    break;
                case 2:
                    text.truncate(at);
                    break;
                default:
                    text.insert(at, QChar(char16_t(random.bounded(0xD7FF, 0xE000)))); // lone surrogates too
                }
            }
            bytes = round % 2 == 0 ? text.toUtf8() : gbkBytes(text);
            for (int flips = random.bounded(3); flips > 0 && !bytes.isEmpty(); --flips)
                bytes[random.bounded(bytes.size())] = static_cast<char>(random.bounded(256));
        }
        const QString reply = decodeReply(bytes, charsets.at(random.bounded(qsizetype(charsets.size()))));
        const ReplyFields fields = parseReply(reply);
        if (fields.latestVersion)
            QVERIFY(fields.latestVersion->size() <= 5);
        checkField(reply, kAddressAStart, kAddressAEnd, fields.addressA);
        checkField(reply, kAddressBStart, kAddressBEnd, fields.addressB);
        checkField(reply, kContactStart, kContactEnd, fields.contact);
        UpdateState state;
        applyReply(QStringLiteral("1.8.4"), reply, state);
        QCOMPARE(state.end != CheckEnd::Early,
                 fields.latestVersion && fields.addressA && fields.addressB && fields.contact);
        (state.end == CheckEnd::Newer ? announced : other) += 1;
    }
    // The mutations reach both kinds of end.
    QVERIFY(announced > 100 && other > 100);
}

void TestUpdateReply::titleNotice()
{
    QString title(50, QLatin1Char('T'));
    title = nextTitle(title);
    QCOMPARE(title.size(), 59);
    QVERIFY(title.endsWith("    有更新了 "));
    title = nextTitle(title);
    QCOMPARE(title.size(), 68);
    title = nextTitle(title);
    QCOMPARE(title, QString("zureZevi--ridivozud "));
    // From the short title it grows again, 9 characters a tick, and resets once at 60 or more.
    QList<qsizetype> sizes;
    for (int tick = 0; tick < 6; ++tick)
        sizes << (title = nextTitle(title)).size();
    QCOMPARE(sizes, (QList<qsizetype>{29, 38, 47, 56, 65, 20}));
    QCOMPARE(title, QString("zureZevi--ridivozud "));
}

void TestUpdateReply::carriedFileHoldsTheDefaultAddress()
{
    QFile carried(":/CUSTOM/101");
    QVERIFY(carried.open(QIODevice::ReadOnly));
    // The last line with text is the address; a plain reader does not see it.
    const QString last = QString::fromLatin1(carried.readAll().trimmed().split('\n').last());
    QCOMPARE(UpdateAddress::unscramble(last), UpdateAddress::defaultAddress());
    QVERIFY(!last.contains("http"));
}

void TestUpdateReply::addressRoundTripAndRejects()
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

QTEST_GUILESS_MAIN(TestUpdateReply)
#include "tst_updatereply.moc"

#include "app/AppFolders.h"
#include "app/SystemText.h"
#include "support/LoopbackHttpServer.h"
#include "update/Geturl.h"
#include "update/UpdateAddress.h"
#include "update/UpdateCheck.h"
#include "update/UpdateReply.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#ifdef Q_OS_WIN
#include <string>
#include <windows.h>
#endif

using namespace update;
using Response = LoopbackHttpServer::Response;
using Kind = Response::Kind;

namespace {

// A text in GBK, as a Chinese web server sends it. Qt for Windows has no GBK
// encoder of its own (it is built without ICU): there Windows' code page 936 makes the bytes.
QByteArray gbkBytes(const QString& text)
{
    QStringEncoder gbk("GBK");
    if (gbk.isValid())
        return gbk.encode(text);
#ifdef Q_OS_WIN
    const std::wstring wide = text.toStdWString();
    const int size = WideCharToMultiByte(936, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    QByteArray bytes(size, '\0');
    WideCharToMultiByte(936, 0, wide.data(), int(wide.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
#else
    return {};
#endif
}

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

QByteArray reply(const QString& version, const QString& a = "地A https://a.example/y.zip址A结",
                 const QString& b = "地B https://b.example/y.zip址B结",
                 const QString& contact = "联系 微信方式结")
{
    return ("最新版 " + version + "\r\n下载" + a + "\r\n备用" + b + "\r\n" + contact + "\r\n").toUtf8();
}

const QString kReply = QString::fromUtf8(reply("1.9.0"));

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void endStatesFromALoopbackServer();
    void fieldsAndCharsets();
    void survivesAnyReply();
    void titleNotice();
    void addressCarriedAndStoredScrambled();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppFolders> m_folders;
    LoopbackHttpServer m_server;
};

void TestUpdateCheck::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_folders = std::make_unique<AppFolders>(m_dir->path());
    QVERIFY(QDir().mkpath(m_folders->toconfigure()));
    // An earlier line does not count: the last one does.
    SystemText::writeLine(m_folders->versionFile(), "9.9.9", SystemText::Mode::Truncate);
    SystemText::writeLine(m_folders->versionFile(), "1.8.4", SystemText::Mode::Append);
}

void TestUpdateCheck::endStatesFromALoopbackServer()
{
    // The address comes from mysql.ini, scrambled, last line.
    m_server.serve("/newer", {{.body = reply("1.9.0")}});
    SystemText::writeLine(m_folders->addressFile(), UpdateAddress::scramble("http://127.0.0.1:1/old"),
                          SystemText::Mode::Truncate);
    SystemText::writeLine(m_folders->addressFile(), UpdateAddress::scramble(m_server.url("/newer")),
                          SystemText::Mode::Append);
    UpdateState state = CheckUpdate(*m_folders);
    QCOMPARE(state.end, CheckEnd::Newer);
    const auto requests = m_server.requestsFor("/newer");
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().method, QByteArray("GET"));

    // Not newer: the same version, or one whose first five characters ("1.10.") sort before. Newer: a
    // reply in the charset the server names, and the same through a redirect.
    const QByteArray gbk = gbkBytes(QString::fromUtf8(reply("1.9.0", "地A https://a.example/新版.zip址A结")));
    const QList<std::tuple<QByteArray, Response, CheckEnd>> ends{
        {"/equal", {.contentType = "text/plain", .body = reply("1.8.4")}, CheckEnd::Latest},
        {"/ten", {.body = reply("1.10.0")}, CheckEnd::Latest},
        {"/gbk", {.contentType = "text/plain; charset=GBK", .body = gbk}, CheckEnd::Newer},
        {"/moved", {.status = 302, .location = "/gbk"}, CheckEnd::Newer}};
    for (const auto& [path, response, end] : ends) {
        m_server.serve(path, {response});
        state = CheckUpdate(*m_folders, m_server.url(path));
        const bool newer = end == CheckEnd::Newer;
        QVERIFY2(state.end == end, path.constData());
        QCOMPARE(state.gxqkCaption, newer ? QString("最新版本（ 1.9.0）点击更新") : QString("没有最新版本"));
        QVERIFY(state.gxqkEnabled == newer && state.sdgxEnabled == newer && state.timer1Enabled == newer);
        QVERIFY(!newer || state.addressA.endsWith("新版.zip"));
    }

    // Any missing marker ends early: menus as designed, timer off, what was taken kept.
    const QList<std::pair<QString, QString>> cuts{{"版 ", "版"},     {"址A结", ""}, {"地A ", "地A"},
                                                  {"地B ", "地B"},   {"址B结", ""}, {"联系 ", ""},
                                                  {"方式结", "方式"}};
    for (const auto& [marker, replacement] : cuts) {
        m_server.serve("/cut", {{.body = QString(kReply).replace(marker, replacement).toUtf8()}});
        state = CheckUpdate(*m_folders, m_server.url("/cut"));
        QVERIFY2(state.end == CheckEnd::Early, qPrintable(marker));
        QCOMPARE(state.gjgxCaption, QString("工具更新"));
        QCOMPARE(state.gxqkCaption, QString("更新情况"));
        QVERIFY(state.gxqkEnabled && state.sdgxEnabled && !state.timer1Enabled);
        // Address A alone after an early end at B, nothing before A.
        if (marker == "地B ")
            QCOMPARE(state.manualText(), QString(" https://a.example/y.zip"));
        if (marker == "址A结")
            QCOMPARE(state.manualText(), QString());
    }

    // A valid reply under status 404 does not count; nor does a reply cut short, a refused connection or
    // an address that is no URL. A server that reads the request and never answers; answers part of the
    // body, then stalls; sends a byte every 500 ms (each in time, the whole not: 6 s at most); never ends
    // the body; sends 2 MiB; redirects to itself for ever: the check's bounds end it, after one request.
    const QByteArray body = reply("1.9.0");
    const QList<std::pair<QByteArray, Response>> servers{
        {"/404", {.status = 404, .body = body}},
        {"/cut", {.body = body + QByteArray(4000, ' '), .kind = Kind::CutAfter, .bytes = body.size() + 10}},
        {"/silent", {.body = body, .kind = Kind::Silent}},
        {"/stall", {.body = body, .kind = Kind::StallAfter, .bytes = 20}},
        {"/drip", {.body = body + QByteArray(100, ' '), .kind = Kind::Drip, .bytes = 500}},
        {"/endless", {.body = body, .kind = Kind::Endless}},
        {"/big", {.body = body + QByteArray(2 << 20, ' ')}},
        {"/loop", {.status = 302, .location = "/loop"}}};
    const QString refused = LoopbackHttpServer::refusedUrl();
    QVERIFY(QFile::remove(m_folders->addressFile())); // no stored address for the empty one
    QStringList addresses{refused, "not a url", "ftp://127.0.0.1/x", QString()};
    for (const auto& [path, response] : servers) {
        m_server.serve(path, {response});
        addresses << m_server.url(path);
    }
    for (const QString& address : addresses) {
        state = CheckUpdate(*m_folders, address);
        QVERIFY2(state.end == CheckEnd::Early, qPrintable(address));
        QVERIFY(state.gxqkEnabled && state.sdgxEnabled && !state.timer1Enabled);
        QCOMPARE(state.manualText(), QString());
    }
    for (const auto& [path, response] : servers)
        QVERIFY2(path == "/loop" || m_server.requestsFor(path).size() == 1, path.constData());
    m_server.checkRedirectLoop("/loop");

    // Why, in words the user reads; the network library's own words are kept beside.
    const update::HttpResult result = update::httpRequest(QUrl(refused), "GET", 1000);
    QCOMPARE(result.error, QString("连接被拒绝"));
    QVERIFY(!result.detail.isEmpty());
}

void TestUpdateCheck::fieldsAndCharsets()
{
    ReplyFields fields = parseReply(kReply);
    QCOMPARE(fields.latestVersion, std::optional<QString>("1.9.0"));
    QCOMPARE(fields.addressA, std::optional<QString>(" https://a.example/y.zip"));
    QCOMPARE(fields.addressB, std::optional<QString>(" https://b.example/y.zip"));
    QCOMPARE(fields.contact, std::optional<QString>(" 微信"));

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

void TestUpdateCheck::survivesAnyReply()
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

void TestUpdateCheck::titleNotice()
{
    QString title(50, QLatin1Char('T'));
    QList<qsizetype> sizes;
    for (int tick = 0; tick < 9; ++tick) {
        sizes << (title = nextTitle(title)).size();
        QVERIFY(tick != 0 || title.endsWith("    有更新了 "));
        QVERIFY(title.size() != 20 || title == "zureZevi--ridivozud ");
    }
    // 9 characters a tick, and back to the short title once at 60 or more.
    QCOMPARE(sizes, (QList<qsizetype>{59, 68, 20, 29, 38, 47, 56, 65, 20}));
}

void TestUpdateCheck::addressCarriedAndStoredScrambled()
{
    QFile carried(":/CUSTOM/101");
    QVERIFY(carried.open(QIODevice::ReadOnly));
    // The last line with text is the address; a plain reader does not see it.
    const QString last = QString::fromLatin1(carried.readAll().trimmed().split('\n').last());
    QCOMPARE(UpdateAddress::unscramble(last), UpdateAddress::defaultAddress());
    QVERIFY(!last.contains("http"));

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

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"

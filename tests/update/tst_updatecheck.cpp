#include "app/AppFolders.h"
#include "app/SystemText.h"
#include "support/GbkBytes.h"
#include "support/LoopbackHttpServer.h"
#include "update/Geturl.h"
#include "update/UpdateAddress.h"
#include "update/UpdateCheck.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace update;
using Response = LoopbackHttpServer::Response;

namespace {

QByteArray reply(const QString& version, const QString& a = "地A https://a.example/y.zip址A结",
                 const QString& b = "地B https://b.example/y.zip址B结",
                 const QString& contact = "联系 微信方式结")
{
    return ("最新版 " + version + "\r\n下载" + a + "\r\n备用" + b + "\r\n" + contact + "\r\n").toUtf8();
}

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void endStatesFromALoopbackServer();
    void failedRequestsEndEarly();
    void serversThatDoNotEnd();
    void gbkReplyByItsCharset();

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
    m_server.serve("/newer", {LoopbackHttpServer::text(reply("1.9.0"))});
    SystemText::writeLine(m_folders->addressFile(), UpdateAddress::scramble("http://127.0.0.1:1/old"),
                          SystemText::Mode::Truncate);
    SystemText::writeLine(m_folders->addressFile(), UpdateAddress::scramble(m_server.url("/newer")),
                          SystemText::Mode::Append);
    UpdateState state = CheckUpdate(*m_folders);
    QCOMPARE(state.end, CheckEnd::Newer);
    QCOMPARE(state.gjgxCaption, QString("工具更新了"));
    QCOMPARE(state.gxqkCaption, QString("最新版本（ 1.9.0）点击更新"));
    QVERIFY(state.gxqkEnabled && state.sdgxEnabled && state.timer1Enabled);
    QCOMPARE(state.manualText(), QString(" https://a.example/y.zip https://b.example/y.zip"));
    const auto requests = m_server.requestsFor("/newer");
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().method, QByteArray("GET"));

    m_server.serve("/equal", {LoopbackHttpServer::text(reply("1.8.4"), "text/plain")});
    state = CheckUpdate(*m_folders, m_server.url("/equal"));
    QCOMPARE(state.end, CheckEnd::Latest);
    QCOMPARE(state.gxqkCaption, QString("没有最新版本"));
    QVERIFY(!state.gxqkEnabled && !state.sdgxEnabled && !state.timer1Enabled);

    m_server.serve("/ten", {LoopbackHttpServer::text(reply("1.10.0"))});
    state = CheckUpdate(*m_folders, m_server.url("/ten"));
    QCOMPARE(state.end, CheckEnd::Latest);
    QCOMPARE(state.latestVersion, QString("1.10."));

    // Any missing marker ends early: menus as designed, timer off, what was taken kept.
    const QList<std::pair<QString, QString>> cuts{{"版 ", "版"},     {"址A结", ""}, {"地A ", "地A"},
                                                  {"地B ", "地B"},   {"址B结", ""}, {"联系 ", ""},
                                                  {"方式结", "方式"}};
    for (const auto& [marker, replacement] : cuts) {
        m_server.serve("/cut", {LoopbackHttpServer::text(
                                   QString::fromUtf8(reply("1.9.0")).replace(marker, replacement).toUtf8())});
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
}

void TestUpdateCheck::failedRequestsEndEarly()
{
    // A valid reply under status 404 does not count; nor does a reply cut short,
    // a refused connection or an address that is no URL.
    Response notFound = LoopbackHttpServer::text(reply("1.9.0"));
    notFound.status = 404;
    m_server.serve("/404", {notFound});
    Response cut = LoopbackHttpServer::text(reply("1.9.0") + QByteArray(4000, ' '));
    cut.kind = Response::Kind::CutAfter;
    cut.bytes = reply("1.9.0").size() + 10;
    m_server.serve("/cut", {cut});
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString refused = QString("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();

    for (const QString& address : {m_server.url("/404"), m_server.url("/cut"), refused, QString("not a url"),
                                   QString("ftp://127.0.0.1/x"), QString()}) {
        const UpdateState state = CheckUpdate(*m_folders, address);
        QVERIFY2(state.end == CheckEnd::Early, qPrintable(address));
        QVERIFY(state.gxqkEnabled && state.sdgxEnabled && !state.timer1Enabled);
        QCOMPARE(state.manualText(), QString());
    }
    QCOMPARE(m_server.requestsFor("/404").size(), 1);

    // Why, in words the user reads; the network library's own words are kept beside.
    const update::HttpResult result = update::httpRequest(QUrl(refused), "GET", 1000);
    QCOMPARE(result.error, QString("连接被拒绝"));
    QVERIFY(!result.detail.isEmpty());
}

void TestUpdateCheck::serversThatDoNotEnd()
{
    // Accepts, reads the request, never answers; answers part of the body, then stalls; sends a byte
    // every 500 ms (each in time, the whole not: 6 s at most); never ends the body; sends 2 MiB; redirects
    // to itself for ever. The check's bounds, not the server, end it early, after one request.
    const auto response = [](Response::Kind kind, qint64 count, const QByteArray& tail = {}) {
        Response made = LoopbackHttpServer::text(reply("1.9.0") + tail);
        made.kind = kind;
        made.bytes = count;
        return made;
    };
    m_server.serve("/silent", {response(Response::Kind::Silent, 0)});
    m_server.serve("/stall", {response(Response::Kind::StallAfter, 20)});
    m_server.serve("/drip", {response(Response::Kind::Drip, 500, QByteArray(100, ' '))});
    m_server.serve("/endless", {response(Response::Kind::Endless, 0)});
    m_server.serve("/big", {response(Response::Kind::Whole, 0, QByteArray(2 << 20, ' '))});
    Response loop;
    loop.status = 302;
    loop.location = "/loop";
    m_server.serve("/loop", {loop});
    for (const QByteArray path : {"/silent", "/stall", "/drip", "/endless", "/big", "/loop"}) {
        QVERIFY2(CheckUpdate(*m_folders, m_server.url(path)).end == CheckEnd::Early, path.constData());
        if (path != "/loop")
            QCOMPARE(m_server.requestsFor(path).size(), 1);
    }
    const qsizetype loops = m_server.requestsFor("/loop").size();
    // At most 10 redirects followed; Qt may send a request again on a new connection when the
    // server closed the one before.
    QVERIFY2(loops > 1 && loops <= 22, qPrintable(QString::number(loops)));

    // A redirect that leads somewhere is followed.
    m_server.serve("/newer", {LoopbackHttpServer::text(reply("1.9.0"))});
    Response moved;
    moved.status = 302;
    moved.location = "/newer";
    m_server.serve("/moved", {moved});
    QCOMPARE(CheckUpdate(*m_folders, m_server.url("/moved")).end, CheckEnd::Newer);
}

void TestUpdateCheck::gbkReplyByItsCharset()
{
    // The charset the server names reaches the decoding.
    const QByteArray bytes =
        gbkBytes(QString::fromUtf8(reply("1.9.0", "地A https://a.example/新版.zip址A结")));
    m_server.serve("/gbk", {LoopbackHttpServer::text(bytes, "text/plain; charset=GBK")});
    const UpdateState state = CheckUpdate(*m_folders, m_server.url("/gbk"));
    QCOMPARE(state.end, CheckEnd::Newer);
    QVERIFY(state.addressA.endsWith("新版.zip"));
}

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"

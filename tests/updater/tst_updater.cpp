// The runs here start yanhe-update.
#define YANHE_CLI YANHE_UPDATE
#include "support/CliRun.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestFiles.h"
#include "updater/Downloader.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

using Response = LoopbackHttpServer::Response;
using Kind = Response::Kind;

// An update for this platform: how one begins, then anything.
QByteArray updateBytes(qsizetype size)
{
    QByteArray update = Downloader::updateMagic();
    QRandomGenerator random(7);
    while (update.size() < size)
        update += char(random.bounded(256));
    return update;
}

Response file(const QByteArray& body, Kind kind = Kind::Whole, qint64 count = 0)
{
    return {
        .contentType = "application/vnd.debian.binary-package", .body = body, .kind = kind, .bytes = count};
}

const QString kStalled = "1 秒内没有收到足够的数据";

} // namespace

class TestUpdater : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void resumes();
    void repliesAndAddresses();
    void boundsTheBodyAndTheWait();

private:
    QStringList arguments() const { return {"--address", m_server.url("/reply"), "--quit-when-done"}; }
    CliRun run() const { return CliRun::of(arguments(), m_dir->path(), m_offscreen); }
    QString downloaded(const QString& name) const { return m_dir->filePath("download/" + name); }
    QStringList downloadFolder() const
    {
        return QDir(m_dir->filePath("download")).entryList(QDir::Files | QDir::Hidden);
    }
    // The download folder holds name alone, with content; taken away for the next round.
    void holdsOnly(const QString& name, const QByteArray& content)
    {
        QCOMPARE(bytes(downloaded(name)), content);
        QCOMPARE(downloadFolder(), QStringList{name});
        QVERIFY(QFile::remove(downloaded(name)));
    }
    // A part file and its record, as an ended run leaves them.
    void leavePart(const QString& name, const QString& url, const QByteArray& content)
    {
        writeFile(downloaded(name + ".part"), content);
        writeFile(downloaded(name + ".part.info"), (url + "\n\"v1\"\n").toUtf8());
    }
    // The downloader in this process, with limits a test can wait for, over addresses (a path is this
    // server's); its finished() arguments.
    QVariantList download(const QStringList& addresses, const Downloader::Limits& limits)
    {
        Downloader downloader(m_dir->filePath("download"), limits);
        QDir().mkpath(m_dir->filePath("download"));
        QSignalSpy finished(&downloader, &Downloader::finished);
        QList<QUrl> urls;
        for (const QString& address : addresses)
            urls << QUrl(address.startsWith('/') ? m_server.url(address.toUtf8()) : address);
        downloader.start(urls);
        // Far beyond the limits given; a download that ignores them fails here.
        return finished.wait(60000) ? finished.first() : QVariantList();
    }
    void serveReply(const QByteArray& a, const QByteArray& b = "/none/b.deb")
    {
        const QString text =
            "版 1.9.0 地A " + m_server.url(a) + "址A结 地B " + m_server.url(b) + "址B结 联系 x方式结";
        m_server.serve("/reply", {{.body = text.toUtf8()}});
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcessEnvironment m_offscreen; // Wine hands no QT_* variable on by itself.
    LoopbackHttpServer m_server;
    const QByteArray m_payload = updateBytes(600 * 1024);
};

void TestUpdater::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_offscreen.insert("QT_QPA_PLATFORM", "offscreen");
    writeFile(m_dir->filePath("toconfigure/dqbb.ini"), "1.8.4\r\n");
}

void TestUpdater::resumes()
{
    // The connection breaks after 200 KiB; the next request asks for the rest only. A server without
    // ranges sends the whole file again: the part starts afresh, not appended to.
    for (const bool ranges : {true, false}) {
        Response cut = file(m_payload, Kind::CutAfter, 200 * 1024);
        Response whole = file(m_payload);
        cut.ranges = whole.ranges = ranges;
        m_server.serve("/y.deb", {cut, whole});
        serveReply("/y.deb");
        QCOMPARE(run().code, 0);
        // Qt's HTTP layer may itself send the first request again when the connection closes before it
        // read a byte; the resumed request is the last one either way.
        const auto requests = m_server.requestsFor("/y.deb");
        QVERIFY2(requests.size() == 2 || requests.size() == 3, qPrintable(QString::number(requests.size())));
        QVERIFY(!requests.first().headers.contains("range"));
        if (ranges) {
            QCOMPARE(requests.last().headers.value("range"), QByteArray("bytes=204800-"));
            QCOMPARE(requests.last().headers.value("if-range"), QByteArray("\"v1\""));
        }
        holdsOnly("y.deb", m_payload);
    }

    // The first run stalls half-way and is ended (this test started it); only the
    // part file holds its bytes. The next run goes on from there.
    m_server.serve("/y.deb", {file(m_payload, Kind::StallAfter, 250 * 1024), file(m_payload)});
    serveReply("/y.deb");
    QProcess first;
    CliRun::start(first, arguments(), m_dir->path(), m_offscreen);
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(downloaded("y.deb.part")).size(), qint64(250 * 1024), 60000);
    first.kill();
    first.waitForFinished(30000);
    QVERIFY(!QFile::exists(downloaded("y.deb")));

    QCOMPARE(run().code, 0);
    QCOMPARE(m_server.requestsFor("/y.deb").at(1).headers.value("range"), QByteArray("bytes=256000-"));
    holdsOnly("y.deb", m_payload);

    // A part left by another address is not taken for this file's beginning, nor is a part of this
    // address that does not begin as an update.
    for (const auto& [address, content] :
         {std::pair<QString, QByteArray>{"http://127.0.0.1:1/y.deb", "stale"},
          {m_server.url("/y.deb"), "<html>stale</html>"}}) {
        leavePart("y.deb", address, content);
        QCOMPARE(run().code, 0);
        QVERIFY(!m_server.requestsFor("/y.deb").last().headers.contains("range"));
        holdsOnly("y.deb", m_payload);
    }
}

void TestUpdater::repliesAndAddresses()
{
    m_server.serve("/a/yanhe_1.9.0_amd64.deb", {file(m_payload)});
    m_server.serve("/b/y.deb", {file(m_payload)});
    serveReply("/a/yanhe_1.9.0_amd64.deb", "/b/y.deb");
    CliRun result = run();
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out,
             (QStringList{"最新版本：1.9.0", "下载：" + m_server.url("/a/yanhe_1.9.0_amd64.deb"),
                          "已下载：" + QDir::toNativeSeparators(downloaded("yanhe_1.9.0_amd64.deb"))}));
    holdsOnly("yanhe_1.9.0_amd64.deb", m_payload);

    // A fails: B is taken. Both fail: nothing under the final name, exit code 1.
    const Response missing{.status = 404, .body = "gone"};
    m_server.serve("/a/yanhe_1.9.0_amd64.deb", {missing});
    result = run();
    QCOMPARE(result.code, 0);
    QVERIFY(result.out.contains("下载：" + m_server.url("/b/y.deb")));
    holdsOnly("y.deb", m_payload);
    m_server.serve("/b/y.deb", {missing});
    result = run();
    QCOMPARE(result.code, 1);
    QVERIFY(result.out.last().startsWith("下载失败：HTTP 404"));
    QCOMPARE(downloadFolder(), QStringList());

    // An HTML page where the update should be, a body shorter than an update's beginning, or the right
    // beginning cut short by the file's end: refused, nothing kept, exit code 1.
    const QString refused = "下载失败：不是有效的更新文件";
    for (const Response& wrong :
         {Response{.contentType = "text/html", .body = "<!DOCTYPE html><html><body>Download</body></html>"},
          file({}), file("!<arch>\n"), file("MZ")}) {
        if (wrong.body == Downloader::updateMagic())
            continue;
        m_server.serve("/page.bin", {wrong});
        serveReply("/page.bin", "/page.bin");
        result = run();
        QCOMPARE(result.code, 1);
        QVERIFY2(result.out.contains(m_server.url("/page.bin") + " " + refused),
                 qPrintable(result.out.join('\n')));
        QCOMPARE(result.out.last(), refused);
        QCOMPARE(downloadFolder(), QStringList());
    }

    // A page on A, the update on B: B is taken.
    m_server.serve("/b/y.deb", {file(m_payload)});
    serveReply("/page.bin", "/b/y.deb");
    QCOMPARE(run().code, 0);
    holdsOnly("y.deb", m_payload);

    // Nothing newer; no reply.
    m_server.serve("/reply", {{.body = "版 1.8.4 地A x址A结 地B y址B结 联系 z方式结"}});
    result = run();
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, (QStringList{"最新版本：1.8.4", "已是最新版本"}));

    m_server.serve("/reply", {{.status = 404}});
    result = run();
    QCOMPARE(result.code, 1);
    QVERIFY(result.out.last().startsWith("无法获取更新信息"));
    QCOMPARE(downloadFolder(), QStringList());
}

void TestUpdater::boundsTheBodyAndTheWait()
{
    Downloader::Limits limits;
    limits.maxBytes = 2 * 1024 * 1024;
    limits.stallMs = 5000;

    // A body without end that begins as an update is ended at the limit; a declared length past the
    // limit is refused before a byte is kept. Neither is asked again.
    m_server.serve("/endless.deb", {file(Downloader::updateMagic(), Kind::Endless)});
    m_server.serve("/big.deb", {file(updateBytes(3 * 1024 * 1024))});
    for (const QByteArray path : {"/endless.deb", "/big.deb"}) {
        QCOMPARE(download({path}, limits), (QVariantList{false, Downloader::notAnUpdateText()}));
        QCOMPARE(downloadFolder(), QStringList());
        QCOMPARE(m_server.requestsFor(path).size(), 1);
    }

    // Up to the limit is fine.
    const QByteArray fits = updateBytes(limits.maxBytes);
    m_server.serve("/fits.deb", {file(fits)});
    QCOMPARE(download({"/fits.deb"}, limits), (QVariantList{true, downloaded("fits.deb")}));
    holdsOnly("fits.deb", fits);

    limits.stallMs = 1000;

    // A byte every 100 ms: too little per second to count as a transfer, and not worth resuming.
    // Nothing is kept, and B is tried.
    m_server.serve("/drip.deb", {file(m_payload, Kind::Drip, 100)});
    m_server.serve("/b/y.deb", {file(m_payload)});
    QCOMPARE(download({"/drip.deb", "/drip.deb"}, limits), (QVariantList{false, kStalled}));
    QCOMPARE(downloadFolder(), QStringList());
    QCOMPARE(m_server.requestsFor("/drip.deb").size(), 2);
    QCOMPARE(download({"/drip.deb", "/b/y.deb"}, limits), (QVariantList{true, downloaded("y.deb")}));
    holdsOnly("y.deb", m_payload);

    // Redirects in a loop: given up after a few, nothing kept.
    m_server.serve("/loop.deb", {{.status = 302, .location = "/loop.deb"}});
    QCOMPARE(download({"/loop.deb"}, limits).value(0), QVariant(false));
    m_server.checkRedirectLoop("/loop.deb");
    QCOMPARE(downloadFolder(), QStringList());

    // A server that never answers; then one that stops part-way and then sends the rest.
    m_server.serve("/silent.deb", {file(m_payload, Kind::Silent)});
    QCOMPARE(download({"/silent.deb"}, limits), (QVariantList{false, kStalled}));
    QCOMPARE(downloadFolder(), QStringList());

    m_server.serve("/stall.deb", {file(m_payload, Kind::StallAfter, 100 * 1024), file(m_payload)});
    QCOMPARE(download({"/stall.deb"}, limits), (QVariantList{true, downloaded("stall.deb")}));
    QCOMPARE(m_server.requestsFor("/stall.deb").last().headers.value("range"), QByteArray("bytes=102400-"));
    holdsOnly("stall.deb", m_payload);

    // A part an ended run left survives a run that cannot reach the server, and
    // one whose server stalls; the first run that gets an answer goes on from it.
    const QString unreachable = LoopbackHttpServer::refusedUrl("/kept.deb");
    const QByteArray beginning = m_payload.left(100 * 1024);
    leavePart("kept.deb", unreachable, beginning);
    QCOMPARE(download({unreachable}, limits).value(0), QVariant(false));
    QCOMPARE(bytes(downloaded("kept.deb.part")), beginning);
    QCOMPARE(downloadFolder(), (QStringList{"kept.deb.part", "kept.deb.part.info"}));

    leavePart("kept.deb", m_server.url("/kept.deb"), beginning);
    m_server.serve("/kept.deb", {file(m_payload, Kind::Silent)});
    QCOMPARE(download({"/kept.deb"}, limits), (QVariantList{false, kStalled}));
    QCOMPARE(bytes(downloaded("kept.deb.part")), beginning);

    m_server.serve("/kept.deb", {file(m_payload)});
    QCOMPARE(download({"/kept.deb"}, limits), (QVariantList{true, downloaded("kept.deb")}));
    QCOMPARE(m_server.requestsFor("/kept.deb").last().headers.value("range"), QByteArray("bytes=102400-"));
    holdsOnly("kept.deb", m_payload);
}

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"

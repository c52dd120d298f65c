#include "support/ChildProcess.h"
#include "support/LoopbackHttpServer.h"
#include "updater/Downloader.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Response = LoopbackHttpServer::Response;

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char& byte : bytes)
        byte = static_cast<char>(random.bounded(256));
    return bytes;
}

// An update for this platform: how one begins, then anything.
QByteArray updateBytes(qsizetype size)
{
    const QByteArray magic = Downloader::updateMagic();
    return magic + randomBytes(size - magic.size());
}

Response file(const QByteArray& body, Response::Kind kind = Response::Kind::Whole, qint64 bytes = 0)
{
    Response response = LoopbackHttpServer::text(body, "application/vnd.debian.binary-package");
    response.kind = kind;
    response.bytes = bytes;
    return response;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestUpdater : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void downloadsAddressA();
    void resumesABrokenTransfer();
    void restartsWhenTheServerIgnoresTheRange();
    void resumesAfterAnEndedRun();
    void takesBWhenAFails();
    void nothingNewerOrNoReply();
    void refusesWhatIsNoUpdate();
    void boundsAnEndlessOrOversizedBody();
    void endsAStalledTransfer();

private:
    QProcess* start(const QString& replyPath);
    struct Run
    {
        int code = -1;
        QStringList out;
    };
    Run run(const QString& replyPath);
    QString downloaded(const QString& name) const { return m_dir->filePath("download/" + name); }
    QStringList downloadFolder() const
    {
        return QDir(m_dir->filePath("download")).entryList(QDir::Files | QDir::Hidden);
    }
    // The downloader in this process, with limits a test can wait for; its finished() arguments.
    QVariantList download(const QList<QUrl>& addresses, const Downloader::Limits& limits);
    void serveReply(const QByteArray& a, const QByteArray& b = "/none/b.deb");

    std::unique_ptr<QTemporaryDir> m_dir;
    LoopbackHttpServer m_server;
    const QByteArray m_payload = updateBytes(600 * 1024);
};

void TestUpdater::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(m_dir->filePath("toconfigure")));
    QFile version(m_dir->filePath("toconfigure/dqbb.ini"));
    QVERIFY(version.open(QIODevice::WriteOnly));
    version.write("1.8.4\r\n");
}

void TestUpdater::serveReply(const QByteArray& a, const QByteArray& b)
{
    const QString text =
        "版 1.9.0 地A " + m_server.url(a) + "址A结 地B " + m_server.url(b) + "址B结 联系 x方式结";
    m_server.serve("/reply", {LoopbackHttpServer::text(text.toUtf8())});
}

QProcess* TestUpdater::start(const QString& replyPath)
{
    auto* process = new QProcess(this);
    endsWithTheTest(*process);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("YANHE_APP_FOLDER", m_dir->path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process->setProcessEnvironment(environment);
    process->start(YANHE_UPDATE, {"--address", m_server.url(replyPath.toUtf8()), "--quit-when-done"});
    return process;
}

TestUpdater::Run TestUpdater::run(const QString& replyPath)
{
    QProcess* process = start(replyPath);
    process->waitForFinished(120000);
    Run result;
    result.code = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    // A Windows build ends its lines with CR LF.
    result.out = QString::fromUtf8(process->readAllStandardOutput())
                     .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                     .split('\n', Qt::SkipEmptyParts);
    delete process;
    return result;
}

void TestUpdater::downloadsAddressA()
{
    m_server.serve("/files/yanhe_1.9.0_amd64.deb", {file(m_payload)});
    serveReply("/files/yanhe_1.9.0_amd64.deb");
    const Run result = run("/reply");
    QCOMPARE(result.code, 0);
    const QString path = downloaded("yanhe_1.9.0_amd64.deb");
    QCOMPARE(result.out,
             (QStringList{"最新版本：1.9.0", "下载：" + m_server.url("/files/yanhe_1.9.0_amd64.deb"),
                          "已下载：" + QDir::toNativeSeparators(path)}));
    QCOMPARE(readAll(path), m_payload);
    QCOMPARE(QDir(m_dir->filePath("download")).entryList(QDir::Files), QStringList{"yanhe_1.9.0_amd64.deb"});
}

void TestUpdater::resumesABrokenTransfer()
{
    // The connection breaks after 200 KiB; the next request asks for the rest only.
    m_server.serve("/y.deb", {file(m_payload, Response::Kind::CutAfter, 200 * 1024), file(m_payload)});
    serveReply("/y.deb");
    const Run result = run("/reply");
    QCOMPARE(result.code, 0);
    QCOMPARE(readAll(downloaded("y.deb")), m_payload);
    // Qt's HTTP layer may itself send the first request again when the connection closes before it
    // read a byte; the resumed request is the last one either way.
    const auto requests = m_server.requestsFor("/y.deb");
    QVERIFY2(requests.size() == 2 || requests.size() == 3, qPrintable(QString::number(requests.size())));
    QVERIFY(!requests.first().headers.contains("range"));
    QCOMPARE(requests.last().headers.value("range"), QByteArray("bytes=204800-"));
    QCOMPARE(requests.last().headers.value("if-range"), QByteArray("\"v1\""));
    QCOMPARE(QDir(m_dir->filePath("download")).entryList(QDir::Files), QStringList{"y.deb"});
}

void TestUpdater::restartsWhenTheServerIgnoresTheRange()
{
    // A server without ranges sends the whole file again: the part starts afresh, not appended to.
    Response cut = file(m_payload, Response::Kind::CutAfter, 300 * 1024);
    cut.ranges = false;
    Response whole = file(m_payload);
    whole.ranges = false;
    m_server.serve("/y.deb", {cut, whole});
    serveReply("/y.deb");
    QCOMPARE(run("/reply").code, 0);
    QCOMPARE(readAll(downloaded("y.deb")), m_payload);
    const auto requests = m_server.requestsFor("/y.deb");
    QVERIFY2(requests.size() == 2 || requests.size() == 3, qPrintable(QString::number(requests.size())));
    QVERIFY(!requests.first().headers.contains("range"));
}

void TestUpdater::resumesAfterAnEndedRun()
{
    // The first run stalls half-way and is ended (this test started it); only the
    // part file holds its bytes. The next run goes on from there.
    m_server.serve("/y.deb", {file(m_payload, Response::Kind::StallAfter, 250 * 1024), file(m_payload)});
    serveReply("/y.deb");
    QProcess* first = start("/reply");
    const QString part = downloaded("y.deb.part");
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(part).size(), qint64(250 * 1024), 60000);
    first->kill();
    first->waitForFinished(30000);
    delete first;
    QVERIFY(!QFile::exists(downloaded("y.deb")));

    QCOMPARE(run("/reply").code, 0);
    QCOMPARE(readAll(downloaded("y.deb")), m_payload);
    QVERIFY(!QFile::exists(part));
    QCOMPARE(m_server.requestsFor("/y.deb").at(1).headers.value("range"), QByteArray("bytes=256000-"));

    // A part left by another address is not taken for this file's beginning.
    QFile stale(part);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("stale bytes");
    stale.close();
    QFile info(part + ".info");
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.write("http://127.0.0.1:1/y.deb\n\"v1\"\n");
    info.close();
    QVERIFY(QFile::remove(downloaded("y.deb")));
    QCOMPARE(run("/reply").code, 0);
    QCOMPARE(readAll(downloaded("y.deb")), m_payload);
    QVERIFY(!m_server.requestsFor("/y.deb").last().headers.contains("range"));

    // Nor is a part of this address that does not begin as an update.
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("<html>stale</html>");
    stale.close();
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.write((m_server.url("/y.deb") + "\n\"v1\"\n").toUtf8());
    info.close();
    QVERIFY(QFile::remove(downloaded("y.deb")));
    QCOMPARE(run("/reply").code, 0);
    QCOMPARE(readAll(downloaded("y.deb")), m_payload);
    QVERIFY(!m_server.requestsFor("/y.deb").last().headers.contains("range"));
    QCOMPARE(downloadFolder(), QStringList{"y.deb"});
}

void TestUpdater::takesBWhenAFails()
{
    Response missing = file("gone");
    missing.status = 404;
    m_server.serve("/a/y.deb", {missing});
    m_server.serve("/b/y.deb", {file(m_payload)});
    serveReply("/a/y.deb", "/b/y.deb");
    const Run result = run("/reply");
    QCOMPARE(result.code, 0);
    QVERIFY(result.out.contains("下载：" + m_server.url("/b/y.deb")));
    QCOMPARE(readAll(downloaded("y.deb")), m_payload);

    // Both fail: nothing under the final name, exit code 1.
    QVERIFY(QFile::remove(downloaded("y.deb")));
    m_server.serve("/b/y.deb", {missing});
    const Run failed = run("/reply");
    QCOMPARE(failed.code, 1);
    QVERIFY(failed.out.last().startsWith("下载失败：HTTP 404"));
    QCOMPARE(QDir(m_dir->filePath("download")).entryList(QDir::Files), QStringList());
}

void TestUpdater::nothingNewerOrNoReply()
{
    m_server.serve("/same", {LoopbackHttpServer::text("版 1.8.4 地A x址A结 地B y址B结 联系 z方式结")});
    Run result = run("/same");
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, (QStringList{"最新版本：1.8.4", "已是最新版本"}));

    result = run("/no-such-reply");
    QCOMPARE(result.code, 1);
    QVERIFY(result.out.last().startsWith("无法获取更新信息"));
    QVERIFY(!QDir(m_dir->filePath("download")).exists() ||
            QDir(m_dir->filePath("download")).entryList(QDir::Files).isEmpty());
}

QVariantList TestUpdater::download(const QList<QUrl>& addresses, const Downloader::Limits& limits)
{
    Downloader downloader(m_dir->filePath("download"), limits);
    QDir().mkpath(m_dir->filePath("download"));
    QSignalSpy finished(&downloader, &Downloader::finished);
    downloader.start(addresses);
    // Far beyond the limits given; a download that ignores them fails here.
    if (!finished.wait(60000))
        return {};
    return finished.first();
}

void TestUpdater::refusesWhatIsNoUpdate()
{
    // An HTML page where the update should be: refused, nothing kept, exit code 1.
    Response page =
        LoopbackHttpServer::text("<!DOCTYPE html><html><body>Download</body></html>", "text/html");
    m_server.serve("/page.bin", {page});
    serveReply("/page.bin", "/page.bin");
    Run result = run("/reply");
    QCOMPARE(result.code, 1);
    QVERIFY2(result.out.contains(m_server.url("/page.bin") + " 下载失败：不是有效的更新文件"),
             qPrintable(result.out.join('\n')));
    QCOMPARE(result.out.last(), QString("下载失败：不是有效的更新文件"));
    QCOMPARE(downloadFolder(), QStringList());

    // Shorter than an update's beginning, or the right beginning cut short by the file's end.
    for (const QByteArray& body : {QByteArray(), QByteArray("!<arch>\n"), QByteArray("MZ")}) {
        if (body == Downloader::updateMagic())
            continue;
        m_server.serve("/short.deb", {file(body)});
        serveReply("/short.deb", "/short.deb");
        result = run("/reply");
        QCOMPARE(result.code, 1);
        QCOMPARE(result.out.last(), QString("下载失败：不是有效的更新文件"));
        QCOMPARE(downloadFolder(), QStringList());
    }

    // A page on A, the update on B: B is taken.
    m_server.serve("/b/y.deb", {file(m_payload)});
    serveReply("/page.bin", "/b/y.deb");
    result = run("/reply");
    QCOMPARE(result.code, 0);
    QCOMPARE(readAll(downloaded("y.deb")), m_payload);
    QCOMPARE(downloadFolder(), QStringList{"y.deb"});
}

void TestUpdater::boundsAnEndlessOrOversizedBody()
{
    Downloader::Limits limits;
    limits.maxBytes = 2 * 1024 * 1024;
    limits.stallMs = 5000;

    // A body without end that begins as an update: ended at the limit.
    m_server.serve("/endless.deb", {file(Downloader::updateMagic(), Response::Kind::Endless)});
    QVariantList result = download({QUrl(m_server.url("/endless.deb"))}, limits);
    QCOMPARE(result, (QVariantList{false, Downloader::notAnUpdateText()}));
    QCOMPARE(downloadFolder(), QStringList());
    QCOMPARE(m_server.requestsFor("/endless.deb").size(), 1);

    // A declared length past the limit: refused before a byte is kept, and not asked again.
    m_server.serve("/big.deb", {file(updateBytes(3 * 1024 * 1024))});
    result = download({QUrl(m_server.url("/big.deb"))}, limits);
    QCOMPARE(result, (QVariantList{false, Downloader::notAnUpdateText()}));
    QCOMPARE(downloadFolder(), QStringList());
    QCOMPARE(m_server.requestsFor("/big.deb").size(), 1);

    // Up to the limit is fine.
    const QByteArray fits = updateBytes(limits.maxBytes);
    m_server.serve("/fits.deb", {file(fits)});
    result = download({QUrl(m_server.url("/fits.deb"))}, limits);
    QCOMPARE(result, (QVariantList{true, downloaded("fits.deb")}));
    QCOMPARE(readAll(downloaded("fits.deb")), fits);
    QCOMPARE(downloadFolder(), QStringList{"fits.deb"});
}

void TestUpdater::endsAStalledTransfer()
{
    Downloader::Limits limits;
    limits.stallMs = 1000;

    // A byte every 100 ms: too little per second to count as a transfer, and not worth resuming.
    // Nothing is kept, and B is tried.
    m_server.serve("/drip.deb", {file(m_payload, Response::Kind::Drip, 100)});
    m_server.serve("/b/y.deb", {file(m_payload)});
    QVariantList result =
        download({QUrl(m_server.url("/drip.deb")), QUrl(m_server.url("/drip.deb"))}, limits);
    QCOMPARE(result, (QVariantList{false, QString("1 秒内没有收到足够的数据")}));
    QCOMPARE(downloadFolder(), QStringList());
    QCOMPARE(m_server.requestsFor("/drip.deb").size(), 2);
    result = download({QUrl(m_server.url("/drip.deb")), QUrl(m_server.url("/b/y.deb"))}, limits);
    QCOMPARE(result, (QVariantList{true, downloaded("y.deb")}));
    QCOMPARE(downloadFolder(), QStringList{"y.deb"});
    QVERIFY(QFile::remove(downloaded("y.deb")));

    // Redirects in a loop: given up after a few, nothing kept.
    Response loop;
    loop.status = 302;
    loop.location = "/loop.deb";
    m_server.serve("/loop.deb", {loop});
    result = download({QUrl(m_server.url("/loop.deb"))}, limits);
    QCOMPARE(result.value(0), QVariant(false));
    const qsizetype loops = m_server.requestsFor("/loop.deb").size();
    // At most 10 redirects followed; Qt may send a request again on a new connection when the
    // server closed the one before.
    QVERIFY2(loops > 1 && loops <= 22, qPrintable(QString::number(loops)));
    QCOMPARE(downloadFolder(), QStringList());

    // A server that never answers; then one that stops part-way and then sends the rest.
    m_server.serve("/silent.deb", {file(m_payload, Response::Kind::Silent)});
    result = download({QUrl(m_server.url("/silent.deb"))}, limits);
    QCOMPARE(result, (QVariantList{false, QString("1 秒内没有收到足够的数据")}));
    QCOMPARE(downloadFolder(), QStringList());

    m_server.serve("/stall.deb", {file(m_payload, Response::Kind::StallAfter, 100 * 1024), file(m_payload)});
    result = download({QUrl(m_server.url("/stall.deb"))}, limits);
    QCOMPARE(result, (QVariantList{true, downloaded("stall.deb")}));
    QCOMPARE(readAll(downloaded("stall.deb")), m_payload);
    QCOMPARE(m_server.requestsFor("/stall.deb").last().headers.value("range"), QByteArray("bytes=102400-"));
    QCOMPARE(downloadFolder(), QStringList{"stall.deb"});
    QVERIFY(QFile::remove(downloaded("stall.deb")));

    // A part an ended run left survives a run that cannot reach the server, and
    // one whose server stalls; the first run that gets an answer goes on from it.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QUrl unreachable(QString("http://127.0.0.1:%1/kept.deb").arg(closed.serverPort()));
    closed.close();
    const QByteArray beginning = m_payload.left(100 * 1024);
    const auto leavePart = [&](const QUrl& url) {
        QFile part(downloaded("kept.deb.part"));
        QVERIFY(part.open(QIODevice::WriteOnly));
        part.write(beginning);
        part.close();
        QFile info(downloaded("kept.deb.part.info"));
        QVERIFY(info.open(QIODevice::WriteOnly));
        info.write((url.toString() + "\n\"v1\"\n").toUtf8());
    };
    leavePart(unreachable);
    QCOMPARE(download({unreachable}, limits).value(0), QVariant(false));
    QCOMPARE(readAll(downloaded("kept.deb.part")), beginning);
    QCOMPARE(downloadFolder(), (QStringList{"kept.deb.part", "kept.deb.part.info"}));

    const QUrl kept(m_server.url("/kept.deb"));
    leavePart(kept);
    m_server.serve("/kept.deb", {file(m_payload, Response::Kind::Silent)});
    result = download({kept}, limits);
    QCOMPARE(result, (QVariantList{false, QString("1 秒内没有收到足够的数据")}));
    QCOMPARE(readAll(downloaded("kept.deb.part")), beginning);

    m_server.serve("/kept.deb", {file(m_payload)});
    QCOMPARE(download({kept}, limits), (QVariantList{true, downloaded("kept.deb")}));
    QCOMPARE(readAll(downloaded("kept.deb")), m_payload);
    QCOMPARE(m_server.requestsFor("/kept.deb").last().headers.value("range"), QByteArray("bytes=102400-"));
    QCOMPARE(downloadFolder(), QStringList{"kept.deb"});
}

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"

#include "support/LoopbackHttpServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
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

Response file(const QByteArray& body, Response::Kind kind = Response::Kind::Whole, qint64 bytes = 0)
{
    Response response = LoopbackHttpServer::text(body, "application/zip");
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

private:
    QProcess* start(const QString& replyPath);
    struct Run
    {
        int code = -1;
        QStringList out;
    };
    Run run(const QString& replyPath);
    QString downloaded(const QString& name) const { return m_dir->filePath("download/" + name); }
    void serveReply(const QByteArray& a, const QByteArray& b = "/none/b.zip");

    std::unique_ptr<QTemporaryDir> m_dir;
    LoopbackHttpServer m_server;
    const QByteArray m_payload = randomBytes(600 * 1024);
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
    result.out = QString::fromUtf8(process->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    delete process;
    return result;
}

void TestUpdater::downloadsAddressA()
{
    m_server.serve("/files/yanhe-1.9.0.zip", {file(m_payload)});
    serveReply("/files/yanhe-1.9.0.zip");
    const Run result = run("/reply");
    QCOMPARE(result.code, 0);
    const QString path = downloaded("yanhe-1.9.0.zip");
    QCOMPARE(result.out, (QStringList{"最新版本：1.9.0", "下载：" + m_server.url("/files/yanhe-1.9.0.zip"),
                                      "已下载：" + QDir::toNativeSeparators(path)}));
    QCOMPARE(readAll(path), m_payload);
    QCOMPARE(QDir(m_dir->filePath("download")).entryList(QDir::Files), QStringList{"yanhe-1.9.0.zip"});
}

void TestUpdater::resumesABrokenTransfer()
{
    // The connection breaks after 200 KiB; the next request asks for the rest only.
    m_server.serve("/y.zip", {file(m_payload, Response::Kind::CutAfter, 200 * 1024), file(m_payload)});
    serveReply("/y.zip");
    const Run result = run("/reply");
    QCOMPARE(result.code, 0);
    QCOMPARE(readAll(downloaded("y.zip")), m_payload);
    // Qt's HTTP layer may itself send the first request again when the connection closes before it
    // read a byte; the resumed request is the last one either way.
    const auto requests = m_server.requestsFor("/y.zip");
    QVERIFY2(requests.size() == 2 || requests.size() == 3, qPrintable(QString::number(requests.size())));
    QVERIFY(!requests.first().headers.contains("range"));
    QCOMPARE(requests.last().headers.value("range"), QByteArray("bytes=204800-"));
    QCOMPARE(requests.last().headers.value("if-range"), QByteArray("\"v1\""));
    QCOMPARE(QDir(m_dir->filePath("download")).entryList(QDir::Files), QStringList{"y.zip"});
}

void TestUpdater::restartsWhenTheServerIgnoresTheRange()
{
    // A server without ranges sends the whole file again: the part starts afresh, not appended to.
    Response cut = file(m_payload, Response::Kind::CutAfter, 300 * 1024);
    cut.ranges = false;
    Response whole = file(m_payload);
    whole.ranges = false;
    m_server.serve("/y.zip", {cut, whole});
    serveReply("/y.zip");
    QCOMPARE(run("/reply").code, 0);
    QCOMPARE(readAll(downloaded("y.zip")), m_payload);
    const auto requests = m_server.requestsFor("/y.zip");
    QVERIFY2(requests.size() == 2 || requests.size() == 3, qPrintable(QString::number(requests.size())));
    QVERIFY(!requests.first().headers.contains("range"));
}

void TestUpdater::resumesAfterAnEndedRun()
{
    // The first run stalls half-way and is ended (this test started it); only the
    // part file holds its bytes. The next run goes on from there.
    m_server.serve("/y.zip", {file(m_payload, Response::Kind::StallAfter, 250 * 1024), file(m_payload)});
    serveReply("/y.zip");
    QProcess* first = start("/reply");
    const QString part = downloaded("y.zip.part");
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(part).size(), qint64(250 * 1024), 60000);
    first->kill();
    first->waitForFinished(30000);
    delete first;
    QVERIFY(!QFile::exists(downloaded("y.zip")));

    QCOMPARE(run("/reply").code, 0);
    QCOMPARE(readAll(downloaded("y.zip")), m_payload);
    QVERIFY(!QFile::exists(part));
    QCOMPARE(m_server.requestsFor("/y.zip").at(1).headers.value("range"), QByteArray("bytes=256000-"));

    // A part left by another address is not taken for this file's beginning.
    QFile stale(part);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("stale bytes");
    stale.close();
    QFile info(part + ".info");
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.write("http://127.0.0.1:1/y.zip\n\"v1\"\n");
    info.close();
    QVERIFY(QFile::remove(downloaded("y.zip")));
    QCOMPARE(run("/reply").code, 0);
    QCOMPARE(readAll(downloaded("y.zip")), m_payload);
    QVERIFY(!m_server.requestsFor("/y.zip").last().headers.contains("range"));
}

void TestUpdater::takesBWhenAFails()
{
    Response missing = file("gone");
    missing.status = 404;
    m_server.serve("/a/y.zip", {missing});
    m_server.serve("/b/y.zip", {file(m_payload)});
    serveReply("/a/y.zip", "/b/y.zip");
    const Run result = run("/reply");
    QCOMPARE(result.code, 0);
    QVERIFY(result.out.contains("下载：" + m_server.url("/b/y.zip")));
    QCOMPARE(readAll(downloaded("y.zip")), m_payload);

    // Both fail: nothing under the final name, exit code 1.
    QVERIFY(QFile::remove(downloaded("y.zip")));
    m_server.serve("/b/y.zip", {missing});
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

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"

#include "support/CliRun.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestFiles.h"

#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QString kNoWps = "  2、未安装WPS-V8或以下版本  3、未安装WPS-V9或以上版本";
// What a machine without Word, Excel, WPS or a LibreOffice the build can drive is told.
const QString kLosslessOnly =
    "Text9=1、本机系统提示: 已安装内置无损引擎（仅处理.docx和.xlsx） 1.0版本（代替Word和Excel） 版本号：1.0" +
    kNoWps;
const QStringList kTwoEngines{"Option1.Enabled=1", "Option2.Enabled=1", "Option3.Enabled=0",
                              "Option4.Enabled=0"};

// The journal's line for a program the probe could not create.
QString cannotCreate(const QString& probe, const QString& program)
{
    return " " + probe + "错误代码：429错误描述：ActiveX 部件不能创建对象（" + program + "）错误\r\n";
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void collectPrintsRowsThenCount();
    void usageErrors();
    void probeReadsTheInstallationAndStartsNothing();
    void probeOnThisMachine();
    void updateCommands();
};

void TestCli::collectPrintsRowsThenCount()
{
    QTemporaryDir dir;
    for (const char* path :
         {"B.DOC", "a.docx", "z/x.doc", "y/.hidden.doc", ".h/in.doc", "m/n/o.docx", "c.txt"})
        writeFile(dir.filePath(path), {});
    const QString root = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    // The options, and the files listed in order, then their count.
    const QList<std::pair<QStringList, QStringList>> runs{
        {{"--recursive", "--patterns", "*.doc,*.docx"}, {"B.DOC", "z/x.doc", "a.docx", "m/n/o.docx"}},
        {{"--attributes", "normal,hidden", "--recursive", "--patterns", "*.doc"},
         {"B.DOC", ".h/in.doc", "y/.hidden.doc", "z/x.doc"}},
        {{"--patterns", "*.docx,"}, {"a.docx", "a.docx", "B.DOC", "c.txt"}},
        {{"--attributes", "", "--recursive", "--patterns", "*.doc"}, {}}};
    for (const auto& [options, found] : runs) {
        const CliRun r = CliRun::of(QStringList{"collect"} + options + QStringList{dir.path()});
        QStringList expected;
        for (const QString& relative : found)
            expected << root + QDir::toNativeSeparators(relative);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, expected << QString("收集到的文件 %1条记录。").arg(found.size()));
    }

#ifndef Q_OS_WIN
    // A name holding a newline or a tab (no Windows name can) is one row, one line, the
    // characters shown as the jobs show them.
    QTemporaryDir odd;
    for (const char* name : {"two\nlines.doc", "tab\there.doc"})
        writeFile(odd.filePath(name), {});
    const QString oddRoot = QDir::toNativeSeparators(odd.path()) + QDir::separator();
    const CliRun r = CliRun::of({"collect", "--patterns", "*.doc", odd.path()});
    QCOMPARE(r.out, (QStringList{oddRoot + "tab\\x09here.doc", oddRoot + "two\\x0Alines.doc",
                                 "收集到的文件 2条记录。"}));
#endif
}

void TestCli::usageErrors()
{
    CliRun r = CliRun::of({"collect", "--help"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.join('\n').contains("--patterns"));
    r = CliRun::of({"word-replace", "--help"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.join('\n').contains("headers-footers"));

    QTemporaryDir dir;
    const QString file = dir.filePath("a.doc");
    QList<QStringList> wrong{
        {"collect", "--patterns", "*.doc", dir.filePath("missing")},
        {"collect", "--bogus", "--patterns", "*.doc", dir.path()},
        {"collect", dir.path()},
        {"collect", "--attributes", "archive", "--patterns", "*", dir.path()},
        {"frobnicate"},
        {},
        {"word-replace-pairs", "--old", "a|b", file},
        {"word-replace-pairs", "--old", "a", "--new", "b", "--scope", "bodies", file},
        {"header-footer-write", "--header", "x", "--header-align", "左边", file},
        {"header-footer-write", "--page-number", "--page-number-align", "", file},
        {"header-footer-replace", "--header-old"},
        // Only the jobs that drive an office program take --jobs, and only a whole number from 1.
        {"rename", "--text", "x", "--jobs", "2", file}};
    for (const char* jobs : {"0", "-2", "two", "", "1.5"})
        wrong << QStringList{"word-replace", "--old", "a", "--new", "b", "--jobs", jobs, file};
    for (const QStringList& bad : wrong) {
        r = CliRun::of(bad);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        // A missing or unknown command is answered with the usage; any other mistake in one line.
        QVERIFY2(r.err.startsWith("yanhe-cli: ") && (bad.size() < 2 || !r.err.contains('\n')),
                 qPrintable(r.err));
    }

    // A folder whose name begins with "-" is read as options; the error says that -- ends them,
    // and after -- the name is the folder. A value that begins with "-" belongs to its option:
    // the name suggested is the folder's.
    writeFile(dir.filePath("-lead/x.doc"), {});
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    r = CliRun::of({"collect", "--patterns", "*.doc", "-lead"});
    const CliRun ended = CliRun::of({"collect", "--patterns", "*.doc", "--", "-lead"});
    const CliRun value = CliRun::of({"collect", "--patterns", "-x.doc", "-lead"});
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.startsWith("yanhe-cli: ") && r.err.contains("-- ends the options") &&
                 r.err.contains("-- -lead"),
             qPrintable(r.err));
    QCOMPARE(ended.code, 0);
    QCOMPARE(ended.out,
             (QStringList{QDir::toNativeSeparators(dir.filePath("-lead/x.doc")), "收集到的文件 1条记录。"}));
    QCOMPARE(value.code, 2);
    QVERIFY2(value.err.contains("-- -lead") && !value.err.contains("-x.doc"), qPrintable(value.err));
}

void TestCli::probeReadsTheInstallationAndStartsNothing()
{
    // An installation whose soffice only leaves a mark when something starts it.
    QTemporaryDir dir;
    const QString program = dir.filePath("office/program");
    writeFile(program + "/types.rdb", "");
    writeFile(program + "/fundamentalrc", "");
    writeFile(
        dir.filePath("office/share/registry/main.xcd"),
        R"(<oor:data><prop oor:name="ooSetupVersionAboutBox"><value>24.8.3.2</value></prop></oor:data>)");
    const QString mark = dir.filePath("started");
    for (const char* name : {"soffice", "soffice.bin"}) {
        writeFile(program + "/" + name, ("#!/bin/sh\ntouch '" + mark + "'\n").toUtf8());
        QFile(program + "/" + name).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QProcessEnvironment environment;
    environment.insert("YANHE_LIBREOFFICE_PROGRAM", program);

    CliRun run = CliRun::of({"probe"}, dir.filePath("app"), environment);
    QCOMPARE(run.code, 0);
#ifdef YANHE_TEST_LIBREOFFICE_PROGRAM
    const QString report =
        "Text9=1、本机系统提示: 已安装LibreOffice 24.8版本（代替Word和Excel） 版本号：24.8.0" + kNoWps;
#else
    // A build without the LibreOffice engine cannot drive it: it names the engine it has.
    const QString report = kLosslessOnly;
#endif
    QCOMPARE(run.out, QStringList{report} + kTwoEngines);
    QVERIFY(!QFile::exists(mark));
    QString journal = CliRun::journal(dir.filePath("app"));
    QCOMPARE(journal.count("\r\n"), 2);
    QVERIFY(journal.contains(cannotCreate("WPSV8", "ET.Application")));
    QVERIFY(journal.contains(cannotCreate("WPSV9", "KET.Application")));

    // Without LibreOffice the built-in engine still takes .docx and .xlsx, and says so.
    environment.insert("YANHE_LIBREOFFICE_PROGRAM", dir.filePath("nowhere"));
    run = CliRun::of({"probe"}, dir.filePath("bare"), environment);
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, QStringList{kLosslessOnly} + kTwoEngines);
    // Nothing at all answers for excel.Application when that engine is not wanted either.
    environment.insert("YANHE_ENGINE", "libreoffice");
    run = CliRun::of({"probe"}, dir.filePath("bare"), environment);
    QCOMPARE(run.out, (QStringList{"Text9=  1、获取offcce版本失败" + kNoWps, "Option1.Enabled=0",
                                   "Option2.Enabled=0", "Option3.Enabled=0", "Option4.Enabled=0"}));
    journal = CliRun::journal(dir.filePath("bare"));
    QCOMPARE(journal.count("\r\n"), 5);
    QVERIFY(journal.contains(cannotCreate("", "excel.Application")));
}

void TestCli::probeOnThisMachine()
{
#ifndef YANHE_TEST_LIBREOFFICE_PROGRAM
    QSKIP("this build has no LibreOffice engine");
#else
    // The machine as it is: nothing in the test's own environment points elsewhere.
    qunsetenv("YANHE_LIBREOFFICE_PROGRAM");
    qunsetenv("YANHE_ENGINE");
    // The build linked against this LibreOffice, so the probe must find it, with the version it reports
    // itself.
    QProcess soffice;
    soffice.start(QStringLiteral(YANHE_TEST_LIBREOFFICE_PROGRAM) + "/soffice", {"--version"});
    QVERIFY(soffice.waitForFinished(60000));
    const QRegularExpressionMatch version = QRegularExpression(R"(LibreOffice (\d+\.\d+))")
                                                .match(QString::fromUtf8(soffice.readAllStandardOutput()));
    QVERIFY(version.hasMatch());

    QTemporaryDir dir;
    const CliRun run = CliRun::of({"probe"}, dir.path());
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out.mid(1), kTwoEngines);
    QVERIFY2(run.out.first().startsWith("Text9=1、本机系统提示: 已安装LibreOffice " + version.captured(1) +
                                        "版本（代替Word和Excel） 版本号：" + version.captured(1) + ".0  2、"),
             qPrintable(run.out.first()));
#endif
}

void TestCli::updateCommands()
{
    LoopbackHttpServer server;
    // Every field of the end state printed; the states themselves are the update check's.
    server.serve(
        "/newer",
        {{.body =
              "版 9.0.0 地A https://a.example/y.zip址A结 地B https://b.example/y.zip址B结 联系 x方式结"}});
    QTemporaryDir dir;
    CliRun run = CliRun::of({"check-update", "--address", server.url("/newer")}, dir.path());
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, (QStringList{"gjgx.Caption=工具更新了", "gxqk.Caption=最新版本（ 9.0.0）点击更新",
                                   "gxqk.Enabled=1", "sdgx.Enabled=1", "Timer1.Enabled=1",
                                   "sdgx.Text= https://a.example/y.zip https://b.example/y.zip"}));
    // The version file is written as the window's load writes it.
    QCOMPARE(bytes(dir.filePath("toconfigure/dqbb.ini")), QByteArray(YANHE_TEST_VERSION "\r\n"));
    QCOMPARE(CliRun::of({"check-update", "extra"}, dir.path()).code, 2);

    // The address is stored scrambled, and read back.
    const QString fresh = dir.filePath("fresh");
    QCOMPARE(CliRun::of({"update-address"}, fresh).out,
             QStringList{"https://update.yanhe.example/yanhe/latest.txt"});
    QCOMPARE(CliRun::of({"update-address", "https://mirror.example.org/yanhe/latest.txt"}, fresh).code, 0);
    const QByteArray stored = bytes(fresh + "/toconfigure/mysql.ini");
    QVERIFY(!stored.isEmpty() && !stored.contains("mirror"));
    QCOMPARE(CliRun::of({"update-address"}, fresh).out,
             QStringList{"https://mirror.example.org/yanhe/latest.txt"});
    QCOMPARE(CliRun::of({"update-address", "mirror.example.org"}, fresh).code, 2);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

// The COM path end to end, on Windows (or Wine): yanhe-cli drives the jobs over
// IDispatch into the test automation server, registered under Word's, Excel's and
// WPS's program identifiers, which records every call and keeps the documents as
// real files.
#include "office/SystemRunningOffice.h"
#include "office/ooxml/SheetEngine.h"
#include "office/ooxml/WordEngine.h"
#include "support/CliRun.h"
#include "word/RunningOffice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <windows.h>

namespace {

const QString kCorpus = QStringLiteral(YANHE_CORPUS);

// One class identifier per program identifier the tests register.
const QMap<QString, QString> kClasses = {
    {"Word.Application", "{6B1B3C1E-5A3C-4C57-9C31-1D1F0A4E7A01}"},
    {"Excel.Application", "{6B1B3C1E-5A3C-4C57-9C31-1D1F0A4E7A02}"},
    {"ET.Application", "{6B1B3C1E-5A3C-4C57-9C31-1D1F0A4E7A03}"},
    {"KET.Application", "{6B1B3C1E-5A3C-4C57-9C31-1D1F0A4E7A04}"},
};

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path.startsWith('/') ? "Z:" + path : path);
}

// The classes go to the machine's part of the registry: the test's Wine prefix is its own, and
// Wine's COM activation does not find local servers registered for the user only.
bool setKey(const QString& key, const QString& value)
{
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE,
                           reinterpret_cast<LPCWSTR>(("Software\\Classes\\" + key).utf16()), nullptr, REG_SZ,
                           value.utf16(), DWORD((value.size() + 1) * 2)) == ERROR_SUCCESS;
}
void deleteKey(const QString& key)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(("Software\\Classes\\" + key).utf16()));
}

bool running(qint64 pid)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code == STILL_ACTIVE;
}

} // namespace

class TestComServer final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void wordReplaceCallsAndArguments();
    void sheetJobsCallsAndArguments();
    void serverExceptionBecomesTheFailureLine();
    void wpsRetriesWithTheSecondIdentifier();
    void hungServerIsEndedAndTheBatchGoesOn();
    void environmentProbes();
    void guardsEndTheServerOnly();

private:
    // Registers progId as served by the test server; extra goes on its command line.
    void registerServer(const QString& progId, const QString& kind, const QStringList& extra = {});
    QString copy(const QString& corpusFile, const QString& name);
    QStringList calls() const;
    CliRun cli(const QStringList& arguments, const QProcessEnvironment& extra = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_record;
};

void TestComServer::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_record = m_dir->filePath("calls.txt");
}

void TestComServer::cleanup()
{
    for (auto it = kClasses.cbegin(); it != kClasses.cend(); ++it) {
        deleteKey(it.key());
        deleteKey("CLSID\\" + it.value());
    }
    m_dir.reset();
}

void TestComServer::registerServer(const QString& progId, const QString& kind, const QStringList& extra)
{
    const QString clsid = kClasses.value(progId);
    QString command = QStringLiteral("\"%1\" --kind %2 --clsid %3 --record \"%4\"")
                          .arg(native(YANHE_COM_SERVER), kind, clsid, native(m_record));
    for (const QString& argument : extra)
        command += " \"" + argument + "\"";
    QVERIFY(setKey(progId + "\\CLSID", clsid));
    QVERIFY(setKey("CLSID\\" + clsid, progId));
    QVERIFY(setKey("CLSID\\" + clsid + "\\LocalServer32", command));
    QVERIFY(setKey("CLSID\\" + clsid + "\\ProgID", progId));
}

QString TestComServer::copy(const QString& corpusFile, const QString& name)
{
    const QString target = m_dir->filePath(name);
    QFile::copy(kCorpus + "/" + corpusFile, target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return native(target);
}

QStringList TestComServer::calls() const
{
    QFile file(m_record);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

CliRun TestComServer::cli(const QStringList& arguments, const QProcessEnvironment& extra)
{
    CliRun run = CliRun::of(arguments, m_dir->filePath("app"), extra);
    for (QString& line : run.out)
        line.remove('\r');
    return run;
}

// Single-text replace over Word: the member paths, the probe and replace-all forms of
// Find.Execute with their named arguments and 16-bit integers, the header and footer
// passes, Chinese texts and paths as BSTRs, and the document saved as a real file.
void TestComServer::wordReplaceCallsAndArguments()
{
    registerServer("Word.Application", "word");
    const QString document = copy("docx/hdr-header-footer.docx", "页眉文档.docx");
    const CliRun run = cli({"word-replace", "--old", "section", "--new", "章节", "--scope",
                            "textboxes,headers-footers", document});
    QVERIFY2(run.out.contains(document + " 已替换内容"), qPrintable(run.out.join('\n')));

    const QStringList log = calls();
    const QString joined = log.join('\n');
    QVERIFY2(joined.contains("created word in process"), qPrintable(joined));
    QVERIFY(log.contains("Documents.Open(BSTR:\"" + document + "\")"));
    QVERIFY(log.contains("Find.Execute(BSTR:\"section\")"));
    QVERIFY(
        log.contains("Find.Execute(findtext:=BSTR:\"section\", replacewith:=BSTR:\"章节\", Replace:=I2:2)"));
    QVERIFY2(log.contains("Document.Save()"), qPrintable(joined));
    QVERIFY(joined.contains("Application.Quit("));
    QVERIFY2(joined.contains("Section.Headers(I2:1)") || joined.contains("View.SeekView =(I2:9)"),
             qPrintable(joined));
    // Save comes before Quit, and nothing is called after Quit.
    const qsizetype save = log.indexOf("Document.Save()");
    qsizetype quit = -1;
    for (qsizetype i = 0; i < log.size(); ++i) {
        if (log.at(i).startsWith("Application.Quit("))
            quit = i;
    }
    QVERIFY(save >= 0 && save < quit);
    // Save's exception reached the job as the file's failure line.
    if (joined.contains("Document.Save()\n  raised"))
        QVERIFY(run.out.join('\n').contains(document + " 保存失败"));

    // The file holds the new text in its body and its header.
    auto word = ooxml::createWordProcessor();
    auto opened = word->documentsOpen(QDir::fromNativeSeparators(document));
    QVERIFY2(opened->content()->findExecute("章节"), qPrintable(joined + '\n' + run.out.join('\n')));
    QVERIFY(!opened->content()->findExecute("section"));
    opened->close();
    word->quit();
}

// Workbook replace and single-cell write over Excel: Worksheets.Count, Sheets(i).Activate,
// Cells.Find, Cells.Replace with its named arguments, Cells(row, column) assigned, Close(True).
void TestComServer::sheetJobsCallsAndArguments()
{
    registerServer("Excel.Application", "sheet");
    const QString book = copy("xlsx/inventory-table.xlsx", "inventory.xlsx");
    const CliRun replace = cli({"sheet-replace", "--old", "Apple", "--new", "苹果", book});
    QVERIFY2(!replace.out.isEmpty() && replace.out.first().startsWith(book + "-Sheet1"),
             qPrintable(replace.out.join('\n')));

    QStringList log = calls();
    QVERIFY(log.contains("Workbooks.Open(BSTR:\"" + book + "\")"));
    QVERIFY(log.contains("Worksheets.Count()"));
    QVERIFY(log.contains("Sheet.Activate()"));
    QVERIFY(log.contains("Cells.Find(BSTR:\"Apple\")"));
    QVERIFY2(log.contains("Cells.Replace(What:=BSTR:\"Apple\", Replacement:=BSTR:\"苹果\", LookAt:=I2:2, "
                          "SearchOrder:=I2:1, MatchCase:=BOOL:False, SearchFormat:=BOOL:False, "
                          "ReplaceFormat:=BOOL:False)"),
             qPrintable(log.join('\n')));
    QVERIFY(log.contains("Workbook.Close(BOOL:True)"));

    QFile::remove(m_record);
    const CliRun write = cli({"cell-write", "--row", "2", "--column", "3", "--text", "新值", book});
    log = calls();
    QVERIFY2(log.contains("Cell.[default] =(BSTR:\"新值\")"), qPrintable(log.join('\n')));
    QVERIFY(log.join('\n').contains(QRegularExpression(R"(Worksheet\.Cells\(I[24]:2, I[24]:3\))")));

    auto excel = ooxml::createSpreadsheet();
    auto opened = excel->workbooksOpen(QDir::fromNativeSeparators(book));
    QCOMPARE(opened->worksheets(1)->cell(2, 3), QString("新值"));
    QVERIFY(opened->worksheets(1)->cellsFind("苹果"));
    opened->close(false);
    excel->quit();
}

// DISP_E_EXCEPTION with a description: that file's failure line carries the
// description, is left as it was, and the next file is done.
void TestComServer::serverExceptionBecomesTheFailureLine()
{
    registerServer("Word.Application", "word", {"--fail", "broken"});
    const QString broken = copy("docx/test.docx", "broken.docx");
    const QString good = copy("docx/test.docx", "good.docx");
    const QByteArray before = [&] {
        QFile f(QDir::fromNativeSeparators(broken));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const CliRun run = cli({"word-replace", "--old", "python", "--new", "蟒蛇", broken, good});
    QVERIFY2(run.out.size() >= 2, qPrintable(run.out.join('\n')));
    QVERIFY2(run.out.at(0).startsWith(broken) && run.out.at(0).contains("测试服务器：文档已损坏，无法打开"),
             qPrintable(run.out.at(0)));
    QCOMPARE(run.out.at(1), good + " 已替换内容");
    QFile after(QDir::fromNativeSeparators(broken));
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
}

// An identifier that is not registered is error 429; the WPS job then creates its
// second identifier. With neither, the job reports that WPS cannot be started.
void TestComServer::wpsRetriesWithTheSecondIdentifier()
{
    registerServer("KET.Application", "word");
    const QString document = copy("docx/test.docx", "wps.docx");
    CliRun run = cli({"word-replace", "--engine", "wps", "--old", "python", "--new", "蟒蛇", document});
    QVERIFY2(run.out.contains(document + " 已替换内容"), qPrintable(run.out.join('\n')));
    QVERIFY(calls().join('\n').contains("created word in process"));

    cleanup();
    init();
    const QString again = copy("docx/test.docx", "wps.docx");
    run = cli({"word-replace", "--engine", "wps", "--old", "python", "--new", "蟒蛇", again});
    const QString all = run.out.join('\n') + run.err;
    QVERIFY2(all.contains("ET.Application、KET.Application"), qPrintable(all));
    QVERIFY(calls().isEmpty());
}

// A server that stops answering is ended by the bounded call (its process only);
// the file fails, and the batch goes on in a fresh server.
void TestComServer::hungServerIsEndedAndTheBatchGoesOn()
{
    registerServer("Word.Application", "word", {"--hang", "hang"});
    const QString first = copy("docx/test.docx", "a.docx");
    const QString hung = copy("docx/test.docx", "hang.docx");
    const QString last = copy("docx/test.docx", "c.docx");
    QProcessEnvironment quick;
    quick.insert("YANHE_OFFICE_TIMEOUT_MS", "4000");
    const CliRun run = cli({"word-replace", "--old", "python", "--new", "蟒蛇", first, hung, last}, quick);
    const QString all = run.out.join('\n');
    QVERIFY2(run.out.contains(first + " 已替换内容"), qPrintable(all));
    QVERIFY2(all.contains(hung + " ") && all.contains("办公软件没有应答，已结束它"), qPrintable(all));
    QVERIFY2(run.out.contains(last + " 已替换内容"), qPrintable(all));

    QList<qint64> servers;
    const QRegularExpression created("^created word in process (\\d+)$");
    for (const QString& line : calls()) {
        if (const auto m = created.match(line); m.hasMatch())
            servers << m.captured(1).toLongLong();
    }
    QCOMPARE(servers.size(), 2);
    QVERIFY(!running(servers.at(0)));
}

// The window's probes against the server as Excel, and no WPS registered.
void TestComServer::environmentProbes()
{
    registerServer("Excel.Application", "sheet");
    const CliRun run = cli({"probe"});
    const QString all = run.out.join('\n');
    QVERIFY2(all.contains("1、本机系统提示: 已安装offcce 2016版本 版本号：16.0"), qPrintable(all));
    QVERIFY(all.contains("2、未安装WPS-V8或以下版本"));
    QVERIFY(all.contains("3、未安装WPS-V9或以上版本"));
}

// The Word guard: the running instance (the server registered as active, its
// executable named WINWORD.EXE) and its open document are found; ending "winword.EXE"
// ends that process and leaves another copy of the same server, under another name, running.
void TestComServer::guardsEndTheServerOnly()
{
    const QString folder = m_dir->filePath("office");
    QDir().mkpath(folder);
    const QString winword = folder + "/WINWORD.EXE";
    const QString other = folder + "/other-server.exe";
    QVERIFY(QFile::copy(YANHE_COM_SERVER, winword));
    QVERIFY(QFile::copy(YANHE_COM_SERVER, other));
    registerServer("Word.Application", "word");
    const QString open = native(m_dir->filePath("打开的文档.docx"));

    QProcess user;
    user.start(winword, {"--kind", "word", "--clsid", kClasses.value("Word.Application"), "--record",
                         native(m_record), "--running", open});
    QProcess bystander;
    bystander.start(other, {"--kind", "word", "--record", native(m_dir->filePath("other.txt"))});
    QVERIFY(user.waitForStarted() && bystander.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(calls().join('\n').contains("running word"), 20000);

    const auto office = createSystemRunningOffice();
    const std::optional<QStringList> documents = office->openDocuments("Word.Application");
    QVERIFY(documents.has_value());
    QCOMPARE(*documents, QStringList{open});
    // Wine's WMI has no Win32_Process.Terminate: there the guard ends nothing, and says so.
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    const int ended = office->endAllProcesses("winword.EXE");
    if (wine)
        QEXPECT_FAIL("", "Wine's WMI does not implement Win32_Process.Terminate", Continue);
    QCOMPARE(ended, 1);
    if (!wine)
        QVERIFY(user.waitForFinished(20000));
    QCOMPARE(bystander.state(), QProcess::Running);
    user.kill();
    user.waitForFinished();
    bystander.kill();
    bystander.waitForFinished();
}

QTEST_GUILESS_MAIN(TestComServer)
#include "tst_comserver.moc"

// The COM path end to end, on Windows (or Wine): yanhe-cli drives the jobs over
// IDispatch into the test automation server, registered under Word's, Excel's and
// WPS's program identifiers, which records every call and keeps the documents as
// real files.
#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "app/Module2.h"
#include "gui/Form1.h"
#include "office/OfficeRegistry.h"
#include "office/SystemRunningOffice.h"
#include "office/ooxml/SheetEngine.h"
#include "office/ooxml/WordEngine.h"
#include "support/CliRun.h"
#include "word/RunningOffice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <QtWidgets>
#include <windows.h>

namespace {

const QString kCorpus = QStringLiteral(YANHE_CORPUS);

// One class identifier per program identifier the tests register (ET.Application never is).
const QMap<QString, QString> kClasses = {
    {"Word.Application", "{6B1B3C1E-5A3C-4C57-9C31-1D1F0A4E7A01}"},
    {"Excel.Application", "{6B1B3C1E-5A3C-4C57-9C31-1D1F0A4E7A02}"},
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

QByteArray bytes(const QString& path)
{
    QFile file(QDir::fromNativeSeparators(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
    void otherWordJobsCallsAndFiles();
    void windowJobsOverCom();
    void sheetJobsAndProbes();
    void wpsRetriesWithTheSecondIdentifier();
    void hungServerIsEndedAndTheBatchGoesOn();
    void guardsEndTheServerOnly();

private:
    // Registers progId as served by the test server; extra goes on its command line.
    void registerServer(const QString& progId, const QString& kind, const QStringList& extra = {});
    QString copy(const QString& corpusFile, const QString& name);
    QStringList calls() const;
    CliRun cli(const QStringList& arguments, const QProcessEnvironment& extra = {})
    {
        return CliRun::of(arguments, m_dir->filePath("app"), extra);
    }

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
    return QString::fromUtf8(bytes(m_record)).split('\n', Qt::SkipEmptyParts);
}

// Single-text replace over Word: the member paths, the probe and replace-all forms of
// Find.Execute with their named arguments and 16-bit integers, the header and footer
// passes, Chinese texts and paths as BSTRs, and the document saved as a real file.
// A file whose Open raises DISP_E_EXCEPTION fails with its description and is left as
// it was; the next file is done.
void TestComServer::wordReplaceCallsAndArguments()
{
    registerServer("Word.Application", "word", {"--fail", "broken"});
    const QString broken = copy("docx/test.docx", "broken.docx");
    const QByteArray before = bytes(broken);
    const QString document = copy("docx/hdr-header-footer.docx", "页眉文档.docx");
    const CliRun run = cli({"word-replace", "--old", "section", "--new", "章节", "--scope",
                            "textboxes,headers-footers", broken, document});
    const QString out = run.out.join('\n');
    QVERIFY2(run.out.size() >= 2 && run.out.at(0).startsWith(broken) &&
                 run.out.at(0).contains("测试服务器：文档已损坏，无法打开"),
             qPrintable(out));
    QCOMPARE(run.out.at(1), document + " 已替换内容");
    QCOMPARE(bytes(broken), before);

    const QStringList log = calls();
    const QString joined = log.join('\n');
    QVERIFY2(joined.contains("created word in process"), qPrintable(joined));
    for (const QString& call :
         QStringList{"Documents.Open(BSTR:\"" + document + "\")", "Find.Execute(BSTR:\"section\")",
                     "Find.Execute(findtext:=BSTR:\"section\", replacewith:=BSTR:\"章节\", Replace:=I2:2)",
                     "Section.Headers(I2:1)", "Document.Save()"})
        QVERIFY2(log.contains(call), qPrintable(call + " not in\n" + joined));
    const qsizetype save = log.indexOf("Document.Save()");
    QVERIFY2(save < log.lastIndexOf(QRegularExpression(R"(Application\.Quit\(.*)")), qPrintable(joined));

    // The file holds the new text in its body and its header.
    auto word = ooxml::createWordProcessor();
    auto opened = word->documentsOpen(QDir::fromNativeSeparators(document));
    QVERIFY2(opened->content()->findExecute("章节"), qPrintable(joined + '\n' + out));
    QVERIFY(!opened->content()->findExecute("section"));
    opened->close();
    word->quit();
}

// The texts of every section's first header or footer in the saved file, one line each.
QString storyTexts(const QString& path, bool headers)
{
    auto word = ooxml::createWordProcessor();
    auto opened = word->documentsOpen(QDir::fromNativeSeparators(path));
    QStringList texts;
    for (const word::SectionPtr& section : opened->sections())
        texts << (headers ? section->headers(1) : section->footers(1))->range()->text();
    opened->close();
    word->quit();
    return texts.join('\n');
}

// The other Word jobs: several pairs with the header pass; the header and footer replace through
// SeekView and the selection's replace-all; the writer emptying the header first, typing with its
// font and alignment, and 第N页 with the page field. Each result is read back from the file.
void TestComServer::otherWordJobsCallsAndFiles()
{
    registerServer("Word.Application", "word");
    const auto has = [this](const QStringList& wanted) {
        const QStringList log = calls();
        for (const QString& call : wanted) {
            if (!log.contains(call))
                return call + " not in\n" + log.join('\n');
        }
        return QString();
    };

    const QString pairs = copy("docx/hdr-header-footer.docx", "多对.docx");
    CliRun run = cli({"word-replace-pairs", "--old", "Header|without", "--new", "页眉|没有", "--scope",
                      "headers-footers", pairs});
    QCOMPARE(run.out, (QStringList{pairs + " 已替换内容", pairs + " 已替换内容"}));
    QCOMPARE(has({"Find.Execute(findtext:=BSTR:\"without\", replacewith:=BSTR:\"没有\", Replace:=I2:2)",
                  "Section.Headers(I2:1)", "Document.Save()"}),
             QString());
    QVERIFY2(storyTexts(pairs, true).contains("页眉 for section-1"), qPrintable(storyTexts(pairs, true)));

    QFile::remove(m_record);
    const QString replaced = copy("docx/hdr-header-footer.docx", "页眉页脚.docx");
    run = cli({"header-footer-replace", "--header", "--header-old", "Header", "--header-new", "新页眉",
               "--footer", "--footer-old", "Footer", "--footer-new", "新页脚", replaced});
    QCOMPARE(run.code, 0);
    QCOMPARE(has({"View.SeekView =(I2:9)", "View.SeekView =(I2:10)", "View.SeekView =(I2:0)",
                  "Find.Execute(findtext:=BSTR:\"Header\", replacewith:=BSTR:\"新页眉\", Replace:=I2:2)",
                  "Find.Execute(findtext:=BSTR:\"Footer\", replacewith:=BSTR:\"新页脚\", Replace:=I2:2)"}),
             QString());
    QVERIFY2(storyTexts(replaced, true).contains("新页眉 for section-1"),
             qPrintable(storyTexts(replaced, true)));
    QVERIFY2(storyTexts(replaced, false).contains("新页脚 for section 1"),
             qPrintable(storyTexts(replaced, false)));

    QFile::remove(m_record);
    const QString written = copy("docx/hdr-header-footer.docx", "写入.docx");
    run = cli({"header-footer-write", "--header", "测试页眉", "--delete-header", "--header-font", "黑体",
               "--header-bold", "--page-number", written});
    QVERIFY2(run.code == 0 && !run.out.isEmpty() && run.out.filter("失败").isEmpty(),
             qPrintable(run.out.join('\n') + run.err));
    QCOMPARE(has({"Range.Delete()", "Font.Name =(BSTR:\"黑体\")", "Font.Bold =(BOOL:True)",
                  "Selection.TypeText(BSTR:\"测试页眉\")", "Selection.TypeText(BSTR:\"第\")",
                  "Selection.TypeText(BSTR:\"页\")"}),
             QString());
    QVERIFY2(calls().join('\n').contains(QRegularExpression(R"(Fields\.Add\(.*Type:=I2:33\))")),
             qPrintable(calls().join('\n')));
    const QString headers = storyTexts(written, true);
    QVERIFY2(headers.contains("测试页眉") && !headers.contains("Header for"), qPrintable(headers));
    const QString footers = storyTexts(written, false);
    QVERIFY2(footers.contains("第") && footers.contains("页"), qPrintable(footers));
}

// The window's jobs over COM: Form1 on the system's office registry with the servers as Word and
// Excel; for each job button, its option, its inputs and one ticked row: no failure in the log box,
// the member calls that carry the inputs, and the saved file read back.
void TestComServer::windowJobsOverCom()
{
    // Excel answers the window's probe at load, which unlocks the Word and Excel options.
    registerServer("Excel.Application", "sheet");
    registerServer("Word.Application", "word");
    QTemporaryDir appDir;
    const AppFolders folders(appDir.path());
    Journal journal(Module2::StartUp(folders, Clock::system()).journalDayFolder, Clock::system());
    Form1 form(folders, journal, createSystemRunningOffice(), OfficeRegistry::system());
    form.Form_Load();
    auto* list = form.findChild<QListWidget*>("List1");
    const auto run = [&](const char* button, const char* option, const QString& corpusFile,
                         const QString& name, const QList<std::pair<QString, QString>>& inputs) {
        const QString file = copy(corpusFile, name);
        list->clear();
        (new QListWidgetItem(file, list))->setCheckState(Qt::Checked);
        for (const auto& [control, value] : inputs) {
            if (auto* edit = form.findChild<QLineEdit*>(control))
                edit->setText(value);
            else
                form.findChild<QAbstractButton*>(control)->setChecked(true);
        }
        form.findChild<QAbstractButton*>(option)->click();
        QFile::remove(m_record);
        form.findChild<QAbstractButton*>(button)->click();
        const QString log = form.findChild<QObject*>("Text3")->property("plainText").toString();
        return std::pair{file, log};
    };
    const auto called = [this](const QString& call) {
        return calls().contains(call) ? QString() : call + " not in\n" + calls().join('\n');
    };

    auto [document, log] =
        run("Command1", "Option1", "docx/test.docx", "窗口.docx", {{"Text1", "python"}, {"Text2", "蟒蛇"}});
    QVERIFY2(log.endsWith(document + " 已替换内容"), qPrintable(log));
    QCOMPARE(called("Find.Execute(findtext:=BSTR:\"python\", replacewith:=BSTR:\"蟒蛇\", Replace:=I2:2)"),
             QString());
    auto word = ooxml::createWordProcessor();
    auto opened = word->documentsOpen(QDir::fromNativeSeparators(document));
    QVERIFY(opened->content()->findExecute("蟒蛇") && !opened->content()->findExecute("python"));
    opened->close();
    word->quit();

    std::tie(document, log) =
        run("Command9", "Option11", "docx/hdr-header-footer.docx", "窗口多对.docx",
            {{"Text13_0", "Header|without"}, {"Text13_1", "页眉|没有"}, {"Check9_1", {}}});
    QVERIFY2(!log.contains("失败"), qPrintable(log));
    QCOMPARE(called("Find.Execute(findtext:=BSTR:\"without\", replacewith:=BSTR:\"没有\", Replace:=I2:2)"),
             QString());
    QVERIFY2(storyTexts(document, true).contains("页眉 for section-1"),
             qPrintable(storyTexts(document, true)));

    std::tie(document, log) = run("Command7", "Option7", "docx/hdr-header-footer.docx", "窗口页眉.docx",
                                  {{"Check10", {}}, {"Text12_0", "Header"}, {"Text12_1", "新页眉"}});
    QVERIFY2(!log.contains("失败"), qPrintable(log));
    QCOMPARE(called("View.SeekView =(I2:9)"), QString());
    QVERIFY2(storyTexts(document, true).contains("新页眉 for section-1"),
             qPrintable(storyTexts(document, true)));

    std::tie(document, log) = run("Command3", "Option7", "docx/hdr-header-footer.docx", "窗口写入.docx",
                                  {{"Check12_0", {}}, {"Text4", "窗口页眉"}});
    QVERIFY2(!log.contains("失败"), qPrintable(log));
    QCOMPARE(called("Selection.TypeText(BSTR:\"窗口页眉\")"), QString());
    QVERIFY2(storyTexts(document, true).contains("窗口页眉"), qPrintable(storyTexts(document, true)));

    auto [book, sheetLog] = run("Command2", "Option2", "xlsx/inventory-table.xlsx", "窗口表格.xlsx",
                                {{"Text1", "Apple"}, {"Text2", "苹果"}});
    QVERIFY2(!sheetLog.contains("失败"), qPrintable(sheetLog));
    QCOMPARE(called("Workbook.Close(BOOL:True)"), QString());
    std::tie(book, sheetLog) = run("Command8", "Option2", "xlsx/inventory-table.xlsx", "窗口单元格.xlsx",
                                   {{"Text15_0", "2"}, {"Text15_1", "3"}, {"Text15_2", "新值"}});
    QVERIFY2(!sheetLog.contains("失败"), qPrintable(sheetLog));
    QCOMPARE(called("Cell.[default] =(BSTR:\"新值\")"), QString());
    auto excel = ooxml::createSpreadsheet();
    auto workbook = excel->workbooksOpen(QDir::fromNativeSeparators(book));
    QCOMPARE(workbook->worksheets(1)->cell(2, 3), QString("新值"));
    workbook->close(false);
    workbook = excel->workbooksOpen(QDir::fromNativeSeparators(native(m_dir->filePath("窗口表格.xlsx"))));
    QVERIFY(workbook->worksheets(1)->cellsFind("苹果"));
    workbook->close(false);
    excel->quit();
}

// Over Excel: the window's probes (and no WPS registered); workbook replace and single-cell
// write: Worksheets.Count, Sheets(i).Activate, Cells.Find, Cells.Replace with its named
// arguments, Cells(row, column) assigned, Close(True).
void TestComServer::sheetJobsAndProbes()
{
    registerServer("Excel.Application", "sheet");
    const QString probe = cli({"probe"}).out.join('\n');
    QVERIFY2(probe.contains("1、本机系统提示: 已安装offcce 2016版本 版本号：16.0"), qPrintable(probe));
    QVERIFY(probe.contains("2、未安装WPS-V8或以下版本"));
    QVERIFY(probe.contains("3、未安装WPS-V9或以上版本"));

    const QString book = copy("xlsx/inventory-table.xlsx", "inventory.xlsx");
    const CliRun replace = cli({"sheet-replace", "--old", "Apple", "--new", "苹果", book});
    QVERIFY2(!replace.out.isEmpty() && replace.out.first().startsWith(book + "-Sheet1"),
             qPrintable(replace.out.join('\n')));
    QStringList log = calls();
    for (const QString& call :
         QStringList{"Workbooks.Open(BSTR:\"" + book + "\")", "Worksheets.Count()", "Sheet.Activate()",
                     "Cells.Find(BSTR:\"Apple\")",
                     "Cells.Replace(What:=BSTR:\"Apple\", Replacement:=BSTR:\"苹果\", LookAt:=I2:2, "
                     "SearchOrder:=I2:1, MatchCase:=BOOL:False, SearchFormat:=BOOL:False, "
                     "ReplaceFormat:=BOOL:False)",
                     "Workbook.Close(BOOL:True)"})
        QVERIFY2(log.contains(call), qPrintable(call + " not in\n" + log.join('\n')));

    QFile::remove(m_record);
    cli({"cell-write", "--row", "2", "--column", "3", "--text", "新值", book});
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

// An identifier that is not registered is error 429; the WPS job then creates its
// second identifier.
void TestComServer::wpsRetriesWithTheSecondIdentifier()
{
    registerServer("KET.Application", "word");
    const QString document = copy("docx/test.docx", "wps.docx");
    const CliRun run = cli({"word-replace", "--engine", "wps", "--old", "python", "--new", "蟒蛇", document});
    QVERIFY2(run.out.contains(document + " 已替换内容"), qPrintable(run.out.join('\n') + run.err));
    QVERIFY(calls().join('\n').contains("created word in process"));
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

    const QStringList servers = calls().filter(QRegularExpression("^created word in process \\d+$"));
    QCOMPARE(servers.size(), 2);
    QVERIFY(!running(servers.at(0).section(' ', -1).toLongLong()));
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
    QCOMPARE(office->openDocuments("Word.Application").value_or(QStringList{"no running instance"}),
             QStringList{open});
    // Wine's WMI has no Win32_Process.Terminate: there the guard ends nothing, and says so.
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    const int ended = office->endAllProcesses("winword.EXE");
    if (wine)
        QEXPECT_FAIL("", "Wine's WMI does not implement Win32_Process.Terminate", Continue);
    QCOMPARE(ended, 1);
    if (!wine)
        QVERIFY(user.waitForFinished(20000));
    QCOMPARE(bystander.state(), QProcess::Running);
    for (QProcess* server : {&user, &bystander}) {
        server->kill();
        server->waitForFinished();
    }
}

QTEST_MAIN(TestComServer)
#include "tst_comserver.moc"

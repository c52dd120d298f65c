// The COM path end to end, on Windows (or Wine): yanhe-cli and the window drive the jobs over IDispatch
// into the test automation server, registered under Word's, Excel's and WPS's program identifiers,
// which records every call and keeps the documents as real files.
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

// What a saved file holds, one line each: a document's "body: ", "header: " and "footer: " texts (the
// first header and footer of every section); a workbook's first sheet's second row as "A2: ", "B2: ", "C2: ".
QStringList savedText(const QString& path)
{
    QStringList lines;
    if (path.endsWith(".xlsx")) {
        auto excel = ooxml::createSpreadsheet();
        auto book = excel->workbooksOpen(QDir::fromNativeSeparators(path));
        for (const int column : {1, 2, 3})
            lines << QChar('A' + column - 1) + QString("2: ") + book->worksheets(1)->cell(2, column);
        book->close(false);
        excel->quit();
        return lines;
    }
    auto word = ooxml::createWordProcessor();
    auto document = word->documentsOpen(QDir::fromNativeSeparators(path));
    lines << "body: " + document->content()->text();
    for (const word::SectionPtr& section : document->sections())
        lines << "header: " + section->headers(1)->range()->text();
    for (const word::SectionPtr& section : document->sections())
        lines << "footer: " + section->footers(1)->range()->text();
    document->close();
    word->quit();
    return lines;
}

// The first of `wanted` that `lines` lack, with them all; empty when none is lacking. Each wanted
// line starts one of the lines, in this order ("%1" stands for file); a "!text" is in none of them.
QString lacking(const QStringList& lines, const QStringList& wanted, const QString& file = {})
{
    qsizetype at = 0;
    for (QString want : wanted) {
        want.replace("%1", file);
        if (want.startsWith('!')) {
            if (lines.join('\n').contains(want.mid(1)))
                return want + " in\n" + lines.join('\n');
            continue;
        }
        while (at < lines.size() && !lines.at(at).startsWith(want))
            ++at;
        if (at++ == lines.size())
            return want + " lacking in\n" + lines.join('\n');
    }
    return {};
}

// Each job run from yanhe-cli and from the window on a copy of a corpus file. `cli`: the command, its
// options and the corpus file (the copy goes in its place); `window`: the job button, the option it
// needs, then its controls ("Text1=old" a text, "Check3" ticked); `shown`: the line the run shows (%1
// is the copy); `calls`: calls it makes, in this order; `saved`: what the saved copy then holds.
struct Job
{
    QString cli, window, shown;
    QStringList calls, saved;
};
const QList<Job> kJobs = {
    {"word-replace --old section --new 章节 --scope textboxes,header-textboxes,headers-footers "
     "docx/hdr-header-footer.docx",
     "Command1 Option1 Text1=section Text2=章节 Check13_0 Check13_1 Check13_2",
     "%1 已替换内容",
     {"created word in process", "Documents.Open(BSTR:\"%1\")", "Find.Execute(BSTR:\"section\")",
      "Find.Execute(findtext:=BSTR:\"section\", replacewith:=BSTR:\"章节\", Replace:=I2:2)",
      "Section.Headers(I2:1)", "HeaderFooter.Shapes()", "Document.Save()",
      "Application.Quit(SaveChanges:=I2:0)"},
     {"body: 章节 with header", "header: Header for 章节-1", "footer: Footer for 章节 1", "!section"}},
    {"word-replace-pairs --old Header|without --new 页眉|没有 --scope headers-footers "
     "docx/hdr-header-footer.docx",
     "Command9 Option11 Text13_0=Header|without Text13_1=页眉|没有 Check9_1",
     "%1 已替换内容",
     {"Find.Execute(findtext:=BSTR:\"without\", replacewith:=BSTR:\"没有\", Replace:=I2:2)",
      "Section.Headers(I2:1)", "Document.Save()"},
     {"header: 页眉 for section-1", "!without"}},
    {"header-footer-replace --header --header-old Header --header-new 新页眉 --footer --footer-old Footer "
     "--footer-new 新页脚 docx/hdr-header-footer.docx",
     "Command7 Option7 Check10 Text12_0=Header Text12_1=新页眉 Check11 Text12_2=Footer Text12_3=新页脚",
     "",
     {"View.SeekView =(I2:9)",
      "Find.Execute(findtext:=BSTR:\"Header\", replacewith:=BSTR:\"新页眉\", Replace:=I2:2)",
      "View.SeekView =(I2:0)", "View.SeekView =(I2:10)",
      "Find.Execute(findtext:=BSTR:\"Footer\", replacewith:=BSTR:\"新页脚\", Replace:=I2:2)",
      "View.SeekView =(I2:0)"},
     {"header: 新页眉 for section-1", "footer: 新页脚 for section 1"}},
    {"header-footer-write --header 测试页眉 --delete-header --header-font 黑体 --header-bold --page-number "
     "docx/hdr-header-footer.docx",
     "Command3 Option7 Check12_0 Text4=测试页眉 Check5_0 Text6_0=黑体 Check1_0 Check3",
     "%1 页眉已写入内容",
     {"Range.Delete()", "Font.Name =(BSTR:\"黑体\")", "Font.Bold =(BOOL:True)",
      "Selection.TypeText(BSTR:\"测试页眉\")", "Selection.TypeText(BSTR:\"第\")",
      "Fields.Add(Range:=Object, Type:=I2:33)", "Selection.TypeText(BSTR:\"页\")"},
     {"header: 测试页眉", "footer: 第", "!Header for"}},
    {"sheet-replace --old Apple --new 苹果 xlsx/inventory-table.xlsx",
     "Command2 Option2 Text1=Apple Text2=苹果",
     "%1-Sheet1已替换内容",
     {"created sheet in process", "Workbooks.Open(BSTR:\"%1\")", "Worksheets.Count()", "Sheet.Activate()",
      "Cells.Find(BSTR:\"Apple\")",
      "Cells.Replace(What:=BSTR:\"Apple\", Replacement:=BSTR:\"苹果\", LookAt:=I2:2, SearchOrder:=I2:1, "
      "MatchCase:=BOOL:False, SearchFormat:=BOOL:False, ReplaceFormat:=BOOL:False)",
      "Workbook.Close(BOOL:True)"},
     {"B2: 苹果"}},
    {"cell-write --row 2 --column 3 --text 新值 xlsx/inventory-table.xlsx",
     "Command8 Option2 Text15_0=2 Text15_1=3 Text15_2=新值",
     "%1-Sheet1已替换内容",
     {"Worksheet.Cells(I4:2, I4:3)", "Cell.[default] =(BSTR:\"新值\")", "Workbook.Close(BOOL:True)"},
     {"B2: Apple", "C2: 新值"}},
};

} // namespace

class TestComServer final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void jobsFromTheCliAndTheWindow();
    void failedAndHungFilesAndTheBatchGoesOn();
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

// Every Word and Excel job, from yanhe-cli and from the window (Form1 on the system's office registry),
// with the servers as Word and Excel: the member paths and arguments (16-bit integers, Chinese texts
// and paths as BSTRs), the line shown, no failure, and the saved file read back. Excel alone answers
// the probes (no WPS registered), as at the window's load, which unlocks the Word and Excel options.
void TestComServer::jobsFromTheCliAndTheWindow()
{
    registerServer("Excel.Application", "sheet");
    const QString probe = cli({"probe"}).out.join('\n');
    QVERIFY2(probe.contains("1、本机系统提示: 已安装offcce 2016版本 版本号：16.0"), qPrintable(probe));
    QVERIFY(probe.contains("2、未安装WPS-V8或以下版本"));
    QVERIFY(probe.contains("3、未安装WPS-V9或以上版本"));
    registerServer("Word.Application", "word");
    QTemporaryDir appDir;
    const AppFolders folders(appDir.path());
    Journal journal(Module2::StartUp(folders, Clock::system()).journalDayFolder, Clock::system());
    Form1 form(folders, journal, createSystemRunningOffice(), OfficeRegistry::system());
    form.Form_Load();
    auto* list = form.findChild<QListWidget*>("List1");

    for (qsizetype i = 0; i < kJobs.size(); ++i) {
        const Job& job = kJobs.at(i);
        for (const QString& from : QStringList{"命令行", "窗口"}) {
            const QString corpusFile = job.cli.section(' ', -1);
            const QString file =
                copy(corpusFile, from + QString::number(i) + '-' + corpusFile.section('/', -1));
            QFile::remove(m_record);
            QString shown;
            if (from == "窗口") {
                list->clear();
                (new QListWidgetItem(file, list))->setCheckState(Qt::Checked);
                const QStringList window = job.window.split(' ');
                for (const QString& control : window.mid(2)) {
                    if (auto* edit = form.findChild<QLineEdit*>(control.section('=', 0, 0)))
                        edit->setText(control.section('=', 1));
                    else
                        form.findChild<QAbstractButton*>(control)->setChecked(true);
                }
                form.findChild<QAbstractButton*>(window.at(1))->click();
                form.findChild<QAbstractButton*>(window.at(0))->click();
                shown = form.findChild<QObject*>("Text3")->property("plainText").toString();
            } else {
                const CliRun run = cli(job.cli.section(' ', 0, -2).split(' ') + QStringList{file});
                shown = run.out.join('\n') + run.err + (run.code ? "\n失败: exit code" : "");
            }
            const QString context = from + ' ' + job.cli + '\n' + shown;
            QVERIFY2(shown.contains(QString(job.shown).replace("%1", file)) && !shown.contains("失败"),
                     qPrintable(context));
            QCOMPARE(lacking(calls(), job.calls, file), QString());
            QCOMPARE(lacking(savedText(file), job.saved), QString());
        }
    }
}

// The WPS job, whose first identifier is not registered (error 429), creates its second one. A file
// whose Open raises DISP_E_EXCEPTION fails with its description and is left as it was; a server that
// stops answering is ended by the bounded call (its process only) and its file fails; the batch goes
// on, after the hang in a fresh server.
void TestComServer::failedAndHungFilesAndTheBatchGoesOn()
{
    registerServer("KET.Application", "word", {"--fail", "broken", "--hang", "hang"});
    const QString broken = copy("docx/test.docx", "broken.docx");
    const QByteArray before = bytes(broken);
    const QString first = copy("docx/test.docx", "a.docx");
    const QString hung = copy("docx/test.docx", "hang.docx");
    const QString last = copy("docx/test.docx", "c.docx");
    QProcessEnvironment quick;
    quick.insert("YANHE_OFFICE_TIMEOUT_MS", "4000");
    const CliRun run = cli(
        {"word-replace", "--engine", "wps", "--old", "python", "--new", "蟒蛇", broken, first, hung, last},
        quick);
    QCOMPARE(
        run.out,
        (QStringList{broken + " 打开失败，未修改：测试服务器：文档已损坏，无法打开", first + " 已替换内容",
                     hung + " 打开失败，未修改：办公软件没有应答，已结束它", last + " 已替换内容"}));
    QCOMPARE(bytes(broken), before);

    const QStringList servers = calls().filter(QRegularExpression("^created word in process \\d+$"));
    QCOMPARE(servers.size(), 2);
    QVERIFY(!running(servers.at(0).section(' ', -1).toLongLong()));
}

// The Word guard: the running instance (the server registered as active, its
// executable named WINWORD.EXE) and its open document are found; ending "winword.EXE"
// ends that process and leaves another copy of the same server, under another name, running.
void TestComServer::guardsEndTheServerOnly()
{
    const QString winword = m_dir->filePath("WINWORD.EXE");
    const QString other = m_dir->filePath("other-server.exe");
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

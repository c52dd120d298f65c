#include "support/ChildProcess.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"
#include "support/ZipFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

// Where the LibreOffice engine met real files and real machines and went
// wrong: documents in a folder named in Chinese on a machine without a UTF-8
// locale, table cells that the search did not reach, failures that did not
// say their own reason.
namespace {

struct Run
{
    int code = -1;
    QStringList out;
    QString err;
};

// yanhe-cli in exactly the given environment, nothing inherited.
Run cli(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    endsWithTheTest(process);
    process.setProcessEnvironment(environment);
    process.start(YANHE_CLI, arguments);
    process.waitForFinished(300000);
    Run run;
    run.code = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return run;
}

// What a job needs and no more: a cron job's or a minimal machine's environment.
QProcessEnvironment bare(const QString& appFolder)
{
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment environment;
    // The sanitizer build's options (its leak suppressions) are no part of the locale.
    for (const char* kept :
         {"PATH", "HOME", "XDG_CACHE_HOME", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (system.contains(kept))
            environment.insert(kept, system.value(kept));
    }
    environment.insert("YANHE_APP_FOLDER", appFolder);
    environment.insert("YANHE_ENGINE", "libreoffice");
    return environment;
}

QByteArray contentControlsDocument()
{
    const QByteArray cell = "<w:tcPr><w:tcW w:w=\"3000\" w:type=\"dxa\"/></w:tcPr>";
    const QByteArray listParagraph =
        "<w:p><w:pPr><w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"1\"/></w:numPr>"
        "</w:pPr><w:r><w:t>item %1 project</w:t></w:r></w:p>";
    QByteArray list;
    for (int i = 1; i <= 4; ++i)
        list += QByteArray(listParagraph).replace("%1", QByteArray::number(i));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
           "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
           "<w:p><w:r><w:t>Plain project</w:t></w:r></w:p>"
           "<w:tbl><w:tblPr><w:tblW w:w=\"9000\" w:type=\"dxa\"/></w:tblPr>"
           "<w:tblGrid><w:gridCol w:w=\"3000\"/><w:gridCol w:w=\"3000\"/><w:gridCol "
           "w:w=\"3000\"/></w:tblGrid>"
           // A row in a content control, a cell in one, a content control in a cell.
           "<w:sdt><w:sdtPr><w:alias w:val=\"row\"/></w:sdtPr><w:sdtContent><w:tr>"
           "<w:tc>" +
           cell +
           "<w:p><w:r><w:t>row project</w:t></w:r></w:p></w:tc>"
           "<w:sdt><w:sdtPr><w:alias w:val=\"cell\"/></w:sdtPr><w:sdtContent><w:tc>" +
           cell +
           "<w:p><w:r><w:t>cell project</w:t></w:r></w:p></w:tc></w:sdtContent></w:sdt>"
           "<w:tc>" +
           cell +
           "<w:sdt><w:sdtPr><w:alias w:val=\"inside\"/></w:sdtPr><w:sdtContent>"
           "<w:p><w:r><w:t>inside project</w:t></w:r></w:p></w:sdtContent></w:sdt></w:tc>"
           "</w:tr></w:sdtContent></w:sdt>"
           // A cell holding a list.
           "<w:tr><w:tc>" +
           cell + list + "</w:tc><w:tc>" + cell + "<w:p/></w:tc><w:tc>" + cell +
           "<w:p><w:r><w:t>last project</w:t></w:r></w:p></w:tc></w:tr>"
           "</w:tbl><w:p/>"
           "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr></w:body></w:document>";
}

void writeContentControls(const QString& path)
{
    const QByteArray types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
        "<Override PartName=\"/word/numbering.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.numbering+xml\"/>"
        "</Types>";
    const QByteArray rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
        "Target=\"word/document.xml\"/></Relationships>";
    const QByteArray documentRels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering\" "
        "Target=\"numbering.xml\"/></Relationships>";
    const QByteArray numbering =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<w:numbering xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
        "<w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"1\"/>"
        "<w:numFmt w:val=\"decimal\"/><w:lvlText w:val=\"%1.\"/></w:lvl></w:abstractNum>"
        "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/></w:num></w:numbering>";
    ZipFiles::write(path, {{"[Content_Types].xml", types},
                           {"_rels/.rels", rels},
                           {"word/_rels/document.xml.rels", documentRels},
                           {"word/document.xml", contentControlsDocument()},
                           {"word/numbering.xml", numbering}});
}

} // namespace

class TestOfficeEdges : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void chineseFolderWithoutUtf8Locale_data();
    void chineseFolderWithoutUtf8Locale();
    void tableCellsInContentControlsAndLists();
    void eachFailureSaysItsOwnReason();

private:
    QTemporaryDir m_dir;
};

void TestOfficeEdges::chineseFolderWithoutUtf8Locale_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    QTest::newRow("no locale at all") << ""
                                      << "";
    QTest::newRow("LANG=C") << "LANG"
                            << "C";
    QTest::newRow("LC_ALL=POSIX") << "LC_ALL"
                                  << "POSIX";
    QTest::newRow("LANG naming a locale not installed") << "LANG"
                                                        << "zh_CN.UTF-8";
}

void TestOfficeEdges::chineseFolderWithoutUtf8Locale()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    if (value == "zh_CN.UTF-8" && std::setlocale(LC_CTYPE, "zh_CN.UTF-8")) {
        std::setlocale(LC_CTYPE, "");
        QSKIP("zh_CN.UTF-8 is installed here");
    }
    const QString folder = m_dir.filePath(QStringLiteral("报告 %1/二〇二六年").arg(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    const QString doc = folder + "/季度总结.doc";
    const QString docx = folder + "/季度总结.docx";
    const QString xls = folder + "/销售表.xls";
    UnoDocuments::writeDocument(doc, {{"本季度 OLD 完成"}, {}, {}, {}, {}});
    UnoDocuments::writeDocument(docx, {{"本季度 OLD 完成"}, {}, {}, {}, {}});
    UnoDocuments::writeWorkbook(xls, {{"一月", {{1, 1, "OLD 收入"}}}});

    QProcessEnvironment environment = bare(m_dir.filePath("app-locale"));
    if (!variable.isEmpty())
        environment.insert(variable, value);
    const Run words = cli({"word-replace", "--old", "OLD", "--new", "新", doc, docx}, environment);
    QVERIFY2(words.code == 0, qPrintable(words.out.join('\n') + words.err));
    QCOMPARE(words.out, (QStringList{doc + " 已替换内容", docx + " 已替换内容"}));
    const Run sheets = cli({"sheet-replace", "--old", "OLD", "--new", "新", xls}, environment);
    QVERIFY2(sheets.code == 0, qPrintable(sheets.out.join('\n') + sheets.err));
    QCOMPARE(sheets.out, QStringList{xls + "-一月已替换内容"});

    QCOMPARE(UnoDocuments::stories(doc).value("body"), QStringList{"本季度 新 完成"});
    QCOMPARE(UnoDocuments::stories(docx).value("body"), QStringList{"本季度 新 完成"});
    QVERIFY(UnoDocuments::stories(xls).value("cells").join(' ').contains("新 收入"));
}

void TestOfficeEdges::tableCellsInContentControlsAndLists()
{
    const QString path = m_dir.filePath("controls.docx");
    writeContentControls(path);
    const int before = UnoDocuments::rendered(path).count("project");
    QCOMPARE(before, 9);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("YANHE_APP_FOLDER", m_dir.filePath("app-controls"));
    environment.insert("YANHE_ENGINE", "libreoffice");
    const Run run = cli({"word-replace", "--old", "project", "--new", "ZQXNEW", path}, environment);
    QCOMPARE(run.out, QStringList{path + " 已替换内容"});
    const QString shown = UnoDocuments::rendered(path);
    QVERIFY2(!shown.contains("project"), qPrintable(shown));
    QCOMPARE(shown.count("ZQXNEW"), 9);
}

// Each file fails for its own reason, whatever came before it in the run.
void TestOfficeEdges::eachFailureSaysItsOwnReason()
{
    const QString folder = m_dir.filePath("reasons");
    QVERIFY(QDir().mkpath(folder));
    const UnoDocuments::WordContent content{{"正文 OLD"}, {}, {}, {}, {}};
    const QString first = folder + "/first.doc";
    const QString secret = folder + "/secret.doc";
    const QString longName = folder + "/" + QString(250, 'n') + ".doc";
    const QString last = folder + "/last.doc";
    for (const QString& path : {first, last})
        UnoDocuments::writeDocument(path, content);
    // LibreOffice cannot store under such a name either: a copy takes it.
    QVERIFY(QFile::copy(first, longName));
    UnoDocuments::writeDocument(secret, content, "密码");
    const QByteArray secretBytes = bytes(secret);
    const QByteArray longBytes = bytes(longName);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("YANHE_APP_FOLDER", m_dir.filePath("app-reasons"));
    environment.insert("YANHE_ENGINE", "libreoffice");
    const Run run =
        cli({"word-replace", "--old", "OLD", "--new", "NEW", first, secret, longName, last}, environment);
    QCOMPARE(run.out,
             (QStringList{first + " 已替换内容", secret + " 打开失败，未修改：文件有密码保护",
                          longName + " 打开失败，未修改：文件名太长，无法加锁", last + " 已替换内容"}));
    QCOMPARE(bytes(secret), secretBytes);
    QCOMPARE(bytes(longName), longBytes);
}

QTEST_GUILESS_MAIN(TestOfficeEdges)
#include "tst_officeedges.moc"

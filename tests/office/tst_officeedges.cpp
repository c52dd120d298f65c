#include "support/CliRun.h"
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

// yanhe-cli in exactly the given environment, nothing inherited.
CliRun cli(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    endsWithTheTest(process);
    process.setProcessEnvironment(environment);
    process.start(YANHE_CLI, arguments);
    process.waitForFinished(300000);
    return {process.exitCode(),
            QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
            QString::fromUtf8(process.readAllStandardError()).trimmed()};
}

// What a job needs and no more (a cron job's or a minimal machine's environment), or,
// when not bare, the test's own; on the LibreOffice engine.
QProcessEnvironment environment(const QString& appFolder, bool bare = false)
{
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment result = bare ? QProcessEnvironment() : system;
    // The sanitizer build's options (its leak suppressions) are no part of the locale.
    for (const char* kept :
         {"PATH", "HOME", "XDG_CACHE_HOME", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (system.contains(kept))
            result.insert(kept, system.value(kept));
    }
    result.insert("YANHE_APP_FOLDER", appFolder);
    result.insert("YANHE_ENGINE", "libreoffice");
    return result;
}

// Nine "project"s: a paragraph, a table row in a content control, a cell in one, a
// content control in a cell, a cell holding a list of four, and a last cell.
void writeContentControls(const QString& path)
{
    const QByteArray cell = R"(<w:tc><w:tcPr><w:tcW w:w="3000" w:type="dxa"/></w:tcPr>)";
    const auto paragraph = [](const QByteArray& text) {
        return "<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>";
    };
    QByteArray list;
    for (int i = 1; i <= 4; ++i)
        list +=
            R"(<w:p><w:pPr><w:numPr><w:ilvl w:val="0"/><w:numId w:val="1"/></w:numPr></w:pPr><w:r><w:t>item )" +
            QByteArray::number(i) + " project</w:t></w:r></w:p>";
    const QByteArray document =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>)" +
        paragraph("Plain project") +
        R"(<w:tbl><w:tblPr><w:tblW w:w="9000" w:type="dxa"/></w:tblPr><w:tblGrid><w:gridCol w:w="3000"/><w:gridCol w:w="3000"/><w:gridCol w:w="3000"/></w:tblGrid>)"
        R"(<w:sdt><w:sdtPr><w:alias w:val="row"/></w:sdtPr><w:sdtContent><w:tr>)" +
        cell + paragraph("row project") +
        R"(</w:tc><w:sdt><w:sdtPr><w:alias w:val="cell"/></w:sdtPr><w:sdtContent>)" + cell +
        paragraph("cell project") + "</w:tc></w:sdtContent></w:sdt>" + cell +
        R"(<w:sdt><w:sdtPr><w:alias w:val="inside"/></w:sdtPr><w:sdtContent>)" + paragraph("inside project") +
        "</w:sdtContent></w:sdt></w:tc></w:tr></w:sdtContent></w:sdt><w:tr>" + cell + list + "</w:tc>" +
        cell + "<w:p/></w:tc>" + cell + paragraph("last project") +
        R"(</w:tc></w:tr></w:tbl><w:p/><w:sectPr><w:pgSz w:w="11906" w:h="16838"/></w:sectPr></w:body></w:document>)";
    ZipFiles::write(
        path,
        {{"[Content_Types].xml",
          R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/><Override PartName="/word/numbering.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.numbering+xml"/></Types>)"},
         {"_rels/.rels",
          R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>)"},
         {"word/_rels/document.xml.rels",
          R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering" Target="numbering.xml"/></Relationships>)"},
         {"word/document.xml", document},
         {"word/numbering.xml",
          R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><w:numbering xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:abstractNum w:abstractNumId="0"><w:lvl w:ilvl="0"><w:start w:val="1"/><w:numFmt w:val="decimal"/><w:lvlText w:val="%1."/></w:lvl></w:abstractNum><w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num></w:numbering>)"}});
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
    for (const auto& [tag, variable, value] : {std::tuple{"no locale at all", "", ""},
                                               {"LANG=C", "LANG", "C"},
                                               {"LC_ALL=POSIX", "LC_ALL", "POSIX"},
                                               {"LANG naming a locale not installed", "LANG", "zh_CN.UTF-8"}})
        QTest::newRow(tag) << QString(variable) << QString(value);
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

    QProcessEnvironment bare = environment(m_dir.filePath("app-locale"), true);
    if (!variable.isEmpty())
        bare.insert(variable, value);
    const CliRun words = cli({"word-replace", "--old", "OLD", "--new", "新", doc, docx}, bare);
    QVERIFY2(words.code == 0, qPrintable(words.out.join('\n') + words.err));
    QCOMPARE(words.out, (QStringList{doc + " 已替换内容", docx + " 已替换内容"}));
    const CliRun sheets = cli({"sheet-replace", "--old", "OLD", "--new", "新", xls}, bare);
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
    QCOMPARE(UnoDocuments::rendered(path).count("project"), 9);
    const CliRun run = cli({"word-replace", "--old", "project", "--new", "ZQXNEW", path},
                           environment(m_dir.filePath("app-controls")));
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
    const CliRun run = cli({"word-replace", "--old", "OLD", "--new", "NEW", first, secret, longName, last},
                           environment(m_dir.filePath("app-reasons")));
    QCOMPARE(run.out,
             (QStringList{first + " 已替换内容", secret + " 打开失败，未修改：文件有密码保护",
                          longName + " 打开失败，未修改：文件名太长，无法加锁", last + " 已替换内容"}));
    QCOMPARE(bytes(secret), secretBytes);
    QCOMPARE(bytes(longName), longBytes);
}

QTEST_GUILESS_MAIN(TestOfficeEdges)
#include "tst_officeedges.moc"

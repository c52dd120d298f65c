#include "office/OfficeRegistry.h"
#include "support/CliRun.h"
#include "support/UnoDocuments.h"
#include "support/WordReadBack.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// yanhe-cli word-replace and sheet-replace on documents and workbooks it has
// never seen, through the real LibreOffice; the files read back afterwards.
namespace {

QByteArray bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const UnoDocuments::WordContent kDocument{
    {"正文 OLD 一", "第二段"},
    {"文本框 OLD"},
    {"页眉一 OLD", "页眉二 OLD", "页眉三 OLD"},
    {"页脚一 OLD", "页脚二 OLD", "页脚三 OLD"},
    "页眉框 OLD",
};

} // namespace

class TestReplaceEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void documentsWithAndWithoutScopes();
    void workbooks();
    void badFilesAmongGoodOnes();

private:
    CliRun cli(const QStringList& arguments) { return CliRun::of(arguments, m_app.path()); }
    QStringList journal()
    {
        QStringList lines;
        QDirIterator it(m_app.filePath("Journal"), {"*.txt"}, QDir::Files, QDirIterator::Subdirectories);
        QStringList files;
        while (it.hasNext())
            files << it.next();
        files.sort();
        for (const QString& file : files) {
            for (const QString& line : QString::fromUtf8(bytes(file)).split("\r\n", Qt::SkipEmptyParts))
                lines << line.mid(line.indexOf(QRegularExpression("\\d:\\d\\d ")) +
                                  5); // after "时间：date time "
        }
        return lines;
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_app;
};

void TestReplaceEndToEnd::documentsWithAndWithoutScopes()
{
    const QString docx = m_dir.filePath("甲.docx");
    const QString doc = m_dir.filePath("乙.doc");
    UnoDocuments::writeDocument(docx, kDocument);
    UnoDocuments::writeDocument(doc, kDocument);
    const QByteArray docxMagic = bytes(docx).left(4);
    const QByteArray docMagic = bytes(doc).left(4);

    // The body only.
    CliRun run = cli({"word-replace", "--old", "OLD", "--new", "NEW", docx, doc});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, (QStringList{docx + " 已替换内容", doc + " 已替换内容"}));
    QCOMPARE(run.err, QString("已完成 2 个文件！ 全部操作已完成"));
    for (const QString& path : {docx, doc}) {
        const WordState state = readBack(path);
        QVERIFY2(state.body.startsWith("正文 NEW 一"), qPrintable(state.body));
        QCOMPARE(state.boxes, QStringList{"文本框 OLD"});
        QCOMPARE(state.headers, (QStringList{"页眉一 OLD", "页眉二 OLD", "页眉三 OLD"}));
        QCOMPARE(state.headerBox, QString("页眉框 OLD"));
    }
    QCOMPARE(bytes(docx).left(4), docxMagic);
    QCOMPARE(bytes(doc).left(4), docMagic);

    // Every scope: text boxes, headers and footers of every section, the header's text box.
    run = cli({"word-replace", "--old", "old", "--new", "新", "--scope",
               "textboxes,header-textboxes,headers-footers", docx});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, QStringList{docx + " 没找到替换的内容"}); // the body has no "old" any more
    const WordState state = readBack(docx);
    QCOMPARE(state.boxes, QStringList{"文本框 新"});
    QCOMPARE(state.headers, (QStringList{"页眉一 新", "页眉二 新", "页眉三 新"}));
    QCOMPARE(state.footers, (QStringList{"页脚一 新", "页脚二 新", "页脚三 新"}));
    QCOMPARE(state.headerBox, QString("页眉框 新"));
    QCOMPARE(journal().mid(2), (QStringList{docx + " 没找到替换的内容", "已替换文本框内容", "已替换页眉内容",
                                            "已替换页页脚内容", "已替换页眉内容", "已替换页页脚内容",
                                            "已替换页眉内容", "已替换页页脚内容"}));

    // The WPS engine is not on this machine: one line, exit code 1, nothing touched.
    const QByteArray before = bytes(doc);
    run = cli({"word-replace", "--engine", "wps", "--old", "NEW", "--new", "x", doc});
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out.size(), 1);
    QVERIFY(run.out.first().startsWith("无法启动 WPS"));
    QCOMPARE(bytes(doc), before);
}

void TestReplaceEndToEnd::workbooks()
{
    const QString xlsx = m_dir.filePath("表.xlsx");
    const QString xls = m_dir.filePath("表.xls");
    for (const QString& path : {xlsx, xls})
        UnoDocuments::writeWorkbook(
            path, {{"一月", {{1, 1, "无"}}}, {"二月", {{2, 3, "有 old 字"}}}, {"三月", {}}});
    const CliRun run = cli({"sheet-replace", "--old", "OLD", "--new", "NEW", xlsx, xls});
    QCOMPARE(run.code, 0);
    QStringList expected;
    for (const QString& path : {xlsx, xls})
        expected << path + "-一月没找到替换的内容" << path + "-二月已替换内容"
                 << path + "-三月没找到替换的内容";
    QCOMPARE(run.out, expected);
    QCOMPARE(run.err, QString("已完成 2 个文件！ 全部操作已完成"));
    sheet::ApplicationPtr excel = OfficeRegistry::system().createSpreadsheet("Excel.Application");
    for (const QString& path : {xlsx, xls}) {
        sheet::WorkbookPtr book = excel->workbooksOpen(path);
        QCOMPARE(book->worksheets(2)->cell(2, 3), QString("有 NEW 字"));
        QCOMPARE(book->worksheets(1)->cell(1, 1), QString("无"));
        book->close(false);
    }
    excel->quit();
}

void TestReplaceEndToEnd::badFilesAmongGoodOnes()
{
    const QString good1 = m_dir.filePath("good1.docx");
    const QString locked = m_dir.filePath("locked.docx");
    const QString secret = m_dir.filePath("secret.doc");
    const QString good2 = m_dir.filePath("good2.doc");
    for (const QString& path : {good1, locked, good2})
        UnoDocuments::writeDocument(path, {{"内容 OLD"}, {}, {}, {}, {}});
    UnoDocuments::writeDocument(secret, {{"机密 OLD"}, {}, {}, {}, {}}, "pw");
    {
        // Another user has it open in LibreOffice.
        QFile lock(m_dir.filePath(".~lock.locked.docx#"));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(",someone else,otherhost,05.12.2026 09:00,file:///home/someone/.config/libreoffice/4;");
    }
    const QByteArray lockedBefore = bytes(locked);
    const QByteArray secretBefore = bytes(secret);

    const CliRun run = cli({"word-replace", "--old", "OLD", "--new", "NEW", good1, locked, secret, good2});
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out.size(), 4);
    QCOMPARE(run.out.at(0), good1 + " 已替换内容");
    QVERIFY2(run.out.at(1).startsWith(locked + " 打开失败，未修改："), qPrintable(run.out.at(1)));
    QVERIFY2(run.out.at(2).startsWith(secret + " 打开失败，未修改："), qPrintable(run.out.at(2)));
    QCOMPARE(run.out.at(3), good2 + " 已替换内容");
    QCOMPARE(run.err, QString("已完成 4 个文件！ 全部操作已完成"));
    QCOMPARE(bytes(locked), lockedBefore);
    QCOMPARE(bytes(secret), secretBefore);
    QVERIFY(readBack(good2).body.contains("内容 NEW"));
}

QTEST_GUILESS_MAIN(TestReplaceEndToEnd)
#include "tst_replace_end_to_end.moc"

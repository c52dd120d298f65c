#include "support/CliRun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Result = CliRun;

Result cli(const QStringList& arguments)
{
    return CliRun::of(arguments);
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void collectPrintsRowsThenCount();
    void usageErrors();
};

void TestCli::collectPrintsRowsThenCount()
{
    QTemporaryDir dir;
    for (const char* path :
         {"B.DOC", "a.docx", "z/x.doc", "y/.hidden.doc", ".h/in.doc", "m/n/o.docx", "c.txt"}) {
        QDir().mkpath(QFileInfo(dir.filePath(path)).path());
        QFile file(dir.filePath(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString root = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    const auto rows = [&](const QStringList& relatives) {
        QStringList full;
        for (const QString& relative : relatives)
            full << root + QDir::toNativeSeparators(relative);
        return full;
    };

    Result r = cli({"collect", "--recursive", "--patterns", "*.doc,*.docx", dir.path()});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, rows({"B.DOC", "z/x.doc", "a.docx", "m/n/o.docx"}) << "收集到的文件 4条记录。");

    r = cli({"collect", "--attributes", "normal,hidden", "--recursive", "--patterns", "*.doc", dir.path()});
    QCOMPARE(r.out, rows({"B.DOC", ".h/in.doc", "y/.hidden.doc", "z/x.doc"}) << "收集到的文件 4条记录。");

    r = cli({"collect", "--patterns", "*.docx,", dir.path()});
    QCOMPARE(r.out, rows({"a.docx", "a.docx", "B.DOC", "c.txt"}) << "收集到的文件 4条记录。");

    r = cli({"collect", "--attributes", "", "--recursive", "--patterns", "*.doc", dir.path()});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringList{"收集到的文件 0条记录。"});
}

void TestCli::usageErrors()
{
    Result r = cli({"collect", "--help"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.join('\n').contains("--patterns"));
    r = cli({"word-replace", "--help"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.join('\n').contains("headers-footers"));

    QTemporaryDir dir;
    for (const QStringList& bad :
         {QStringList{"collect", "--patterns", "*.doc", dir.filePath("missing")},
          QStringList{"collect", "--bogus", "--patterns", "*.doc", dir.path()},
          QStringList{"collect", dir.path()},
          QStringList{"collect", "--attributes", "archive", "--patterns", "*", dir.path()},
          QStringList{"frobnicate"}, QStringList{},
          QStringList{"word-replace-pairs", "--old", "a|b", dir.filePath("a.doc")},
          QStringList{"word-replace-pairs", "--old", "a", "--new", "b", "--scope", "bodies",
                      dir.filePath("a.doc")},
          QStringList{"header-footer-write", "--header", "x", "--header-align", "左边",
                      dir.filePath("a.doc")},
          QStringList{"header-footer-write", "--page-number", "--page-number-align", "",
                      dir.filePath("a.doc")},
          QStringList{"header-footer-replace", "--header-old"}}) {
        r = cli(bad);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.startsWith("yanhe-cli: "), qPrintable(r.err));
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

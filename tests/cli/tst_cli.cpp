#include "support/CliRun.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>

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
         {"B.DOC", "a.docx", "z/x.doc", "y/.hidden.doc", ".h/in.doc", "m/n/o.docx", "c.txt"})
        writeFile(dir.filePath(path), {});
    const QString root = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    const auto rows = [&](const QStringList& relatives) {
        QStringList full;
        for (const QString& relative : relatives)
            full << root + QDir::toNativeSeparators(relative);
        return full;
    };

    CliRun r = CliRun::of({"collect", "--recursive", "--patterns", "*.doc,*.docx", dir.path()});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, rows({"B.DOC", "z/x.doc", "a.docx", "m/n/o.docx"}) << "收集到的文件 4条记录。");

    r = CliRun::of(
        {"collect", "--attributes", "normal,hidden", "--recursive", "--patterns", "*.doc", dir.path()});
    QCOMPARE(r.out, rows({"B.DOC", ".h/in.doc", "y/.hidden.doc", "z/x.doc"}) << "收集到的文件 4条记录。");

    r = CliRun::of({"collect", "--patterns", "*.docx,", dir.path()});
    QCOMPARE(r.out, rows({"a.docx", "a.docx", "B.DOC", "c.txt"}) << "收集到的文件 4条记录。");

    r = CliRun::of({"collect", "--attributes", "", "--recursive", "--patterns", "*.doc", dir.path()});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringList{"收集到的文件 0条记录。"});

#ifndef Q_OS_WIN
    // A name holding a newline or a tab (no Windows name can) is one row, one line, the
    // characters shown as the jobs show them.
    QTemporaryDir odd;
    for (const char* name : {"two\nlines.doc", "tab\there.doc"})
        writeFile(odd.filePath(name), {});
    const QString oddRoot = QDir::toNativeSeparators(odd.path()) + QDir::separator();
    r = CliRun::of({"collect", "--patterns", "*.doc", odd.path()});
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
        r = CliRun::of(bad);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.startsWith("yanhe-cli: "), qPrintable(r.err));
    }

    // A folder whose name begins with "-" is read as options; the error says that -- ends them,
    // and after -- the name is the folder.
    writeFile(dir.filePath("-lead/x.doc"), {});
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    r = CliRun::of({"collect", "--patterns", "*.doc", "-lead"});
    const CliRun ended = CliRun::of({"collect", "--patterns", "*.doc", "--", "-lead"});
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.startsWith("yanhe-cli: ") && r.err.contains("-- ends the options") &&
                 r.err.contains("-- -lead"),
             qPrintable(r.err));
    QCOMPARE(ended.code, 0);
    QCOMPARE(ended.out,
             (QStringList{QDir::toNativeSeparators(dir.filePath("-lead/x.doc")), "收集到的文件 1条记录。"}));
    // A value that begins with "-" belongs to its option: the name suggested is the folder's.
    QVERIFY(QDir::setCurrent(dir.path()));
    r = CliRun::of({"collect", "--patterns", "-x.doc", "-lead"});
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("-- -lead") && !r.err.contains("-x.doc"), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

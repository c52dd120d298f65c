#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// A replacement in a document that records changes (Word's track changes), run by yanhe-cli as a user would:
// the old text is deleted as one change and the new one inserted as one, accepting every change gives the
// replaced text, rejecting every change gives the original, and text that a change had already deleted is
// left alone. Each engine that edits .doc or .docx files is one row.
class TestTrackedChanges : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void replaceIsOneDeletionAndOneInsertion_data();
    void replaceIsOneDeletionAndOneInsertion();

private:
    QTemporaryDir m_dir;
};

void TestTrackedChanges::replaceIsOneDeletionAndOneInsertion_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("engine");  // YANHE_ENGINE
    QTest::addColumn<QString>("scripts"); // YANHE_ENGINE_SCRIPTS: "0" makes the calls one by one
    for (const char* format : {"doc", "docx"}) {
        QTest::addRow("%s, LibreOffice, inside soffice", format) << format << "libreoffice" << QString();
        QTest::addRow("%s, LibreOffice, call by call", format) << format << "libreoffice" << QString("0");
    }
    QTest::newRow("docx, lossless") << QString("docx") << "lossless" << QString();
}

void TestTrackedChanges::replaceIsOneDeletionAndOneInsertion()
{
    QFETCH(QString, format);
    QFETCH(QString, engine);
    QFETCH(QString, scripts);
    const QString folder =
        m_dir.filePath(QString(QTest::currentDataTag()).replace(QRegularExpression("\\W+"), "-"));
    // Written once per format (its one change: "old project notes " deleted), copied for each row.
    const QString written = m_dir.filePath("tracked." + format);
    if (!QFile::exists(written))
        UnoDocuments::writeTrackedDocument(written);
    const QString path = folder + "/tracked." + format;
    writeFile(path, bytes(written));

    QProcessEnvironment environment;
    environment.insert("YANHE_ENGINE", engine);
    if (!scripts.isEmpty())
        environment.insert("YANHE_ENGINE_SCRIPTS", scripts);
    const QString app = folder + "/app";
    const CliRun run = CliRun::of(
        {"word-replace", "--scope", "headers-footers", "--old", "project", "--new", "ZQXNEW", path}, app,
        environment);
    QVERIFY2(run.code == 0, qPrintable(run.out.join('\n') + run.err));
    QCOMPARE(run.out, QStringList{path + " 已替换内容"});
    // One deletion of the whole old text and one insertion of the whole new text per place: body, table cell
    // and header; the deletion that was there is kept, and nothing landed inside it.
    const UnoDocuments::Settled accepted = UnoDocuments::settleChanges(path, true);
    QVERIFY(accepted.loaded);
    const QStringList changes{"Delete:Project", "Delete:Project", "Delete:old project notes ",
                              "Delete:project", "Delete:project", "Insert:ZQXNEW",
                              "Insert:ZQXNEW",  "Insert:ZQXNEW",  "Insert:ZQXNEW"};
    QVERIFY2(accepted.changes == changes, qPrintable(accepted.changes.join(" | ")));
    QVERIFY2(accepted.paragraphs.mid(0, 3) ==
                 (QStringList{"The Lifecycle of a ZQXNEW", "Every ZQXNEW ends; stay.", "ZQXNEW plan"}),
             qPrintable(accepted.paragraphs.join(" | ")));
    QCOMPARE(accepted.header, QString("ZQXNEW header"));
    // The bookmark stays; the new text goes in after the old text's end, outside it.
    QVERIFY2(accepted.bookmarks.filter(QRegularExpression("^title=")).size() == 1,
             qPrintable(accepted.bookmarks.join(", ")));
    QVERIFY2(accepted.hyperlinks.contains("ZQXNEW -> http://example.com/p"),
             qPrintable(accepted.hyperlinks.join(", ")));
    for (const char* text : {"The Lifecycle of a ZQXNEW", "Every ZQXNEW ends; stay.", "ZQXNEW header"})
        QVERIFY2(accepted.rendered.contains(text), qPrintable(accepted.rendered));
    QVERIFY2(!accepted.rendered.contains("roject", Qt::CaseInsensitive), qPrintable(accepted.rendered));

    const UnoDocuments::Settled rejected = UnoDocuments::settleChanges(path, false);
    QVERIFY(rejected.loaded);
    QCOMPARE(rejected.paragraphs.mid(0, 3),
             (QStringList{"The Lifecycle of a Project", "Every project ends; old project notes stay.",
                          "project plan"}));
    QCOMPARE(rejected.header, QString("Project header"));
    QVERIFY2(rejected.bookmarks.contains("title=Project"), qPrintable(rejected.bookmarks.join(", ")));
    QVERIFY2(rejected.hyperlinks.contains("Project -> http://example.com/p"),
             qPrintable(rejected.hyperlinks.join(", ")));
    for (const char* text : {"The Lifecycle of a Project", "Every project ends; old project notes stay."})
        QVERIFY2(rejected.rendered.contains(text), qPrintable(rejected.rendered));
    QVERIFY2(!rejected.rendered.contains("ZQXNEW"), qPrintable(rejected.rendered));
    // A second run finds the old text only where it was deleted: nothing to do, nothing written.
    const QByteArray saved = bytes(path);
    const CliRun again =
        CliRun::of({"word-replace", "--old", "project", "--new", "ZQXNEW", path}, app, environment);
    QCOMPARE(again.out, QStringList{path + " 没找到替换的内容"});
    QCOMPARE(bytes(path), saved);
}

QTEST_GUILESS_MAIN(TestTrackedChanges)
#include "tst_trackedchanges.moc"

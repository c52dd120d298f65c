#include "app/FailureText.h"
#include "support/ChildProcess.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Every job that exists, run by yanhe-cli over a copy of real documents and
// workbooks that other programs wrote, on each engine that edits the format:
// no crash or hang, every failure said in a known phrase, every file the job
// did not change left as it was (bytes and time), every changed file opening
// again and holding what it held (tables, pictures, shapes, sections,
// hyperlinks, bookmarks, sheets, formulas, merged ranges), and the text
// replaced exactly where the job's scope reaches.
namespace {

const QDateTime kOld(QDate(2020, 1, 2), QTime(3, 4, 5));
const QString kAbsent = QStringLiteral("Qzxwvjk");
const QStringList kEveryScope{"body", "textboxes", "header-textboxes", "headers-footers"};

// The phrases a failure line may end in (after "失败，未修改：").
bool knownFailure(const QString& why)
{
    static const QStringList exact{
        FailureText::encrypted(),       FailureText::damaged(),     FailureText::missing(),
        FailureText::notWordDocument(), FailureText::notWorkbook(), FailureText::readOnly(),
        FailureText::notResponding(),   FailureText::stopped(),     FailureText::nameTooLong()};
    // The lossless engine, when it is named, declines what it does not edit itself in its own words.
    return exact.contains(why) || why.startsWith(QStringLiteral("无法直接编辑：")) ||
           why.startsWith(FailureText::cannotSaveFormat(QString()).chopped(2)) ||
           why.startsWith(FailureText::lockedBy(QStringLiteral("@")).section('@', 0, 0));
}

int occurrences(const QStringList& texts, const QString& what)
{
    int count = 0;
    for (const QString& text : texts)
        count += int(text.count(what, Qt::CaseInsensitive));
    return count;
}

// Occurrences in formulas: a replace that would break a formula is refused, as Excel refuses to enter it.
int inFormulas(QStringList cells, const QString& what)
{
    cells.removeIf([](const QString& cell) { return !cell.startsWith('='); });
    return occurrences(cells, what);
}

struct File
{
    QString path;
    QByteArray bytes;
    UnoDocuments::Inventory inventory;
    QMap<QString, QStringList> stories;
};

// What the corpus cost through LibreOffice: the counts a changed file must keep.
const QStringList kKept{"tables",     "pictures",  "objects", "shapes",   "frames", "sections",
                        "hyperlinks", "bookmarks", "sheets",  "formulas", "merged"};

} // namespace

class TestCorpus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { UnoDocuments::shutdown(); }
    void job_data();
    void job();

private:
    QString m_corpus;
    QTemporaryDir m_dir;
    QMap<QString, QPair<UnoDocuments::Inventory, QMap<QString, QStringList>>> m_seen;
};

void TestCorpus::initTestCase()
{
    // $YANHE_CORPUS runs the same checks over another set of documents of the same kinds.
    m_corpus = qEnvironmentVariable("YANHE_CORPUS", QStringLiteral(YANHE_CORPUS));
    if (!QFileInfo::exists(m_corpus + "/docx"))
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
    QVERIFY(m_dir.isValid());
}

void TestCorpus::job_data()
{
    QTest::addColumn<QStringList>("formats");
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("oldText");
    QTest::addColumn<QStringList>("reached");
    const QStringList everyScope{"word-replace", "--scope", "textboxes,header-textboxes,headers-footers"};
    QTest::newRow("documents, body") << QStringList{"doc", "docx"} << "libreoffice"
                                     << QStringList{"word-replace"} << "e" << QStringList{"body"};
    QTest::newRow("documents, every scope")
        << QStringList{"doc", "docx"} << "libreoffice" << everyScope << "e" << kEveryScope;
    QTest::newRow("workbooks") << QStringList{"xls", "xlsx"} << "libreoffice" << QStringList{"sheet-replace"}
                               << "e" << QStringList{"cells"};
    // A text that no file holds: every pass of every job runs, and no file may get new bytes or a new time.
    for (const QString engine : {"libreoffice", "lossless"}) {
        const bool lossless = engine == QLatin1String("lossless");
        QTest::addRow("nothing found, documents, %s", qPrintable(engine))
            << (lossless ? QStringList{"docx"} : QStringList{"doc", "docx"}) << engine << everyScope
            << kAbsent << kEveryScope;
        QTest::addRow("nothing found, workbooks, %s", qPrintable(engine))
            << (lossless ? QStringList{"xlsx"} : QStringList{"xls", "xlsx"}) << engine
            << QStringList{"sheet-replace"} << kAbsent << QStringList{"cells"};
    }
}

// The job with the engine over the corpus's files of these formats, copied into a folder of
// their own, writable and dated in the past; every file checked.
void TestCorpus::job()
{
    QFETCH(QStringList, formats);
    QFETCH(QString, engine);
    QFETCH(QStringList, arguments);
    QFETCH(QString, oldText);
    QFETCH(QStringList, reached);
    const QString newText = oldText == kAbsent ? "ZQXNEW" : "э";
    const QString folder = m_dir.filePath(QTest::currentDataTag());
    QDir().mkpath(folder);
    QList<File> files;
    QStringList paths;
    for (const QString& format : formats) {
        const QDir from(m_corpus + "/" + format);
        for (const QString& name : from.entryList({"*." + format}, QDir::Files, QDir::Name)) {
            const QString source = from.filePath(name);
            const QString path = QDir(folder).filePath(name);
            QFile copied(path);
            if (!QFile::copy(source, path))
                continue;
            QVERIFY(copied.setPermissions(copied.permissions() | QFile::WriteOwner) &&
                    copied.open(QIODevice::ReadWrite) &&
                    copied.setFileTime(kOld, QFile::FileModificationTime));
            copied.close();
            // Several jobs start from the same file: it is looked at once.
            if (!m_seen.contains(source))
                m_seen[source] = {UnoDocuments::inventory(path), UnoDocuments::stories(path)};
            files.append({path, bytes(path), m_seen[source].first, m_seen[source].second});
            paths << path;
        }
    }

    QTemporaryDir app;
    QProcess cli;
    endsWithTheTest(cli);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("YANHE_APP_FOLDER", app.path());
    environment.insert("YANHE_ENGINE", engine);
    cli.setProcessEnvironment(environment);
    cli.start(YANHE_CLI, arguments + QStringList{"--old", oldText, "--new", newText} + paths);
    QVERIFY(cli.waitForStarted());
    const bool ended = cli.waitForFinished(20 * 60 * 1000);
    if (!ended)
        cli.kill();
    QVERIFY2(ended, "yanhe-cli did not end");
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QVERIFY2(cli.exitCode() == 0 || cli.exitCode() == 1, qPrintable(QString::number(cli.exitCode())));
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    QVERIFY2(err.trimmed().endsWith("全部操作已完成"), qPrintable(err));

    QStringList problems;
    static const QRegularExpression failure("^ (打开|替换|保存|处理)失败，未修改：(.*)$");
    for (const File& file : std::as_const(files)) {
        // Lines of this file: for workbooks "-sheet" and the status.
        const QStringList own = linesOf(lines, file.path);
        const QString name = QFileInfo(file.path).fileName();
        QVERIFY2(!own.isEmpty(), qPrintable(name));
        qInfo().noquote() << name << own.last();
        const QRegularExpressionMatch failed = failure.match(own.last());
        const QDateTime time = QFileInfo(file.path).fileTime(QFileDevice::FileModificationTime);
        const bool untouched = bytes(file.path) == file.bytes && time == kOld;
        const auto problem = [&](const QString& detail) { problems << name + ": " + detail; };
        if (failed.hasMatch()) {
            QVERIFY2(knownFailure(failed.captured(2)), qPrintable(name + own.last()));
            if (!untouched)
                problem("changed though it failed");
            continue;
        }
        for (const QString& line : std::as_const(own))
            QVERIFY2(line.endsWith("已替换内容") || line.endsWith("没找到替换的内容"),
                     qPrintable(name + line));
        // Occurrences in formulas may all be kept.
        int found = 0;
        int kept = 0;
        for (const QString& story : reached) {
            found += occurrences(file.stories.value(story), oldText);
            kept += inFormulas(file.stories.value(story), oldText);
        }
        if (found == 0 || (found == kept && untouched)) {
            if (!untouched)
                problem("rewritten though nothing was found");
            continue;
        }
        if (time == kOld) {
            problem("not saved");
            continue;
        }
        const UnoDocuments::Inventory after = UnoDocuments::inventory(file.path);
        if (after.counts.isEmpty()) {
            problem("LibreOffice cannot open the saved file");
            continue;
        }
        for (const QString& count : kKept) {
            const int was = file.inventory.counts.value(count);
            if (after.counts.value(count) != was)
                problem(QStringLiteral("%1 %2 -> %3").arg(count).arg(was).arg(after.counts.value(count)));
        }
        const QMap<QString, QStringList> stories = UnoDocuments::stories(file.path);
        for (auto story = file.stories.cbegin(); story != file.stories.cend(); ++story) {
            const QStringList now = stories.value(story.key());
            const int before = occurrences(story.value(), oldText);
            const int left = occurrences(now, oldText);
            const int added = occurrences(now, newText) - occurrences(story.value(), newText);
            const int keptHere = story.key() == "cells" ? inFormulas(now, oldText) : 0;
            // Not reached: nothing replaced there (what LibreOffice reads better after its
            // own export, such as a frame it could not read before, may add to it).
            const bool right = reached.contains(story.key()) ? left == keptHere && added + keptHere == before
                                                             : left >= before && added == 0;
            if (!right && story.key() != "pivot tables")
                problem(QStringLiteral("%1: %2 before, %3 after, %4 new\n%5\n->\n%6")
                            .arg(story.key(), QString::number(before), QString::number(left),
                                 QString::number(added), story.value().join(" | "), now.join(" | ")));
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"

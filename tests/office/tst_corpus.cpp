#include "app/FailureText.h"
#include "support/ChildProcess.h"
#include "support/TestFiles.h"
#include "support/UnoDocuments.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <numeric>

// Every job that exists, run by yanhe-cli over a copy of real documents and
// workbooks that other programs wrote, on each engine that edits the format:
// no crash or hang, every failure said in a known phrase, every file the job
// did not change left as it was (bytes and time), every changed file opening
// again and holding what it held (tables, pictures, shapes, sections,
// hyperlinks, bookmarks, sheets, formulas, merged ranges), and the text
// replaced exactly where the job's scope reaches. The outcomes are printed
// as a table per job, engine and format.
namespace {

const QDateTime kOld(QDate(2020, 1, 2), QTime(3, 4, 5));

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

struct File
{
    QString path;
    QString format;
    QByteArray bytes;
    UnoDocuments::Inventory inventory;
    QMap<QString, QStringList> stories;
    QString outcome; // "replaced", "unchanged", "failed: why", "invalid after save", "garbled", "rewritten"
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
    void cleanupTestCase();
    void documentsBodyOnly();
    void documentsEveryScope();
    void workbooks();
    void nothingFoundNothingWritten();

private:
    // Copies the corpus's files of these formats into a folder of their own, writable and dated in the past.
    QList<File> copy(const QString& name, const QStringList& formats);
    // Runs the job with the engine ("libreoffice", "lossless") and checks every file.
    void run(QList<File>& files, const QString& engine, const QStringList& arguments, const QString& oldText,
             const QString& newText, const QStringList& reached);

    QString m_corpus;
    QTemporaryDir m_dir;
    QMap<QString, QPair<UnoDocuments::Inventory, QMap<QString, QStringList>>> m_seen;
    QStringList m_table;
};

void TestCorpus::initTestCase()
{
    // $YANHE_CORPUS runs the same checks over another set of documents of the same kinds.
    m_corpus = qEnvironmentVariable("YANHE_CORPUS", QStringLiteral(YANHE_CORPUS));
    if (!QFileInfo::exists(m_corpus + "/docx"))
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
    QVERIFY(m_dir.isValid());
}

void TestCorpus::cleanupTestCase()
{
    UnoDocuments::shutdown();
    qInfo().noquote()
        << "\njob | engine | format | tried | replaced | unchanged | failed (why) | invalid after save "
           "| garbled | rewritten though unchanged\n" +
               m_table.join('\n');
}

QList<File> TestCorpus::copy(const QString& name, const QStringList& formats)
{
    QList<File> files;
    const QString folder = m_dir.filePath(name);
    QDir().mkpath(folder);
    for (const QString& format : formats) {
        QDirIterator it(m_corpus + "/" + format, {"*." + format}, QDir::Files);
        QStringList sources;
        while (it.hasNext())
            sources << it.next();
        sources.sort();
        for (const QString& source : std::as_const(sources)) {
            File file;
            file.format = format;
            file.path = QDir(folder).filePath(QFileInfo(source).fileName());
            if (!QFile::copy(source, file.path))
                continue;
            QFile copied(file.path);
            copied.setPermissions(copied.permissions() | QFileDevice::WriteOwner);
            copied.open(QIODevice::ReadWrite);
            copied.setFileTime(kOld, QFileDevice::FileModificationTime);
            copied.close();
            file.bytes = bytes(file.path);
            // Several jobs start from the same file: it is looked at once.
            if (!m_seen.contains(source))
                m_seen[source] = {UnoDocuments::inventory(file.path), UnoDocuments::stories(file.path)};
            file.inventory = m_seen[source].first;
            file.stories = m_seen[source].second;
            files.append(file);
        }
    }
    return files;
}

void TestCorpus::run(QList<File>& files, const QString& engine, const QStringList& arguments,
                     const QString& oldText, const QString& newText, const QStringList& reached)
{
    QStringList paths;
    for (const File& file : std::as_const(files))
        paths << file.path;
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
    QMap<QString, QStringList> format; // format -> outcomes
    for (File& file : files) {
        // Lines of this file: the path, then for workbooks "-sheet" and the status.
        QStringList own;
        for (const QString& line : lines) {
            if (line.startsWith(file.path + " ") || line.startsWith(file.path + "-"))
                own << line.mid(file.path.size());
        }
        QVERIFY2(!own.isEmpty(), qPrintable(file.path));
        const QRegularExpression failure("^ (打开|替换|保存|处理)失败，未修改：(.*)$");
        const QRegularExpressionMatch failed = failure.match(own.last());
        const QString name = QFileInfo(file.path).fileName();
        const QDateTime time = QFileInfo(file.path).fileTime(QFileDevice::FileModificationTime);
        const bool untouched = bytes(file.path) == file.bytes && time == kOld;
        const auto problem = [&](const QString& outcome, const QString& detail) {
            file.outcome = outcome;
            problems << name + ": " + detail;
        };
        if (failed.hasMatch()) {
            QVERIFY2(knownFailure(failed.captured(2)), qPrintable(name + own.last()));
            file.outcome = "failed: " + failed.captured(2);
            if (!untouched)
                problem("rewritten", "changed though it failed");
        } else {
            for (const QString& line : std::as_const(own))
                QVERIFY2(line.endsWith("已替换内容") || line.endsWith("没找到替换的内容"),
                         qPrintable(name + line));
            // Occurrences in formulas may all be kept, as a replace that breaks a formula is refused.
            int found = 0;
            int inFormulas = 0;
            for (const QString& story : reached) {
                QStringList formulas = file.stories.value(story);
                formulas.removeIf([](const QString& cell) { return !cell.startsWith('='); });
                found += occurrences(file.stories.value(story), oldText);
                inFormulas += occurrences(formulas, oldText);
            }
            if (found == 0 || (found == inFormulas && untouched)) {
                file.outcome = "unchanged";
                if (!untouched)
                    problem("rewritten", "rewritten though nothing was found");
            } else if (time == kOld) {
                problem("garbled", "not saved");
            } else {
                file.outcome = "replaced";
                const UnoDocuments::Inventory after = UnoDocuments::inventory(file.path);
                if (after.counts.isEmpty()) {
                    problem("invalid after save", "LibreOffice cannot open the saved file");
                    format[file.format] << file.outcome;
                    qInfo().noquote() << name << file.outcome;
                    continue;
                }
                for (const QString& count : kKept) {
                    if (after.counts.value(count) != file.inventory.counts.value(count))
                        problem("garbled", QString("%1 %2 -> %3")
                                               .arg(count)
                                               .arg(file.inventory.counts.value(count))
                                               .arg(after.counts.value(count)));
                }
                // What else the save changed, for the record.
                for (auto count = after.counts.cbegin(); count != after.counts.cend(); ++count) {
                    if (!kKept.contains(count.key()) &&
                        count.value() != file.inventory.counts.value(count.key()))
                        qInfo().noquote() << QString("%1: %2 %3 -> %4")
                                                 .arg(name, count.key())
                                                 .arg(file.inventory.counts.value(count.key()))
                                                 .arg(count.value());
                }
                const QMap<QString, QStringList> stories = UnoDocuments::stories(file.path);
                for (auto story = file.stories.cbegin(); story != file.stories.cend(); ++story) {
                    if (story.key() == "pivot tables")
                        continue;
                    const int before = occurrences(story.value(), oldText);
                    const int now = occurrences(stories.value(story.key()), oldText);
                    const int added = occurrences(stories.value(story.key()), newText) -
                                      occurrences(story.value(), newText);
                    const bool reaches = reached.contains(story.key());
                    // A formula that the replacement would break is kept, as Excel refuses to enter it.
                    QStringList formulas = stories.value(story.key());
                    formulas.removeIf([](const QString& cell) { return !cell.startsWith('='); });
                    const int kept = story.key() == "cells" ? occurrences(formulas, oldText) : 0;
                    // Not reached: nothing replaced there (what LibreOffice reads better after its
                    // own export, such as a frame it could not read before, may add to it).
                    if (!(reaches ? now == kept && added + kept == before : now >= before && added == 0))
                        problem("garbled",
                                QString("%1: %2 before, %3 after, %4 new\n%5\n->\n%6")
                                    .arg(story.key())
                                    .arg(before)
                                    .arg(now)
                                    .arg(added)
                                    .arg(story.value().join(" | "), stories.value(story.key()).join(" | ")));
                }
            }
        }
        format[file.format] << file.outcome;
        qInfo().noquote() << name << file.outcome;
    }
    for (auto it = format.cbegin(); it != format.cend(); ++it) {
        QMap<QString, int> why;
        for (const QString& outcome : it.value()) {
            if (outcome.startsWith("failed: "))
                ++why[outcome.mid(8)];
        }
        QStringList reasons;
        for (auto reason = why.cbegin(); reason != why.cend(); ++reason)
            reasons << QString("%1 %2").arg(reason.value()).arg(reason.key());
        const auto count = [&](const QString& outcome) { return it.value().count(outcome); };
        m_table << QString("%1 %2 | %3 | %4 | %5 | %6 | %7 | %8 (%9) | %10 | %11 | %12")
                       .arg(arguments.join(' '), oldText, engine, it.key())
                       .arg(it.value().size())
                       .arg(count("replaced"))
                       .arg(count("unchanged"))
                       .arg(why.isEmpty() ? 0 : std::accumulate(why.cbegin(), why.cend(), 0))
                       .arg(reasons.join(", "))
                       .arg(count("invalid after save"))
                       .arg(count("garbled"))
                       .arg(count("rewritten"));
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

void TestCorpus::documentsBodyOnly()
{
    QList<File> files = copy("body", {"doc", "docx"});
    run(files, "libreoffice", {"word-replace"}, "e", "э", {"body"});
}

void TestCorpus::documentsEveryScope()
{
    QList<File> files = copy("scopes", {"doc", "docx"});
    run(files, "libreoffice", {"word-replace", "--scope", "textboxes,header-textboxes,headers-footers"}, "e",
        "э", {"body", "textboxes", "header-textboxes", "headers-footers"});
}

void TestCorpus::workbooks()
{
    QList<File> files = copy("books", {"xls", "xlsx"});
    run(files, "libreoffice", {"sheet-replace"}, "e", "э", {"cells"});
}

// A text that no file holds: every pass of every job runs, and no file may get
// new bytes or a new time, on either engine.
void TestCorpus::nothingFoundNothingWritten()
{
    const QString absent = QStringLiteral("Qzxwvjk");
    for (const QString engine : {"libreoffice", "lossless"}) {
        const QStringList documentFormats =
            engine == QLatin1String("lossless") ? QStringList{"docx"} : QStringList{"doc", "docx"};
        const QStringList workbookFormats =
            engine == QLatin1String("lossless") ? QStringList{"xlsx"} : QStringList{"xls", "xlsx"};
        QList<File> documents = copy("absent-documents-" + engine, documentFormats);
        run(documents, engine, {"word-replace", "--scope", "textboxes,header-textboxes,headers-footers"},
            absent, "ZQXNEW", {"body", "textboxes", "header-textboxes", "headers-footers"});
        QList<File> workbooks = copy("absent-workbooks-" + engine, workbookFormats);
        run(workbooks, engine, {"sheet-replace"}, absent, "ZQXNEW", {"cells"});
    }
}

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"

#include "office/FailureText.h"
#include "support/UnoDocuments.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Every job that exists, run by yanhe-cli over a copy of real documents and
// workbooks that other programs wrote: no crash or hang, every failure said
// in a known phrase, every file the job did not change left as it was, every
// changed file holding what it held (tables, pictures, shapes, sections,
// hyperlinks, bookmarks, sheets, formulas, merged ranges), and the text
// replaced exactly where the job's scope reaches.
namespace {

QByteArray bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QDateTime kOld(QDate(2020, 1, 2), QTime(3, 4, 5));

// The phrases a failure line may end in (after "失败，未修改：").
bool knownFailure(const QString& why)
{
    static const QStringList exact{FailureText::encrypted(),     FailureText::damaged(),
                                   FailureText::missing(),       FailureText::notWordDocument(),
                                   FailureText::notWorkbook(),   FailureText::readOnly(),
                                   FailureText::notResponding(), FailureText::stopped()};
    return exact.contains(why) || why.startsWith(FailureText::cannotSaveFormat(QString()).chopped(2)) ||
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
    QString outcome; // "replaced", "unchanged", "failed: why"
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

private:
    // Copies the corpus's files of these formats into a folder of their own, writable and dated in the past.
    QList<File> copy(const QString& name, const QStringList& formats);
    void run(QList<File>& files, const QStringList& arguments, const QString& oldText, const QString& newText,
             const QStringList& reached);

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
    qInfo().noquote() << "\nformat | tried | replaced | unchanged | failed (why)\n" + m_table.join('\n');
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

void TestCorpus::run(QList<File>& files, const QStringList& arguments, const QString& oldText,
                     const QString& newText, const QStringList& reached)
{
    QStringList paths;
    for (const File& file : std::as_const(files))
        paths << file.path;
    QTemporaryDir app;
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("YANHE_APP_FOLDER", app.path());
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
        if (failed.hasMatch()) {
            QVERIFY2(knownFailure(failed.captured(2)), qPrintable(name + own.last()));
            QVERIFY2(bytes(file.path) == file.bytes, qPrintable(name + " changed though it failed"));
            file.outcome = "failed: " + failed.captured(2);
        } else {
            for (const QString& line : std::as_const(own))
                QVERIFY2(line.endsWith("已替换内容") || line.endsWith("没找到替换的内容"),
                         qPrintable(name + line));
            int found = 0;
            for (const QString& story : reached)
                found += occurrences(file.stories.value(story), oldText);
            const QDateTime time = QFileInfo(file.path).fileTime(QFileDevice::FileModificationTime);
            if (found == 0) {
                QVERIFY2(bytes(file.path) == file.bytes && time == kOld, qPrintable(name + " rewritten"));
                file.outcome = "unchanged";
            } else {
                QVERIFY2(time != kOld, qPrintable(name + " not saved"));
                file.outcome = "replaced";
                const UnoDocuments::Inventory after = UnoDocuments::inventory(file.path);
                for (const QString& count : kKept)
                    QVERIFY2(after.counts.value(count) == file.inventory.counts.value(count),
                             qPrintable(QString("%1: %2 %3 -> %4")
                                            .arg(name, count)
                                            .arg(file.inventory.counts.value(count))
                                            .arg(after.counts.value(count))));
                // What else LibreOffice's export changed, for the record.
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
                    QVERIFY2(reaches ? now == kept && added + kept == before : now >= before && added == 0,
                             qPrintable(QString("%1 %2: %3 before, %4 after, %5 new\n%6\n->\n%7")
                                            .arg(name, story.key())
                                            .arg(before)
                                            .arg(now)
                                            .arg(added)
                                            .arg(story.value().join(" | "),
                                                 stories.value(story.key()).join(" | "))));
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
        m_table << QString("%1 %2 | %3 | %4 | %5 | %6 (%7)")
                       .arg(arguments.join(' '), it.key())
                       .arg(it.value().size())
                       .arg(it.value().count("replaced"))
                       .arg(it.value().count("unchanged"))
                       .arg(it.value().size() - it.value().count("replaced") - it.value().count("unchanged"))
                       .arg(reasons.join(", "));
    }
}

void TestCorpus::documentsBodyOnly()
{
    QList<File> files = copy("body", {"doc", "docx"});
    run(files, {"word-replace"}, "e", "э", {"body"});
}

void TestCorpus::documentsEveryScope()
{
    QList<File> files = copy("scopes", {"doc", "docx"});
    run(files, {"word-replace", "--scope", "textboxes,header-textboxes,headers-footers"}, "e", "э",
        {"body", "textboxes", "header-textboxes", "headers-footers"});
}

void TestCorpus::workbooks()
{
    QList<File> files = copy("books", {"xls", "xlsx"});
    run(files, {"sheet-replace"}, "e", "э", {"cells"});
}

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"

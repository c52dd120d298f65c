// Lossless engine benchmark: N small .docx and N small .xlsx (1,000 each by
// default), made by LibreOffice, through `yanhe-cli word-replace` and
// `yanhe-cli sheet-replace` with each engine (YANHE_ENGINE=lossless, then
// libreoffice), and `soffice --convert-to` over the same files (200 per
// soffice: it stops after some 250 files of one command line); each run
// from a fresh copy of the files. Prints the time per document, the ratios
// and each run's peak memory (the resident size of the run's processes together).
// YANHE_BENCH_CLI names another yanhe-cli to time instead (an earlier build).
#include "office/libreoffice/Installation.h"
#include "support/UnoDocuments.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Measure
{
    double seconds = 0;
    long peakKiB = 0;
    int code = -1;
};

// The resident size of a process and all its descendants.
long treeRssKiB(pid_t root)
{
    QHash<qint64, qint64> parents;
    QHash<qint64, long> rss;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:"))
                parents.insert(pid, line.mid(5).trimmed().toLongLong());
            else if (line.startsWith("VmRSS:"))
                rss.insert(pid, line.mid(6).trimmed().split(' ').first().toLong());
        }
    }
    long total = 0;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        for (qint64 p = it.key(); p > 1; p = parents.value(p, 0)) {
            if (p == root) {
                total += rss.value(it.key());
                break;
            }
        }
    }
    return total;
}

// Runs program to its end with extra environment entries; output goes nowhere.
Measure measure(const QString& program, const QStringList& arguments, const QStringList& environment,
                const QString& output = QStringLiteral("/dev/null"))
{
    QList<QByteArray> storage;
    storage << QFile::encodeName(program);
    for (const QString& argument : arguments)
        storage << argument.toLocal8Bit();
    std::vector<char*> argv;
    for (QByteArray& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QList<QByteArray> envStorage;
    for (char** e = environ; *e; ++e)
        envStorage << QByteArray(*e);
    for (const QString& entry : environment)
        envStorage << entry.toLocal8Bit();
    std::vector<char*> envp;
    for (QByteArray& e : envStorage)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(output);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    Measure result;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return result;
    }
    int status = 0;
    rusage usage{};
    long sampled = 0;
    // The run's processes together (yanhe-cli and the soffice it starts), sampled while it runs.
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        sampled = std::max(sampled, treeRssKiB(pid));
        usleep(20000);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    // The largest of: the sampled sum, the largest single process's peak (exact, even between samples).
    result.peakKiB = std::max(sampled, long(usage.ru_maxrss));
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

QStringList copies(const QStringList& files, const QString& folder)
{
    QDir().mkpath(folder);
    QStringList copied;
    for (const QString& file : files) {
        copied << QDir(folder).filePath(QFileInfo(file).fileName());
        QFile::copy(file, copied.last());
    }
    return copied;
}

void line(const char* what, const Measure& m, int n, int failed)
{
    std::printf("  %-34s %8.2f ms/file  %8.1f s  peak %6ld MiB", what, m.seconds * 1000 / n, m.seconds,
                m.peakKiB / 1024);
    if (failed > 0)
        std::printf("  (%d files failed)", failed);
    std::printf("\n");
    std::fflush(stdout);
}

// Lines of a job's log that report a failed file.
int failures(const QString& log)
{
    QFile file(log);
    file.open(QIODevice::ReadOnly);
    return int(QString::fromUtf8(file.readAll()).count(QStringLiteral("失败")));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    QTemporaryDir dir;
    const QString soffice =
        QDir(LibreOfficeInstallation::programFolder()).filePath(QStringLiteral("soffice"));

    // A few kinds of small files, made by LibreOffice, each copied to reach n.
    const int kinds = std::min(n, 20);
    QStringList documents;
    QStringList workbooks;
    const QString made = dir.filePath(QStringLiteral("made"));
    QDir().mkpath(made);
    for (int k = 0; k < kinds; ++k) {
        const QString docx = QDir(made).filePath(QStringLiteral("kind%1.docx").arg(k));
        UnoDocuments::writeDocument(
            docx, {{QStringLiteral("第%1种文档 OLD 正文").arg(k), QStringLiteral("第二段 old")},
                   {},
                   {QStringLiteral("页眉 OLD")},
                   {QStringLiteral("页脚 %1").arg(k)},
                   {}});
        const QString xlsx = QDir(made).filePath(QStringLiteral("kind%1.xlsx").arg(k));
        UnoDocuments::writeWorkbook(
            xlsx, {{QStringLiteral("一月"), {{1, 1, QStringLiteral("OLD %1").arg(k)}, {2, 2, "42"}}},
                   {QStringLiteral("二月"), {{3, 1, QStringLiteral("没有")}}}});
    }
    UnoDocuments::shutdown();
    const QString source = dir.filePath(QStringLiteral("source"));
    QDir().mkpath(source);
    for (int i = 0; i < n; ++i) {
        const QString name = QStringLiteral("f%1").arg(i, 4, 10, QLatin1Char('0'));
        QFile::copy(QDir(made).filePath(QStringLiteral("kind%1.docx").arg(i % kinds)),
                    QDir(source).filePath(name + ".docx"));
        QFile::copy(QDir(made).filePath(QStringLiteral("kind%1.xlsx").arg(i % kinds)),
                    QDir(source).filePath(name + ".xlsx"));
    }
    for (int i = 0; i < n; ++i) {
        const QString name = QStringLiteral("f%1").arg(i, 4, 10, QLatin1Char('0'));
        documents << QDir(source).filePath(name + ".docx");
        workbooks << QDir(source).filePath(name + ".xlsx");
    }
    std::printf("%d small .docx and %d small .xlsx (%d kinds made by LibreOffice, copied)\n", n, n, kinds);
    std::fflush(stdout);

    // soffice's profile made before anything is timed, as a user's would be.
    measure(soffice,
            {"--headless", "--norestore", "-env:UserInstallation=file://" + dir.filePath("profile"),
             "--convert-to", "docx", "--outdir", dir.filePath("warm"), documents.first()},
            {});
    const QString appFolder = dir.filePath(QStringLiteral("app"));
    // Another build's yanhe-cli, to compare two builds on the same files.
    const QString cli = qEnvironmentVariableIsEmpty("YANHE_BENCH_CLI")
                            ? QStringLiteral(YANHE_CLI)
                            : qEnvironmentVariable("YANHE_BENCH_CLI");
    struct Job
    {
        const char* command;
        const QStringList& files;
        const char* format;
    };
    for (const Job& job : {Job{"word-replace", documents, "docx"}, Job{"sheet-replace", workbooks, "xlsx"}}) {
        std::printf("\n%s over %d files:\n", job.command, n);
        Measure engines[2];
        int e = 0;
        for (const char* engine : {"lossless", "libreoffice"}) {
            const QStringList files =
                copies(job.files, dir.filePath(QStringLiteral("%1-%2").arg(job.command, engine)));
            const QString log = dir.filePath(QStringLiteral("%1-%2.log").arg(job.command, engine));
            engines[e] = measure(
                cli, QStringList{QString::fromLatin1(job.command), "--old", "OLD", "--new", "NEW"} + files,
                {QStringLiteral("YANHE_ENGINE=") + engine, "YANHE_APP_FOLDER=" + appFolder}, log);
            line(qPrintable(QStringLiteral("yanhe-cli, %1 engine").arg(engine)), engines[e++], n,
                 failures(log));
        }
        const QString out = dir.filePath(QStringLiteral("%1-converted").arg(job.command));
        const QStringList files =
            copies(job.files, dir.filePath(QStringLiteral("%1-convert").arg(job.command)));
        // soffice converts no more than some 250 files of one command line: batches of 200, one after the
        // other.
        Measure converted;
        for (qsizetype from = 0; from < files.size(); from += 200) {
            const Measure batch =
                measure(soffice,
                        QStringList{"--headless", "--norestore",
                                    "-env:UserInstallation=file://" + dir.filePath("profile"), "--convert-to",
                                    job.format, "--outdir", out} +
                            files.mid(from, 200),
                        {});
            converted.seconds += batch.seconds;
            converted.peakKiB = std::max(converted.peakKiB, batch.peakKiB);
        }
        line("soffice --convert-to (per 200)", converted, n,
             n - int(QDir(out).entryList(QDir::Files).size()));
        std::printf("  ratio LibreOffice engine / lossless: %6.1fx\n",
                    engines[1].seconds / engines[0].seconds);
        std::printf("  ratio --convert-to / lossless:       %6.1fx\n",
                    converted.seconds / engines[0].seconds);
    }
    return 0;
}

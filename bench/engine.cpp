// Engine benchmark: N generated small .docx (200 by default) through the
// LibreOffice engine: bare open+save+close, open+replace-all+save+close, and
// LibreOffice's own `soffice --headless --convert-to` over the same files; then
// soffice's memory with N replaced documents left to the engine as the document
// jobs leave them (until Quit; the engine closes each stored one when the next
// opens) and with each closed after saving; and, for .doc, where a document's
// time goes.
#include "office/OfficeRegistry.h"
#include "office/OwnProcesses.h"
#include "office/libreoffice/Installation.h"
#include "support/UnoDocuments.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

long rssKiB()
{
    long total = 0;
    for (const qint64 pid : OwnProcesses::all()) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                total += line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return total;
}

double perDoc(qint64 ms, int n)
{
    return double(ms) / n;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // This bench measures LibreOffice's engine, which .docx would not go to otherwise.
    qputenv("YANHE_ENGINE", "libreoffice");
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < n; ++i) {
        files << dir.filePath(QStringLiteral("doc%1.docx").arg(i, 4, 10, QLatin1Char('0')));
        UnoDocuments::writeDocument(files.last(),
                                    {{QStringLiteral("第%1号文档 OLD 正文").arg(i), QStringLiteral("第二段")},
                                     {},
                                     {QStringLiteral("页眉 OLD")},
                                     {QStringLiteral("页脚")},
                                     {}});
    }
    UnoDocuments::shutdown();
    std::printf("%d small .docx files\n", n);

    // Warm start: soffice is running before the first timed document.
    word::ApplicationPtr word =
        OfficeRegistry::system().createWordProcessor(QStringLiteral("Word.Application"));
    word->documentsOpen(files.first())->close();

    QElapsedTimer timer;
    timer.start();
    for (const QString& file : files) {
        const word::DocumentPtr document = word->documentsOpen(file);
        document->save();
        document->close();
    }
    const qint64 bare = timer.elapsed();
    const long closedRss = rssKiB();

    timer.restart();
    for (const QString& file : files) {
        const word::DocumentPtr document = word->documentsOpen(file);
        document->content()->replaceAll(QStringLiteral("OLD"), QStringLiteral("NEW"));
        document->save();
        document->close();
    }
    const qint64 replaced = timer.elapsed();
    word->quit();

    // Left open until Quit, as the replace jobs do.
    word = OfficeRegistry::system().createWordProcessor(QStringLiteral("Word.Application"));
    word->documentsOpen(files.first())->close();
    const long startRss = rssKiB();
    timer.restart();
    for (const QString& file : files) {
        const word::DocumentPtr document = word->documentsOpen(file);
        document->content()->replaceAll(QStringLiteral("NEW"), QStringLiteral("OLD"));
        document->save();
    }
    const qint64 leftOpen = timer.elapsed();
    const long openRss = rssKiB();
    word->quit();

    // Where a document's time goes in the replace jobs' order: open (the one
    // before is closed then), find probe, replace-all, save; .doc copies.
    QTemporaryDir docs;
    const QString firstDoc = docs.filePath(QStringLiteral("doc0000.doc"));
    UnoDocuments::writeDocument(
        firstDoc, {{QStringLiteral("第1号文档 OLD 正文"), QStringLiteral("第二段")}, {}, {}, {}, {}});
    UnoDocuments::shutdown();
    QStringList docFiles{firstDoc};
    for (int i = 1; i < n; ++i) {
        docFiles << docs.filePath(QStringLiteral("doc%1.doc").arg(i, 4, 10, QLatin1Char('0')));
        QFile::copy(firstDoc, docFiles.last());
    }
    word = OfficeRegistry::system().createWordProcessor(QStringLiteral("Word.Application"));
    word->documentsOpen(docFiles.first())->close();
    qint64 stages[4] = {};
    QElapsedTimer stage;
    for (const QString& file : std::as_const(docFiles)) {
        stage.start();
        const word::DocumentPtr document = word->documentsOpen(file);
        stages[0] += stage.nsecsElapsed();
        stage.start();
        const word::RangePtr content = document->content();
        const bool found = content->findExecute(QStringLiteral("OLD"));
        stages[1] += stage.nsecsElapsed();
        stage.start();
        if (found)
            document->content()->replaceAll(QStringLiteral("OLD"), QStringLiteral("NEW"));
        stages[2] += stage.nsecsElapsed();
        stage.start();
        document->save();
        stages[3] += stage.nsecsElapsed();
    }
    const long stagesRss = rssKiB();
    word->quit();

    const QString soffice =
        QDir(LibreOfficeInstallation::programFolder()).filePath(QStringLiteral("soffice"));
    QTemporaryDir out;
    QProcess convert;
    timer.restart();
    convert.start(soffice, QStringList{QStringLiteral("--headless"), QStringLiteral("--norestore"),
                                       QStringLiteral("-env:UserInstallation=file://") +
                                           out.filePath(QStringLiteral("p")),
                                       QStringLiteral("--convert-to"), QStringLiteral("docx"),
                                       QStringLiteral("--outdir"), out.path()}
                               << files);
    convert.waitForFinished(-1);
    const qint64 converted = timer.elapsed();

    // The whole job from a shell, soffice start-up included, as a user runs it.
    QTemporaryDir appFolder;
    QProcess job;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("YANHE_APP_FOLDER"), appFolder.path());
    job.setProcessEnvironment(environment);
    job.setStandardOutputFile(QProcess::nullDevice());
    timer.restart();
    job.start(QStringLiteral(YANHE_CLI),
              QStringList{QStringLiteral("word-replace"), QStringLiteral("--old"), QStringLiteral("OLD"),
                          QStringLiteral("--new"), QStringLiteral("NEW")}
                  << files);
    job.waitForFinished(-1);
    const qint64 wholeJob = timer.elapsed();

    std::printf("open+save+close          %7.1f ms/doc\n", perDoc(bare, n));
    std::printf("open+replace+save+close  %7.1f ms/doc\n", perDoc(replaced, n));
    std::printf("open+replace+save, kept  %7.1f ms/doc (closed by the next open)\n", perDoc(leftOpen, n));
    std::printf("soffice --convert-to     %7.1f ms/doc (one process for all files, start-up included)\n",
                perDoc(converted, n));
    std::printf("yanhe-cli word-replace   %7.1f ms/doc (one run for all files, start-up included)\n",
                perDoc(wholeJob, n));
    std::printf("ratio open+replace+save+close / convert-to: %.2f\n", double(replaced) / double(converted));
    std::printf("ratio yanhe-cli word-replace / convert-to:  %.2f\n", double(wholeJob) / double(converted));
    std::printf(".doc per stage: open %.1f ms (the one before closed then), probe %.1f ms, replace %.1f ms, "
                "save %.1f ms; soffice RSS %ld MiB after %d\n",
                stages[0] / 1e6 / n, stages[1] / 1e6 / n, stages[2] / 1e6 / n, stages[3] / 1e6 / n,
                stagesRss / 1024, n);
    std::printf("soffice RSS: %ld MiB after %d documents closed each time; %ld MiB at start, %ld MiB with %d "
                "left to the engine\n",
                closedRss / 1024, n, startRss / 1024, openRss / 1024, n);
    return 0;
}

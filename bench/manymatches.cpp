// Many matches in one .doc through the LibreOffice engine, by yanhe-cli as a
// user runs it: 5,000 matches in one paragraph and 5,000 spread over as many
// paragraphs (the count can be given), each replaced inside soffice and call by
// call. Prints seconds.
#include "support/UnoDocuments.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

double replaceSeconds(const QString& path, const QString& scripts, QString& outcome)
{
    QTemporaryDir app;
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("YANHE_APP_FOLDER", app.path());
    environment.insert("YANHE_ENGINE", "libreoffice");
    if (!scripts.isEmpty())
        environment.insert("YANHE_ENGINE_SCRIPTS", scripts);
    cli.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    cli.start(YANHE_CLI, {"word-replace", "--old", "match", "--new", "MATCHED", path});
    cli.waitForFinished(-1);
    const double seconds = timer.elapsed() / 1000.0;
    outcome = QString::fromUtf8(cli.readAllStandardOutput()).trimmed().section(' ', -1);
    return seconds;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 5000;
    QTemporaryDir dir;
    QStringList words;
    for (int i = 0; i < n; ++i)
        words << QStringLiteral("w%1 match").arg(i);
    const QString one = dir.filePath("one-paragraph.doc");
    UnoDocuments::writeDocument(one, {{words.join(' ')}, {}, {}, {}, {}});
    const QString spread = dir.filePath("spread.doc");
    UnoDocuments::writeDocument(spread, {words, {}, {}, {}, {}});
    UnoDocuments::shutdown();
    std::printf("%d matches in a .doc, word-replace by yanhe-cli (LibreOffice engine), seconds\n", n);
    for (const auto& [name, source] : {std::pair{"one paragraph", one}, std::pair{"spread", spread}}) {
        for (const QString scripts : {"", "0"}) {
            const QString copy = dir.filePath("copy.doc");
            QFile::remove(copy);
            QFile::copy(source, copy);
            QString outcome;
            const double seconds = replaceSeconds(copy, scripts, outcome);
            std::printf("  %-14s %-18s %8.1f  %s\n", name,
                        scripts.isEmpty() ? "inside soffice" : "call by call", seconds, qPrintable(outcome));
        }
    }
    return 0;
}

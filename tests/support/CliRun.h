#pragma once

#include "support/ChildProcess.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStringList>

// yanhe-cli run to its end: exit code, stdout lines (empty ones dropped), stderr.
struct CliRun
{
    int code = -1;
    QStringList out;
    QString err;

    // The program's path as first seen: a test may change the current folder, and
    // under Windows the current drive, which a path like /work/... is taken on.
    static QString absolute(const QString& program)
    {
        static QHash<QString, QString> seen;
        auto it = seen.find(program);
        if (it == seen.end())
            it = seen.insert(program, QFileInfo(program).absoluteFilePath());
        return *it;
    }

    // The journal under appFolder, in the system's code page as it is written (Windows: the ANSI one).
    static QString journal(const QString& appFolder)
    {
        QString text;
        QDirIterator it(appFolder + "/Journal", {"*.txt"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly))
                text += QString::fromLocal8Bit(file.readAll());
        }
        return text;
    }

    // Starts the program in process: appFolder, when given, becomes the run's $YANHE_APP_FOLDER; `extra`
    // adds variables to the run's environment; `program` runs instead of yanhe-cli.
    static void start(QProcess& process, const QStringList& arguments, const QString& appFolder = QString(),
                      const QProcessEnvironment& extra = {},
                      const QString& program = QStringLiteral(YANHE_CLI))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!appFolder.isEmpty())
            environment.insert("YANHE_APP_FOLDER", appFolder);
        environment.insert(extra);
        process.setProcessEnvironment(environment);
        endsWithTheTest(process);
        process.start(absolute(program), arguments);
    }

    static CliRun of(const QStringList& arguments, const QString& appFolder = QString(),
                     const QProcessEnvironment& extra = {},
                     const QString& program = QStringLiteral(YANHE_CLI))
    {
        QProcess process;
        start(process, arguments, appFolder, extra, program);
        process.waitForFinished(300000);
        // A Windows build ends its lines with CR LF.
        return {process.exitCode(),
                QString::fromUtf8(process.readAllStandardOutput())
                    .replace("\r\n", "\n")
                    .split('\n', Qt::SkipEmptyParts),
                QString::fromUtf8(process.readAllStandardError()).trimmed()};
    }
};

#include "Installation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace LibreOfficeInstallation {

namespace {

bool isProgramFolder(const QString& folder)
{
    return !folder.isEmpty() && QFileInfo(QDir(folder).filePath(QStringLiteral("types.rdb"))).isFile() &&
           QFileInfo(QDir(folder).filePath(QStringLiteral("fundamentalrc"))).isFile();
}

} // namespace

QString programFolder()
{
    const QString configured = qEnvironmentVariable("YANHE_LIBREOFFICE_PROGRAM");
    if (!configured.isEmpty())
        return isProgramFolder(configured) ? QDir(configured).absolutePath() : QString();

    QStringList candidates;
    for (const char* name : {"soffice", "libreoffice"}) {
        const QString onPath = QStandardPaths::findExecutable(QLatin1String(name));
        if (!onPath.isEmpty())
            candidates << QFileInfo(QFileInfo(onPath).canonicalFilePath()).absolutePath();
    }
    candidates << QStringLiteral("/usr/lib/libreoffice/program")
               << QStringLiteral("/usr/lib64/libreoffice/program")
               << QStringLiteral("/opt/libreoffice/program");
    const QStringList opt =
        QDir(QStringLiteral("/opt"))
            .entryList({QStringLiteral("libreoffice*")}, QDir::Dirs, QDir::Name | QDir::Reversed);
    for (const QString& folder : opt)
        candidates << QStringLiteral("/opt/%1/program").arg(folder);
    candidates << QStringLiteral("C:/Program Files/LibreOffice/program");
    for (const QString& candidate : std::as_const(candidates)) {
        if (isProgramFolder(candidate))
            return candidate;
    }
    return {};
}

QString version(const QString& programFolder)
{
    QFile registry(QDir(programFolder).filePath(QStringLiteral("../share/registry/main.xcd")));
    if (!registry.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression about(
        QStringLiteral(R"(<prop oor:name="ooSetupVersionAboutBox">\s*<value>(\d+)\.(\d+)[^<]*</value>)"));
    const QRegularExpressionMatch match = about.match(QString::fromUtf8(registry.readAll()));
    return match.hasMatch() ? match.captured(1) + QLatin1Char('.') + match.captured(2) : QString();
}

} // namespace LibreOfficeInstallation

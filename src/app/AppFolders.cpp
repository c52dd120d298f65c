#include "AppFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

AppFolders::AppFolders(QString applicationFolder)
    : m_root(QDir::toNativeSeparators(std::move(applicationFolder)))
{
    while (m_root.size() > 1 && m_root.endsWith(QDir::separator()))
        m_root.chop(1);
}

QString AppFolders::resolveApplicationFolder(const QString& executableFolder, const QString& userDataFolder)
{
    // An installed copy (<prefix>/bin beside <prefix>/share/yanhe/installed) keeps
    // nothing beside its executables, also when root, who may write there, runs it.
    const bool installed =
        QFileInfo::exists(QDir(executableFolder).filePath(QStringLiteral("../share/yanhe/installed")));
    if (!installed) {
        // Probe by creating a file: permission bits alone say nothing about
        // read-only mounts or ACLs.
        QTemporaryFile probe(QDir(executableFolder).filePath(QStringLiteral(".yanhe-write-probe-XXXXXX")));
        if (probe.open())
            return executableFolder;
    }
    QDir().mkpath(userDataFolder);
    return userDataFolder;
}

QString AppFolders::forThisProcess()
{
    // Scripts and tests may point the tool at a folder of their own.
    const QString configured = qEnvironmentVariable("YANHE_APP_FOLDER");
    if (!configured.isEmpty()) {
        QDir().mkpath(configured);
        return QDir(configured).absolutePath();
    }
    // Named here rather than after the executable, so that the window, yanhe-cli
    // and the updater share one folder.
    const QString userData = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                                 .filePath(QStringLiteral("yanhe"));
    return resolveApplicationFolder(QCoreApplication::applicationDirPath(), userData);
}

QString AppFolders::join(const QString& base, const QString& relative)
{
    return QDir::toNativeSeparators(base + QLatin1Char('/') + relative);
}

QString AppFolders::toconfigure() const
{
    return join(m_root, QStringLiteral("toconfigure"));
}

QString AppFolders::download() const
{
    return join(m_root, QStringLiteral("download"));
}

QString AppFolders::journal() const
{
    return join(m_root, QStringLiteral("Journal"));
}

QString AppFolders::journalDayFolder(const QDate& day) const
{
    return join(journal(), day.toString(QStringLiteral("yyyy-MM-dd")));
}

QString AppFolders::versionFile() const
{
    return join(toconfigure(), QStringLiteral("dqbb.ini"));
}

QString AppFolders::addressFile() const
{
    return join(toconfigure(), QStringLiteral("mysql.ini"));
}

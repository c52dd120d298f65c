#pragma once

#include <QDate>
#include <QString>

// The application folder and the working folders and files beneath it.
// Every path uses the platform's separator.
class AppFolders final
{
public:
    explicit AppFolders(QString applicationFolder);

    // The executable's folder when the tool may write there (a portable copy, a
    // build tree); otherwise, and always for an installed copy, the user's data
    // folder for the application.
    static QString resolveApplicationFolder(const QString& executableFolder, const QString& userDataFolder);
    // $YANHE_APP_FOLDER when set; else resolveApplicationFolder() for the running process.
    static QString forThisProcess();

    const QString& applicationFolder() const { return m_root; }
    QString toconfigure() const;
    QString download() const;
    QString journal() const;
    // Journal + the date formatted yyyy-mm-dd.
    QString journalDayFolder(const QDate& day) const;
    QString versionFile() const; // toconfigure/dqbb.ini
    QString addressFile() const; // toconfigure/mysql.ini

    // Joins base and a relative path with the platform's separator.
    static QString join(const QString& base, const QString& relative);

private:
    QString m_root;
};

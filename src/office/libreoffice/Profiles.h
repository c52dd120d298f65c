#pragma once

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QString>
#include <map>
#include <memory>

class QLockFile;
class QTemporaryDir;

namespace unooffice {

// A document a soffice of the tool has loaded, and since when.
struct LoadedDocument
{
    QString path;
    qint64 since = 0;   // loaded, milliseconds since the epoch
    qint64 storing = 0; // a store began then and has not ended; 0 when none
};

// The profiles of the tool's soffices, kept in the user's cache folder
// (~/.cache/yanhe) so that a later run starts on a profile that exists already
// (a first start on a new profile costs seconds). A soffice holds its
// profile's lock file while it runs: two soffices on one profile would become
// one. Beside each profile, the documents its soffice has loaded: a run that
// ends without closing them (killed, or its soffice killed) leaves their lock
// files and the temporary files of a store behind, and the next run removes
// them.
class Profiles final
{
public:
    static Profiles& instance();

    // A profile that no running soffice uses, held until give(). When the
    // cache folder cannot be written (no permission, a full disk) the profiles
    // go to a temporary folder; RuntimeError when no profile can be had at all.
    int take();
    void give(int index);
    // True when no running soffice, of this process or another, uses the profile.
    bool isFree(const QString& profile);
    QString folder(int index) const;

    // Notes the documents the soffice on profile index has loaded now.
    void record(int index, const QList<LoadedDocument>& documents);
    // What runs that ended without cleaning up left: lock files that name a
    // profile no soffice uses any more, LibreOffice's temporary files beside the
    // documents it was storing, and the pipes of soffices that are gone. Once per
    // process; the first start of a soffice runs it while soffice comes up.
    void cleanUpAfterEndedRuns();

private:
    Profiles();
    ~Profiles();
    bool useTemporaryFolder();
    void cleanUpProfile(const QString& profile, const QString& record);

    QMutex m_mutex;
    QString m_root;
    std::unique_ptr<QTemporaryDir> m_temporary;
    std::map<int, std::unique_ptr<QLockFile>> m_locks;
    bool m_cleanedUp = false;
};

// What a soffice on profile that is gone left of the documents it had loaded:
// their lock files that name the profile, and beside a document it was storing,
// the temporary files of that store (LibreOffice's lu*.tmp, the user's own,
// made since the store began, held open by no process).
void removeLeftovers(const QString& profile, const QList<LoadedDocument>& documents);

// The lock file LibreOffice keeps beside a document it has loaded.
QString lockFileOf(const QString& path);
// The tool profile a document lock file names; empty for anybody else's lock.
QString lockingProfile(const QString& lockFile);
// A lock file that a soffice of this tool left behind when it was ended: it
// names one of the tool's profiles, and no soffice runs on that profile now.
bool isStaleOwnLock(const QString& lockFile);
// Whether a soffice process of this machine runs on the profile folder.
bool sofficeRunsOn(const QString& profile);

} // namespace unooffice

#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Replacing a user's file with a new result, for every engine: the result is
// written beside the file under a hidden name of the tool's own (".~NAME.XXXXXX.EXT"),
// checked, given the file's owner, group, mode, extended attributes and ACLs,
// and only then renamed over the file. A file with more than one hard link is
// written through instead, so that every link sees the new content. A result
// that fails anywhere on the way is removed and the file keeps its bytes.
namespace SafeReplace {

// What tells one version of a file from another: device, inode, size and
// modification time. A file changed or replaced since it was read differs.
struct Identity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;

    bool known() const { return size >= 0; }
    bool operator==(const Identity&) const = default;
    static Identity of(const QString& path);
};

// The file a path names, through symbolic links: the one a save replaces.
QString resolved(const QString& path);

// A path as the zip library takes it: UTF-8 on Windows (not the ANSI code page,
// which cannot spell every name), the file system's encoding elsewhere.
QByteArray zipPath(const QString& path);

// One result beside the file target; removed when it goes unless placed.
class Result final
{
public:
    // Makes the empty result file; RuntimeError "无法写入文件" when it cannot be made.
    explicit Result(const QString& target);
    ~Result();
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    // Where the engine writes its result (the file may be replaced by a new one of that name).
    const QString& path() const { return m_path; }

    // Runs check on the written result (which throws to refuse it), then puts the
    // result in place of the target. RuntimeError, the target unchanged, when the
    // check fails ("保存结果无法打开"), when the target is no longer the file
    // expected (when known), when its owner or group cannot be kept, or when it
    // cannot be written. The run's FileKeeper, when there is one, keeps the
    // target's bytes first; a keeper that cannot keep them fails the place.
    void place(const std::function<void(const QString& result)>& check, const Identity& expected = {});

private:
    void keepAttributes(const QString& from);
    void writeThrough();

    QString m_target;
    QString m_path;
    bool m_placed = false;
};

// The failure of a result that does not pass its check.
[[noreturn]] void refuse(const QString& detail);

// Checks an OOXML package written as a result: the zip is sound (every entry
// reads back whole, its checksum right) and every XML part is well-formed.
// With original given, the parts whose names are in untouched must be the
// original's parts byte for byte. Refuses with the reason otherwise.
void checkPackage(const QString& result, const QString& original = {}, const QStringList& untouched = {});

// The lock LibreOffice keeps beside a document it has open (".~lock.NAME#", in
// its format), taken by an engine of the tool for as long as it holds the
// document. Throws RuntimeError "文件被别人锁定" when another program holds the
// document (its lock file, or Word's owner file "~$NAME"); a lock that a killed
// run of the tool left is taken over. Where no lock file can be made (a folder
// the user may not write), the document is held without one: it cannot be
// saved there either. Documents opened twice in one process share one lock.
class DocumentLock final
{
public:
    explicit DocumentLock(const QString& document);
    ~DocumentLock();
    DocumentLock(const DocumentLock&) = delete;
    DocumentLock& operator=(const DocumentLock&) = delete;

private:
    QString m_lockFile; // empty when the document is held without one
};

// A lock file that a run of the tool's own engine made and that no running process holds.
bool isStaleLock(const QString& lockFile);

// Removes what saves of ended runs left in folder: the tool's own result files
// (".~NAME.XXXXXX.EXT", libzip's ".~NAME.XXXXXX.EXT.YYYYYY", and the same
// without EXT as earlier versions named them), owned by the user, made before this run began, held open by no
// process and beside no live lock; and lock files of the tool's engine that no running process holds. Once
// per folder and process; never in a dry run.
void removeLeftovers(const QString& folder);

#ifdef Q_OS_LINUX
// Whether any process of this machine holds the file open (from /proc).
bool heldOpen(const QString& path);
#endif

// For tests: the next result placed is spoilt before its check, as a faulty
// writer would spoil it.
void breakNextResult();

} // namespace SafeReplace

#include "app/RuntimeError.h"
#include "filejobs/BatchDelete.h"
#include "filejobs/BatchRename.h"
#include "filejobs/FileOps.h"
#include "filejobs/NewName.h"
#include "jobs/JobTable.h"
#include "support/CliRun.h"
#include "support/MemoryJobHost.h"
#include "support/MemoryJobInputs.h"
#include "support/TestFiles.h"

#include <QScopeGuard>
#include <QTemporaryDir>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// The rename and delete jobs on real files in a temporary folder, by themselves and
// through yanhe-cli. The machine that runs these may run them as root, whom read-only
// files and folders do not stop: the jobs must refuse them all the same.
using namespace filejobs;

namespace {

bool entryExists(const QString& path)
{
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink();
}

// The error a call throws, as its number and description; empty when it throws none.
QString refusal(const std::function<void()>& call)
{
    try {
        call();
    } catch (const RuntimeError& error) {
        return QStringLiteral("%1 %2").arg(error.number()).arg(error.description());
    }
    return {};
}

const std::function<BatchDelete::Inputs()> kUnlocked = [] { return BatchDelete::Inputs{true}; };

QStringList rowPaths(const MemoryJobHost& host)
{
    QStringList paths;
    for (const MemoryJobHost::Row& row : host.rows)
        paths << row.path;
    return paths;
}

#ifdef Q_OS_WIN
std::wstring native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

bool setAttribute(const QString& path, DWORD attribute)
{
    const DWORD bits = GetFileAttributesW(native(path).c_str());
    return bits != INVALID_FILE_ATTRIBUTES && SetFileAttributesW(native(path).c_str(), bits | attribute);
}

// A file open as a program that edits it holds it: others may read it, not write,
// rename or delete it, until the handle is closed.
using HeldOpen = std::unique_ptr<void, decltype(&CloseHandle)>;
HeldOpen holdOpen(const QString& path)
{
    return {CreateFileW(native(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
            &CloseHandle};
}
#endif

// Hidden as the platform hides a file: POSIX by the "." its name begins with (every
// hidden name here has one), Windows by its attribute.
void hide(const QString& path)
{
#ifdef Q_OS_WIN
    QVERIFY(setAttribute(path, FILE_ATTRIBUTE_HIDDEN));
#else
    QVERIFY(QFileInfo(path).fileName().startsWith('.'));
#endif
}

const QFileDevice::Permissions kReadOnlyFolder =
    QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup;
const QFileDevice::Permissions kWritableFolder = kReadOnlyFolder | QFileDevice::WriteOwner;

} // namespace

class TestFileJobs : public QObject
{
    Q_OBJECT
private slots:
    void newNameAndExampleLabels();
    void renamesTickedFilesInTheirFolder();
    void refusedRenames();
    void deletes();
    void commandLines();

private:
    CliRun cli(const QStringList& arguments) { return CliRun::of(arguments, m_app.path()); }
    // The journal's messages, without the time in front, in the system's code page (on a Chinese Windows,
    // 936).
    QStringList journal()
    {
        static const QRegularExpression time("^.*?\\d:\\d\\d ", QRegularExpression::MultilineOption);
        return CliRun::journal(m_app.path()).remove(time).split("\r\n", Qt::SkipEmptyParts);
    }

    QTemporaryDir m_app;
};

// The new names of a file at positions 0 to 5; "!" where the rule gives none, and says why.
QStringList newNames(const QString& name, const QString& text, const QString& step)
{
    QStringList names;
    for (int position = 0; position < 6; ++position) {
        try {
            names << GetNewName(name, {text, step, position});
        } catch (const RuntimeError& error) {
            names << (error.description().isEmpty() ? "?" : "!");
        }
    }
    return names;
}

void TestFileJobs::newNameAndExampleLabels()
{
    QCOMPARE(newNames("报告.doc", "新", "1"),
             (QStringList{"新1.doc", "报告.新1", "新报告.doc", "报告新1.doc", "报告.新1doc", "报告.doc新1"}));
    // No dot: the whole name is the prefix; position 4 has no place to go.
    QCOMPARE(newNames("README", "x", "2"),
             (QStringList{"x2", "READMEx2", "xREADME", "READMEx2", "!", "READMEx2"}));
    // The last dot splits; a leading dot leaves an empty prefix, a trailing one an empty suffix.
    QCOMPARE(newNames("a.b.c", "新", "1"),
             (QStringList{"新1.c", "a.b.新1", "新a.b.c", "a.b新1.c", "a.b.新1c", "a.b.c新1"}));
    QCOMPARE(newNames(".cfg", "新", "1"),
             (QStringList{"新1.cfg", ".新1", "新.cfg", "新1.cfg", ".新1cfg", ".cfg新1"}));
    QCOMPARE(newNames("abc.", "新", "1"),
             (QStringList{"新1.", "abc.新1", "新abc.", "abc新1.", "abc.新1", "abc.新1"}));
    // The text: blanks around it dropped, inner ones kept; empty at position 2 keeps the name.
    QCOMPARE(newNames("报告.doc", "  新 文  ", "1").at(0), QString("新 文1.doc"));
    QCOMPARE(newNames("报告.doc", "", "1").mid(0, 3), (QStringList{"1.doc", "报告.1", "报告.doc"}));
    // The increment in plain decimal, the smallest included.
    for (const auto& [step, number] : QList<QPair<QString, QString>>{
             {"007", "7"}, {"-2", "-2"}, {"+3", "3"}, {"2.5", "2"}, {"-0.4", "0"}, {"-32768", "-32768"}})
        QCOMPARE(newNames("报告.doc", "新", step).at(5), "报告.doc新" + number);
    // An increment that is no 16-bit whole number gives no name, except at position 2, which has none.
    for (const QString step : {"", "abc", "32768", "-"})
        QCOMPARE(newNames("报告.doc", "新", step), (QStringList{"!", "!", "新报告.doc", "!", "!", "!"}));

    // The 示例 frame: fixed captions until the first edit, then both example names
    // through GetNewName, and a note rather than a stale name while the increment
    // is half typed.
    QCOMPARE(exampleSources(), (QStringList{"ple.gif", "el.gif"}));
    QCOMPARE(initialExampleTargets(), (QStringList{"1.gif", "2.gif"}));
    const auto targets = [](const NameRule& rule) {
        QStringList list;
        for (const QString& source : exampleSources())
            list << exampleTarget(source, rule);
        return list;
    };
    QCOMPARE(targets({"新", "1", 0}), (QStringList{"新1.gif", "新1.gif"}));
    QCOMPARE(targets({"新", "1", 4}), (QStringList{"ple.新1gif", "el.新1gif"}));
    QCOMPARE(targets({"", "1", 2}), (QStringList{"ple.gif", "el.gif"}));
    QCOMPARE(targets({"新", "-", 3}), (QStringList{"（增量须为整数）", "（增量须为整数）"}));
    QCOMPARE(targets({"新", "-", 2}), (QStringList{"新ple.gif", "新el.gif"}));
}

void TestFileJobs::renamesTickedFilesInTheirFolder()
{
    QTemporaryDir dir;
    const QString report = dir.filePath("报告.doc"), b = dir.filePath("b.doc"), c = dir.filePath("c.txt"),
                  a = dir.filePath("a.doc");
    for (const auto& [file, content] : {std::pair(report, "A"), {b, "B"}, {c, "C"}, {a, "a"}})
        writeFile(file, content);
    writeFile(dir.filePath("a新7.doc"), "taken");
    MemoryJobHost host({report, c, b, a}, {0, 2, 3});
    host.log << "上一个任务的行"; // the rename job keeps what the box holds
    const Batch::Result result = BatchRename::RenameFiles(host, [] { return NameRule{" 新 ", "007", 3}; });

    QCOMPARE(result.total, 3);
    QCOMPARE(result.failures, 1);
    // A box with the bare file name per file, no icon, no title; an information box where
    // the new name is taken by a file the existence test sees, which keeps its name.
    QCOMPARE(host.messages,
             (QStringList{"报告.doc||0", "b.doc||0", "a.doc||0", a + " 文件存在|系统提示！|1"}));
    const QStringList lines{report + " 已改名为 报告新7.doc", b + " 已改名为 b新7.doc"};
    QCOMPARE(host.log, QStringList{"上一个任务的行"} + lines);
    QCOMPARE(host.journalLines, lines);
    QCOMPARE(host.recollections, 1);
    QCOMPARE(bytes(dir.filePath("报告新7.doc")), QByteArray("A"));
    QCOMPARE(bytes(dir.filePath("b新7.doc")), QByteArray("B"));
    QVERIFY(!entryExists(report));
    QVERIFY(!entryExists(b));
    QCOMPARE(bytes(c), QByteArray("C")); // not ticked
    QCOMPARE(bytes(a), QByteArray("a"));
    QCOMPARE(bytes(dir.filePath("a新7.doc")), QByteArray("taken"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 5);
}

void TestFileJobs::refusedRenames()
{
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QString::fromUtf8(name)); };

    // A file that appears after the existence test: the rename call refuses it.
    writeFile(path("late.doc"), "L");
    writeFile(path("target.doc"), "T");
    QCOMPARE(refusal([&] { FileOps::renameFile(path("late.doc"), path("target.doc")); }),
             QString("%1 已有同名的文件或文件夹：target.doc").arg(RuntimeError::FileAlreadyExists));
    QCOMPARE(bytes(path("late.doc")), QByteArray("L"));
    QCOMPARE(bytes(path("target.doc")), QByteArray("T"));

    // Taken where the existence test does not look: a hidden file, a folder, a dangling link. The
    // rename itself refuses, and the file is reported.
    writeFile(path(".x.doc"), "hidden");
    hide(path(".x.doc"));
    writeFile(path("夹1.doc/inside.txt"), "I");
#ifdef Q_OS_WIN
    // Wine makes no symbolic links; what its listing passes over is a system file.
    writeFile(path("链1.doc"), "S");
    QVERIFY(setAttribute(path("链1.doc"), FILE_ATTRIBUTE_SYSTEM));
#else
    QVERIFY(QFile::link(path("nowhere"), path("链1.doc")));
#endif
    // Files that stay as they are; missing.doc is missing.
    for (const char* name : {"x.doc", "d.doc", "e.doc", "s.doc", "n.doc", "noDot"})
        writeFile(path(name), "F");
    QVERIFY(QDir().mkpath(path("sub.doc")));
    QVERIFY(QDir().mkpath(path("a")));
    writeFile(path("ro/r.doc"), "R");
#ifdef Q_OS_WIN
    // A read-only folder on Windows still takes renames; what refuses one there is a
    // program holding the file open.
    HeldOpen held = holdOpen(path("ro/r.doc"));
    QVERIFY(held.get() != INVALID_HANDLE_VALUE);
    const QString refused = " 改名失败，未修改：文件正在使用";
#else
    QVERIFY(QFile::setPermissions(path("ro"), kReadOnlyFolder));
    const QString refused = " 改名失败，未修改：所在文件夹是只读的";
#endif
    const QString failed = " 改名失败，未修改：";
    QStringList rows{path("x.doc"),   path("d.doc"),    path("e.doc"), path("missing.doc"),
                     path("sub.doc"), path("ro/r.doc"), path("noDot")};
    QStringList lines{
        path("x.doc") + failed + "已有同名的文件或文件夹：.x.doc",
        path("d.doc") + failed + "已有同名的文件或文件夹：夹1.doc",
        path("e.doc") + failed + "已有同名的文件或文件夹：链1.doc",
        path("missing.doc") + failed + "文件不存在",
        path("sub.doc") + failed + "这是文件夹",
        path("ro/r.doc") + refused,
        path("noDot") + failed + "文件名没有后缀，无法插入到后缀的前面",
    };
#ifndef Q_OS_WIN // Wine makes no symbolic links
    QVERIFY(QFile::link(path("target.doc"), path("l.doc")));
    rows << path("l.doc");
    lines << path("l.doc") + " 已改名为 l.新1doc";
#endif
    // A text that would move the file into another folder, an increment that is no 16-bit whole
    // number: the file gets its line, nothing moves, the run goes on.
    writeFile(path("g.doc"), "G");
    rows << path("s.doc") << path("n.doc") << path("g.doc");
    lines << path("s.doc") + failed + "新文件名含有文件名中不允许的字符“/”"
          << path("n.doc") + failed + "增量“40000”不是 -32768 到 32767 之间的整数"
          << path("g.doc") + " 已改名为 g.新1doc";

    // COM1.doc: on Windows the serial port, whatever the extension, so no name for a file there.
    writeFile(path("dev.doc"), "D");
    rows << path("dev.doc");
#ifdef Q_OS_WIN
    lines << path("dev.doc") + failed + "新文件名无效：COM1.doc";
#else
    lines << path("dev.doc") + " 已改名为 COM1.doc";
#endif

    // Each file's rule by its name, which the name box shows as the file is begun.
    const QHash<QString, NameRule> rules{{"x.doc", {".", "1", 2}},      {"d.doc", {"夹", "1", 0}},
                                         {"e.doc", {"链", "1", 0}},     {"s.doc", {"a/", "1", 2}},
                                         {"n.doc", {"新", "40000", 0}}, {"dev.doc", {"COM", "1", 0}}};
    MemoryJobHost host(rows);
    const Batch::Result result = BatchRename::RenameFiles(host, [&] {
        return rules.value(host.messages.last().section('|', 0, 0), NameRule{"新", "1", 4});
    });
#ifdef Q_OS_WIN
    held.reset();
#else
    QVERIFY(QFile::setPermissions(path("ro"), kWritableFolder));
#endif

    QCOMPARE(host.log, lines);
    QCOMPARE(host.journalLines.mid(0, 3), host.log.mid(0, 3));
    QCOMPARE(host.journalLines.size(), rows.size());
    QCOMPARE(host.messages.size(), rows.size()); // the name boxes only
    QCOMPARE(result.total, int(rows.size()));
    QCOMPARE(result.failures, int(lines.filter(failed).size()));
    QCOMPARE(host.recollections, 1);
    // Nothing renamed: the list is collected again all the same.
    MemoryJobHost none({path("missing.doc")});
    BatchRename::RenameFiles(none, [] { return NameRule{"新", "1", 4}; });
    QCOMPARE(none.recollections, 1);
    for (const char* name : {"x.doc", "d.doc", "e.doc", "s.doc", "n.doc", "noDot"})
        QCOMPARE(bytes(path(name)), QByteArray("F"));
    QCOMPARE(bytes(path(".x.doc")), QByteArray("hidden"));
    QCOMPARE(bytes(path("夹1.doc/inside.txt")), QByteArray("I"));
    QVERIFY(QFileInfo(path("sub.doc")).isDir());
    QVERIFY(QDir(path("a")).isEmpty());
    QCOMPARE(bytes(path("ro/r.doc")), QByteArray("R"));
    QCOMPARE(bytes(path("target.doc")), QByteArray("T"));
    QCOMPARE(bytes(path("g.新1doc")), QByteArray("G"));
#ifdef Q_OS_WIN
    QCOMPARE(bytes(path("链1.doc")), QByteArray("S"));
    QCOMPARE(bytes(path("dev.doc")), QByteArray("D"));
    // Windows drops trailing dots and blanks: the file would not get the name its line gives.
    for (const QString name : {"a.doc.", "a.doc ", "lpt9 .txt", "nul"})
        QVERIFY(refusal([&] { FileOps::checkName(name); }).endsWith(" 新文件名无效：" + name));
    QCOMPARE(refusal([] { FileOps::checkName("COM10.doc"); }), QString());
#else
    QCOMPARE(QFileInfo(path("链1.doc")).symLinkTarget(), path("nowhere"));
    // A link is renamed as the link; its target keeps its name.
    QCOMPARE(QFileInfo(path("l.新1doc")).symLinkTarget(), path("target.doc"));
    QCOMPARE(bytes(path("COM1.doc")), QByteArray("D"));
#endif
}

void TestFileJobs::deletes()
{
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
    QStringList files;
    for (int i = 0; i < 5; ++i) {
        files << dir.filePath(QString("f%1.doc").arg(i));
        writeFile(files.last(), "x");
    }
    const QString hidden = path(".h.doc");
    writeFile(hidden, "h");
    hide(hidden);
    const QString gone = path("gone.doc");
    // Read-only as the platform has it: the owner's write bit, the read-only attribute.
    writeFile(path("ro.doc"), "R");
    QVERIFY(QFile::setPermissions(path("ro.doc"), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    writeFile(path("rodir/x.doc"), "X");
    writeFile(path("target.doc"), "T");
    writeFile(path("sub/keep.doc"), "K");
    QVERIFY(QDir().mkpath(path("folder.doc")));
#ifdef Q_OS_WIN
    // A read-only folder on Windows still lets its files go, and Wine makes no symbolic
    // links: a file held open and a system file are what stay there.
    HeldOpen held = holdOpen(path("rodir/x.doc"));
    QVERIFY(held.get() != INVALID_HANDLE_VALUE);
    writeFile(path("system.doc"), "S");
    QVERIFY(setAttribute(path("system.doc"), FILE_ATTRIBUTE_SYSTEM));
    const QStringList rows{path("ro.doc"), path("rodir/x.doc"), path("folder.doc"), path("system.doc")};
    QStringList lines{
        path("system.doc") + " 删除失败，未修改：这是系统文件，不是普通文件",
        path("folder.doc") + " 删除失败，未修改：这是文件夹",
        path("rodir/x.doc") + " 删除失败，未修改：文件正在使用",
        path("ro.doc") + " 删除失败，未修改：文件是只读的",
    };
#else
    QVERIFY(QFile::setPermissions(path("rodir"), kReadOnlyFolder));
    const auto writable = qScopeGuard([&] { QFile::setPermissions(path("rodir"), kWritableFolder); });
    QVERIFY(QFile::link(path("target.doc"), path("link.doc")));
    QVERIFY(QFile::link(path("sub"), path("dirlink.doc")));
    QVERIFY(QFile::link(path("nowhere"), path("dangling.doc")));
    const QStringList rows{path("ro.doc"),      path("rodir/x.doc"), path("link.doc"),
                           path("dirlink.doc"), path("folder.doc"),  path("dangling.doc")};
    // A link to a file goes as the link; a link to a folder, a folder and a
    // dangling link are not files the test sees; read-only ones are refused.
    QStringList lines{
        path("dangling.doc") + " 删除失败，未修改：这是系统文件，不是普通文件",
        path("folder.doc") + " 删除失败，未修改：这是文件夹",
        path("dirlink.doc") + " 删除失败，未修改：这是文件夹",
        path("link.doc") + " 已删除文件",
        path("rodir/x.doc") + " 删除失败，未修改：所在文件夹是只读的",
        path("ro.doc") + " 删除失败，未修改：文件是只读的",
    };
#endif
    QList<int> ticked{1, 3, 5, 6};
    for (int i = 0; i < rows.size(); ++i)
        ticked << 7 + i;
    MemoryJobHost host(files + QStringList{hidden, gone} + rows, ticked);

    const Batch::Result result = BatchDelete::DeleteFiles(host, kUnlocked);
    // Every ticked file has its line, from the last row up; those that stay say why.
    lines << gone + " 删除失败，未修改：文件不存在" << hidden + " 删除失败，未修改：这是隐藏文件"
          << files.at(3) + " 已删除文件" << files.at(1) + " 已删除文件";
    const QStringList refusals = lines.filter(" 删除失败，未修改：");
    QCOMPARE(host.log, lines);
    QStringList journal = lines;
#ifdef Q_OS_WIN
    // The journal also keeps the system's number for a file in use.
    journal[journal.indexOf(path("rodir/x.doc") + " 删除失败，未修改：文件正在使用")] +=
        "（Windows 错误 32）";
#endif
    QCOMPARE(host.journalLines, journal);
    // Only the deleted files' rows go; the others stay ticked.
    QStringList kept = rows;
    kept.removeAll(path("link.doc"));
    QCOMPARE(rowPaths(host), QStringList({files.at(0), files.at(2), files.at(4), hidden, gone}) + kept);
    QVERIFY(host.rows.at(3).checked && host.rows.at(4).checked && host.rows.last().checked);
    QVERIFY(!host.rows.at(0).checked);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(entryExists(files.at(i)), i % 2 == 0);
    QCOMPARE(result.total, 4 + int(rows.size()));
    QCOMPARE(result.failures, int(refusals.size()));
    QCOMPARE(host.messages.size(), 0);
    QCOMPARE(host.recollections, 0);

    // Again: only the rows whose files were not deleted, and they stay, with their lines again.
    host.log.clear();
    BatchDelete::DeleteFiles(host, kUnlocked);
    QCOMPARE(host.log, refusals);
    QCOMPARE(host.rows.size(), 5 + kept.size());
    QCOMPARE(bytes(hidden), QByteArray("h"));
    QCOMPARE(bytes(path("target.doc")), QByteArray("T"));
    QCOMPARE(bytes(path("ro.doc")), QByteArray("R"));
    QCOMPARE(bytes(path("rodir/x.doc")), QByteArray("X"));
    QCOMPARE(bytes(path("sub/keep.doc")), QByteArray("K"));
    QVERIFY(QFileInfo(path("folder.doc")).isDir());
#ifdef Q_OS_WIN
    QCOMPARE(bytes(path("system.doc")), QByteArray("S"));
#else
    QVERIFY(!entryExists(path("link.doc")));
    QVERIFY(QFileInfo(path("dirlink.doc")).isSymLink());
    QVERIFY(QFileInfo(path("dangling.doc")).isSymLink());
#endif

    // Asked to stop before a file: nothing more goes, and the line counts the ticked rows left.
    MemoryJobHost stopped({files.at(0), files.at(2), files.at(4)}, {0, 2});
    stopped.stop = true;
    QVERIFY(BatchDelete::DeleteFiles(stopped, kUnlocked).stopped);
    QCOMPARE(stopped.log, QStringList{" 用户停止，未处理 2 个文件"});
    QCOMPARE(stopped.rows.size(), 3);
    for (int i : {0, 2, 4})
        QVERIFY(entryExists(files.at(i)));

    // A path that became a folder after the test is never deleted.
    QVERIFY(refusal([&] { FileOps::deleteFile(path("folder.doc")); }).endsWith(" 这是文件夹"));
    QVERIFY(QFileInfo(path("folder.doc")).isDir());
}

// The rename and delete commands fill the jobs' inputs from their options, and a
// worker rebuilds the same inputs from the rows' fields. Through yanhe-cli, paths
// as the user gives them, with the platform's separators, name the files in the lines.
void TestFileJobs::commandLines()
{
    QCOMPARE(described("rename", {}), (QStringList{"step=1", "position=0"}));
    QCOMPARE(described("rename", {{"text", " 新 "}, {"step", "-3"}, {"position", "5"}}),
             (QStringList{"text= 新 ", "step=-3", "position=5"}));
    QCOMPARE(described("rename", {{"position", "6"}}).last(),
             QString("error: unknown position \"6\" (0, 1, 2, 3, 4, 5)"));
    QCOMPARE(described("delete", {}),
             QStringList{"error: delete deletes nothing without --unlock: files deleted cannot be restored"});
    QCOMPARE(described("delete", {{"unlock", ""}}), QStringList{"unlock"});

    QTemporaryDir dir;
    const QString a = QDir::toNativeSeparators(dir.filePath("甲.doc"));
    const QString b = QDir::toNativeSeparators(dir.filePath("乙.doc"));
    const QString hidden = QDir::toNativeSeparators(dir.filePath(".b.doc"));
    writeFile(a, "A");
    writeFile(b, "B");
    writeFile(hidden, "H");
    hide(hidden);

    // The second file finds the first one's new name taken; no name boxes are printed.
    CliRun run = cli({"rename", "--text", "新", "--step", "-2", "--position", "0", a, b});
    QCOMPARE(run.out, (QStringList{a + " 已改名为 新-2.doc", b + " 文件存在"}));
    QCOMPARE(run.code, 1);
    QVERIFY(run.err.isEmpty());
    QCOMPARE(bytes(dir.filePath("新-2.doc")), QByteArray("A"));
    QCOMPARE(bytes(b), QByteArray("B"));
    QCOMPARE(journal(), QStringList{a + " 已改名为 新-2.doc"});

    run = cli({"rename", "--text", "新", "--position", "5", b});
    QCOMPARE(run.out, QStringList{b + " 已改名为 乙.doc新1"});
    QCOMPARE(run.code, 0);

    const QString plain = QDir::toNativeSeparators(dir.filePath("乙.doc新1"));
    run = cli({"delete", plain});
    QCOMPARE(run.code, 2);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err.count('\n'), 0);
    QVERIFY2(run.err.startsWith("yanhe-cli: ") && run.err.contains("--unlock"), qPrintable(run.err));
    QCOMPARE(bytes(plain), QByteArray("B"));

    // A file left (here a hidden one) has its line and makes the exit code 1; the lines go to the journal.
    run = cli({"delete", "--unlock", plain, hidden});
    const QStringList lines{hidden + " 删除失败，未修改：这是隐藏文件", plain + " 已删除文件"};
    QCOMPARE(run.out, lines);
    QCOMPARE(run.code, 1);
    QVERIFY(!QFileInfo::exists(plain));
    QCOMPARE(bytes(hidden), QByteArray("H"));
    QCOMPARE(journal().mid(2), lines);
}

QTEST_GUILESS_MAIN(TestFileJobs)
#include "tst_filejobs.moc"

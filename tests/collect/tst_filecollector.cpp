#include "collect/CollectView.h"
#include "collect/FileAttributes.h"
#include "collect/FileCollector.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <functional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const int kDefaultMask = FileAttributes::Directory | FileAttributes::Normal | FileAttributes::ReadOnly;

// The window in memory: its list, status line and caption, and the collector behind them.
class Window final : public CollectView
{
public:
    explicit Window(bool recursive = false, int maxRows = FileCollector::kMaxRows)
        : collector(*this, maxRows)
    {
        collector.SubfolderSwitch = recursive ? "KAI" : "GUAN";
    }

    FileCollector collector;
    int mask = kDefaultMask;
    QStringList rows;
    QStringList statuses;
    QString caption;
    int selectAllShown = 0;
    QList<bool> documentCommands;
    QList<bool> workbookCommands;
    QStringList unusable;
    std::function<void()> onYield = [] {};

    void reportUnusableName(const QString& path) override { unusable << path; }
    int attributeMask() const override { return mask; }
    void clearRows() override { rows.clear(); }
    int rowCount() const override { return int(rows.size()); }
    void addRow(const QString& path) override { rows << path; }
    void setStatus(const QString& text) override { statuses << text; }
    void setCountCaption(const QString& text) override { caption = text; }
    void showSelectAll() override { ++selectAllShown; }
    void setDocumentCommandsEnabled(bool on) override { documentCommands << on; }
    void setWorkbookCommandsEnabled(bool on) override { workbookCommands << on; }
    void yield() override { onYield(); }
};

// A folder tree made from relative paths; a path ending in "/" is a folder.
class Tree
{
public:
    explicit Tree(const QStringList& paths)
    {
        for (const QString& path : paths) {
            if (path.endsWith('/'))
                QDir().mkpath(m_dir.filePath(path));
            else
                writeFile(m_dir.filePath(path), {});
        }
    }
    // Native full path of a relative one; the root for an empty one.
    QString path(const QString& relative = QString()) const
    {
        return QDir::toNativeSeparators(relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative));
    }
    QStringList paths(const QStringList& relatives) const
    {
        QStringList full;
        for (const QString& relative : relatives)
            full << path(relative);
        return full;
    }

private:
    QTemporaryDir m_dir;
};

QStringList collect(const QString& folder, const QStringList& patterns, bool recursive,
                    int mask = kDefaultMask)
{
    Window window(recursive);
    window.mask = mask;
    for (const QString& pattern : patterns)
        window.collector.search(folder, pattern);
    return window.rows;
}

// The option buttons: Word documents, workbooks, the delete tab with its pattern box.
CollectOptions options(bool word, bool workbooks = false, bool deleteTab = false,
                       const QString& deletePatterns = {})
{
    CollectOptions options;
    options.word = word;
    options.workbooks = workbooks;
    options.deleteTab = deleteTab;
    options.deletePatterns = deletePatterns;
    return options;
}
const CollectOptions kWord = options(true);

} // namespace

class TestFileCollector : public QObject
{
    Q_OBJECT
private slots:
    void patternsByExtensionOnly();
    void attributes();
    void depthFirstAndTheFullList();
    void optionsPickPatternsAndFolders();
    void clickPairs();
    void linksAndNamesThatAreNotText();
};

void TestFileCollector::patternsByExtensionOnly()
{
    QCOMPARE(FileCollector::GetExtName("name."), QString());

    const Tree tree({"dir.v2/X.DOC", "dir.v2/x.docx", "dir.v2/report.doc.bak", "dir.v2/a.doc", "dir.v2/plain",
                     "dir.v2/b.txt"});
    // "*.*" and "*" ask for the extension "*", which no file has; only the extension counts, the part
    // before the last "." is ignored; a name without "." takes its extension from the folder part.
    const QList<std::pair<QString, QStringList>> cases{
        {"*.doc", {"dir.v2/a.doc", "dir.v2/X.DOC"}},
        {"*.docx", {"dir.v2/x.docx"}},
        {"*.*", {}},
        {"*", {}},
        {"anything.TXT", {"dir.v2/b.txt"}},
        {"*.V2" + QString(QDir::separator()) + "PLAIN", {"dir.v2/plain"}}};
    for (const auto& [pattern, found] : cases)
        QCOMPARE(collect(tree.path("dir.v2"), {pattern}, false), tree.paths(found));

    QCOMPARE(FileCollector::splitPatterns("*.doc,"), (QStringList{"*.doc", ""}));
    QCOMPARE(FileCollector::splitPatterns(" *.doc, *.docx "), (QStringList{" *.doc", " *.docx "}));
    QVERIFY(FileCollector::splitPatterns("").isEmpty());

    const Tree flat({"b.doc", "a.txt", "c.docx"});
    // The empty piece collects every file; a trailing blank matches nothing.
    QCOMPARE(collect(flat.path(), FileCollector::splitPatterns("*.doc,"), false),
             flat.paths({"b.doc", "a.txt", "b.doc", "c.docx"}));
    QVERIFY(collect(flat.path(), {"*.docx "}, false).isEmpty());

    // An empty pattern box collects nothing and counts 0.
    Window window;
    window.collector.Dir1_Click(flat.path(), flat.path(), options(false, false, true));
    QVERIFY(window.rows.isEmpty());
    QCOMPARE(window.caption, QString("收集到的文件 0条记录。"));
}

void TestFileCollector::attributes()
{
    using namespace FileAttributes;
    // Normal and read-only entries always come; hidden, system and folders only when asked for, an entry
    // with two of these only when both are (the tree below shows one at a time).
    QVERIFY(!listingReturns(Hidden | ReadOnly, Directory | ReadOnly));
    QVERIFY(listingReturns(Hidden | ReadOnly, Directory | Hidden));
    QVERIFY(!listingReturns(Directory, ReadOnly | Hidden | System));
    QVERIFY(!listingReturns(System | Hidden, Directory | System));

    const Tree tree({"a.doc", ".h.doc", ".hid/b.doc", "sub/c.doc", "ro.doc"});
    QVERIFY(QFile::setPermissions(tree.path("ro.doc"), QFile::ReadOwner));
    QList<std::tuple<QString, int, bool>> entries{{"a.doc", Normal, true},
                                                  {"ro.doc", ReadOnly, true},
                                                  {"sub", Directory, false},
                                                  {"gone.doc", -1, false}};
#ifdef Q_OS_UNIX
    QVERIFY(::mkfifo(QFile::encodeName(tree.path("p.doc")).constData(), 0600) == 0);
    QVERIFY(QFile::link(tree.path("nowhere"), tree.path("dangling")));
    entries << std::tuple(".h.doc", Hidden, false) << std::tuple("p.doc", System, false)
            << std::tuple("dangling", System, false);
#endif
    for (const auto& [name, attribute, found] : entries) {
        QCOMPARE(of(tree.path(name)), attribute);
        QCOMPARE(plainListingFindsFile(tree.path(name)), found);
    }

    // No box ticked: no listing at all, not even of sub-folders.
    QVERIFY(collect(tree.path(), {"*.doc"}, true, -1).isEmpty());
    // Normal and read-only: hidden and system entries, and hidden folders, stay out.
    QCOMPARE(collect(tree.path(), {"*.doc"}, true), tree.paths({"a.doc", "ro.doc", "sub/c.doc"}));
    // Read-only never excludes: "隐藏" alone still gives the plain files.
    QCOMPARE(collect(tree.path(), {"*.doc"}, true, Directory | Hidden),
             tree.paths({".h.doc", "a.doc", "ro.doc", ".hid/b.doc", "sub/c.doc"}));
#ifdef Q_OS_UNIX
    QCOMPARE(collect(tree.path(), {"*.doc"}, false, Directory | System),
             tree.paths({"a.doc", "p.doc", "ro.doc"}));
#endif
}

void TestFileCollector::depthFirstAndTheFullList()
{
    const Tree tree(
        {"a.doc", "a.docx", "sub1/b.doc", "sub1/deep/c.doc", "sub2/d.docx", "Sub0/e.doc", "empty/"});
    // Every .doc of the tree before the first .docx; sub-folders in name order, depth first.
    QCOMPARE(collect(tree.path(), {"*.doc", "*.docx"}, true),
             tree.paths({"a.doc", "Sub0/e.doc", "sub1/b.doc", "sub1/deep/c.doc", "a.docx", "sub2/d.docx"}));
    QCOMPARE(collect(tree.path(), {"*.doc", "*.docx"}, false), tree.paths({"a.doc", "a.docx"}));

    // The status line names the folder of each file and each sub-folder entered.
    Window window(true);
    window.collector.search(tree.path("sub1"), "*.doc");
    const QString sep = QDir::separator();
    QCOMPARE(window.statuses, (QStringList{tree.path("sub1") + sep, tree.path("sub1") + sep + "deep",
                                           tree.path("sub1/deep") + sep}));

    // A list of at most 4 rows stops collecting when full.
    const Tree full({"1.doc", "2.doc", "3.doc", "sub/4.doc", "sub/5.doc", "6.docx"});
    Window fullView(true, 4);
    fullView.collector.Dir1_Click(full.path(), full.path(), kWord);
    QCOMPARE(fullView.rows, full.paths({"1.doc", "2.doc", "3.doc", "sub/4.doc"}));
    QCOMPARE(fullView.statuses.last(), QString("列表已满（最多 4 条记录），其余文件未收集。"));
    QCOMPARE(fullView.caption, QString("收集到的文件 4条记录。"));

    // A new collection starts empty again.
    const Tree small({"x.doc"});
    fullView.collector.Dir1_Click(small.path(), small.path(), kWord);
    QCOMPARE(fullView.rows, small.paths({"x.doc"}));
}

void TestFileCollector::optionsPickPatternsAndFolders()
{
    const Tree tree({"top.doc", "pick/a.doc", "pick/b.xls", "pick/c.xlsx", "pick/d.txt"});
    Window view;
    FileCollector& collector = view.collector;

    // Word: the open folder, not the clicked row; Check2 shown; commands follow the result.
    collector.Dir1_Click(tree.path("pick"), tree.path(), kWord);
    QCOMPARE(view.rows, tree.paths({"top.doc"}));
    QCOMPARE(view.selectAllShown, 1);
    QCOMPARE(view.caption, QString("收集到的文件 1条记录。"));

    // Workbooks: the clicked row.
    collector.Dir1_Click(tree.path("pick"), tree.path(), options(false, true)); // second of a pair
    QCOMPARE(view.rows, tree.paths({"pick/b.xls", "pick/c.xlsx"}));
    QCOMPARE(view.workbookCommands, QList<bool>{true});

    // Word and delete options together: the delete step clears what the Word step found.
    collector.Dir1_Click(tree.path("pick"), tree.path("pick"), options(true, false, true, "*.txt"));
    QCOMPARE(view.rows, tree.paths({"pick/d.txt"}));

    // Nothing found with a Word option: the document commands go off.
    const Tree empty({"x.txt"});
    collector.Dir1_Click(empty.path(), empty.path(), kWord);
    QCOMPARE(view.documentCommands, (QList<bool>{true, false, false}));
    QCOMPARE(view.caption, QString("收集到的文件 0条记录。"));
}

void TestFileCollector::clickPairs()
{
    const Tree tree({"a.doc", "a.docx"});
    Window view;
    FileCollector& collector = view.collector;
    const QStringList both = tree.paths({"a.doc", "a.docx"});

    collector.Dir1_Click(tree.path(), tree.path(), kWord);
    QCOMPARE(view.rows, both);
    QCOMPARE(collector.ClickCount, 1);
    QVERIFY(collector.SearchEnabled);

    // The second click of the pair collects again, then asks any running collection to stop.
    collector.Dir1_Click(tree.path(), tree.path(), kWord);
    QCOMPARE(view.rows, both);
    QCOMPARE(collector.ClickCount, 0);
    QVERIFY(!collector.SearchEnabled);

    // The stop request swallows the next search call: a single click now finds only the .docx.
    collector.Dir1_Click(tree.path(), tree.path(), kWord);
    QCOMPARE(view.rows, tree.paths({"a.docx"}));
    QVERIFY(collector.SearchEnabled);
    QCOMPARE(collector.ClickCount, 1);

    // A new collector; the user clicks once on the first folder, and while it is being collected
    // clicks on the second: the second click of a pair, run from the yield.
    const Tree first({"a1.doc", "a2.doc", "a3.doc", "sub/a4.doc", "z.docx"});
    const Tree second({"b1.doc", "b2.docx"});
    Window nestedView(true);
    FileCollector& nested = nestedView.collector;

    int yields = 0;
    nestedView.onYield = [&] {
        if (++yields == 2)
            nested.Dir1_Click(second.path(), second.path(), kWord);
    };
    nested.Dir1_Click(first.path(), first.path(), kWord);

    // The interrupted collection added nothing after the nested one: no row of
    // the first folder, its sub-folder and its .docx never searched.
    QCOMPARE(nestedView.rows, second.paths({"b1.doc", "b2.docx"}));
    QCOMPARE(nestedView.caption, QString("收集到的文件 2条记录。"));
    // The pair is complete, and the interrupted click's second search consumed the stop request.
    QVERIFY(nested.SearchEnabled);
    QCOMPARE(nested.ClickCount, 0);
}

void TestFileCollector::linksAndNamesThatAreNotText()
{
#ifdef Q_OS_UNIX
    const Tree tree({"top.doc", "a/b.doc", "a/c/d.doc", "x/y.doc"});
    // A link back to an ancestor, two folders linking to each other, and a
    // second name for a folder: each folder is searched once.
    QVERIFY(QFile::link(tree.path(), tree.path("a/c/up")));
    QVERIFY(QFile::link(tree.path("x"), tree.path("a/tox")));
    QVERIFY(QFile::link(tree.path("a"), tree.path("x/toa")));
    const QStringList rows = collect(tree.path(), {"*.doc"}, true);
    QCOMPARE(rows.size(), 4);
    QCOMPARE(QSet<QString>(rows.begin(), rows.end()).size(), 4);
    QVERIFY(rows.contains(tree.path("x/y.doc")) || rows.contains(tree.path("a/tox/y.doc")));

    // A name whose bytes are not UTF-8 (a GBK name from an archive): named in one
    // line with its bytes shown, not collected; its neighbours are.
    const QByteArray gbk = QFile::encodeName(tree.path()) + "/\xb1\xa8\xb8\xe6.doc"; // 报告 in GBK
    const int fd = ::open(gbk.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    Window view;
    view.collector.search(tree.path(), "*.doc");
    QCOMPARE(view.rows, tree.paths({"top.doc"}));
    const QString shown = tree.path() + QDir::separator() + "\\xB1\\xA8\\xB8\\xE6.doc";
    QCOMPARE(view.unusable, QStringList{shown});
    ::unlink(gbk.constData()); // a name the temporary folder's clean-up cannot spell
    QCOMPARE(FileAttributes::readableName("a\xe6\x8a\xa5\xff.doc"), QString("a\u62a5\\xFF.doc"));
#else
    QSKIP("links and byte names are this platform's own");
#endif
}

QTEST_GUILESS_MAIN(TestFileCollector)
#include "tst_filecollector.moc"

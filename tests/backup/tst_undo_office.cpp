#include "support/CliRun.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

// Backups and undo of files the LibreOffice engine saves, on several office processes at once.
namespace {

const QDateTime kBefore = QDateTime::fromMSecsSinceEpoch(1577880000123);

QByteArray bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

} // namespace

class TestUndoOffice : public QObject
{
    Q_OBJECT
private slots:
    void documentsOfWorkersUndone();
};

void TestUndoOffice::documentsOfWorkersUndone()
{
    const QDir corpus(YANHE_CORPUS);
    if (!corpus.exists("doc/simple.doc") || !corpus.exists("xls"))
        QSKIP("no corpus of real documents beside the project (../shared/corpus)");
    QTemporaryDir app;
    QTemporaryDir dir;
    QStringList documents;
    for (const char* name : {"simple.doc", "test2.doc", "Lists.doc", "HeaderFooterUnicode.doc"})
        documents << dir.filePath(name);
    QStringList workbooks;
    for (const QString& name :
         QDir(corpus.filePath("xls")).entryList({"*.xls"}, QDir::Files, QDir::Name).mid(0, 3))
        workbooks << dir.filePath(name);
    QMap<QString, QByteArray> before;
    for (const QString& file : documents + workbooks) {
        const QString kind = QFileInfo(file).suffix();
        QVERIFY(QFile::copy(corpus.filePath(kind + "/" + QFileInfo(file).fileName()), file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        QFile handle(file);
        QVERIFY(handle.open(QIODevice::ReadWrite));
        QVERIFY(handle.setFileTime(kBefore, QFileDevice::FileModificationTime));
        before.insert(file, bytes(file));
    }

    // Two workers: each process of the run keeps its files in the run's one folder.
    CliRun run = CliRun::of(
        QStringList{"word-replace", "--old", "e", "--new", "E", "--scope", "headers-footers", "--jobs", "2"} +
            documents,
        app.path());
    QVERIFY2(run.out.filter(" 已替换内容").size() >= 3, qPrintable(run.out.join('\n')));
    const QStringList runs = QDir(app.filePath("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(QDir(app.filePath("backup/" + runs.first())).entryList({"files-*.jsonl"}).size(), 2);
    run = CliRun::of(QStringList{"sheet-replace", "--old", "a", "--new", "A", "--jobs", "1"} + workbooks,
                     app.path());
    QVERIFY2(run.out.filter("已替换内容").size() >= 1, qPrintable(run.out.join('\n')));

    // The last run, then the one before.
    QCOMPARE(CliRun::of({"undo"}, app.path()).code, 0);
    run = CliRun::of({"undo", runs.first()}, app.path());
    QCOMPARE(run.code, 0);
    for (const QString& file : documents + workbooks) {
        QVERIFY2(bytes(file) == before[file], qPrintable(file));
        QCOMPARE(QFileInfo(file).fileTime(QFileDevice::FileModificationTime), kBefore);
    }
    // Nothing of the tool's own left beside the files.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), before.size());

    // Workers that cannot keep a backup (a file where the backup folder should be) change no file either.
    QTemporaryDir blocked;
    QFile inTheWay(blocked.filePath("backup"));
    QVERIFY(inTheWay.open(QIODevice::WriteOnly));
    inTheWay.close();
    run = CliRun::of(QStringList{"word-replace", "--old", "e", "--new", "E", "--jobs", "2"} + documents,
                     blocked.path());
    QCOMPARE(run.code, 1);
    QVERIFY2(run.out.filter(" 保存失败，未修改：无法写入备份").size() >= 3, qPrintable(run.out.join('\n')));
    for (const QString& file : documents) {
        QVERIFY2(bytes(file) == before[file], qPrintable(file));
        QCOMPARE(QFileInfo(file).fileTime(QFileDevice::FileModificationTime), kBefore);
    }
}

QTEST_GUILESS_MAIN(TestUndoOffice)
#include "tst_undo_office.moc"

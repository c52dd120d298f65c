#include "support/FakeRunningOffice.h"
#include "word/OpenDocumentGuard.h"

#include <QTest>

using namespace OpenDocumentGuard;

namespace {

struct Run
{
    QList<QPair<QString, QString>> asked;
    QStringList journal;
    Outcome outcome{};
};

Run guard(const Kind& kind, FakeRunningOffice& office, QList<bool> answers, bool failJournal = false)
{
    Run run;
    run.outcome = OpenDocumentGuard::run(
        kind, office,
        [&](const QString& title, const QString& text) {
            run.asked.append({title, text});
            return answers.takeFirst();
        },
        [&](const QString& message) {
            if (failJournal)
                throw std::runtime_error("journal folder gone");
            run.journal << message;
        });
    return run;
}

} // namespace

class TestOpenDocumentGuard : public QObject
{
    Q_OBJECT
private slots:
    void nothingOpenAsksNothing();
    void yesEndsTheProgramOnceNoEndsTheTool();
    void excelGuardAndFailingSteps();
};

void TestOpenDocumentGuard::nothingOpenAsksNothing()
{
    FakeRunningOffice office;
    // No instance, an instance without documents, one with only empty entries; and the
    // Word guard does not look at Excel.
    QCOMPARE(guard(word(), office, {}).outcome, Outcome::Continue);
    for (const QMap<QString, QStringList>& instances : {QMap<QString, QStringList>{{"Word.Application", {}}},
                                                        {{"Word.Application", {QString(), QString()}}},
                                                        {{"Excel.Application", {"/tmp/a.xlsx"}}}}) {
        office.instances = instances;
        const Run run = guard(word(), office, {});
        QVERIFY(run.asked.isEmpty());
        QCOMPARE(run.outcome, Outcome::Continue);
    }
    QVERIFY(office.ended.isEmpty());
}

void TestOpenDocumentGuard::yesEndsTheProgramOnceNoEndsTheTool()
{
    FakeRunningOffice office;
    office.instances["Word.Application"] = {QString(), "/home/u/a.docx", "/home/u/b.doc"};
    const Run run = guard(word(), office, {true});
    QCOMPARE(run.outcome, Outcome::Continue);
    QCOMPARE(run.asked.size(), 1); // not again for the second document
    QCOMPARE(run.asked.first().first, QString("关闭确认..."));
    QCOMPARE(run.asked.first().second,
             QString("您有文档已打开，必须手动保存关闭后再执本工具\r\n点“是”直接关闭文档，点“否”退出工具"));
    QCOMPARE(office.ended, QStringList{"winword.EXE"});
    QCOMPARE(run.journal, QStringList{"关闭了打开的word文档"});

    FakeRunningOffice other;
    other.instances["Word.Application"] = {"/home/u/a.docx"};
    const Run no = guard(word(), other, {false});
    QCOMPARE(no.outcome, Outcome::EndProgram);
    QVERIFY(other.ended.isEmpty());
    QVERIFY(no.journal.isEmpty());
}

void TestOpenDocumentGuard::excelGuardAndFailingSteps()
{
    FakeRunningOffice office;
    office.instances["Excel.Application"] = {"/home/u/a.xlsx"};
    // Ending the processes and writing the journal both fail: passed over.
    office.failEnd = true;
    const Run run = guard(excel(), office, {true}, true);
    QCOMPARE(run.outcome, Outcome::Continue);
    QCOMPARE(run.asked.first().second,
             QString("您有表格已打开，必须手动保存关闭后再执本工具\r\n点“是”直接关闭文档，点“否”退出工具"));
    QCOMPARE(office.ended, QStringList{"excel.EXE"});

    const Run logged = guard(excel(), office, {true});
    QCOMPARE(logged.journal, QStringList{"关闭了打开的EXCEL文档"});

    // Attaching fails: as if nothing ran.
    office.failAttach = true;
    QVERIFY(guard(excel(), office, {}).asked.isEmpty());
}

QTEST_GUILESS_MAIN(TestOpenDocumentGuard)
#include "tst_opendocumentguard.moc"

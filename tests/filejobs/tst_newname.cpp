#include "app/RuntimeError.h"
#include "filejobs/NewName.h"

#include <QTest>

using namespace filejobs;

class TestNewName : public QObject
{
    Q_OBJECT
private slots:
    void newName_data();
    void newName();
    void exampleLabels();
};

// An expected name of "!" means the rule gives no name for the file.
void TestNewName::newName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* tag, const char* name, const char* text, const char* step, int position,
                        const char* expected) {
        QTest::newRow(tag) << QString::fromUtf8(name) << QString::fromUtf8(text) << QString::fromUtf8(step)
                           << position << QString::fromUtf8(expected);
    };
    // 报告.doc with 新 and 1 at every position.
    row("0 替换前缀", "报告.doc", "新", "1", 0, "新1.doc");
    row("1 替换后缀", "报告.doc", "新", "1", 1, "报告.新1");
    row("2 在前缀的前面", "报告.doc", "新", "1", 2, "新报告.doc");
    row("3 在前缀的后面", "报告.doc", "新", "1", 3, "报告新1.doc");
    row("4 在后缀的前面", "报告.doc", "新", "1", 4, "报告.新1doc");
    row("5 在后缀的后面", "报告.doc", "新", "1", 5, "报告.doc新1");
    // No dot: the whole name is the prefix; position 4 has no place to go.
    row("no dot 0", "README", "x", "2", 0, "x2");
    row("no dot 1", "README", "x", "2", 1, "READMEx2");
    row("no dot 2", "README", "x", "2", 2, "xREADME");
    row("no dot 3", "README", "x", "2", 3, "READMEx2");
    row("no dot 4", "README", "x", "2", 4, "!");
    row("no dot 5", "README", "x", "2", 5, "READMEx2");
    // The last dot splits; a leading dot leaves an empty prefix, a trailing one an empty suffix.
    row("two dots 0", "a.b.c", "新", "1", 0, "新1.c");
    row("two dots 3", "a.b.c", "新", "1", 3, "a.b新1.c");
    row("leading dot 0", ".cfg", "新", "1", 0, "新1.cfg");
    row("leading dot 2", ".cfg", "新", "1", 2, "新.cfg");
    row("trailing dot 1", "abc.", "新", "1", 1, "abc.新1");
    row("trailing dot 4", "abc.", "新", "1", 4, "abc.新1");
    // The text: blanks around it dropped, inner ones kept; empty at position 2 keeps the name.
    row("trimmed", "报告.doc", "  新 文  ", "1", 0, "新 文1.doc");
    row("empty text 2", "报告.doc", "", "1", 2, "报告.doc");
    row("empty text 0", "报告.doc", "", "1", 0, "1.doc");
    // The increment in plain decimal.
    row("leading zeros", "报告.doc", "新", "007", 0, "新7.doc");
    row("negative", "报告.doc", "新", "-2", 0, "新-2.doc");
    row("plus sign", "报告.doc", "新", "+3", 0, "新3.doc");
    row("half to even", "报告.doc", "新", "2.5", 0, "新2.doc");
    row("minus zero", "报告.doc", "新", "-0.4", 0, "新0.doc");
    row("smallest", "报告.doc", "新", "-32768", 5, "报告.doc新-32768");
    // An increment that is no 16-bit whole number gives no name, except at position 2, which has none.
    row("empty step", "报告.doc", "新", "", 0, "!");
    row("letters", "报告.doc", "新", "abc", 3, "!");
    row("too large", "报告.doc", "新", "32768", 1, "!");
    row("half typed", "报告.doc", "新", "-", 5, "!");
    row("bad step at 2", "报告.doc", "新", "abc", 2, "新报告.doc");
}

void TestNewName::newName()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, step);
    QFETCH(int, position);
    QFETCH(QString, expected);
    const NameRule rule{text, step, position};
    if (expected == "!") {
        try {
            const QString unexpected = GetNewName(name, rule);
            QFAIL(qPrintable("a name: " + unexpected));
        } catch (const RuntimeError& error) {
            QVERIFY(!error.description().isEmpty());
        }
        return;
    }
    QCOMPARE(GetNewName(name, rule), expected);
}

// The 示例 frame: fixed captions until the first edit, then both example names
// through GetNewName, and a note rather than a stale name while the increment
// is half typed.
void TestNewName::exampleLabels()
{
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
    const QStringList typing = targets({"新", "-", 3});
    QCOMPARE(typing, (QStringList{"（增量须为整数）", "（增量须为整数）"}));
    QCOMPARE(targets({"新", "-", 2}), (QStringList{"新ple.gif", "新el.gif"}));
}

QTEST_GUILESS_MAIN(TestNewName)
#include "tst_newname.moc"

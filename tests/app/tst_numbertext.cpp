#include "app/NumberText.h"

#include <QTest>

// The two ways a number is read from a box: the cell job's row and column
// (the leading number, rounded into 32 bits) and the rename increment (the whole
// text one number, rounded into 16 bits). No value is an invalid QVariant.
class TestNumberText : public QObject
{
    Q_OBJECT
private slots:
    void readsNumbers_data();
    void readsNumbers();
};

void TestNumberText::readsNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("cell");
    QTest::addColumn<QVariant>("step");
    const QVariant none;
    const auto row = [](const char* text, const QVariant& cell, const QVariant& step) {
        QTest::newRow(text) << QString::fromUtf8(text) << cell << step;
    };
    row("3", 3, 3);
    // Halves go to the even neighbour, both ways from zero.
    row("2.5", 2, 2);
    row("3.5", 4, 4);
    row("0.5", 0, 0);
    row("1.5", 2, 2);
    row("-2.5", -2, -2);
    row("-3.5", -4, -4);
    row("2.5000001", 3, 3);
    // Leading zeros, signs, a point at either end.
    row("007", 7, 7);
    row("+7", 7, 7);
    row("-2", -2, -2);
    row(".5", 0, 0);
    row("5.", 5, 5);
    row("1e3", 1000, 1000);
    // Blanks: ignored everywhere in a cell number, only around an increment.
    row(" 1 2 ", 12, none);
    row("\t3\n", 3, 3);
    // The cell number stops where a number cannot go on; the increment is refused.
    row("4abc", 4, none);
    row("1-2", 1, none);
    row("2.5.3", 2, none);
    row("1e", 1, none);
    row("1,5", 1, none);
    row("0x10", 0, none);
    // Nothing numeric: row or column 0, no increment.
    row("", 0, none);
    row("abc", 0, none);
    row(".", 0, none);
    row("-", 0, none);
    row("--1", 0, none);
    row("３", 0, none); // a full-width digit is not a digit here
    // The ends of 16 and 32 bits, after rounding.
    row("32767", 32767, 32767);
    row("32767.5", 32768, none);
    row("-32768.5", -32768, -32768);
    row("-32769", -32769, none);
    row("2147483646.5", 2147483646, none);
    row("2147483647.5", none, none);
    row("-2147483648.5", std::numeric_limits<qint32>::min(), none);
    row("-2147483649", none, none);
    row("99999999999", none, none);
    row("1e400", none, none);
}

void TestNumberText::readsNumbers()
{
    QFETCH(QString, text);
    QFETCH(QVariant, cell);
    QFETCH(QVariant, step);
    const std::optional<qint32> asCell = NumberText::roundToInt32(NumberText::leadingValue(text));
    QCOMPARE(asCell.has_value(), cell.isValid());
    if (asCell)
        QCOMPARE(*asCell, cell.toInt());
    const std::optional<qint16> asStep = NumberText::toInt16(text);
    QCOMPARE(asStep.has_value(), step.isValid());
    if (asStep)
        QCOMPARE(int(*asStep), step.toInt());
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"

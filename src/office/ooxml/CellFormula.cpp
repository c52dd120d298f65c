#include "CellFormula.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

namespace ooxml::cellformula {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('.') || c == QLatin1Char('$') ||
           c == QLatin1Char('\\');
}

int columnNumber(const QString& letters)
{
    int column = 0;
    for (const QChar c : letters) {
        column = column * 26 + (c.toUpper().unicode() - 'A' + 1);
        if (column > kMaxColumn)
            return 0;
    }
    return column;
}

bool allLetters(const QString& text)
{
    for (const QChar c : text) {
        if (!((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('z'))))
            return false;
    }
    return !text.isEmpty();
}

bool allDigits(const QString& text)
{
    for (const QChar c : text) {
        if (!c.isDigit())
            return false;
    }
    return !text.isEmpty();
}

// One reference token moved, or #REF! when it leaves the sheet; false when
// token is no reference.
bool shiftToken(const QString& token, bool besideColon, int rows, int columns, QString& out)
{
    static const QRegularExpression cell(QStringLiteral("^(\\$?)([A-Za-z]{1,3})(\\$?)([0-9]{1,7})$"));
    const QRegularExpressionMatch match = cell.match(token);
    if (match.hasMatch()) {
        int column = columnNumber(match.captured(2));
        int row = match.captured(4).toInt();
        if (column == 0 || row < 1 || row > kMaxRow)
            return false;
        if (match.captured(1).isEmpty())
            column += columns;
        if (match.captured(3).isEmpty())
            row += rows;
        if (column < 1 || column > kMaxColumn || row < 1 || row > kMaxRow) {
            out += QStringLiteral("#REF!");
            return true;
        }
        out += match.captured(1) + columnName(column) + match.captured(3) + QString::number(row);
        return true;
    }
    if (!besideColon)
        return false;
    // Whole columns (A:C) and whole rows (1:3).
    const bool absolute = token.startsWith(QLatin1Char('$'));
    const QString bare = absolute ? token.mid(1) : token;
    if (allLetters(bare) && bare.size() <= 3 && columnNumber(bare) > 0) {
        const int column = columnNumber(bare) + (absolute ? 0 : columns);
        out += column < 1 || column > kMaxColumn
                   ? QStringLiteral("#REF!")
                   : (absolute ? QStringLiteral("$") : QString()) + columnName(column);
        return true;
    }
    if (allDigits(bare)) {
        const int row = bare.toInt() + (absolute ? 0 : rows);
        out += row < 1 || row > kMaxRow ? QStringLiteral("#REF!")
                                        : (absolute ? QStringLiteral("$") : QString()) + QString::number(row);
        return true;
    }
    return false;
}

// The words of a formula outside quotes and brackets, each with the character after it.
QList<QPair<QString, QChar>> words(const QString& formula, bool* closed)
{
    QList<QPair<QString, QChar>> out;
    int depth = 0;
    bool ok = true;
    qsizetype i = 0;
    const qsizetype n = formula.size();
    while (i < n) {
        const QChar c = formula.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            qsizetype j = i + 1;
            for (; j < n; ++j) {
                if (formula.at(j) == c) {
                    if (j + 1 < n && formula.at(j + 1) == c) {
                        ++j;
                        continue;
                    }
                    break;
                }
            }
            if (j >= n)
                ok = false;
            i = j + 1;
            continue;
        }
        if (c == QLatin1Char('[')) {
            int brackets = 0;
            qsizetype j = i;
            for (; j < n; ++j) {
                if (formula.at(j) == QLatin1Char('['))
                    ++brackets;
                else if (formula.at(j) == QLatin1Char(']') && --brackets == 0)
                    break;
            }
            if (j >= n)
                ok = false;
            i = j + 1;
            continue;
        }
        if (isWordChar(c)) {
            qsizetype j = i;
            while (j < n && isWordChar(formula.at(j)))
                ++j;
            out.append({formula.mid(i, j - i), j < n ? formula.at(j) : QChar()});
            i = j;
            continue;
        }
        if (c == QLatin1Char('#')) {
            static const QStringList errors{
                QStringLiteral("#NULL!"), QStringLiteral("#DIV/0!"),       QStringLiteral("#VALUE!"),
                QStringLiteral("#REF!"),  QStringLiteral("#NAME?"),        QStringLiteral("#NUM!"),
                QStringLiteral("#N/A"),   QStringLiteral("#GETTING_DATA"), QStringLiteral("#SPILL!"),
                QStringLiteral("#CALC!"), QStringLiteral("#THIS ROW"),     QStringLiteral("#ALL"),
                QStringLiteral("#DATA"),  QStringLiteral("#HEADERS"),      QStringLiteral("#TOTALS")};
            qsizetype length = 0;
            for (const QString& error : errors) {
                if (formula.mid(i, error.size()).compare(error, Qt::CaseInsensitive) == 0)
                    length = std::max(length, error.size());
            }
            if (length == 0)
                ok = false;
            i += std::max<qsizetype>(length, 1);
            continue;
        }
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            ok = --depth >= 0 && ok;
        else if (!QStringLiteral("+-*/^&=<>%,;:{}@!").contains(c) && !c.isSpace())
            ok = false;
        ++i;
    }
    *closed = ok && depth == 0;
    return out;
}

bool isFunctionName(const QString& word)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.]*$"));
    return name.match(word).hasMatch();
}

bool isNumber(const QString& word)
{
    static const QRegularExpression number(QStringLiteral("^([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][0-9]*)?$"));
    return number.match(word).hasMatch();
}

} // namespace

bool stillReads(const QString& before, const QString& after, const QSet<QString>& known)
{
    bool closed = false;
    const QList<QPair<QString, QChar>> had = words(before, &closed);
    const bool wasClosed = closed;
    const QList<QPair<QString, QChar>> has = words(after, &closed);
    if (wasClosed && !closed)
        return false;
    QSet<QString> old;
    for (const auto& word : had)
        old.insert(word.first.toUpper());
    for (qsizetype k = 0; k < has.size(); ++k) {
        const QString& word = has.at(k).first;
        const QChar next = has.at(k).second;
        const QString upper = word.toUpper();
        if (old.contains(upper))
            continue;
        if (next == QLatin1Char('(')) {
            if (!isFunctionName(word))
                return false;
            continue;
        }
        if (next == QLatin1Char('[') || next == QLatin1Char('!')) {
            // A table or a sheet.
            if (!known.contains(upper))
                return false;
            continue;
        }
        QString reference;
        const qsizetype at = after.indexOf(word);
        const bool besideColon = next == QLatin1Char(':') || (at > 0 && after.at(at - 1) == QLatin1Char(':'));
        if (isNumber(word) || upper == QLatin1String("TRUE") || upper == QLatin1String("FALSE") ||
            known.contains(upper) || shiftToken(word, besideColon, 0, 0, reference))
            continue;
        return false;
    }
    return true;
}

bool parseAddress(const QString& address, int& row, int& column)
{
    qsizetype i = 0;
    while (i < address.size() && address.at(i).isLetter())
        ++i;
    if (i == 0 || i > 3 || i == address.size())
        return false;
    const QString letters = address.left(i);
    if (!allLetters(letters) || !allDigits(address.mid(i)))
        return false;
    column = columnNumber(letters);
    bool ok = false;
    row = address.mid(i).toInt(&ok);
    return ok && column > 0 && row >= 1 && row <= kMaxRow;
}

QString columnName(int column)
{
    QString name;
    while (column > 0) {
        const int digit = (column - 1) % 26;
        name.prepend(QChar(char16_t('A' + digit)));
        column = (column - 1) / 26;
    }
    return name;
}

QString address(int row, int column)
{
    return columnName(column) + QString::number(row);
}

QString shifted(const QString& formula, int rows, int columns)
{
    QString out;
    qsizetype i = 0;
    const qsizetype n = formula.size();
    while (i < n) {
        const QChar c = formula.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            // Text, or a quoted sheet name: copied as it is, doubled quotes included.
            qsizetype j = i + 1;
            while (j < n) {
                if (formula.at(j) == c) {
                    if (j + 1 < n && formula.at(j + 1) == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out += formula.mid(i, j + 1 - i);
            i = j + 1;
            continue;
        }
        if (c == QLatin1Char('[')) {
            // A table's column or an external book: names, not references.
            int depth = 0;
            qsizetype j = i;
            for (; j < n; ++j) {
                if (formula.at(j) == QLatin1Char('['))
                    ++depth;
                else if (formula.at(j) == QLatin1Char(']') && --depth == 0)
                    break;
            }
            out += formula.mid(i, j + 1 - i);
            i = j + 1;
            continue;
        }
        if (isWordChar(c)) {
            qsizetype j = i;
            while (j < n && isWordChar(formula.at(j)))
                ++j;
            const QString token = formula.mid(i, j - i);
            const bool call = j < n && formula.at(j) == QLatin1Char('(');
            const bool sheetName = j < n && formula.at(j) == QLatin1Char('!');
            const bool besideColon = (j < n && formula.at(j) == QLatin1Char(':')) ||
                                     (i > 0 && formula.at(i - 1) == QLatin1Char(':'));
            if (call || sheetName || !shiftToken(token, besideColon, rows, columns, out))
                out += token;
            i = j;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

QString numberText(double value)
{
    QString text = QString::number(value, 'g', 15);
    text.replace(QLatin1Char('e'), QLatin1Char('E'));
    return text;
}

bool parseNumber(const QString& text, double& value)
{
    static const QRegularExpression number(
        QStringLiteral("^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    const QString trimmed = text.trimmed();
    if (!number.match(trimmed).hasMatch())
        return false;
    bool ok = false;
    value = trimmed.toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace ooxml::cellformula

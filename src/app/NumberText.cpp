#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace NumberText {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The longest decimal number at the start of text (blanks already gone): its
// length, 0 when there is none. A point or an exponent marker that nothing
// valid follows is not part of it.
qsizetype numberLength(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    return i;
}

// The number's characters are ASCII; from_chars reads them the same in every locale.
double parse(const QString& number)
{
    std::string ascii = number.toStdString();
    bool negative = false;
    if (!ascii.empty() && (ascii.front() == '+' || ascii.front() == '-')) {
        negative = ascii.front() == '-';
        ascii.erase(0, 1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error == std::errc::result_out_of_range)
        value = std::numeric_limits<double>::infinity();
    else if (error != std::errc() || end != ascii.data() + ascii.size())
        value = 0;
    return negative ? -value : value;
}

std::optional<double> roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0))
        whole += 1;
    return whole;
}

template <class Int> std::optional<Int> roundInto(double value)
{
    const std::optional<double> whole = roundHalfEven(value);
    if (!whole || *whole < double(std::numeric_limits<Int>::min()) ||
        *whole > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(*whole);
}

} // namespace

double leadingValue(const QString& text)
{
    QString packed;
    packed.reserve(text.size());
    for (const QChar c : text) {
        if (!isBlank(c))
            packed.append(c);
    }
    const qsizetype length = numberLength(packed);
    return length == 0 ? 0.0 : parse(packed.left(length));
}

std::optional<qint32> roundToInt32(double value)
{
    return roundInto<qint32>(value);
}

std::optional<qint16> toInt16(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    const QString number = text.mid(begin, end - begin);
    if (number.isEmpty() || numberLength(number) != number.size())
        return std::nullopt;
    return roundInto<qint16>(parse(number));
}

} // namespace NumberText

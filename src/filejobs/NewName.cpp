#include "NewName.h"

#include "app/NumberText.h"
#include "app/RuntimeError.h"

namespace filejobs {

namespace {

// Blanks only: a tab or another space character typed into the box stays.
QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QString increment(const QString& step)
{
    const std::optional<qint16> value = NumberText::toInt16(step);
    if (!value)
        throw RuntimeError(RuntimeError::TypeMismatch,
                           QStringLiteral("增量“%1”不是 -32768 到 32767 之间的整数").arg(step));
    return QString::number(*value);
}

} // namespace

QString GetNewName(const QString& name, const NameRule& rule)
{
    const QString t = trimBlanks(rule.text);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const bool hasDot = dot >= 0;
    const QString p = hasDot ? name.left(dot) : name;
    const QString s = hasDot ? name.mid(dot + 1) : QString();
    const QString point = QStringLiteral(".");
    switch (rule.position) {
    case ReplacePrefix:
        return hasDot ? t + increment(rule.step) + point + s : t + increment(rule.step);
    case ReplaceSuffix:
        return hasDot ? p + point + t + increment(rule.step) : p + t + increment(rule.step);
    case BeforePrefix:
        return hasDot ? t + p + point + s : t + p;
    case AfterPrefix:
        return hasDot ? p + t + increment(rule.step) + point + s : p + t + increment(rule.step);
    case BeforeSuffix:
        if (!hasDot)
            throw RuntimeError(RuntimeError::InvalidCall,
                               QStringLiteral("文件名没有后缀，无法插入到后缀的前面"));
        return p + point + t + increment(rule.step) + s;
    case AfterSuffix:
        return hasDot ? p + point + s + t + increment(rule.step) : p + t + increment(rule.step);
    default:
        throw RuntimeError(RuntimeError::InvalidCall, QStringLiteral("未选择自定义文本位置"));
    }
}

QStringList exampleSources()
{
    return {QStringLiteral("ple.gif"), QStringLiteral("el.gif")};
}

QStringList initialExampleTargets()
{
    return {QStringLiteral("1.gif"), QStringLiteral("2.gif")};
}

QString exampleTarget(const QString& source, const NameRule& rule)
{
    try {
        return GetNewName(source, rule);
    } catch (const RuntimeError& error) {
        if (error.number() == RuntimeError::TypeMismatch)
            return QStringLiteral("（增量须为整数）");
        return QStringLiteral("（") + error.description() + QStringLiteral("）");
    }
}

} // namespace filejobs

#include "Journal.h"

#include "AppFolders.h"
#include "Clock.h"
#include "SystemText.h"

Journal::Journal(QString dayFolder, const Clock& clock, QLocale locale)
    : m_dayFolder(std::move(dayFolder))
    , m_clock(clock)
    , m_locale(std::move(locale))
    , m_timeFormat(longTimeFormat(m_locale))
{}

void Journal::WriteJournal(const QString& message) const
{
    const QDateTime now = m_clock.now();
    SystemText::writeLine(filePathAt(now), lineAt(now, message), SystemText::Mode::Append);
}

QString Journal::filePathAt(const QDateTime& at) const
{
    return AppFolders::join(m_dayFolder, at.toString(QStringLiteral("yyyy'年'MM'月'dd'日'HH'时'")) +
                                             QStringLiteral(".txt"));
}

QString Journal::lineAt(const QDateTime& at, const QString& message) const
{
    return QStringLiteral("时间：") + m_locale.toString(at.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           m_locale.toString(at.time(), m_timeFormat) + QLatin1Char(' ') + message;
}

QString Journal::longTimeFormat(const QLocale& locale)
{
    // Desktop locales write the long time as e.g. "HH:mm:ss" (Windows) but CLDR
    // adds the zone ("HH:mm:ss t", "z ah:mm:ss"). Drop the zone fields and the
    // blanks next to them; keep quoted literals as they are.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) {
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t'))
                ++i;
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
            while (i + 1 < format.size() && format.at(i + 1).isSpace() && out.isEmpty())
                ++i;
            continue;
        }
        out += c;
    }
    out = out.trimmed();
    if (!out.contains(QLatin1Char('s')))
        out = QStringLiteral("HH:mm:ss");
    return out;
}

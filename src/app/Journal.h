#pragma once

#include <QLocale>
#include <QString>

class Clock;

// The activity journal: one text file per hour in the start day's folder, one
// line per call, opened and closed per call so that other programs can read it
// while the tool runs.
class Journal final
{
public:
    Journal(QString dayFolder, const Clock& clock, QLocale locale = QLocale::system());

    // Appends "时间：" date " " time " " message CR LF to the current hour's file.
    // Throws RuntimeError when the file cannot be written.
    void WriteJournal(const QString& message) const;

    const QString& dayFolder() const { return m_dayFolder; }
    // dayFolder + "yyyy年MM月dd日HH时.txt" of the given moment.
    QString filePathAt(const QDateTime& at) const;
    // The line without its CR LF.
    QString lineAt(const QDateTime& at, const QString& message) const;

    // The locale's long time form with seconds and without a time zone.
    static QString longTimeFormat(const QLocale& locale);

private:
    QString m_dayFolder;
    const Clock& m_clock;
    QLocale m_locale;
    QString m_timeFormat;
};

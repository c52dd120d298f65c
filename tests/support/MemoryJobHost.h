#pragma once

#include "app/JobHost.h"

#include <QList>
#include <QStringList>
#include <functional>

// The window's parts that a job uses, in memory.
class MemoryJobHost final : public JobHost
{
public:
    // Rows of these paths, every one ticked.
    explicit MemoryJobHost(const QStringList& ticked = {})
    {
        for (const QString& path : ticked)
            rows.append({path, true});
    }
    // Rows of these paths, those at the indexes ticked.
    MemoryJobHost(const QStringList& paths, const QList<int>& ticked) { tick(paths, ticked); }
    struct Row
    {
        QString path;
        bool checked = false;
    };
    QList<Row> rows;
    int value = -1;
    bool visible = false;
    QList<int> maxima; // every Max set, in order
    QString label;
    QStringList log;
    QStringList journalLines;
    int yields = 0;
    int beeps = 0;
    int recollections = 0;
    QStringList messages; // each as "text|title|icon number"
    std::function<void()> onYield;
    bool stop = false; // the user asked to stop

    void tick(const QStringList& paths, const QList<int>& ticked)
    {
        rows.clear();
        for (int i = 0; i < paths.size(); ++i)
            rows.append({paths.at(i), ticked.contains(i)});
    }

    int rowCount() const override { return int(rows.size()); }
    bool rowChecked(int row) const override { return row < rows.size() && rows.at(row).checked; }
    QString rowText(int row) const override { return row < rows.size() ? rows.at(row).path : QString(); }
    void removeRow(int row) override { rows.removeAt(row); }
    void setProgressValue(int v) override { value = v; }
    void setProgressMax(int m) override { maxima << m; }
    void setProgressVisible(bool v) override { visible = v; }
    QString status() const override { return label; }
    void setStatus(const QString& text) override { label = text; }
    void clearLog() override { log.clear(); }
    void appendLog(const QString& line) override { log << line; }
    void journal(const QString& message) override { journalLines << message; }
    void yield() override
    {
        ++yields;
        if (onYield)
            onYield();
    }
    void beep() override { ++beeps; }
    bool stopRequested() const override { return stop; }
    void message(const QString& text, const QString& title, Icon icon) override
    {
        messages << QStringLiteral("%1|%2|%3").arg(text, title).arg(int(icon));
    }
    QString input(const QString&, const QString&, const QString& defaultText) override { return defaultText; }
    void recollect() override { ++recollections; }
};

#pragma once

#include "app/Job.h"

#include <QHash>
#include <QSet>

// The controls a job reads, in memory: texts by name, ticked names.
class MemoryJobInputs final : public JobInputs
{
public:
    QHash<QString, QString> texts;
    QSet<QString> tickedControls;

    QString text(const QString& control) const override { return texts.value(control); }
    bool ticked(const QString& control) const override { return tickedControls.contains(control); }
};

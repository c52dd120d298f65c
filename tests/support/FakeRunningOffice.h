#pragma once

#include "word/RunningOffice.h"

#include <QMap>
#include <stdexcept>

// A running office program in memory: instances with their open documents, and the processes ended.
class FakeRunningOffice final : public RunningOffice
{
public:
    QMap<QString, QStringList> instances; // progId -> open documents
    QStringList ended;                    // exe names, in call order
    bool failAttach = false;
    bool failEnd = false;

    std::optional<QStringList> openDocuments(const QString& progId) override
    {
        if (failAttach)
            throw std::runtime_error("attach failed");
        return instances.contains(progId) ? std::optional(instances.value(progId)) : std::nullopt;
    }

    int endAllProcesses(const QString& exeName) override
    {
        ended << exeName;
        if (failEnd)
            throw std::runtime_error("terminate failed");
        instances.clear();
        return 1;
    }
};

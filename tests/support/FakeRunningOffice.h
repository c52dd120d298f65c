#pragma once

#include "word/RunningOffice.h"

#include <QMap>
#include <stdexcept>

// A running office program in memory: which instances run with which open
// documents, and a record of the processes ended.
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
        const auto it = instances.constFind(progId);
        if (it == instances.constEnd())
            return std::nullopt;
        return *it;
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

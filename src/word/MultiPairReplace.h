#pragma once

#include "app/Batch.h"

#include <QString>
#include <QStringList>
#include <functional>

class JobHost;
namespace word {
class Factory;
}

// Replaces several texts at once in every ticked document: old entry k by new
// entry k of two lists separated by "|", in the body always and in the ticked
// scopes. Drives "word.Application" whatever engine option is chosen.
namespace MultiPairReplace {

// Where else than the body the texts are replaced, in the tab's own order.
struct Scopes
{
    bool pageTextBoxes = false;         // 包括页面文本框文本
    bool headersFooters = false;        // 包括页眉页脚文本框文本
    bool headerFooterTextBoxes = false; // 包括页眉页脚文本
};

// What the job reads, again for every document.
struct Inputs
{
    QString oldTexts; // separated by "|"
    QString newTexts; // separated by "|", in the same order
    Scopes scopes;
};

using Result = Batch::Result;

// A box split at every "|": parts untrimmed, empty parts kept; an empty box is no entry at all.
QStringList splitList(const QString& box);

Result Command9(JobHost& host, word::Factory& office, const std::function<Inputs()>& read);

} // namespace MultiPairReplace

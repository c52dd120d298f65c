#pragma once

#include "app/Batch.h"

#include <QString>

class JobHost;
namespace word {
class Factory;
}

// Replaces one text by another in every ticked document: the body always, and
// the ticked scopes. The Word job drives "word.Application", the WPS job
// "ET.Application" (or "KET.Application" when that one cannot be created).
namespace SingleTextReplace {

// The three boxes Check13.
struct Scopes
{
    bool pageTextBoxes = false;         // Check13(0) 有页面文本框内容
    bool headerFooterTextBoxes = false; // Check13(1) 页眉页脚有文本框内容
    bool headersFooters = false;        // Check13(2) 包含替换页眉页脚内容
};

using Result = Batch::Result;

Result WordReplace(JobHost& host, word::Factory& office, const QString& oldText, const QString& newText,
                   const Scopes& scopes);
Result WpsReplace(JobHost& host, word::Factory& office, const QString& oldText, const QString& newText,
                  const Scopes& scopes);

} // namespace SingleTextReplace

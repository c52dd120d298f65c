#pragma once

#include "app/Batch.h"

#include <QString>
#include <functional>

class JobHost;
namespace word {
class Factory;
}

// Replaces one text by another in every ticked document: the body always, and
// the ticked scopes. The Word job drives "word.Application", the WPS job
// "ET.Application" (or "KET.Application" when that one cannot be created).
namespace SingleTextReplace {

// Where else than the body the text is replaced.
struct Scopes
{
    bool pageTextBoxes = false;         // 有页面文本框内容
    bool headerFooterTextBoxes = false; // 页眉页脚有文本框内容
    bool headersFooters = false;        // 包含替换页眉页脚内容
};

// The office program chosen: nothing runs when it is neither.
enum class Engine { None, Word, Wps };

struct Inputs
{
    Engine engine = Engine::None;
    QString oldText;
    QString newText;
    Scopes scopes;
};

using Result = Batch::Result;

// The job: the Word or the WPS replace, as the inputs choose, read once.
Result Command1(JobHost& host, word::Factory& office, const std::function<Inputs()>& read);

// The replace through one program.

Result WordReplace(JobHost& host, word::Factory& office, const QString& oldText, const QString& newText,
                   const Scopes& scopes);
Result WpsReplace(JobHost& host, word::Factory& office, const QString& oldText, const QString& newText,
                  const Scopes& scopes);

} // namespace SingleTextReplace

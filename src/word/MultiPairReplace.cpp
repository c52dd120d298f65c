#include "MultiPairReplace.h"

#include "DocumentRun.h"
#include "app/JobHost.h"

namespace MultiPairReplace {

namespace {

const QString kReplaced = QStringLiteral(" 已替换内容");
const QString kNotFound = QStringLiteral(" 未找到内容");
const QString kNoNewText = QStringLiteral(" 缺少对应的新文本：");

void scopePasses(word::Document& document, const Scopes& scopes, const QString& oldText,
                 const QString& newText)
{
    if (scopes.pageTextBoxes) {
        for (const word::ShapePtr& shape : document.shapes())
            shape->textFrameTextRange()->replaceAll(oldText, newText);
    }
    if (scopes.headersFooters) {
        for (const word::SectionPtr& section : document.sections()) {
            section->headers(1)->range()->replaceAll(oldText, newText);
            section->footers(1)->range()->replaceAll(oldText, newText);
        }
    }
    if (scopes.headerFooterTextBoxes) {
        if (const word::SectionPtr first = document.sections().value(0)) {
            for (const word::ShapePtr& shape : first->headers(1)->shapes())
                shape->textFrameTextRange()->replaceAll(oldText, newText);
            for (const word::ShapePtr& shape : first->footers(1)->shapes())
                shape->textFrameTextRange()->replaceAll(oldText, newText);
        }
    }
}

// One pair on one document: the probe and replace-all on a fresh Content, the
// lines, the scope passes.
void replacePair(JobHost& host, Batch& batch, word::Document& document, const QString& path,
                 const Scopes& scopes, const QString& oldText, const QStringList& newTexts, qsizetype k)
{
    if (k >= newTexts.size()) {
        // Replacing by nothing would delete the text without the user having said so.
        const QString line = path + kNoNewText + oldText;
        host.appendLog(line);
        host.journal(line);
        return;
    }
    const QString& newText = newTexts.at(k);
    // An empty text matches nothing; the office program is not asked what it makes of one.
    const bool found = !oldText.isEmpty() && [&] {
        const word::RangePtr content = document.content();
        if (!content->findExecute(oldText))
            return false;
        content->replaceAll(oldText, newText);
        return true;
    }();
    const QString& status = found ? kReplaced : kNotFound;
    // Through the batch, so that a failed save afterwards says these lines are void.
    batch.report(path, status, oldText);
    if (!oldText.isEmpty())
        scopePasses(document, scopes, oldText, newText);
}

} // namespace

QStringList splitList(const QString& box)
{
    if (box.isEmpty())
        return {};
    return box.split(QLatin1Char('|'), Qt::KeepEmptyParts);
}

Result Command9(JobHost& host, word::Factory& office, const std::function<Inputs()>& read)
{
    Batch::Pattern pattern;
    pattern.label = Batch::Pattern::Label::Path;
    pattern.closing = false;
    return word::changeEachDocument(
        host, office, QStringLiteral("word.Application"), pattern, Batch::Stage::Change,
        [&](Batch& batch, word::Application&, word::Document& document, const QString& path) {
            host.yield();
            const Inputs inputs = read();
            const QStringList oldTexts = splitList(inputs.oldTexts);
            const QStringList newTexts = splitList(inputs.newTexts);
            for (qsizetype k = 0; k < oldTexts.size(); ++k)
                replacePair(host, batch, document, path, inputs.scopes, oldTexts.at(k), newTexts, k);
        });
}

} // namespace MultiPairReplace

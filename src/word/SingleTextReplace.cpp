#include "SingleTextReplace.h"

#include "WordProcessor.h"
#include "WordTexts.h"
#include "app/Batch.h"
#include "app/JobHost.h"
#include "app/RuntimeError.h"

namespace SingleTextReplace {

namespace {

const QString kReplaced = QStringLiteral(" 已替换内容");
const QString kNotFound = QStringLiteral(" 没找到替换的内容");
const QString kTextBoxReplaced = QStringLiteral("已替换文本框内容");
const QString kHeaderReplaced = QStringLiteral("已替换页眉内容");
const QString kFooterReplaced = QStringLiteral("已替换页页脚内容");

enum class Flavour { Word, Wps };

void headerFooterTextBoxes(word::Document& document, const QString& oldText, const QString& newText)
{
    const word::SectionPtr first = document.sections().value(0);
    if (!first)
        return;
    for (const word::ShapePtr& shape : first->headers(1)->shapes())
        shape->textFrameTextRange()->replaceAll(oldText, newText);
    for (const word::ShapePtr& shape : first->footers(1)->shapes())
        shape->textFrameTextRange()->replaceAll(oldText, newText);
}

void headersFooters(JobHost& host, word::Document& document, const QString& oldText, const QString& newText,
                    bool journal)
{
    for (const word::SectionPtr& section : document.sections()) {
        section->headers(1)->range()->replaceAll(oldText, newText);
        if (journal)
            host.journal(kHeaderReplaced);
        section->footers(1)->range()->replaceAll(oldText, newText);
        if (journal)
            host.journal(kFooterReplaced);
    }
}

// One document: the body, the scope passes in the job's order, the save.
void replaceIn(Flavour flavour, JobHost& host, Batch& batch, word::Application& application,
               const QString& path, const QString& oldText, const QString& newText, const Scopes& scopes)
{
    const bool word = flavour == Flavour::Word;
    const word::DocumentPtr document = word::openForChange(batch, application, path);
    if (!document)
        return;
    const bool changed = batch.attempt(path, Batch::Stage::Change, [&] {
        const word::RangePtr content = document->content();
        if (content->findExecute(oldText)) {
            if (word)
                host.yield();
            content->replaceAll(oldText, newText);
            batch.report(path, kReplaced);
        } else {
            batch.report(path, kNotFound);
        }
        if (scopes.pageTextBoxes) {
            if (word)
                host.yield();
            for (const word::ShapePtr& shape : document->shapes()) {
                shape->textFrameTextRange()->replaceAll(oldText, newText);
                host.journal(kTextBoxReplaced);
            }
        }
        if (word) {
            host.yield();
            if (scopes.headersFooters)
                headersFooters(host, *document, oldText, newText, true);
            if (scopes.headerFooterTextBoxes)
                headerFooterTextBoxes(*document, oldText, newText);
        } else {
            if (scopes.headerFooterTextBoxes)
                headerFooterTextBoxes(*document, oldText, newText);
            if (scopes.headersFooters)
                headersFooters(host, *document, oldText, newText, false);
        }
    });
    // A failed document is not saved: the file keeps what it held.
    if (changed)
        batch.attempt(path, Batch::Stage::Save, [&] { document->save(); });
}

Result run(Flavour flavour, JobHost& host, word::Factory& office, const QString& oldText,
           const QString& newText, const Scopes& scopes)
{
    const bool word = flavour == Flavour::Word;
    return Batch::run(
        host, Batch::Pattern{},
        [&] {
            return word ? office.createWordProcessor(QStringLiteral("word.Application"))
                        : word::createWps(office);
        },
        word ? word::texts::cannotStart(QStringLiteral("word.Application"))
             : QStringLiteral("无法启动 WPS（ET.Application、KET.Application）："),
        [&](Batch& batch, word::Application& application, const QString& path) {
            replaceIn(flavour, host, batch, application, path, oldText, newText, scopes);
        });
}

} // namespace

Result WordReplace(JobHost& host, word::Factory& office, const QString& oldText, const QString& newText,
                   const Scopes& scopes)
{
    return run(Flavour::Word, host, office, oldText, newText, scopes);
}

Result WpsReplace(JobHost& host, word::Factory& office, const QString& oldText, const QString& newText,
                  const Scopes& scopes)
{
    return run(Flavour::Wps, host, office, oldText, newText, scopes);
}

Result Command1(JobHost& host, word::Factory& office, const std::function<Inputs()>& read)
{
    const Inputs inputs = read();
    switch (inputs.engine) {
    case Engine::Word:
        return WordReplace(host, office, inputs.oldText, inputs.newText, inputs.scopes);
    case Engine::Wps:
        return WpsReplace(host, office, inputs.oldText, inputs.newText, inputs.scopes);
    case Engine::None:
        break;
    }
    return {};
}

} // namespace SingleTextReplace

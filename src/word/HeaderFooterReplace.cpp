#include "HeaderFooterReplace.h"

#include "WordProcessor.h"
#include "WordTexts.h"

namespace HeaderFooterReplace {

namespace {

void replaceInView(word::Application& application, qint16 view, const QString& oldText,
                   const QString& newText)
{
    application.setSeekView(view);
    // An empty text matches nothing; the office program is not asked what it makes of one.
    if (!oldText.isEmpty())
        application.selection()->findReplaceAll(oldText, newText);
    application.setSeekView(word::kSeekMainDocument);
}

} // namespace

Result Command7(JobHost& host, word::Factory& office, const std::function<Inputs()>& read)
{
    Batch::Pattern pattern;
    pattern.endWhenNoneTicked = false;
    pattern.progress = false;
    // No line tells the user it ran: the status line's closing text does, without the beep.
    pattern.closingBeep = false;
    const QString progId = QStringLiteral("word.Application");
    return Batch::run(
        host, pattern, [&] { return office.createWordProcessor(progId); }, word::texts::cannotStart(progId),
        [&](Batch& batch, word::Application& application, const QString& path) {
            const word::DocumentPtr document = word::openForChange(batch, application, path);
            if (!document)
                return;
            const Inputs inputs = read();
            const bool changed = batch.attempt(path, Batch::Stage::Change, [&] {
                if (inputs.header)
                    replaceInView(application, word::kSeekCurrentPageHeader, inputs.headerOld,
                                  inputs.headerNew);
                if (inputs.footer)
                    replaceInView(application, word::kSeekCurrentPageFooter, inputs.footerOld,
                                  inputs.footerNew);
            });
            if (changed)
                batch.attempt(path, Batch::Stage::Save, [&] { document->save(); });
        });
}

} // namespace HeaderFooterReplace

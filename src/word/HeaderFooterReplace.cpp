#include "HeaderFooterReplace.h"

#include "DocumentRun.h"

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
    return word::changeEachDocument(
        host, office, QStringLiteral("word.Application"), pattern, Batch::Stage::Change,
        [&](Batch&, word::Application& application, word::Document&, const QString&) {
            const Inputs inputs = read();
            if (inputs.header)
                replaceInView(application, word::kSeekCurrentPageHeader, inputs.headerOld, inputs.headerNew);
            if (inputs.footer)
                replaceInView(application, word::kSeekCurrentPageFooter, inputs.footerOld, inputs.footerNew);
        });
}

} // namespace HeaderFooterReplace

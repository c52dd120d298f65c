#include "WordJobs.h"

#include "SingleTextReplace.h"
#include "WordProcessor.h"

namespace word {

namespace {

using Kind = CliOption::Kind;

// Command1 "Doc文档替换": the Word job with Option1, then the WPS job with Option3.
Batch::Result Command1_Click(JobContext& context)
{
    const JobInputs& in = context.inputs;
    const auto scopes = [&] {
        SingleTextReplace::Scopes ticked;
        ticked.pageTextBoxes = in.ticked(QStringLiteral("Check13_0"));
        ticked.headerFooterTextBoxes = in.ticked(QStringLiteral("Check13_1"));
        ticked.headersFooters = in.ticked(QStringLiteral("Check13_2"));
        return ticked;
    };
    Batch::Result result;
    if (in.ticked(QStringLiteral("Option1")))
        result = SingleTextReplace::WordReplace(context.host, context.words, in.text(QStringLiteral("Text1")),
                                                in.text(QStringLiteral("Text2")), scopes());
    if (in.ticked(QStringLiteral("Option3"))) {
        const Batch::Result wps = SingleTextReplace::WpsReplace(
            context.host, context.words, in.text(QStringLiteral("Text1")), in.text(QStringLiteral("Text2")), scopes());
        result.add(wps);
    }
    return result;
}

} // namespace

QList<JobRow> jobRows()
{
    JobRow replace;
    replace.command = QStringLiteral("word-replace");
    replace.button = QStringLiteral("Command1");
    replace.summary = QStringLiteral("replace a text in Word documents");
    replace.help = QStringLiteral("Replaces a text in Word documents as \"Doc文档替换\" does: the body always, and "
                                  "the scopes given.");
    replace.controls = {QStringLiteral("Option1"),   QStringLiteral("Option3"),   QStringLiteral("Text1"),
                        QStringLiteral("Text2"),     QStringLiteral("Check13_0"), QStringLiteral("Check13_1"),
                        QStringLiteral("Check13_2")};
    replace.options = {
        {QStringLiteral("engine"),
         Kind::OneOf,
         QStringLiteral("word (default) or wps."),
         {},
         QStringLiteral("word"),
         {{QStringLiteral("word"), QStringLiteral("Option1")}, {QStringLiteral("wps"), QStringLiteral("Option3")}}},
        {QStringLiteral("old"), Kind::Text, QStringLiteral("The text to replace."), QStringLiteral("Text1"), {}, {}, true},
        {QStringLiteral("new"), Kind::Text, QStringLiteral("The new text."), QStringLiteral("Text2"), {}, {}, true},
        {QStringLiteral("scope"),
         Kind::SetOf,
         QStringLiteral("Also replace in: textboxes, header-textboxes, headers-footers (comma-separated)."),
         {},
         {},
         {{QStringLiteral("textboxes"), QStringLiteral("Check13_0")},
          {QStringLiteral("header-textboxes"), QStringLiteral("Check13_1")},
          {QStringLiteral("headers-footers"), QStringLiteral("Check13_2")}}},
    };
    replace.run = Command1_Click;
    return {replace};
}

} // namespace word

#include "WordJobs.h"

#include "HeaderFooterReplace.h"
#include "HeaderFooterWriter.h"
#include "MultiPairReplace.h"
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
        const Batch::Result wps =
            SingleTextReplace::WpsReplace(context.host, context.words, in.text(QStringLiteral("Text1")),
                                          in.text(QStringLiteral("Text2")), scopes());
        result.add(wps);
    }
    return result;
}

// Command9 "替换" on the tab "文档多文本替换": always Word, whatever engine option is chosen.
Batch::Result Command9_Click(JobContext& context)
{
    const JobInputs& in = context.inputs;
    return MultiPairReplace::Command9(context.host, context.words, [&] {
        MultiPairReplace::Inputs read;
        read.oldTexts = in.text(QStringLiteral("Text13_0"));
        read.newTexts = in.text(QStringLiteral("Text13_1"));
        read.scopes.pageTextBoxes = in.ticked(QStringLiteral("Check9_0"));
        read.scopes.headersFooters = in.ticked(QStringLiteral("Check9_1"));
        read.scopes.headerFooterTextBoxes = in.ticked(QStringLiteral("Check9_2"));
        return read;
    });
}

// Command7 "替换页眉页脚": always Word.
Batch::Result Command7_Click(JobContext& context)
{
    const JobInputs& in = context.inputs;
    return HeaderFooterReplace::Command7(context.host, context.words, [&] {
        HeaderFooterReplace::Inputs read;
        read.header = in.ticked(QStringLiteral("Check10"));
        read.headerOld = in.text(QStringLiteral("Text12_0"));
        read.headerNew = in.text(QStringLiteral("Text12_1"));
        read.footer = in.ticked(QStringLiteral("Check11"));
        read.footerOld = in.text(QStringLiteral("Text12_2"));
        read.footerNew = in.text(QStringLiteral("Text12_3"));
        return read;
    });
}

// Command3 "批量插入页眉页脚页码": nothing unless Option7 "开启word" is chosen.
Batch::Result Command3_Click(JobContext& context)
{
    const JobInputs& in = context.inputs;
    if (!in.ticked(QStringLiteral("Option7")))
        return {};
    const auto row = [&](int index) {
        const QString i = QString::number(index);
        HeaderFooterWriter::Row read;
        read.write = in.ticked(QStringLiteral("Check12_") + i);
        read.deleteFirst = in.ticked(QStringLiteral("Check5_") + i);
        read.text = in.text(index == 0 ? QStringLiteral("Text4") : QStringLiteral("Text5"));
        read.fontName = in.text(QStringLiteral("Text6_") + i);
        read.fontSize = in.text(QStringLiteral("Text7_") + i);
        read.bold = in.ticked(QStringLiteral("Check1_") + i);
        read.alignment = in.text(index == 0 ? QStringLiteral("Combo1") : QStringLiteral("Combo2"));
        return read;
    };
    return HeaderFooterWriter::Command3(context.host, context.words, [&] {
        HeaderFooterWriter::Inputs read;
        read.header = row(0);
        read.footer = row(1);
        read.pageNumber = in.ticked(QStringLiteral("Check3"));
        read.pageNumberPosition = in.text(QStringLiteral("Combo3"));
        return read;
    });
}

CliOption text(const QString& name, const QString& control, const QString& help,
               const QString& defaultValue = {})
{
    CliOption option;
    option.name = name;
    option.kind = Kind::Text;
    option.control = control;
    option.help = help;
    option.defaultValue = defaultValue;
    return option;
}

CliOption flag(const QString& name, const QString& control, const QString& help)
{
    CliOption option;
    option.name = name;
    option.kind = Kind::Flag;
    option.control = control;
    option.help = help;
    return option;
}

JobRow replacePairsRow()
{
    JobRow row;
    row.command = QStringLiteral("word-replace-pairs");
    row.button = QStringLiteral("Command9");
    row.summary = QStringLiteral("replace several texts at once in Word documents");
    row.help = QStringLiteral(
        "Replaces each text of --old by the text at the same place in --new (both lists "
        "separated by \"|\") as \"文档多文本替换\" does: the body always, and the scopes given.");
    row.controls = {QStringLiteral("Text13_0"), QStringLiteral("Text13_1"), QStringLiteral("Check9_0"),
                    QStringLiteral("Check9_1"), QStringLiteral("Check9_2")};
    CliOption oldTexts = text(QStringLiteral("old"), QStringLiteral("Text13_0"),
                              QStringLiteral("The texts to replace, separated by \"|\"."));
    oldTexts.required = true;
    CliOption newTexts = text(QStringLiteral("new"), QStringLiteral("Text13_1"),
                              QStringLiteral("The new texts, separated by \"|\", in the same order."));
    newTexts.required = true;
    CliOption scope;
    scope.name = QStringLiteral("scope");
    scope.kind = Kind::SetOf;
    scope.help =
        QStringLiteral("Also replace in: textboxes, headers-footers, header-textboxes (comma-separated).");
    scope.values = {{QStringLiteral("textboxes"), QStringLiteral("Check9_0")},
                    {QStringLiteral("headers-footers"), QStringLiteral("Check9_1")},
                    {QStringLiteral("header-textboxes"), QStringLiteral("Check9_2")}};
    row.options = {oldTexts, newTexts, scope};
    row.run = Command9_Click;
    return row;
}

JobRow headerFooterReplaceRow()
{
    JobRow row;
    row.command = QStringLiteral("header-footer-replace");
    row.button = QStringLiteral("Command7");
    row.summary = QStringLiteral("replace a text in the headers and one in the footers of Word documents");
    row.help = QStringLiteral("Replaces a text in the header and one in the footer of the current page as "
                              "\"替换页眉页脚\" does.");
    row.controls = {QStringLiteral("Check10"),  QStringLiteral("Check11"),  QStringLiteral("Text12_0"),
                    QStringLiteral("Text12_1"), QStringLiteral("Text12_2"), QStringLiteral("Text12_3")};
    row.options = {
        flag(QStringLiteral("header"), QStringLiteral("Check10"), QStringLiteral("Replace in the header.")),
        text(QStringLiteral("header-old"), QStringLiteral("Text12_0"),
             QStringLiteral("The header's text to replace (default 原文本)."), QStringLiteral("原文本")),
        text(QStringLiteral("header-new"), QStringLiteral("Text12_1"),
             QStringLiteral("The header's new text (default 新文本)."), QStringLiteral("新文本")),
        flag(QStringLiteral("footer"), QStringLiteral("Check11"), QStringLiteral("Replace in the footer.")),
        text(QStringLiteral("footer-old"), QStringLiteral("Text12_2"),
             QStringLiteral("The footer's text to replace (default 原文本)."), QStringLiteral("原文本")),
        text(QStringLiteral("footer-new"), QStringLiteral("Text12_3"),
             QStringLiteral("The footer's new text (default 新文本)."), QStringLiteral("新文本")),
    };
    row.run = Command7_Click;
    return row;
}

JobRow headerFooterWriteRow()
{
    JobRow row;
    row.command = QStringLiteral("header-footer-write");
    row.button = QStringLiteral("Command3");
    row.summary = QStringLiteral("write headers, footers and 第N页 page numbers into Word documents");
    row.help =
        QStringLiteral("Writes a header, a footer and a 第N页 page number as \"批量插入页眉页脚页码\" does, "
                       "with the font, size, bold and alignment given.");
    row.controls = {QStringLiteral("Option7"),  QStringLiteral("Check12_0"), QStringLiteral("Check12_1"),
                    QStringLiteral("Check5_0"), QStringLiteral("Check5_1"),  QStringLiteral("Text4"),
                    QStringLiteral("Text5"),    QStringLiteral("Text6_0"),   QStringLiteral("Text6_1"),
                    QStringLiteral("Text7_0"),  QStringLiteral("Text7_1"),   QStringLiteral("Check1_0"),
                    QStringLiteral("Check1_1"), QStringLiteral("Combo1"),    QStringLiteral("Combo2"),
                    QStringLiteral("Combo3"),   QStringLiteral("Check3")};
    const QString alignments = QStringLiteral("居左, 居中 or 居右");
    CliOption header = text(QStringLiteral("header"), QStringLiteral("Text4"),
                            QStringLiteral("Write this header text (may be empty)."));
    header.kind = Kind::TickedText;
    header.values = {{QString(), QStringLiteral("Check12_0")}};
    CliOption footer = text(QStringLiteral("footer"), QStringLiteral("Text5"),
                            QStringLiteral("Write this footer text (may be empty)."));
    footer.kind = Kind::TickedText;
    footer.values = {{QString(), QStringLiteral("Check12_1")}};
    row.options = {
        header,
        flag(QStringLiteral("delete-header"), QStringLiteral("Check5_0"),
             QStringLiteral("Empty the existing header first (with --header).")),
        text(QStringLiteral("header-font"), QStringLiteral("Text6_0"),
             QStringLiteral("The header's font name (default 宋体)."), QStringLiteral("宋体")),
        text(QStringLiteral("header-size"), QStringLiteral("Text7_0"),
             QStringLiteral("The header's font size in points (default 10)."), QStringLiteral("10")),
        flag(QStringLiteral("header-bold"), QStringLiteral("Check1_0"),
             QStringLiteral("The header in bold.")),
        text(QStringLiteral("header-align"), QStringLiteral("Combo1"),
             QStringLiteral("The header's alignment: ") + alignments + QStringLiteral(" (default 居中)."),
             QStringLiteral("居中")),
        footer,
        flag(QStringLiteral("delete-footer"), QStringLiteral("Check5_1"),
             QStringLiteral("Empty the existing footer first (with --footer or --page-number).")),
        text(QStringLiteral("footer-font"), QStringLiteral("Text6_1"),
             QStringLiteral("The footer's font name (default 宋体)."), QStringLiteral("宋体")),
        text(QStringLiteral("footer-size"), QStringLiteral("Text7_1"),
             QStringLiteral("The footer's font size in points (default 10)."), QStringLiteral("10")),
        flag(QStringLiteral("footer-bold"), QStringLiteral("Check1_1"),
             QStringLiteral("The footer in bold.")),
        text(QStringLiteral("footer-align"), QStringLiteral("Combo2"),
             QStringLiteral("The footer text's position: ") + alignments + QStringLiteral(" (default 居左)."),
             QStringLiteral("居左")),
        flag(QStringLiteral("page-number"), QStringLiteral("Check3"),
             QStringLiteral("Put 第N页 into the footer, with the footer's font.")),
        text(QStringLiteral("page-number-align"), QStringLiteral("Combo3"),
             QStringLiteral("The page number's position: ") + alignments + QStringLiteral(" (default 居中)."),
             QStringLiteral("居中")),
    };
    row.impliedTicks = {QStringLiteral("Option7")};
    row.usageCheck = [](const JobInputs& in) {
        const QList<QPair<QString, QString>> positions = {
            {QStringLiteral("header-align"), QStringLiteral("Combo1")},
            {QStringLiteral("footer-align"), QStringLiteral("Combo2")},
            {QStringLiteral("page-number-align"), QStringLiteral("Combo3")}};
        for (const auto& [option, control] : positions) {
            if (!HeaderFooterWriter::alignmentCode(in.text(control)))
                return QStringLiteral("unknown %1 \"%2\" (居左, 居中, 居右)").arg(option, in.text(control));
        }
        return QString();
    };
    row.run = Command3_Click;
    return row;
}

} // namespace

QList<JobRow> jobRows()
{
    JobRow replace;
    replace.command = QStringLiteral("word-replace");
    replace.button = QStringLiteral("Command1");
    replace.summary = QStringLiteral("replace a text in Word documents");
    replace.help =
        QStringLiteral("Replaces a text in Word documents as \"Doc文档替换\" does: the body always, and "
                       "the scopes given.");
    replace.controls = {QStringLiteral("Option1"),  QStringLiteral("Option3"),   QStringLiteral("Text1"),
                        QStringLiteral("Text2"),    QStringLiteral("Check13_0"), QStringLiteral("Check13_1"),
                        QStringLiteral("Check13_2")};
    replace.options = {
        {QStringLiteral("engine"),
         Kind::OneOf,
         QStringLiteral("word (default) or wps."),
         {},
         QStringLiteral("word"),
         {{QStringLiteral("word"), QStringLiteral("Option1")},
          {QStringLiteral("wps"), QStringLiteral("Option3")}}},
        {QStringLiteral("old"),
         Kind::Text,
         QStringLiteral("The text to replace."),
         QStringLiteral("Text1"),
         {},
         {},
         true},
        {QStringLiteral("new"),
         Kind::Text,
         QStringLiteral("The new text."),
         QStringLiteral("Text2"),
         {},
         {},
         true},
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
    return {replace, replacePairsRow(), headerFooterReplaceRow(), headerFooterWriteRow()};
}

} // namespace word

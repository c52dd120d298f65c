#include "Commands.h"

#include "CommandRow.h"
#include "filejobs/BatchDelete.h"
#include "filejobs/BatchRename.h"
#include "sheet/CellReplace.h"
#include "sheet/Spreadsheet.h"
#include "sheet/WorkbookReplace.h"
#include "word/HeaderFooterReplace.h"
#include "word/HeaderFooterWriter.h"
#include "word/MultiPairReplace.h"
#include "word/SingleTextReplace.h"
#include "word/WordProcessor.h"

namespace jobs::commands {

namespace {

// --scope of word-replace and word-replace-pairs: where else than the body they replace.
const QString kScopeHelp =
    QStringLiteral("Also replace in: textboxes, header-textboxes, headers-footers (comma-separated).");

template <class In> QList<std::pair<QString, typename CommandRow<In>::template Member<bool>>> scopeChoices()
{
    using Scopes = decltype(In::scopes);
    return {{QStringLiteral("textboxes"), at<&In::scopes, &Scopes::pageTextBoxes>()},
            {QStringLiteral("header-textboxes"), at<&In::scopes, &Scopes::headerFooterTextBoxes>()},
            {QStringLiteral("headers-footers"), at<&In::scopes, &Scopes::headersFooters>()}};
}

JobRow wordReplace()
{
    using namespace SingleTextReplace;
    using Engine = SingleTextReplace::Engine;
    return CommandRow<Inputs>(
               QStringLiteral("word-replace"), QStringLiteral("Command1"),
               QStringLiteral("replace a text in Word documents"),
               QStringLiteral("Replaces a text in Word documents as \"Doc文档替换\" does: the body "
                              "always, and the scopes given."))
        .oneOf<Engine>(QStringLiteral("engine"), QStringLiteral("word (default) or wps."),
                       at<&Inputs::engine>(),
                       {{QStringLiteral("word"), Engine::Word}, {QStringLiteral("wps"), Engine::Wps}},
                       QStringLiteral("word"))
        .requiredText(QStringLiteral("old"), QStringLiteral("The text to replace."), at<&Inputs::oldText>())
        .requiredText(QStringLiteral("new"), QStringLiteral("The new text."), at<&Inputs::newText>())
        .setOf(QStringLiteral("scope"), kScopeHelp, scopeChoices<Inputs>())
        .drivesOffice()
        .runs(
            [](JobContext& context, const auto& read) { return Command1(context.host, context.words, read); })
        .row();
}

JobRow wordReplacePairs()
{
    using namespace MultiPairReplace;
    return CommandRow<Inputs>(
               QStringLiteral("word-replace-pairs"), QStringLiteral("Command9"),
               QStringLiteral("replace several texts at once in Word documents"),
               QStringLiteral("Replaces each text of --old by the text at the same place in --new "
                              "(both lists separated by \"|\") as \"文档多文本替换\" does: the body "
                              "always, and the scopes given."))
        .requiredText(QStringLiteral("old"), QStringLiteral("The texts to replace, separated by \"|\"."),
                      at<&Inputs::oldTexts>())
        .requiredText(QStringLiteral("new"),
                      QStringLiteral("The new texts, separated by \"|\", in the same order."),
                      at<&Inputs::newTexts>())
        .setOf(QStringLiteral("scope"), kScopeHelp, scopeChoices<Inputs>())
        .drivesOffice()
        .runs(
            [](JobContext& context, const auto& read) { return Command9(context.host, context.words, read); })
        .row();
}

JobRow headerFooterReplace()
{
    using namespace HeaderFooterReplace;
    return CommandRow<Inputs>(
               QStringLiteral("header-footer-replace"), QStringLiteral("Command7"),
               QStringLiteral("replace a text in the headers and one in the footers of Word "
                              "documents"),
               QStringLiteral("Replaces a text in the header and one in the footer of the current "
                              "page as \"替换页眉页脚\" does."))
        .flag(QStringLiteral("header"), QStringLiteral("Replace in the header."), at<&Inputs::header>())
        .text(QStringLiteral("header-old"), QStringLiteral("The header's text to replace (default 原文本)."),
              at<&Inputs::headerOld>(), QStringLiteral("原文本"))
        .text(QStringLiteral("header-new"), QStringLiteral("The header's new text (default 新文本)."),
              at<&Inputs::headerNew>(), QStringLiteral("新文本"))
        .flag(QStringLiteral("footer"), QStringLiteral("Replace in the footer."), at<&Inputs::footer>())
        .text(QStringLiteral("footer-old"), QStringLiteral("The footer's text to replace (default 原文本)."),
              at<&Inputs::footerOld>(), QStringLiteral("原文本"))
        .text(QStringLiteral("footer-new"), QStringLiteral("The footer's new text (default 新文本)."),
              at<&Inputs::footerNew>(), QStringLiteral("新文本"))
        .drivesOffice()
        .runs(
            [](JobContext& context, const auto& read) { return Command7(context.host, context.words, read); })
        .row();
}

JobRow headerFooterWrite()
{
    using namespace HeaderFooterWriter;
    const QString alignments = QStringLiteral("居左, 居中 or 居右");
    return CommandRow<Inputs>(
               QStringLiteral("header-footer-write"), QStringLiteral("Command3"),
               QStringLiteral("write headers, footers and 第N页 page numbers into Word documents"),
               QStringLiteral("Writes a header, a footer and a 第N页 page number as "
                              "\"批量插入页眉页脚页码\" does, with the font, size, bold and "
                              "alignment given."))
        .tickedText(QStringLiteral("header"), QStringLiteral("Write this header text (may be empty)."),
                    at<&Inputs::header, &Row::text>(), QStringLiteral("header.write"),
                    at<&Inputs::header, &Row::write>())
        .flag(QStringLiteral("delete-header"),
              QStringLiteral("Empty the existing header first (with --header)."),
              at<&Inputs::header, &Row::deleteFirst>())
        .text(QStringLiteral("header-font"), QStringLiteral("The header's font name (default 宋体)."),
              at<&Inputs::header, &Row::fontName>(), QStringLiteral("宋体"))
        .text(QStringLiteral("header-size"), QStringLiteral("The header's font size in points (default 10)."),
              at<&Inputs::header, &Row::fontSize>(), QStringLiteral("10"))
        .flag(QStringLiteral("header-bold"), QStringLiteral("The header in bold."),
              at<&Inputs::header, &Row::bold>())
        .text(QStringLiteral("header-align"),
              QStringLiteral("The header's alignment: ") + alignments + QStringLiteral(" (default 居中)."),
              at<&Inputs::header, &Row::alignment>(), QStringLiteral("居中"))
        .tickedText(QStringLiteral("footer"), QStringLiteral("Write this footer text (may be empty)."),
                    at<&Inputs::footer, &Row::text>(), QStringLiteral("footer.write"),
                    at<&Inputs::footer, &Row::write>())
        .flag(QStringLiteral("delete-footer"),
              QStringLiteral("Empty the existing footer first (with --footer or --page-number)."),
              at<&Inputs::footer, &Row::deleteFirst>())
        .text(QStringLiteral("footer-font"), QStringLiteral("The footer's font name (default 宋体)."),
              at<&Inputs::footer, &Row::fontName>(), QStringLiteral("宋体"))
        .text(QStringLiteral("footer-size"), QStringLiteral("The footer's font size in points (default 10)."),
              at<&Inputs::footer, &Row::fontSize>(), QStringLiteral("10"))
        .flag(QStringLiteral("footer-bold"), QStringLiteral("The footer in bold."),
              at<&Inputs::footer, &Row::bold>())
        .text(QStringLiteral("footer-align"),
              QStringLiteral("The footer text's position: ") + alignments +
                  QStringLiteral(" (default 居左)."),
              at<&Inputs::footer, &Row::alignment>(), QStringLiteral("居左"))
        .flag(QStringLiteral("page-number"),
              QStringLiteral("Put 第N页 into the footer, with the footer's font."), at<&Inputs::pageNumber>())
        .text(QStringLiteral("page-number-align"),
              QStringLiteral("The page number's position: ") + alignments +
                  QStringLiteral(" (default 居中)."),
              at<&Inputs::pageNumberPosition>(), QStringLiteral("居中"))
        .implied(QStringLiteral("word"), at<&Inputs::wordChosen>())
        .check([](const Inputs& in) {
            const QList<std::pair<QString, QString>> positions = {
                {QStringLiteral("header-align"), in.header.alignment},
                {QStringLiteral("footer-align"), in.footer.alignment},
                {QStringLiteral("page-number-align"), in.pageNumberPosition}};
            for (const auto& [option, text] : positions) {
                if (!alignmentCode(text))
                    return QStringLiteral("unknown %1 \"%2\" (居左, 居中, 居右)").arg(option, text);
            }
            return QString();
        })
        .drivesOffice()
        .runs(
            [](JobContext& context, const auto& read) { return Command3(context.host, context.words, read); })
        .row();
}

JobRow sheetReplace()
{
    using namespace WorkbookReplace;
    using Engine = WorkbookReplace::Engine;
    return CommandRow<Inputs>(
               QStringLiteral("sheet-replace"), QStringLiteral("Command2"),
               QStringLiteral("replace a text in every worksheet of workbooks"),
               QStringLiteral("Replaces a text in every worksheet of workbooks as \"xls表格替换\" "
                              "does."))
        .oneOf<Engine>(QStringLiteral("engine"), QStringLiteral("excel (default) or wps."),
                       at<&Inputs::engine>(),
                       {{QStringLiteral("excel"), Engine::Excel}, {QStringLiteral("wps"), Engine::Wps}},
                       QStringLiteral("excel"))
        .requiredText(QStringLiteral("old"), QStringLiteral("The text to replace."), at<&Inputs::oldText>())
        .requiredText(QStringLiteral("new"), QStringLiteral("The new text."), at<&Inputs::newText>())
        .drivesOffice()
        .runs([](JobContext& context, const auto& read) {
            return Command2(context.host, context.sheets, read);
        })
        .row();
}

JobRow cellWrite()
{
    using namespace CellReplace;
    return CommandRow<Inputs>(
               QStringLiteral("cell-write"), QStringLiteral("Command8"),
               QStringLiteral("write a text into one cell of every worksheet of workbooks"),
               QStringLiteral("Writes a text into the cell at the row and column given, in every "
                              "worksheet of workbooks, as \"EXCEL单元替换\" does. Row and column are "
                              "read as numbers (\"3.5\" is row 4)."))
        .requiredText(QStringLiteral("row"), QStringLiteral("The cell's row, from 1."), at<&Inputs::row>())
        .requiredText(QStringLiteral("column"), QStringLiteral("The cell's column, from 1 (A is 1)."),
                      at<&Inputs::column>())
        .requiredText(QStringLiteral("text"), QStringLiteral("The cell's new content (may be empty)."),
                      at<&Inputs::content>())
        .drivesOffice()
        .runs([](JobContext& context, const auto& read) {
            return Command8(context.host, context.sheets, read);
        })
        .row();
}

JobRow rename()
{
    using filejobs::NameRule;
    QList<std::pair<QString, int>> positions;
    for (int i = filejobs::ReplacePrefix; i <= filejobs::AfterSuffix; ++i)
        positions.append({QString::number(i), i});
    return CommandRow<NameRule>(
               QStringLiteral("rename"), QStringLiteral("Command6"),
               QStringLiteral("rename files, inserting a text and a number into their names"),
               QStringLiteral(
                   "Renames files within their folders as \"改名\" does: the text and the increment "
                   "go in at the position "
                   "(0 替换前缀, 1 替换后缀, 2 在前缀的前面 (the text only), 3 在前缀的后面, 4 "
                   "在后缀的前面, 5 在后缀的后面). "
                   "A name that is taken is never replaced: the file is reported and keeps its "
                   "name."))
        .text(QStringLiteral("text"), QStringLiteral("The text to insert (blanks around it are dropped)."),
              at<&NameRule::text>())
        .text(QStringLiteral("step"),
              QStringLiteral("The increment, a whole number from -32768 to 32767 (default 1)."),
              at<&NameRule::step>(), QStringLiteral("1"))
        .oneOf<int>(QStringLiteral("position"), QStringLiteral("Where the text goes, 0 to 5 (default 0)."),
                    at<&NameRule::position>(), positions, QStringLiteral("0"))
        .runs([](JobContext& context, const auto& read) {
            return BatchRename::RenameFiles(context.host, read);
        })
        .row();
}

JobRow remove()
{
    using namespace BatchDelete;
    return CommandRow<Inputs>(
               QStringLiteral("delete"), QStringLiteral("Command4"), QStringLiteral("delete files for good"),
               QStringLiteral("Deletes files for good as \"删除文件\" does, the last first: a link as "
                              "the link, never a folder, a hidden or system file, or a read-only "
                              "one. Nothing is deleted without --unlock."))
        .flag(QStringLiteral("unlock"),
              QStringLiteral("Allow the deletion (勾选解锁后可删除，注意：删除后不可恢复，谨慎操作)."),
              at<&Inputs::unlocked>())
        .check([](const Inputs& in) {
            return in.unlocked
                       ? QString()
                       : QStringLiteral("delete deletes nothing without --unlock: files deleted cannot be "
                                        "restored");
        })
        .runs([](JobContext& context, const auto& read) { return DeleteFiles(context.host, read); })
        .row();
}

} // namespace

QList<JobRow> rows()
{
    return {wordReplace(),
            wordReplacePairs(),
            headerFooterReplace(),
            headerFooterWrite(),
            sheetReplace(),
            cellWrite(),
            rename(),
            remove()};
}

} // namespace jobs::commands

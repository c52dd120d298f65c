#include "HeaderFooterWriter.h"

#include "DocumentRun.h"
#include "FontNames.h"
#include "WordTexts.h"
#include "app/DryRun.h"
#include "app/RuntimeError.h"

namespace HeaderFooterWriter {

namespace {

const QString kCentre = QStringLiteral("居中");
const QString kRight = QStringLiteral("居右");
const QString kLeft = QStringLiteral("居左");

QString blanks(int count)
{
    return QString(count, QLatin1Char(' '));
}

// "第", a page-number field, "页": each page shows its own number.
void typePageNumber(word::Selection& selection)
{
    selection.typeText(QStringLiteral("第"));
    selection.fieldsAdd(word::kFieldPage);
    selection.typeText(QStringLiteral("页"));
}

// F1 to F3: into the current page's header or footer, its primary one emptied
// in the selection's sections when asked, the row's font for what is typed.
word::SelectionPtr prepare(word::Application& application, qint16 view, const Row& row)
{
    application.setSeekView(view);
    word::SelectionPtr selection = application.selection();
    if (row.deleteFirst) {
        for (const word::SectionPtr& section : selection->sections()) {
            const word::HeaderFooterPtr part =
                view == word::kSeekCurrentPageHeader ? section->headers(1) : section->footers(1);
            part->range()->Delete();
        }
    }
    selection->setFontName(row.fontName);
    selection->setFontSize(row.fontSize);
    // Bold is only ever switched on: unticked leaves what the text already has.
    if (row.bold)
        selection->setFontBold(true);
    return selection;
}

// The header block, and the footer-text block: the text, then its alignment.
void textBlock(word::Application& application, qint16 view, const Row& row)
{
    const word::SelectionPtr selection = prepare(application, view, row);
    if (const std::optional<int> code = alignmentCode(row.alignment)) {
        selection->typeText(row.text);
        selection->setParagraphAlignment(*code);
    }
    application.setSeekView(word::kSeekMainDocument);
}

// The footer text and the page number on one line, laid out by the pair of
// positions with runs of blanks; pairs without a layout type nothing.
void pageNumberAndFooterBlock(word::Application& application, const Inputs& inputs)
{
    const word::SelectionPtr selection = prepare(application, word::kSeekCurrentPageFooter, inputs.footer);
    const QString& number = inputs.pageNumberPosition;
    const QString& text = inputs.footer.alignment;
    const QString& footer = inputs.footer.text;
    word::Selection& s = *selection;
    if (number == kCentre && text == kCentre) {
        s.typeText(footer + blanks(5));
        typePageNumber(s);
        s.setParagraphAlignment(word::kAlignCenter);
    } else if (number == kCentre && text == kRight) {
        typePageNumber(s);
        s.typeText(blanks(26) + footer);
        s.setParagraphAlignment(word::kAlignRight);
    } else if (number == kCentre && text == kLeft) {
        s.typeText(footer + blanks(26));
        typePageNumber(s);
        s.setParagraphAlignment(word::kAlignJustify);
    } else if (number == kRight && text == kLeft) {
        s.typeText(footer + blanks(52));
        typePageNumber(s);
        s.setParagraphAlignment(word::kAlignRight);
    } else if (number == kLeft && text == kRight) {
        typePageNumber(s);
        s.setParagraphAlignment(word::kAlignJustify);
        s.typeText(footer + blanks(52));
    }
    application.setSeekView(word::kSeekMainDocument);
}

void pageNumberBlock(word::Application& application, const Inputs& inputs)
{
    const word::SelectionPtr selection = prepare(application, word::kSeekCurrentPageFooter, inputs.footer);
    if (const std::optional<int> code = alignmentCode(inputs.pageNumberPosition)) {
        typePageNumber(*selection);
        selection->setParagraphAlignment(*code);
    }
}

// The blocks of one open document, each one's line after it.
void write(Batch& batch, word::Application& application, const QString& path, const Inputs& inputs)
{
    application.setVisible(false);
    application.setDisplayAlerts(-1);
    // A size box that is not a size fails the document before a character of it changes.
    if (inputs.header.write)
        word::fontPoints(inputs.header.fontSize);
    if (inputs.footer.write || inputs.pageNumber)
        word::fontPoints(inputs.footer.fontSize);

    // A dry run tells which of the header and footer it would write.
    const auto written = [&](DryRun::Scope scope) {
        if (DryRun::active())
            DryRun::count(path, scope, 1);
    };
    if (inputs.header.write) {
        textBlock(application, word::kSeekCurrentPageHeader, inputs.header);
        written(DryRun::Scope::Headers);
        batch.report(path, headerWritten());
    }
    if (inputs.footer.write && !inputs.pageNumber) {
        textBlock(application, word::kSeekCurrentPageFooter, inputs.footer);
        written(DryRun::Scope::Footers);
        batch.report(path, footerWritten());
    }
    if (inputs.footer.write && inputs.pageNumber) {
        pageNumberAndFooterBlock(application, inputs);
        written(DryRun::Scope::Footers);
        batch.report(path, pageNumberAndFooterWritten());
    }
    if (!inputs.footer.write && inputs.pageNumber) {
        pageNumberBlock(application, inputs);
        written(DryRun::Scope::Footers);
        batch.report(path, pageNumberWritten());
        application.setSeekView(word::kSeekMainDocument);
    }
}

} // namespace

std::optional<int> alignmentCode(const QString& comboText)
{
    if (comboText == kCentre)
        return word::kAlignCenter;
    if (comboText == kRight)
        return word::kAlignRight;
    if (comboText == kLeft)
        return word::kAlignJustify;
    return std::nullopt;
}

QString headerWritten()
{
    return QStringLiteral(" 页眉已写入内容");
}

QString footerWritten()
{
    return QStringLiteral(" 页脚已写入内容");
}

QString pageNumberAndFooterWritten()
{
    return QStringLiteral(" 页码和页脚已写入内容");
}

QString pageNumberWritten()
{
    return QStringLiteral(" 页码已写入");
}

Result Command3(JobHost& host, word::Factory& office, const std::function<Inputs()>& read)
{
    if (!read().wordChosen)
        return {};
    Batch::Pattern pattern;
    pattern.quitWhenNoneTicked = true;
    return word::changeEachDocument(
        host, office, QStringLiteral("Word.Application"), pattern, Batch::Stage::Write,
        [&](Batch& batch, word::Application& application, word::Document&, const QString& path) {
            write(batch, application, path, read());
        },
        true);
}

} // namespace HeaderFooterWriter

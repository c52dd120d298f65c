#include "UnoDocuments.h"

#include "office/libreoffice/UnoOffice.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/style/BreakType.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XProtectable.hpp>

namespace UnoDocuments {

using namespace com::sun::star;
using namespace unooffice;
using rtl::OUString;
using uno::Reference;

namespace {

UnoOffice& office()
{
    static UnoOffice instance;
    return instance;
}

beans::PropertyValue property(const char* name, const uno::Any& value)
{
    beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

void store(const Reference<lang::XComponent>& document, const QString& path, const char* filter,
           const QString& password = QString())
{
    QList<beans::PropertyValue> list{property("FilterName", uno::Any(OUString::createFromAscii(filter))),
                                     property("Overwrite", uno::Any(true))};
    if (!password.isEmpty())
        list.append(property("Password", uno::Any(toOUString(password))));
    const uno::Sequence<beans::PropertyValue> arguments(list.constData(),
                                                        static_cast<sal_Int32>(list.size()));
    Reference<frame::XStorable>(document, uno::UNO_QUERY_THROW)
        ->storeToURL(toOUString(fileUrl(path)), arguments);
    Reference<util::XCloseable>(document, uno::UNO_QUERY_THROW)->close(true);
}

void addTextBox(const Reference<text::XTextDocument>& document, const Reference<text::XText>& where,
                const QString& text)
{
    const Reference<lang::XMultiServiceFactory> factory(document, uno::UNO_QUERY_THROW);
    const Reference<text::XTextContent> frame(
        factory->createInstance(OUString("com.sun.star.text.TextFrame")), uno::UNO_QUERY_THROW);
    const Reference<beans::XPropertySet> size(frame, uno::UNO_QUERY_THROW);
    size->setPropertyValue(OUString("Width"), uno::Any(sal_Int32(5000)));
    size->setPropertyValue(OUString("Height"), uno::Any(sal_Int32(1500)));
    where->insertTextContent(where->getEnd(), frame, false);
    Reference<text::XTextFrame>(frame, uno::UNO_QUERY_THROW)->getText()->setString(toOUString(text));
}

} // namespace

void writeDocument(const QString& path, const WordContent& content, const QString& password)
{
    office().call([&] {
        const Reference<lang::XComponent> component =
            office().loadUrl(QStringLiteral("private:factory/swriter"));
        const Reference<text::XTextDocument> document(component, uno::UNO_QUERY_THROW);
        const Reference<text::XText> body = document->getText();
        const Reference<style::XStyleFamiliesSupplier> families(document, uno::UNO_QUERY_THROW);
        const Reference<container::XNameContainer> pageStyles(
            families->getStyleFamilies()->getByName(OUString("PageStyles")), uno::UNO_QUERY_THROW);
        const Reference<lang::XMultiServiceFactory> factory(document, uno::UNO_QUERY_THROW);

        const qsizetype sections = std::max<qsizetype>(1, content.headers.size());
        const Reference<text::XTextCursor> cursor = body->createTextCursor();
        for (qsizetype s = 0; s < sections; ++s) {
            // Each section has a page style of its own, with its header and footer.
            const OUString styleName =
                s == 0 ? OUString("Standard") : toOUString(QStringLiteral("Section%1").arg(s + 1));
            if (s > 0) {
                pageStyles->insertByName(
                    styleName, uno::Any(factory->createInstance(OUString("com.sun.star.style.PageStyle"))));
                body->insertControlCharacter(cursor->getEnd(), text::ControlCharacter::PARAGRAPH_BREAK,
                                             false);
                cursor->gotoEnd(false);
                Reference<beans::XPropertySet>(cursor, uno::UNO_QUERY_THROW)
                    ->setPropertyValue(OUString("PageDescName"), uno::Any(styleName));
            }
            const Reference<beans::XPropertySet> style(pageStyles->getByName(styleName),
                                                       uno::UNO_QUERY_THROW);
            if (s < content.headers.size()) {
                style->setPropertyValue(OUString("HeaderIsOn"), uno::Any(true));
                Reference<text::XText>(style->getPropertyValue(OUString("HeaderText")), uno::UNO_QUERY_THROW)
                    ->setString(toOUString(content.headers.at(s)));
            }
            if (s < content.footers.size()) {
                style->setPropertyValue(OUString("FooterIsOn"), uno::Any(true));
                Reference<text::XText>(style->getPropertyValue(OUString("FooterText")), uno::UNO_QUERY_THROW)
                    ->setString(toOUString(content.footers.at(s)));
            }
            const QStringList paragraphs =
                s == 0 ? content.body : QStringList{QStringLiteral("第%1节正文").arg(s + 1)};
            for (qsizetype p = 0; p < paragraphs.size(); ++p) {
                if (p > 0)
                    body->insertControlCharacter(cursor->getEnd(), text::ControlCharacter::PARAGRAPH_BREAK,
                                                 false);
                cursor->gotoEnd(false);
                body->insertString(cursor->getEnd(), toOUString(paragraphs.at(p)), false);
            }
            if (s == 0) {
                for (const QString& box : content.textBoxes)
                    addTextBox(document, body, box);
                if (!content.headerTextBox.isEmpty()) {
                    addTextBox(document,
                               Reference<text::XText>(style->getPropertyValue(OUString("HeaderText")),
                                                      uno::UNO_QUERY_THROW),
                               content.headerTextBox);
                }
            }
            cursor->gotoEnd(false);
        }
        const bool docx = QFileInfo(path).suffix().compare(QLatin1String("docx"), Qt::CaseInsensitive) == 0;
        store(component, path, docx ? "MS Word 2007 XML" : "MS Word 97", password);
    });
}

void writeWorkbook(const QString& path, const QList<SheetContent>& sheets)
{
    office().call([&] {
        const Reference<lang::XComponent> component =
            office().loadUrl(QStringLiteral("private:factory/scalc"));
        const Reference<sheet::XSpreadsheetDocument> document(component, uno::UNO_QUERY_THROW);
        const Reference<sheet::XSpreadsheets> all = document->getSheets();
        const Reference<container::XIndexAccess> indexed(all, uno::UNO_QUERY_THROW);
        for (qsizetype i = 0; i < sheets.size(); ++i) {
            if (i >= indexed->getCount())
                all->insertNewByName(toOUString(sheets.at(i).name), static_cast<sal_Int16>(i));
            const Reference<sheet::XSpreadsheet> sheet(indexed->getByIndex(static_cast<sal_Int32>(i)),
                                                       uno::UNO_QUERY_THROW);
            Reference<container::XNamed>(sheet, uno::UNO_QUERY_THROW)->setName(toOUString(sheets.at(i).name));
            for (const auto& [row, column, text] : sheets.at(i).cells)
                sheet->getCellByPosition(column - 1, row - 1)->setFormula(toOUString(text));
            if (sheets.at(i).protectedSheet)
                Reference<util::XProtectable>(sheet, uno::UNO_QUERY_THROW)->protect(OUString());
        }
        while (indexed->getCount() > sheets.size()) {
            const Reference<container::XNamed> extra(indexed->getByIndex(indexed->getCount() - 1),
                                                     uno::UNO_QUERY_THROW);
            all->removeByName(extra->getName());
        }
        const bool xlsx = QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0;
        store(component, path, xlsx ? "Calc MS Excel 2007 XML" : "MS Excel 97");
    });
}

void exportPdf(const QString& path, const QString& pdf)
{
    const Reference<lang::XComponent> component = office().load(path);
    office().call([&] {
        const bool sheet = Reference<sheet::XSpreadsheetDocument>(component, uno::UNO_QUERY).is();
        store(component, pdf, sheet ? "calc_pdf_Export" : "writer_pdf_Export");
    });
}

void writePaged(const QString& path, const PagedDocument& content)
{
    office().call([&] {
        const Reference<lang::XComponent> component =
            office().loadUrl(QStringLiteral("private:factory/swriter"));
        const Reference<text::XTextDocument> document(component, uno::UNO_QUERY_THROW);
        const Reference<text::XText> body = document->getText();
        const Reference<text::XTextCursor> cursor = body->createTextCursor();
        for (qsizetype p = 0; p < content.pages.size(); ++p) {
            if (p > 0) {
                body->insertControlCharacter(cursor->getEnd(), text::ControlCharacter::PARAGRAPH_BREAK,
                                             false);
                cursor->gotoEnd(false);
                Reference<beans::XPropertySet>(cursor, uno::UNO_QUERY_THROW)
                    ->setPropertyValue(OUString("BreakType"), uno::Any(style::BreakType_PAGE_BEFORE));
            }
            body->insertString(cursor->getEnd(), toOUString(content.pages.at(p)), false);
            cursor->gotoEnd(false);
        }
        const Reference<style::XStyleFamiliesSupplier> families(document, uno::UNO_QUERY_THROW);
        const Reference<container::XNameAccess> pageStyles(
            families->getStyleFamilies()->getByName(OUString("PageStyles")), uno::UNO_QUERY_THROW);
        const Reference<beans::XPropertySet> style(pageStyles->getByName(OUString("Standard")),
                                                   uno::UNO_QUERY_THROW);
        const auto setText = [&](const char* name, const QString& text) {
            Reference<text::XText>(style->getPropertyValue(OUString::createFromAscii(name)),
                                   uno::UNO_QUERY_THROW)
                ->setString(toOUString(text));
        };
        if (!content.header.isEmpty() || !content.firstPageHeader.isEmpty() ||
            !content.evenPagesHeader.isEmpty()) {
            style->setPropertyValue(OUString("HeaderIsOn"), uno::Any(true));
            if (!content.firstPageHeader.isEmpty())
                style->setPropertyValue(OUString("FirstIsShared"), uno::Any(false));
            if (!content.evenPagesHeader.isEmpty())
                style->setPropertyValue(OUString("HeaderIsShared"), uno::Any(false));
            setText("HeaderText", content.header);
            if (!content.firstPageHeader.isEmpty())
                setText("HeaderTextFirst", content.firstPageHeader);
            if (!content.evenPagesHeader.isEmpty())
                setText("HeaderTextLeft", content.evenPagesHeader);
        }
        if (!content.footer.isEmpty()) {
            style->setPropertyValue(OUString("FooterIsOn"), uno::Any(true));
            setText("FooterText", content.footer);
        }
        if (!content.drawingTextShape.isEmpty()) {
            const Reference<lang::XMultiServiceFactory> factory(document, uno::UNO_QUERY_THROW);
            const Reference<drawing::XShape> shape(
                factory->createInstance(OUString("com.sun.star.drawing.TextShape")), uno::UNO_QUERY_THROW);
            shape->setSize(awt::Size(6000, 1500));
            Reference<beans::XPropertySet>(shape, uno::UNO_QUERY_THROW)
                ->setPropertyValue(OUString("AnchorType"),
                                   uno::Any(text::TextContentAnchorType_AT_PARAGRAPH));
            body->insertTextContent(body->getStart(),
                                    Reference<text::XTextContent>(shape, uno::UNO_QUERY_THROW), false);
            Reference<text::XText>(shape, uno::UNO_QUERY_THROW)
                ->setString(toOUString(content.drawingTextShape));
        }
        const bool docx = QFileInfo(path).suffix().compare(QLatin1String("docx"), Qt::CaseInsensitive) == 0;
        store(component, path, docx ? "MS Word 2007 XML" : "MS Word 97");
    });
}

namespace {

QList<Paragraph> paragraphsOf(const Reference<text::XText>& story)
{
    QList<Paragraph> paragraphs;
    if (!story.is())
        return paragraphs;
    const Reference<container::XEnumeration> all =
        Reference<container::XEnumerationAccess>(story, uno::UNO_QUERY_THROW)->createEnumeration();
    while (all->hasMoreElements()) {
        const Reference<beans::XPropertySet> paragraph(all->nextElement(), uno::UNO_QUERY_THROW);
        Paragraph read;
        read.text = toQString(Reference<text::XTextRange>(paragraph, uno::UNO_QUERY_THROW)->getString());
        sal_Int16 adjust = 0;
        paragraph->getPropertyValue(OUString("ParaAdjust")) >>= adjust;
        static const char* const kAdjust[] = {"left", "right", "justified", "center", "stretch"};
        read.alignment =
            adjust >= 0 && adjust < 5 ? QString::fromLatin1(kAdjust[adjust]) : QString::number(adjust);
        const Reference<container::XEnumeration> portions =
            Reference<container::XEnumerationAccess>(paragraph, uno::UNO_QUERY_THROW)->createEnumeration();
        while (portions->hasMoreElements()) {
            const Reference<beans::XPropertySet> portion(portions->nextElement(), uno::UNO_QUERY_THROW);
            TextRun run;
            OUString type;
            portion->getPropertyValue(OUString("TextPortionType")) >>= type;
            if (type != "Text" && type != "TextField")
                continue;
            run.field = type == "TextField";
            run.text = toQString(Reference<text::XTextRange>(portion, uno::UNO_QUERY_THROW)->getString());
            OUString font;
            // A .doc's font table adds alternative names after the font's own: "Arial;Helvetica".
            portion->getPropertyValue(OUString("CharFontName")) >>= font;
            run.font = toQString(font).section(QLatin1Char(';'), 0, 0);
            portion->getPropertyValue(OUString("CharFontNameAsian")) >>= font;
            run.asianFont = toQString(font).section(QLatin1Char(';'), 0, 0);
            float number = 0;
            portion->getPropertyValue(OUString("CharHeight")) >>= number;
            run.size = number;
            portion->getPropertyValue(OUString("CharHeightAsian")) >>= number;
            run.asianSize = number;
            portion->getPropertyValue(OUString("CharWeight")) >>= number;
            run.bold = number >= awt::FontWeight::BOLD;
            portion->getPropertyValue(OUString("CharWeightAsian")) >>= number;
            run.asianBold = number >= awt::FontWeight::BOLD;
            read.runs.append(run);
        }
        paragraphs.append(read);
    }
    return paragraphs;
}

// Loads path hidden, runs f on it, closes it.
template <class F> void withDocument(const QString& path, F f)
{
    office().call([&] {
        const Reference<lang::XComponent> component = office().load(path);
        try {
            f(Reference<text::XTextDocument>(component, uno::UNO_QUERY_THROW));
        } catch (...) {
            Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true);
            throw;
        }
        Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true);
    });
}

QString exportPdf(const QString& path)
{
    const QString pdf = path + QStringLiteral(".pdf");
    withDocument(path, [&](const Reference<text::XTextDocument>& document) {
        const beans::PropertyValue list[] = {property("FilterName", uno::Any(OUString("writer_pdf_Export"))),
                                             property("Overwrite", uno::Any(true))};
        const uno::Sequence<beans::PropertyValue> arguments(list, 2);
        Reference<frame::XStorable>(document, uno::UNO_QUERY_THROW)
            ->storeToURL(toOUString(fileUrl(pdf)), arguments);
    });
    return pdf;
}

QString pdftotext(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

HeaderFooterParagraphs readHeaderFooter(const QString& path)
{
    HeaderFooterParagraphs read;
    withDocument(path, [&](const Reference<text::XTextDocument>& document) {
        const Reference<container::XEnumeration> paragraphs =
            Reference<container::XEnumerationAccess>(document->getText(), uno::UNO_QUERY_THROW)
                ->createEnumeration();
        OUString styleName;
        Reference<beans::XPropertySet>(paragraphs->nextElement(), uno::UNO_QUERY_THROW)
            ->getPropertyValue(OUString("PageStyleName")) >>= styleName;
        const Reference<style::XStyleFamiliesSupplier> families(document, uno::UNO_QUERY_THROW);
        const Reference<container::XNameAccess> pageStyles(
            families->getStyleFamilies()->getByName(OUString("PageStyles")), uno::UNO_QUERY_THROW);
        const Reference<beans::XPropertySet> style(pageStyles->getByName(styleName), uno::UNO_QUERY_THROW);
        bool on = false;
        if ((style->getPropertyValue(OUString("HeaderIsOn")) >>= on) && on)
            read.header = paragraphsOf(
                Reference<text::XText>(style->getPropertyValue(OUString("HeaderText")), uno::UNO_QUERY));
        if ((style->getPropertyValue(OUString("FooterIsOn")) >>= on) && on)
            read.footer = paragraphsOf(
                Reference<text::XText>(style->getPropertyValue(OUString("FooterText")), uno::UNO_QUERY));
    });
    return read;
}

QStringList renderPages(const QString& path)
{
    QStringList pages =
        pdftotext({QStringLiteral("-enc"), QStringLiteral("UTF-8"), exportPdf(path), QStringLiteral("-")})
            .split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QList<RenderedPage> renderLines(const QString& path)
{
    const QString html = pdftotext({QStringLiteral("-bbox"), QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                    exportPdf(path), QStringLiteral("-")});
    QList<RenderedPage> pages;
    static const QRegularExpression item(QStringLiteral(
        R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (auto it = item.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (!match.captured(1).isEmpty()) {
            pages.append({match.captured(1).toDouble(), match.captured(2).toDouble(), {}});
            continue;
        }
        if (pages.isEmpty())
            continue;
        QString text = match.captured(7);
        text.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
            .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        const PlacedLine word{text, match.captured(3).toDouble(), match.captured(5).toDouble(),
                              match.captured(4).toDouble(), match.captured(6).toDouble()};
        QList<PlacedLine>& lines = pages.last().lines;
        // Words come in reading order: one that overlaps the last line's height goes on with it.
        if (!lines.isEmpty() && word.top < lines.last().bottom && word.bottom > lines.last().top) {
            PlacedLine& line = lines.last();
            line.text += word.text;
            line.left = std::min(line.left, word.left);
            line.right = std::max(line.right, word.right);
            line.top = std::min(line.top, word.top);
            line.bottom = std::max(line.bottom, word.bottom);
        } else {
            lines.append(word);
        }
    }
    return pages;
}

void shutdown()
{
    office().terminate();
}

} // namespace UnoDocuments

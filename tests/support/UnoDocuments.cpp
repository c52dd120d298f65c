#include "UnoDocuments.h"

#include "office/libreoffice/UnoOffice.h"

#include <QFileInfo>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
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

void shutdown()
{
    office().terminate();
}

} // namespace UnoDocuments

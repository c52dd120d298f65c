#include "UnoDocuments.h"

#include "app/FailureText.h"
#include "office/libreoffice/UnoOffice.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/XEventsSupplier.hpp>
#include <com/sun/star/document/XRedlinesSupplier.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/drawing/XShapeGrouper.hpp>
#include <com/sun/star/drawing/XShapes.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/graphic/XGraphicProvider.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellAddressable.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XDataPilotTable.hpp>
#include <com/sun/star/sheet/XDataPilotTablesSupplier.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/style/BreakType.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/ReferenceFieldPart.hpp>
#include <com/sun/star/text/ReferenceFieldSource.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextEmbeddedObjectsSupplier.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextFramesSupplier.hpp>
#include <com/sun/star/text/XTextGraphicObjectsSupplier.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextSectionsSupplier.hpp>
#include <com/sun/star/text/XTextTable.hpp>
#include <com/sun/star/text/XTextTablesSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XMergeable.hpp>
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

// Makes a file through the office program; a failure says which file and why.
template <class F> void making(const QString& path, F&& f)
{
    try {
        office().call(f);
    } catch (const RuntimeError& error) {
        // A soffice that ended under this process (the tests run beside others that end
        // soffices) is started afresh once: the file is made from the start again.
        if (error.description() == FailureText::stopped()) {
            qWarning().noquote() << "making" << path << "again:" << error.detail();
            try {
                office().call(f);
                return;
            } catch (const RuntimeError& again) {
                qWarning().noquote() << "could not make" << path << ":" << again.description()
                                     << again.detail();
                throw;
            }
        }
        qWarning().noquote() << "could not make" << path << ":" << error.description() << error.detail();
        throw;
    }
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
    making(path, [&] {
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
    making(path, [&] {
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

namespace {

Reference<lang::XMultiServiceFactory> factoryOf(const Reference<uno::XInterface>& document)
{
    return Reference<lang::XMultiServiceFactory>(document, uno::UNO_QUERY_THROW);
}

Reference<text::XTextCursor> select(const Reference<text::XText>& text, sal_Int16 from, sal_Int16 length)
{
    const Reference<text::XTextCursor> cursor = text->createTextCursor();
    cursor->gotoStart(false);
    cursor->goRight(from, false);
    cursor->goRight(length, true);
    return cursor;
}

Reference<text::XTextRange> rangeOf(const Reference<text::XTextCursor>& cursor)
{
    return Reference<text::XTextRange>(cursor.get());
}

void insertBookmark(const Reference<text::XTextDocument>& document,
                    const Reference<text::XTextCursor>& around, const char* name)
{
    const Reference<text::XTextContent> bookmark(
        factoryOf(document)->createInstance(OUString("com.sun.star.text.Bookmark")), uno::UNO_QUERY_THROW);
    Reference<container::XNamed>(bookmark, uno::UNO_QUERY_THROW)->setName(OUString::createFromAscii(name));
    document->getText()->insertTextContent(rangeOf(around), bookmark, true);
}

// A 1x1 picture, for documents that hold one.
Reference<graphic::XGraphic> picture()
{
    static const unsigned char png[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00,
        0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01,
        0x0D, 0x0A, 0x2D, 0xB4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    static QTemporaryDir folder;
    const QString path = folder.filePath("picture.png");
    if (!QFileInfo::exists(path)) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char*>(png), sizeof(png));
    }
    const Reference<graphic::XGraphicProvider> provider(
        office().serviceManager()->createInstanceWithContext(OUString("com.sun.star.graphic.GraphicProvider"),
                                                             office().context()),
        uno::UNO_QUERY_THROW);
    const beans::PropertyValue url[] = {property("URL", uno::Any(toOUString(fileUrl(path))))};
    return provider->queryGraphic(uno::Sequence<beans::PropertyValue>(url, 1));
}

void insertPicture(const Reference<text::XTextDocument>& document, const Reference<text::XText>& where)
{
    const Reference<beans::XPropertySet> graphic(
        factoryOf(document)->createInstance(OUString("com.sun.star.text.TextGraphicObject")),
        uno::UNO_QUERY_THROW);
    graphic->setPropertyValue(OUString("Graphic"), uno::Any(picture()));
    graphic->setPropertyValue(OUString("Width"), uno::Any(sal_Int32(1000)));
    graphic->setPropertyValue(OUString("Height"), uno::Any(sal_Int32(1000)));
    where->insertTextContent(where->getEnd(), Reference<text::XTextContent>(graphic, uno::UNO_QUERY_THROW),
                             false);
}

// A drawing shape anchored at the end of where, with text (a shape takes its text once it is placed).
Reference<drawing::XShape> drawingShape(const Reference<text::XTextDocument>& document,
                                        const Reference<text::XText>& where, const char* kind,
                                        const QString& text)
{
    const Reference<drawing::XShape> shape(
        factoryOf(document)->createInstance(OUString::createFromAscii(kind)), uno::UNO_QUERY_THROW);
    shape->setSize(awt::Size(4000, 1200));
    Reference<beans::XPropertySet>(shape, uno::UNO_QUERY_THROW)
        ->setPropertyValue(OUString("AnchorType"), uno::Any(text::TextContentAnchorType_AT_PARAGRAPH));
    where->insertTextContent(where->getEnd(), Reference<text::XTextContent>(shape, uno::UNO_QUERY_THROW),
                             false);
    if (!text.isEmpty())
        Reference<text::XText>(shape, uno::UNO_QUERY_THROW)->setString(toOUString(text));
    return shape;
}

Reference<beans::XPropertySet> standardPageStyle(const Reference<text::XTextDocument>& document)
{
    const Reference<style::XStyleFamiliesSupplier> families(document, uno::UNO_QUERY_THROW);
    const Reference<container::XNameAccess> pageStyles(
        families->getStyleFamilies()->getByName(OUString("PageStyles")), uno::UNO_QUERY_THROW);
    return Reference<beans::XPropertySet>(pageStyles->getByName(OUString("Standard")), uno::UNO_QUERY_THROW);
}

Reference<text::XText> textProperty(const Reference<beans::XPropertySet>& object, const char* name)
{
    return Reference<text::XText>(object->getPropertyValue(OUString::createFromAscii(name)),
                                  uno::UNO_QUERY_THROW);
}

const char* wordFilter(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("docx"), Qt::CaseInsensitive) == 0
               ? "MS Word 2007 XML"
               : "MS Word 97";
}

} // namespace

void writeMarkedDocument(const QString& path)
{
    making(path, [&] {
        const Reference<lang::XComponent> component =
            office().loadUrl(QStringLiteral("private:factory/swriter"));
        const Reference<text::XTextDocument> document(component, uno::UNO_QUERY_THROW);
        const Reference<text::XText> body = document->getText();
        body->setString(OUString("See Table 1. Link: Table web end Table"));
        insertBookmark(document, select(body, 4, 7), "_Ref1");
        insertBookmark(document, select(body, 33, 5), "whole");
        Reference<beans::XPropertySet>(select(body, 19, 9), uno::UNO_QUERY_THROW)
            ->setPropertyValue(OUString("HyperLinkURL"), uno::Any(OUString("http://example.com/web")));
        const Reference<text::XTextCursor> end = body->createTextCursor();
        end->gotoEnd(false);
        body->insertControlCharacter(rangeOf(end), text::ControlCharacter::PARAGRAPH_BREAK, false);
        body->insertString(rangeOf(end), OUString("Ref: "), false);
        const Reference<beans::XPropertySet> reference(
            factoryOf(document)->createInstance(OUString("com.sun.star.text.TextField.GetReference")),
            uno::UNO_QUERY_THROW);
        reference->setPropertyValue(OUString("ReferenceFieldSource"),
                                    uno::Any(text::ReferenceFieldSource::BOOKMARK));
        reference->setPropertyValue(OUString("SourceName"), uno::Any(OUString("_Ref1")));
        reference->setPropertyValue(OUString("ReferenceFieldPart"), uno::Any(text::ReferenceFieldPart::TEXT));
        body->insertTextContent(rangeOf(end), Reference<text::XTextContent>(reference, uno::UNO_QUERY_THROW),
                                false);
        store(component, path, wordFilter(path));
    });
}

void writeTrackedDocument(const QString& path)
{
    making(path, [&] {
        const Reference<lang::XComponent> component =
            office().loadUrl(QStringLiteral("private:factory/swriter"));
        const Reference<text::XTextDocument> document(component, uno::UNO_QUERY_THROW);
        const Reference<text::XText> body = document->getText();
        body->setString(OUString("The Lifecycle of a Project"));
        insertBookmark(document, select(body, 19, 7), "title");
        Reference<beans::XPropertySet>(select(body, 19, 7), uno::UNO_QUERY_THROW)
            ->setPropertyValue(OUString("HyperLinkURL"), uno::Any(OUString("http://example.com/p")));
        const Reference<text::XTextCursor> end = body->createTextCursor();
        end->gotoEnd(false);
        body->insertControlCharacter(rangeOf(end), text::ControlCharacter::PARAGRAPH_BREAK, false);
        body->insertString(rangeOf(end), OUString("Every project ends; old project notes stay."), false);
        const Reference<text::XTextTable> table(
            factoryOf(document)->createInstance(OUString("com.sun.star.text.TextTable")),
            uno::UNO_QUERY_THROW);
        table->initialize(1, 1);
        body->insertTextContent(body->getEnd(), Reference<text::XTextContent>(table, uno::UNO_QUERY_THROW),
                                false);
        Reference<text::XText>(table->getCellByName(OUString("A1")), uno::UNO_QUERY_THROW)
            ->setString(OUString("project plan"));
        const Reference<beans::XPropertySet> style = standardPageStyle(document);
        style->setPropertyValue(OUString("HeaderIsOn"), uno::Any(true));
        textProperty(style, "HeaderText")->setString(OUString("Project header"));
        Reference<beans::XPropertySet>(document, uno::UNO_QUERY_THROW)
            ->setPropertyValue(OUString("RecordChanges"), uno::Any(true));
        // "old project notes " in the second paragraph: 27 + 20 characters in.
        select(body, 47, 18)->setString(OUString());
        store(component, path, wordFilter(path));
    });
}

void writeShapesDocument(const QString& path)
{
    making(path, [&] {
        const Reference<lang::XComponent> component =
            office().loadUrl(QStringLiteral("private:factory/swriter"));
        const Reference<text::XTextDocument> document(component, uno::UNO_QUERY_THROW);
        const Reference<text::XText> body = document->getText();
        body->setString(toOUString(QStringLiteral("正文 OLD")));
        insertPicture(document, body);
        addTextBox(document, body, QStringLiteral("框 OLD"));
        drawingShape(document, body, "com.sun.star.drawing.TextShape", QStringLiteral("画 OLD"));
        // A group: its members are placed on the draw page first, then grouped there.
        const Reference<drawing::XShape> member =
            drawingShape(document, body, "com.sun.star.drawing.TextShape", QStringLiteral("组 OLD"));
        const Reference<drawing::XShape> line =
            drawingShape(document, body, "com.sun.star.drawing.LineShape", QString());
        const Reference<drawing::XShapes> members(
            office().serviceManager()->createInstanceWithContext(
                OUString("com.sun.star.drawing.ShapeCollection"), office().context()),
            uno::UNO_QUERY_THROW);
        members->add(member);
        members->add(line);
        const Reference<drawing::XDrawPageSupplier> pages(document, uno::UNO_QUERY_THROW);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        Reference<drawing::XShapeGrouper>(pages->getDrawPage(), uno::UNO_QUERY_THROW)->group(members);
#pragma GCC diagnostic pop
        drawingShape(document, body, "com.sun.star.drawing.RectangleShape", QString());

        const Reference<beans::XPropertySet> style = standardPageStyle(document);
        style->setPropertyValue(OUString("HeaderIsOn"), uno::Any(true));
        const Reference<text::XText> header = textProperty(style, "HeaderText");
        header->setString(toOUString(QStringLiteral("页眉")));
        insertPicture(document, header);
        drawingShape(document, header, "com.sun.star.drawing.TextShape", QStringLiteral("眉画 OLD"));
        store(component, path, wordFilter(path));
    });
}

void writeHeadersDocument(const QString& path)
{
    making(path, [&] {
        const Reference<lang::XComponent> component =
            office().loadUrl(QStringLiteral("private:factory/swriter"));
        const Reference<text::XTextDocument> document(component, uno::UNO_QUERY_THROW);
        const Reference<text::XText> body = document->getText();
        const Reference<beans::XPropertySet> first = standardPageStyle(document);
        first->setPropertyValue(OUString("HeaderIsOn"), uno::Any(true));
        first->setPropertyValue(OUString("FooterIsOn"), uno::Any(true));
        first->setPropertyValue(OUString("HeaderIsShared"), uno::Any(false));
        first->setPropertyValue(OUString("FooterIsShared"), uno::Any(false));
        first->setPropertyValue(OUString("FirstIsShared"), uno::Any(false));
        textProperty(first, "HeaderText")->setString(toOUString(QStringLiteral("主页眉 OLD")));
        textProperty(first, "HeaderTextLeft")->setString(toOUString(QStringLiteral("偶页眉 OLD")));
        textProperty(first, "HeaderTextFirst")->setString(toOUString(QStringLiteral("首页眉 OLD")));
        textProperty(first, "FooterText")->setString(toOUString(QStringLiteral("主页脚 OLD")));
        textProperty(first, "FooterTextLeft")->setString(toOUString(QStringLiteral("偶页脚 OLD")));
        textProperty(first, "FooterTextFirst")->setString(toOUString(QStringLiteral("首页脚 OLD")));

        const Reference<style::XStyleFamiliesSupplier> families(document, uno::UNO_QUERY_THROW);
        const Reference<container::XNameContainer> pageStyles(
            families->getStyleFamilies()->getByName(OUString("PageStyles")), uno::UNO_QUERY_THROW);
        pageStyles->insertByName(OUString("Section2"), uno::Any(factoryOf(document)->createInstance(
                                                           OUString("com.sun.star.style.PageStyle"))));
        const Reference<beans::XPropertySet> second(pageStyles->getByName(OUString("Section2")),
                                                    uno::UNO_QUERY_THROW);
        second->setPropertyValue(OUString("HeaderIsOn"), uno::Any(true));
        second->setPropertyValue(OUString("FooterIsOn"), uno::Any(true));
        textProperty(second, "HeaderText")->setString(toOUString(QStringLiteral("二节页眉 OLD")));
        textProperty(second, "FooterText")->setString(toOUString(QStringLiteral("二节页脚 OLD")));

        // Three pages of section 1, then section 2 on a fourth.
        const Reference<text::XTextCursor> cursor = body->createTextCursor();
        for (int page = 1; page <= 4; ++page) {
            if (page > 1) {
                body->insertControlCharacter(rangeOf(cursor), text::ControlCharacter::PARAGRAPH_BREAK, false);
                const Reference<beans::XPropertySet> paragraph(cursor, uno::UNO_QUERY_THROW);
                if (page == 4)
                    paragraph->setPropertyValue(OUString("PageDescName"), uno::Any(OUString("Section2")));
                else
                    paragraph->setPropertyValue(OUString("BreakType"),
                                                uno::Any(style::BreakType_PAGE_BEFORE));
            }
            body->insertString(rangeOf(cursor), toOUString(QStringLiteral("第%1页正文").arg(page)), false);
        }
        store(component, path, wordFilter(path));
    });
}

void writeLinkedWorkbook(const QString& path)
{
    making(path, [&] {
        const Reference<lang::XComponent> component =
            office().loadUrl(QStringLiteral("private:factory/scalc"));
        const Reference<sheet::XSpreadsheetDocument> document(component, uno::UNO_QUERY_THROW);
        const Reference<container::XIndexAccess> sheets(document->getSheets(), uno::UNO_QUERY_THROW);
        const Reference<sheet::XSpreadsheet> sheet(sheets->getByIndex(0), uno::UNO_QUERY_THROW);
        const auto link = [&](int row, const char* before, const char* shown, const char* address) {
            const Reference<text::XText> cell(sheet->getCellByPosition(0, row), uno::UNO_QUERY_THROW);
            cell->setString(OUString::createFromAscii(before));
            const Reference<beans::XPropertySet> field(
                factoryOf(document)->createInstance(OUString("com.sun.star.text.TextField.URL")),
                uno::UNO_QUERY_THROW);
            field->setPropertyValue(OUString("URL"), uno::Any(OUString::createFromAscii(address)));
            field->setPropertyValue(OUString("Representation"), uno::Any(OUString::createFromAscii(shown)));
            const Reference<text::XTextCursor> end = cell->createTextCursor();
            end->gotoEnd(false);
            cell->insertTextContent(rangeOf(end), Reference<text::XTextContent>(field, uno::UNO_QUERY_THROW),
                                    false);
        };
        link(0, "", "Table web", "http://example.com/a");
        link(1, "Before ", "Table link", "http://example.com/b");
        sheet->getCellByPosition(0, 2)->setFormula(OUString("plain Table"));
        sheet->getCellByPosition(1, 2)->setFormula(OUString("=HYPERLINK(\"http://x.com\";\"Table f\")"));
        const bool xlsx = QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0;
        store(component, path, xlsx ? "Calc MS Excel 2007 XML" : "MS Excel 97");
    });
}

namespace {

template <class F> void eachParagraph(const Reference<text::XText>& text, F&& f)
{
    const Reference<container::XEnumeration> each =
        Reference<container::XEnumerationAccess>(text, uno::UNO_QUERY_THROW)->createEnumeration();
    while (each->hasMoreElements()) {
        const Reference<uno::XInterface> element(each->nextElement(), uno::UNO_QUERY);
        const Reference<text::XTextTable> table(element, uno::UNO_QUERY);
        if (table.is()) {
            for (const OUString& name : table->getCellNames())
                eachParagraph(Reference<text::XText>(table->getCellByName(name), uno::UNO_QUERY_THROW), f);
            continue;
        }
        f(Reference<container::XEnumerationAccess>(element, uno::UNO_QUERY));
    }
}

// The hyperlinks of a text: runs of portions with one address.
void hyperlinksOf(const Reference<text::XText>& text, QStringList& links)
{
    eachParagraph(text, [&](const Reference<container::XEnumerationAccess>& paragraph) {
        if (!paragraph.is())
            return;
        QString shown;
        OUString last;
        const auto flush = [&] {
            if (!last.isEmpty())
                links << shown + " -> " + toQString(last);
            shown.clear();
        };
        const Reference<container::XEnumeration> portions = paragraph->createEnumeration();
        while (portions->hasMoreElements()) {
            const Reference<beans::XPropertySet> portion(portions->nextElement(), uno::UNO_QUERY_THROW);
            OUString address;
            portion->getPropertyValue(OUString("HyperLinkURL")) >>= address;
            if (address != last)
                flush();
            last = address;
            shown += toQString(Reference<text::XTextRange>(portion, uno::UNO_QUERY_THROW)->getString());
        }
        flush();
    });
}

int countOf(const Reference<uno::XInterface>& access)
{
    const Reference<container::XIndexAccess> indexed(access, uno::UNO_QUERY);
    if (indexed.is())
        return indexed->getCount();
    const Reference<container::XNameAccess> named(access, uno::UNO_QUERY);
    return named.is() ? named->getElementNames().getLength() : 0;
}

void documentInventory(const Reference<text::XTextDocument>& document, Inventory& inventory)
{
    auto& counts = inventory.counts;
    counts["tables"] =
        countOf(Reference<text::XTextTablesSupplier>(document, uno::UNO_QUERY_THROW)->getTextTables());
    counts["pictures"] = countOf(
        Reference<text::XTextGraphicObjectsSupplier>(document, uno::UNO_QUERY_THROW)->getGraphicObjects());
    counts["objects"] = countOf(
        Reference<text::XTextEmbeddedObjectsSupplier>(document, uno::UNO_QUERY_THROW)->getEmbeddedObjects());
    counts["frames"] =
        countOf(Reference<text::XTextFramesSupplier>(document, uno::UNO_QUERY_THROW)->getTextFrames());
    counts["text sections"] =
        countOf(Reference<text::XTextSectionsSupplier>(document, uno::UNO_QUERY_THROW)->getTextSections());
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    counts["shapes"] =
        countOf(Reference<drawing::XDrawPageSupplier>(document, uno::UNO_QUERY_THROW)->getDrawPage());
#pragma GCC diagnostic pop
    const Reference<container::XNameAccess> bookmarks =
        Reference<text::XBookmarksSupplier>(document, uno::UNO_QUERY_THROW)->getBookmarks();
    for (const OUString& name : bookmarks->getElementNames()) {
        // Word's hidden mark of the last edit, which Word itself moves on every save.
        if (name.startsWith("_GoBack"))
            continue;
        const Reference<text::XTextContent> bookmark(bookmarks->getByName(name), uno::UNO_QUERY_THROW);
        inventory.bookmarks << toQString(name) + "=" + toQString(bookmark->getAnchor()->getString());
    }
    counts["bookmarks"] = int(inventory.bookmarks.size());
    int fields = 0;
    int comments = 0;
    const Reference<container::XEnumeration> each =
        Reference<text::XTextFieldsSupplier>(document, uno::UNO_QUERY_THROW)
            ->getTextFields()
            ->createEnumeration();
    while (each->hasMoreElements()) {
        const Reference<lang::XServiceInfo> field(each->nextElement(), uno::UNO_QUERY);
        ++fields;
        if (field.is() && field->supportsService(OUString("com.sun.star.text.TextField.Annotation")))
            ++comments;
    }
    counts["fields"] = fields;
    counts["comments"] = comments;
    hyperlinksOf(document->getText(), inventory.hyperlinks);
    counts["hyperlinks"] = int(inventory.hyperlinks.size());
    // Word's sections: where a page style or a text section begins or ends
    // (LibreOffice keeps a section that does not start a page as a text section).
    int sections = 0;
    bool first = true;
    OUString lastSection;
    const Reference<container::XEnumeration> elements =
        Reference<container::XEnumerationAccess>(document->getText(), uno::UNO_QUERY_THROW)
            ->createEnumeration();
    while (elements->hasMoreElements()) {
        const Reference<beans::XPropertySet> element(elements->nextElement(), uno::UNO_QUERY_THROW);
        OUString style;
        element->getPropertyValue(OUString("PageDescName")) >>= style;
        const Reference<container::XNamed> section(element->getPropertyValue(OUString("TextSection")),
                                                   uno::UNO_QUERY);
        const OUString name = section.is() ? section->getName() : OUString();
        if (first || !style.isEmpty() || name != lastSection)
            ++sections;
        first = false;
        lastSection = name;
    }
    counts["sections"] = sections;
}

void workbookInventory(const Reference<sheet::XSpreadsheetDocument>& document, Inventory& inventory)
{
    auto& counts = inventory.counts;
    const Reference<container::XIndexAccess> sheets(document->getSheets(), uno::UNO_QUERY_THROW);
    counts["sheets"] = sheets->getCount();
    const Reference<container::XIndexAccess> pages(
        Reference<drawing::XDrawPagesSupplier>(document, uno::UNO_QUERY_THROW)->getDrawPages(),
        uno::UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
        const Reference<sheet::XSpreadsheet> sheet(sheets->getByIndex(i), uno::UNO_QUERY_THROW);
        const Reference<sheet::XCellRangesQuery> query(sheet, uno::UNO_QUERY_THROW);
        const auto cellsOf = [&](sal_Int16 flags) {
            return Reference<container::XEnumerationAccess>(query->queryContentCells(flags)->getCells(),
                                                            uno::UNO_QUERY_THROW)
                ->createEnumeration();
        };
        // LibreOffice holds a logical value as a TRUE() or FALSE() formula: counted apart, as the file
        // holds no formula there.
        for (const auto each = cellsOf(sheet::CellFlags::FORMULA); each->hasMoreElements();) {
            const Reference<table::XCell> cell(each->nextElement(), uno::UNO_QUERY_THROW);
            const OUString formula = cell->getFormula();
            ++counts[formula == "=TRUE()" || formula == "=FALSE()" ? "logical values" : "formulas"];
        }
        for (const auto each = cellsOf(sheet::CellFlags::FORMATTED); each->hasMoreElements();) {
            const Reference<text::XText> cell(each->nextElement(), uno::UNO_QUERY_THROW);
            const Reference<container::XEnumeration> fields =
                Reference<text::XTextFieldsSupplier>(cell, uno::UNO_QUERY_THROW)
                    ->getTextFields()
                    ->createEnumeration();
            while (fields->hasMoreElements()) {
                const Reference<beans::XPropertySet> field(fields->nextElement(), uno::UNO_QUERY_THROW);
                OUString shown, address;
                field->getPropertyValue(OUString("Representation")) >>= shown;
                field->getPropertyValue(OUString("URL")) >>= address;
                inventory.hyperlinks << toQString(shown) + " -> " + toQString(address);
            }
        }
        // Merged areas: their top-left cells, within the used area.
        const Reference<sheet::XSheetCellRanges> used =
            query->queryContentCells(sheet::CellFlags::VALUE | sheet::CellFlags::STRING |
                                     sheet::CellFlags::FORMULA | sheet::CellFlags::DATETIME);
        for (const table::CellRangeAddress& area : used->getRangeAddresses()) {
            for (sal_Int32 row = area.StartRow; row <= area.EndRow && row < 2000; ++row) {
                for (sal_Int32 column = area.StartColumn; column <= area.EndColumn && column < 200;
                     ++column) {
                    const Reference<util::XMergeable> cell(
                        sheet->getCellRangeByPosition(column, row, column, row), uno::UNO_QUERY_THROW);
                    if (cell->getIsMerged())
                        ++counts["merged"];
                }
            }
        }
        counts["shapes"] += countOf(pages->getByIndex(i).get<Reference<uno::XInterface>>());
        counts["comments"] += countOf(
            Reference<sheet::XSheetAnnotationsSupplier>(sheet, uno::UNO_QUERY_THROW)->getAnnotations());
    }
    counts["hyperlinks"] = int(inventory.hyperlinks.size());
}

} // namespace

Inventory inventory(const QString& path)
{
    Inventory result;
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool workbook = suffix.startsWith(QLatin1String("xls"));
    try {
        office().call([&] {
            const Reference<lang::XComponent> component =
                office().load(path, workbook ? DocumentKind::Spreadsheet : DocumentKind::Text);
            const auto closing = qScopeGuard([&] {
                try {
                    Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true);
                } catch (...) {
                }
            });
            if (workbook)
                workbookInventory(Reference<sheet::XSpreadsheetDocument>(component, uno::UNO_QUERY_THROW),
                                  result);
            else
                documentInventory(Reference<text::XTextDocument>(component, uno::UNO_QUERY_THROW), result);
        });
    } catch (const RuntimeError&) {
        return {};
    }
    return result;
}

namespace {

// The plain text of a story: its text portions, paragraph by paragraph, tables included.
QString plainText(const Reference<text::XText>& story)
{
    QStringList paragraphs;
    eachParagraph(story, [&](const Reference<container::XEnumerationAccess>& paragraph) {
        if (!paragraph.is())
            return;
        QString line;
        const Reference<container::XEnumeration> portions = paragraph->createEnumeration();
        while (portions->hasMoreElements()) {
            const Reference<beans::XPropertySet> portion(portions->nextElement(), uno::UNO_QUERY_THROW);
            OUString type;
            portion->getPropertyValue(OUString("TextPortionType")) >>= type;
            if (type == "Text")
                line += toQString(Reference<text::XTextRange>(portion, uno::UNO_QUERY_THROW)->getString());
        }
        paragraphs << line;
    });
    return paragraphs.join('\n');
}

Reference<beans::XPropertySet> pageStyleNamed(const Reference<text::XTextDocument>& document,
                                              const OUString& name)
{
    const Reference<style::XStyleFamiliesSupplier> families(document, uno::UNO_QUERY_THROW);
    const Reference<container::XNameAccess> styles(
        families->getStyleFamilies()->getByName(OUString("PageStyles")), uno::UNO_QUERY_THROW);
    return styles->hasByName(name)
               ? Reference<beans::XPropertySet>(styles->getByName(name), uno::UNO_QUERY_THROW)
               : Reference<beans::XPropertySet>();
}

template <class T> T valueOr(const Reference<beans::XPropertySet>& object, const char* name, T fallback)
{
    try {
        object->getPropertyValue(OUString::createFromAscii(name)) >>= fallback;
    } catch (const uno::Exception&) {
    }
    return fallback;
}

// The story a shape's anchor finally lies in, out of tables and frames.
Reference<text::XText> homeOf(Reference<text::XTextRange> range)
{
    for (int depth = 0; range.is() && depth < 16; ++depth) {
        const Reference<text::XText> text = range->getText();
        if (!text.is())
            return {};
        const Reference<beans::XPropertySet> at(text->createTextCursorByRange(range), uno::UNO_QUERY_THROW);
        Reference<text::XTextContent> container;
        for (const char* name : {"TextFrame", "TextTable"}) {
            if (!container.is())
                container.set(valueOr<Reference<text::XTextContent>>(at, name, {}));
        }
        if (!container.is())
            return text;
        range = container->getAnchor();
    }
    return {};
}

bool sameText(const Reference<text::XText>& a, const Reference<text::XText>& b)
{
    if (!a.is() || !b.is())
        return false;
    try {
        Reference<text::XTextRangeCompare>(a, uno::UNO_QUERY_THROW)
            ->compareRegionStarts(a->getStart(), b->getStart());
        return true;
    } catch (const uno::Exception&) {
        return false;
    }
}

// Text shapes (frames, shapes with text, a group's members) with the story they lie in.
void textShapes(const Reference<uno::XInterface>& shape, const Reference<text::XText>& home,
                QList<QPair<Reference<text::XText>, QString>>& found)
{
    const Reference<lang::XServiceInfo> info(shape, uno::UNO_QUERY_THROW);
    if (info->supportsService(OUString("com.sun.star.text.TextGraphicObject")) ||
        info->supportsService(OUString("com.sun.star.text.TextEmbeddedObject")))
        return;
    const Reference<container::XIndexAccess> members(shape, uno::UNO_QUERY);
    if (members.is() && info->supportsService(OUString("com.sun.star.drawing.GroupShape"))) {
        for (sal_Int32 i = 0; i < members->getCount(); ++i)
            textShapes(members->getByIndex(i).get<Reference<uno::XInterface>>(), home, found);
        return;
    }
    const Reference<text::XText> text(shape, uno::UNO_QUERY);
    try {
        if (text.is() && !text->getString().isEmpty())
            found.append({home, plainText(text)});
    } catch (const uno::RuntimeException&) {
        // A frame without content of its own.
    }
}

void documentStories(const Reference<text::XTextDocument>& document, QMap<QString, QStringList>& stories)
{
    const Reference<text::XText> body = document->getText();
    stories["body"] << plainText(body);

    // Sections by their page styles; the headers and footers by kind.
    std::vector<OUString> sections;
    bool first = true;
    eachParagraph(body, [&](const Reference<container::XEnumerationAccess>& paragraph) {
        const Reference<beans::XPropertySet> properties(paragraph, uno::UNO_QUERY);
        if (!properties.is())
            return;
        OUString style = valueOr<OUString>(properties, "PageDescName", {});
        if (first && style.isEmpty())
            style = valueOr<OUString>(properties, "PageStyleName", OUString("Standard"));
        first = false;
        if (!style.isEmpty())
            sections.push_back(style);
    });
    QMap<QString, QPair<QString, Reference<text::XText>>> headers; // "style/HeaderText" -> (reach, text)
    QList<Reference<text::XText>> section1Primary;
    for (size_t index = 0; index < sections.size(); ++index) {
        const Reference<beans::XPropertySet> style = pageStyleNamed(document, sections[index]);
        if (!style.is())
            continue;
        const OUString followName = valueOr<OUString>(style, "FollowStyle", {});
        const Reference<beans::XPropertySet> follow = followName.isEmpty() || followName == sections[index]
                                                          ? Reference<beans::XPropertySet>()
                                                          : pageStyleNamed(document, followName);
        for (const char* part : {"Header", "Footer"}) {
            const auto note = [&](const Reference<beans::XPropertySet>& owner, const OUString& ownerName,
                                  const char* which, const QString& reach) {
                if (!owner.is() || !valueOr<bool>(owner, (QByteArray(part) + "IsOn").constData(), false))
                    return;
                const QString key = toQString(ownerName) + "/" + part + which;
                const Reference<text::XText> text(owner->getPropertyValue(OUString::createFromAscii(
                                                      (QByteArray(part) + which).constData())),
                                                  uno::UNO_QUERY);
                if (!headers.contains(key) || reach != "none")
                    headers[key] = {reach, text};
                if (reach != "none" && index == 0)
                    section1Primary << text;
            };
            const QByteArray shared = QByteArray(part) + "IsShared";
            if (follow.is()) {
                note(follow, followName, "Text", "headers-footers");
                note(style, sections[index], "Text", "none");
                if (!valueOr<bool>(follow, shared.constData(), true))
                    note(follow, followName, "TextLeft", "none");
            } else {
                note(style, sections[index], "Text", "headers-footers");
                if (!valueOr<bool>(style, "FirstIsShared", true))
                    note(style, sections[index], "TextFirst", "none");
                if (!valueOr<bool>(style, shared.constData(), true))
                    note(style, sections[index], "TextLeft", "none");
            }
        }
    }
    for (const auto& [reach, text] : std::as_const(headers))
        stories[reach] << plainText(text);

    QList<QPair<Reference<text::XText>, QString>> shapes;
    const Reference<drawing::XDrawPageSupplier> supplier(document, uno::UNO_QUERY_THROW);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const Reference<container::XIndexAccess> page(supplier->getDrawPage(), uno::UNO_QUERY_THROW);
#pragma GCC diagnostic pop
    for (sal_Int32 i = 0; i < page->getCount(); ++i) {
        const Reference<uno::XInterface> shape(page->getByIndex(i), uno::UNO_QUERY_THROW);
        Reference<text::XTextRange> anchor;
        try {
            anchor = Reference<text::XTextContent>(shape, uno::UNO_QUERY_THROW)->getAnchor();
        } catch (const uno::Exception&) {
        }
        textShapes(shape, anchor.is() ? homeOf(anchor) : body, shapes);
    }
    for (const auto& [home, text] : std::as_const(shapes)) {
        QString reach = "none";
        if (sameText(body, home))
            reach = "textboxes";
        for (const Reference<text::XText>& primary : std::as_const(section1Primary)) {
            if (sameText(primary, home))
                reach = "header-textboxes";
        }
        stories[reach] << text;
    }
}

void workbookStories(const Reference<sheet::XSpreadsheetDocument>& document,
                     QMap<QString, QStringList>& stories)
{
    const Reference<container::XIndexAccess> sheets(document->getSheets(), uno::UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
        const Reference<sheet::XCellRangesQuery> query(sheets->getByIndex(i), uno::UNO_QUERY_THROW);
        // A pivot table's cells follow from its source when it is refreshed.
        std::vector<table::CellRangeAddress> pivots;
        const Reference<container::XIndexAccess> tables(
            Reference<sheet::XDataPilotTablesSupplier>(query, uno::UNO_QUERY_THROW)->getDataPilotTables(),
            uno::UNO_QUERY_THROW);
        for (sal_Int32 t = 0; t < tables->getCount(); ++t)
            pivots.push_back(Reference<sheet::XDataPilotTable>(tables->getByIndex(t), uno::UNO_QUERY_THROW)
                                 ->getOutputRange());
        const Reference<container::XEnumeration> cells =
            Reference<container::XEnumerationAccess>(
                query->queryContentCells(sheet::CellFlags::STRING | sheet::CellFlags::FORMULA)->getCells(),
                uno::UNO_QUERY_THROW)
                ->createEnumeration();
        while (cells->hasMoreElements()) {
            const Reference<table::XCell> cell(cells->nextElement(), uno::UNO_QUERY_THROW);
            const table::CellAddress at =
                Reference<sheet::XCellAddressable>(cell, uno::UNO_QUERY_THROW)->getCellAddress();
            const bool derived =
                std::any_of(pivots.begin(), pivots.end(), [&](const table::CellRangeAddress& area) {
                    return at.Row >= area.StartRow && at.Row <= area.EndRow &&
                           at.Column >= area.StartColumn && at.Column <= area.EndColumn;
                });
            stories[derived ? "pivot tables" : "cells"] << toQString(cell->getFormula());
        }
    }
}

} // namespace

QMap<QString, QStringList> stories(const QString& path)
{
    QMap<QString, QStringList> result;
    const bool workbook = QFileInfo(path).suffix().toLower().startsWith(QLatin1String("xls"));
    try {
        office().call([&] {
            const Reference<lang::XComponent> component =
                office().load(path, workbook ? DocumentKind::Spreadsheet : DocumentKind::Text);
            const auto closing = qScopeGuard([&] {
                try {
                    Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true);
                } catch (...) {
                }
            });
            if (workbook)
                workbookStories(Reference<sheet::XSpreadsheetDocument>(component, uno::UNO_QUERY_THROW),
                                result);
            else
                documentStories(Reference<text::XTextDocument>(component, uno::UNO_QUERY_THROW), result);
        });
    } catch (const RuntimeError& error) {
        if (!error.description().startsWith(QStringLiteral("不")) &&
            error.description() != FailureText::damaged() && error.description() != FailureText::encrypted())
            qWarning() << "stories of" << path << error.description() << error.detail();
        return {};
    }
    return result;
}

namespace {

QString pdftotext(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString pdfText(const QString& pdf)
{
    return pdftotext({QStringLiteral("-layout"), pdf, QStringLiteral("-")});
}

void paragraphTexts(const Reference<text::XText>& text, QStringList& paragraphs)
{
    const Reference<container::XEnumeration> each =
        Reference<container::XEnumerationAccess>(text, uno::UNO_QUERY_THROW)->createEnumeration();
    while (each->hasMoreElements()) {
        const Reference<uno::XInterface> element(each->nextElement(), uno::UNO_QUERY);
        const Reference<text::XTextTable> table(element, uno::UNO_QUERY);
        if (table.is()) {
            for (const OUString& name : table->getCellNames())
                paragraphTexts(Reference<text::XText>(table->getCellByName(name), uno::UNO_QUERY_THROW),
                               paragraphs);
            continue;
        }
        const Reference<text::XTextRange> paragraph(element, uno::UNO_QUERY);
        if (paragraph.is())
            paragraphs << toQString(paragraph->getString());
    }
}

} // namespace

Settled settleChanges(const QString& path, bool accept)
{
    Settled settled;
    QTemporaryDir folder;
    const QString pdf = folder.filePath("settled.pdf");
    try {
        office().call([&] {
            const Reference<lang::XComponent> component = office().load(path, DocumentKind::Text);
            const auto closing = qScopeGuard([&] {
                try {
                    Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true);
                } catch (...) {
                }
            });
            const Reference<text::XTextDocument> document(component, uno::UNO_QUERY_THROW);
            const Reference<container::XEnumeration> redlines =
                Reference<container::XEnumerationAccess>(
                    Reference<document::XRedlinesSupplier>(document, uno::UNO_QUERY_THROW)->getRedlines(),
                    uno::UNO_QUERY_THROW)
                    ->createEnumeration();
            while (redlines->hasMoreElements()) {
                const Reference<beans::XPropertySet> redline(redlines->nextElement(), uno::UNO_QUERY_THROW);
                OUString type;
                redline->getPropertyValue(OUString("RedlineType")) >>= type;
                Reference<text::XTextRange> start;
                Reference<text::XTextRange> end;
                redline->getPropertyValue(OUString("RedlineStart")) >>= start;
                redline->getPropertyValue(OUString("RedlineEnd")) >>= end;
                QString shown;
                if (start.is() && end.is()) {
                    const Reference<text::XTextCursor> span =
                        start->getText()->createTextCursorByRange(start);
                    span->gotoRange(end, true);
                    shown = toQString(span->getString());
                }
                settled.changes << toQString(type) + ":" + shown;
            }
            settled.changes.sort();
            const Reference<frame::XModel> model(document, uno::UNO_QUERY_THROW);
            const Reference<frame::XDispatchHelper> dispatcher(
                office().serviceManager()->createInstanceWithContext(
                    OUString("com.sun.star.frame.DispatchHelper"), office().context()),
                uno::UNO_QUERY_THROW);
            dispatcher->executeDispatch(Reference<frame::XDispatchProvider>(
                                            model->getCurrentController()->getFrame(), uno::UNO_QUERY_THROW),
                                        OUString::createFromAscii(accept ? ".uno:AcceptAllTrackedChanges"
                                                                         : ".uno:RejectAllTrackedChanges"),
                                        OUString(), 0, {});
            paragraphTexts(document->getText(), settled.paragraphs);
            settled.header = toQString(textProperty(standardPageStyle(document), "HeaderText")->getString());
            const Reference<container::XNameAccess> bookmarks =
                Reference<text::XBookmarksSupplier>(document, uno::UNO_QUERY_THROW)->getBookmarks();
            for (const OUString& name : bookmarks->getElementNames()) {
                if (name.startsWith("_GoBack"))
                    continue;
                const Reference<text::XTextContent> bookmark(bookmarks->getByName(name),
                                                             uno::UNO_QUERY_THROW);
                settled.bookmarks << toQString(name) + "=" + toQString(bookmark->getAnchor()->getString());
            }
            hyperlinksOf(document->getText(), settled.hyperlinks);
            QList<beans::PropertyValue> list{property("FilterName", uno::Any(OUString("writer_pdf_Export")))};
            Reference<frame::XStorable>(document, uno::UNO_QUERY_THROW)
                ->storeToURL(toOUString(fileUrl(pdf)),
                             uno::Sequence<beans::PropertyValue>(list.constData(), sal_Int32(list.size())));
            settled.loaded = true;
        });
    } catch (const RuntimeError& error) {
        qWarning() << "settling" << path << error.description() << error.detail();
        return settled;
    }
    settled.rendered = pdfText(pdf);
    return settled;
}

QString rendered(const QString& path)
{
    QTemporaryDir folder;
    const QString pdf = folder.filePath("rendered.pdf");
    const bool workbook = QFileInfo(path).suffix().toLower().startsWith(QLatin1String("xls"));
    try {
        office().call([&] {
            const Reference<lang::XComponent> component =
                office().load(path, workbook ? DocumentKind::Spreadsheet : DocumentKind::Text);
            store(component, pdf, workbook ? "calc_pdf_Export" : "writer_pdf_Export");
        });
    } catch (const RuntimeError&) {
        return {};
    }
    return pdfText(pdf);
}

void exportPdf(const QString& path, const QString& pdf)
{
    const bool workbook = QFileInfo(path).suffix().toLower().startsWith(QLatin1String("xls"));
    const Reference<lang::XComponent> component =
        office().load(path, workbook ? DocumentKind::Spreadsheet : DocumentKind::Text);
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
        const Reference<lang::XComponent> component = office().load(path, DocumentKind::Text);
        try {
            f(Reference<text::XTextDocument>(component, uno::UNO_QUERY_THROW));
        } catch (...) {
            Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true);
            throw;
        }
        Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true);
    });
}

// The document exported beside itself as PDF.
QString pdfOf(const QString& path)
{
    const QString pdf = path + QStringLiteral(".pdf");
    exportPdf(path, pdf);
    return pdf;
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
        pdftotext({QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdfOf(path), QStringLiteral("-")})
            .split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QList<RenderedPage> renderLines(const QString& path)
{
    const QString html = pdftotext({QStringLiteral("-bbox"), QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                    pdfOf(path), QStringLiteral("-")});
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

void writeMacroDocument(const QString& path, const QString& body, const QString& marker)
{
    making(path, [&] {
        const Reference<lang::XComponent> component =
            office().loadUrl(QStringLiteral("private:factory/swriter"));
        const Reference<text::XTextDocument> document(component, uno::UNO_QUERY_THROW);
        document->getText()->setString(toOUString(body));
        const Reference<script::XLibraryContainer> libraries(
            Reference<beans::XPropertySet>(document, uno::UNO_QUERY_THROW)
                ->getPropertyValue(OUString("BasicLibraries")),
            uno::UNO_QUERY_THROW);
        if (!libraries->hasByName(OUString("Standard")))
            libraries->createLibrary(OUString("Standard"));
        const Reference<container::XNameContainer> library(libraries->getByName(OUString("Standard")),
                                                           uno::UNO_QUERY_THROW);
        const QString source = QStringLiteral("Sub Main\n"
                                              "  Open \"%1\" For Output As #1\n"
                                              "  Print #1, \"ran\"\n"
                                              "  Close #1\n"
                                              "End Sub\n")
                                   .arg(marker);
        library->insertByName(OUString("Module1"), uno::Any(toOUString(source)));
        const beans::PropertyValue binding[] = {
            property("EventType", uno::Any(OUString("Script"))),
            property("Script",
                     uno::Any(OUString(
                         "vnd.sun.star.script:Standard.Module1.Main?language=Basic&location=document"))),
        };
        // Opening a document raises both: when it is read, and when its view is made.
        const Reference<container::XNameReplace> events =
            Reference<document::XEventsSupplier>(document, uno::UNO_QUERY_THROW)->getEvents();
        for (const char* event : {"OnLoad", "OnLoadFinished"})
            events->replaceByName(OUString::createFromAscii(event),
                                  uno::Any(uno::Sequence<beans::PropertyValue>(binding, 2)));
        store(component, path, "writer8");
    });
}

bool openRunningMacros(const QString& path, const QString& marker)
{
    bool ran = false;
    making(path, [&] {
        const beans::PropertyValue list[] = {
            property("Hidden", uno::Any(false)),
            property("MacroExecutionMode", uno::Any(document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN)),
        };
        office().serviceManager(); // started when needed
        const Reference<frame::XComponentLoader> loader(frame::Desktop::create(office().context()),
                                                        uno::UNO_QUERY_THROW);
        const Reference<lang::XComponent> component = loader->loadComponentFromURL(
            toOUString(fileUrl(path)), OUString("_blank"), 0, uno::Sequence<beans::PropertyValue>(list, 2));
        // The load event's handlers run after the load has returned.
        for (QDeadlineTimer deadline(20000); !ran && !deadline.hasExpired(); QThread::msleep(100))
            ran = QFileInfo::exists(marker);
        Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true);
    });
    return ran;
}

void shutdown()
{
    office().terminate();
}

} // namespace UnoDocuments

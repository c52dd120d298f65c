// The office tests' helper, on one soffice: it makes files, inspects them, and reads them back as a
// user's LibreOffice would.
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
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/document/XEventsSupplier.hpp>
#include <com/sun/star/document/XRedlinesSupplier.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/drawing/XShapeGrouper.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/graphic/XGraphicProvider.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XDataPilotTable.hpp>
#include <com/sun/star/sheet/XDataPilotTablesSupplier.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/style/BreakType.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionDisapprove.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
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
#include <cppuhelper/implbase1.hxx>
#include <optional>

using namespace com::sun::star;
using namespace unooffice;
using rtl::OUString;
using uno::Reference;

namespace UnoDocuments {

namespace {

using Props = Reference<beans::XPropertySet>;
using Text = Reference<text::XText>;
using Doc = Reference<lang::XComponent>;

template <class T, class S> Reference<T> as(const S& source)
{
    return Reference<T>(source, uno::UNO_QUERY_THROW);
}

OUString ascii(const QByteArray& text)
{
    return OUString::createFromAscii(text.constData());
}

void set(const Reference<uno::XInterface>& object, const QByteArray& name, const uno::Any& value)
{
    as<beans::XPropertySet>(object)->setPropertyValue(ascii(name), value);
}

// A property's value, or fallback when the object has no such property.
template <class T> T get(const Props& object, const QByteArray& name, T fallback = {})
{
    try {
        object->getPropertyValue(ascii(name)) >>= fallback;
    } catch (const uno::Exception&) {
    }
    return fallback;
}

Text textOf(const Props& object, const QByteArray& name)
{
    return as<text::XText>(object->getPropertyValue(ascii(name)));
}

uno::Sequence<beans::PropertyValue> arguments(std::initializer_list<beans::PropertyValue> list)
{
    return uno::Sequence<beans::PropertyValue>(list.begin(), sal_Int32(list.size()));
}

// Each element of an enumerable container (paragraphs, portions, fields, cells).
template <class F> void each(const Reference<uno::XInterface>& container, F&& f)
{
    for (const auto all = as<container::XEnumerationAccess>(container)->createEnumeration();
         all->hasMoreElements();)
        f(as<beans::XPropertySet>(all->nextElement()));
}

// Each element of an indexed container (sheets, shapes, frames, a group's members) with its index.
template <class F> void eachIndexed(const Reference<uno::XInterface>& container, F&& f)
{
    const auto all = as<container::XIndexAccess>(container);
    for (sal_Int32 i = 0; i < all->getCount(); ++i)
        f(all->getByIndex(i).template get<Reference<uno::XInterface>>(), i);
}

int countOf(const Reference<uno::XInterface>& access)
{
    const Reference<container::XIndexAccess> indexed(access, uno::UNO_QUERY);
    if (indexed.is())
        return indexed->getCount();
    const Reference<container::XNameAccess> named(access, uno::UNO_QUERY);
    return named.is() ? named->getElementNames().getLength() : 0;
}

// The cells that hold something: a value, a date, a text or a formula.
constexpr sal_Int16 kContent = sheet::CellFlags::VALUE | sheet::CellFlags::DATETIME |
                               sheet::CellFlags::STRING | sheet::CellFlags::FORMULA;

bool isWorkbook(const QString& path)
{
    return QFileInfo(path).suffix().toLower().startsWith(QLatin1String("xls"));
}

const char* filterFor(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (isWorkbook(path))
        return suffix == "xlsx" ? "Calc MS Excel 2007 XML" : "MS Excel 97";
    return suffix == "docx" ? "MS Word 2007 XML" : suffix == "odt" ? "writer8" : "MS Word 97";
}

void storeTo(const Reference<uno::XInterface>& document, const QString& path, const char* filter,
             const QString& password = QString())
{
    QList<beans::PropertyValue> list{property("FilterName", uno::Any(ascii(filter))),
                                     property("Overwrite", uno::Any(true))};
    if (!password.isEmpty())
        list.append(property("Password", uno::Any(toOUString(password))));
    as<frame::XStorable>(document)->storeToURL(
        toOUString(fileUrl(path)),
        uno::Sequence<beans::PropertyValue>(list.constData(), sal_Int32(list.size())));
}

// The text of a loaded document's pages: exported to PDF inside the caller's office call, read after.
struct PdfExport
{
    QTemporaryDir folder;
    QString pdf = folder.filePath(QStringLiteral("pages.pdf"));
    void from(const Reference<uno::XInterface>& document)
    {
        const bool sheet = Reference<sheet::XSpreadsheetDocument>(document, uno::UNO_QUERY).is();
        storeTo(document, pdf, sheet ? "calc_pdf_Export" : "writer_pdf_Export");
    }
    QString text(const QStringList& options = {QStringLiteral("-layout")}) const
    {
        QProcess process;
        process.start(QStringLiteral("pdftotext"), options + QStringList{pdf, QStringLiteral("-")});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return QString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }
};

// A text document's one draw page: its shapes, its headers' included.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
Reference<drawing::XDrawPage> drawPageOf(const Reference<uno::XInterface>& document)
{
    return as<drawing::XDrawPageSupplier>(document)->getDrawPage();
}
#pragma GCC diagnostic pop

Reference<container::XNameContainer> pageStyles(const Reference<uno::XInterface>& document)
{
    return as<container::XNameContainer>(
        as<style::XStyleFamiliesSupplier>(document)->getStyleFamilies()->getByName(ascii("PageStyles")));
}

// The page style by name; none when the document has no such style.
Props pageStyle(const Reference<uno::XInterface>& document, const OUString& name = OUString("Standard"))
{
    const auto styles = pageStyles(document);
    return styles->hasByName(name) ? as<beans::XPropertySet>(styles->getByName(name)) : Props();
}

// Each paragraph of a text, the paragraphs of its tables' cells included.
template <class F> void eachParagraph(const Text& text, F&& f)
{
    each(text, [&](const Props& element) {
        const Reference<text::XTextTable> table(element, uno::UNO_QUERY);
        if (!table.is())
            return f(element);
        for (const OUString& name : table->getCellNames())
            eachParagraph(as<text::XText>(table->getCellByName(name)), f);
    });
}

QString stringOf(const Reference<uno::XInterface>& range)
{
    return toQString(as<text::XTextRange>(range)->getString());
}

// The hyperlinks of a text: runs of portions with one address.
void hyperlinksOf(const Text& text, QStringList& links)
{
    eachParagraph(text, [&](const Props& paragraph) {
        QString shown;
        OUString last;
        const auto flush = [&] {
            if (!last.isEmpty())
                links << shown + " -> " + toQString(last);
            shown.clear();
        };
        each(paragraph, [&](const Props& portion) {
            const OUString address = get<OUString>(portion, "HyperLinkURL");
            if (address != last)
                flush();
            last = address;
            shown += stringOf(portion);
        });
        flush();
    });
}

UnoOffice& office()
{
    static UnoOffice instance;
    return instance;
}

// A service of the office program itself.
template <class T> Reference<T> service(const char* name)
{
    return as<T>(office().serviceManager()->createInstanceWithContext(ascii(name), office().context()));
}

// Loads path into a new frame of the office program, with the given properties.
Doc loadFile(const QString& path, const uno::Sequence<beans::PropertyValue>& properties)
{
    return as<frame::XComponentLoader>(frame::Desktop::create(office().context()))
        ->loadComponentFromURL(toOUString(fileUrl(path)), OUString("_blank"), 0, properties);
}

// Records each question a load asks, and answers it with no (abort, else disapprove).
class RecordInteraction final : public cppu::WeakImplHelper1<task::XInteractionHandler>
{
public:
    explicit RecordInteraction(QStringList& requests)
        : m_requests(requests)
    {}
    void SAL_CALL handle(const Reference<task::XInteractionRequest>& request) override
    {
        m_requests << toQString(request->getRequest().getValueTypeName());
        const auto continuations = request->getContinuations();
        for (const bool abort : {true, false}) {
            for (const auto& continuation : continuations) {
                if (abort ? Reference<task::XInteractionAbort>(continuation, uno::UNO_QUERY).is()
                          : Reference<task::XInteractionDisapprove>(continuation, uno::UNO_QUERY).is())
                    return continuation->select();
            }
        }
    }

private:
    QStringList& m_requests;
};

// Loads path as a user's LibreOffice would, hidden and without macros, each question it asks
// recorded and refused, runs f on it in one office call and closes it; whether that all went.
template <class F>
bool withLoaded(const QString& path, F&& f, QStringList* requests = nullptr, bool readOnly = true)
{
    QStringList asked;
    const auto properties = arguments(
        {property("Hidden", uno::Any(true)), property("ReadOnly", uno::Any(readOnly)),
         property("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
         property("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
         property("InteractionHandler", uno::Any(Reference<task::XInteractionHandler>(
                                            new RecordInteraction(requests ? *requests : asked))))});
    try {
        office().serviceManager(); // started when needed
        office().call([&] {
            const Doc component = loadFile(path, properties);
            const auto closing = qScopeGuard([&] {
                try {
                    as<util::XCloseable>(component)->close(true);
                } catch (...) {
                }
            });
            f(component);
        });
    } catch (const RuntimeError&) {
        return false;
    }
    return true;
}

QStringList sorted(QStringList list)
{
    list.removeAll(QString());
    list.removeDuplicates();
    list.sort();
    return list;
}

// The text of the document's pages as pdftotext gives it with options; empty when it does not load.
QString renderedWith(const QString& path, const QStringList& options)
{
    PdfExport pdf;
    return withLoaded(path, [&](const Doc& document) { pdf.from(document); }) ? pdf.text(options) : QString();
}

// Makes a file through the office program; a failure says which file and why.
template <class F> void making(const QString& path, F&& f)
{
    try {
        office().call(f);
    } catch (const RuntimeError& error) {
        qWarning().noquote() << "making" << path << ":" << error.description() << error.detail();
        // A soffice that ended under this process (the tests run beside others that end
        // soffices) is started afresh once: the file is made from the start again.
        if (error.description() != FailureText::stopped())
            throw;
        office().call(f);
    }
}

// Makes path from a new document of its kind, stored in the format its extension names.
template <class F> void make(const QString& path, const QString& password, F&& fill)
{
    making(path, [&] {
        const Doc component =
            office().loadUrl(isWorkbook(path) ? "private:factory/scalc" : "private:factory/swriter");
        fill(component);
        storeTo(component, path, filterFor(path), password);
        as<util::XCloseable>(component)->close(true);
    });
}

template <class T> Reference<T> create(const Reference<uno::XInterface>& document, const char* service)
{
    return as<T>(as<lang::XMultiServiceFactory>(document)->createInstance(ascii(service)));
}

// Appends text to body, in a paragraph of its own unless first; the paragraph's properties.
Props appendParagraph(const Text& body, const QString& text, bool first)
{
    const Reference<text::XTextCursor> cursor = body->createTextCursor();
    cursor->gotoEnd(false);
    if (!first) {
        body->insertControlCharacter(cursor->getEnd(), text::ControlCharacter::PARAGRAPH_BREAK, false);
        cursor->gotoEnd(false);
    }
    body->insertString(cursor->getEnd(), toOUString(text), false);
    return as<beans::XPropertySet>(cursor);
}

Reference<text::XTextCursor> select(const Text& text, sal_Int16 from, sal_Int16 length)
{
    const Reference<text::XTextCursor> cursor = text->createTextCursor();
    cursor->gotoStart(false);
    cursor->goRight(from, false);
    cursor->goRight(length, true);
    return cursor;
}

void insertBookmark(const Reference<uno::XInterface>& document, const Text& body, sal_Int16 from,
                    sal_Int16 length, const char* name)
{
    const auto bookmark = create<text::XTextContent>(document, "com.sun.star.text.Bookmark");
    as<container::XNamed>(bookmark)->setName(ascii(name));
    body->insertTextContent(as<text::XTextRange>(select(body, from, length)), bookmark, true);
}

// Appends text to body; unless first, on a page of its own: in the named page style (made when new),
// else after a page break.
void appendPage(const Reference<uno::XInterface>& document, const Text& body, const QString& text, bool first,
                const OUString& styleName = OUString())
{
    const Props paragraph = appendParagraph(body, text, first);
    if (first)
        return;
    if (styleName.isEmpty())
        return set(paragraph, "BreakType", uno::Any(style::BreakType_PAGE_BEFORE));
    if (!pageStyles(document)->hasByName(styleName))
        pageStyles(document)->insertByName(
            styleName, uno::Any(create<uno::XInterface>(document, "com.sun.star.style.PageStyle")));
    set(paragraph, "PageDescName", uno::Any(styleName));
}

// Sets a page style's headers and footers by story ("HeaderText", "FooterTextFirst" ...), empty ones left
// out. On first, then apart: set the other way round, the first page's header takes the main text.
void setStories(const Props& style, QList<QPair<QByteArray, QString>> stories)
{
    stories.removeIf([](const auto& story) { return story.second.isEmpty(); });
    for (const auto& [story, text] : std::as_const(stories))
        set(style, story.left(6) + "IsOn", uno::Any(true));
    for (const auto& [story, text] : std::as_const(stories)) {
        if (story.endsWith("First") || story.endsWith("Left"))
            set(style, story.endsWith("First") ? QByteArray("FirstIsShared") : story.left(6) + "IsShared",
                uno::Any(false));
    }
    for (const auto& [story, text] : std::as_const(stories))
        textOf(style, story)->setString(toOUString(text));
}

void addTextBox(const Reference<uno::XInterface>& document, const Text& where, const QString& text)
{
    const auto frame = create<text::XTextFrame>(document, "com.sun.star.text.TextFrame");
    set(frame, "Width", uno::Any(sal_Int32(5000)));
    set(frame, "Height", uno::Any(sal_Int32(1500)));
    where->insertTextContent(where->getEnd(), as<text::XTextContent>(frame), false);
    frame->getText()->setString(toOUString(text));
}

// A 1x1 picture at the end of where.
void insertPicture(const Reference<uno::XInterface>& document, const Text& where)
{
    static QTemporaryDir folder;
    const QString path = folder.filePath("picture.png");
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.write(QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAACklEQVR4nGMAAQAABQABDQottAAAAABJRU5ErkJggg=="));
    file.close();
    const auto provider = service<graphic::XGraphicProvider>("com.sun.star.graphic.GraphicProvider");
    const auto graphic = create<beans::XPropertySet>(document, "com.sun.star.text.TextGraphicObject");
    set(graphic, "Graphic",
        uno::Any(provider->queryGraphic(arguments({property("URL", uno::Any(toOUString(fileUrl(path))))}))));
    set(graphic, "Width", uno::Any(sal_Int32(1000)));
    set(graphic, "Height", uno::Any(sal_Int32(1000)));
    where->insertTextContent(where->getEnd(), as<text::XTextContent>(graphic), false);
}

// A drawing shape anchored at the paragraph of at, with text (a shape takes its text once it is placed).
Reference<drawing::XShape> drawingShape(const Reference<uno::XInterface>& document, const Text& where,
                                        const Reference<text::XTextRange>& at, const char* kind,
                                        const QString& text)
{
    const auto shape = create<drawing::XShape>(document, kind);
    shape->setSize(awt::Size(4000, 1200));
    set(shape, "AnchorType", uno::Any(text::TextContentAnchorType_AT_PARAGRAPH));
    where->insertTextContent(at, as<text::XTextContent>(shape), false);
    if (!text.isEmpty())
        as<text::XText>(shape)->setString(toOUString(text));
    return shape;
}

void documentInventory(const Reference<text::XTextDocument>& document, Inventory& inventory)
{
    auto& counts = inventory.counts;
    counts["tables"] = countOf(as<text::XTextTablesSupplier>(document)->getTextTables());
    counts["pictures"] = countOf(as<text::XTextGraphicObjectsSupplier>(document)->getGraphicObjects());
    counts["objects"] = countOf(as<text::XTextEmbeddedObjectsSupplier>(document)->getEmbeddedObjects());
    counts["frames"] = countOf(as<text::XTextFramesSupplier>(document)->getTextFrames());
    counts["text sections"] = countOf(as<text::XTextSectionsSupplier>(document)->getTextSections());
    counts["shapes"] = countOf(drawPageOf(document));
    // Each bookmark but Word's mark of the last edit, which Word moves on every save.
    const auto bookmarks = as<text::XBookmarksSupplier>(document)->getBookmarks();
    for (const OUString& name : bookmarks->getElementNames()) {
        if (!name.startsWith("_GoBack"))
            inventory.bookmarks << toQString(name) + "=" +
                                       stringOf(
                                           as<text::XTextContent>(bookmarks->getByName(name))->getAnchor());
    }
    counts["bookmarks"] = int(inventory.bookmarks.size());
    counts["fields"] = counts["comments"] = 0;
    each(as<text::XTextFieldsSupplier>(document)->getTextFields(), [&](const Props& field) {
        ++counts["fields"];
        if (as<lang::XServiceInfo>(field)->supportsService(ascii("com.sun.star.text.TextField.Annotation")))
            ++counts["comments"];
    });
    hyperlinksOf(document->getText(), inventory.hyperlinks);
    counts["hyperlinks"] = int(inventory.hyperlinks.size());
    // Word's sections: where a page style or a text section begins or ends
    // (LibreOffice keeps a section that does not start a page as a text section).
    int sections = 0;
    std::optional<OUString> lastSection;
    each(document->getText(), [&](const Props& element) {
        const Reference<container::XNamed> section(element->getPropertyValue(ascii("TextSection")),
                                                   uno::UNO_QUERY);
        const OUString name = section.is() ? section->getName() : OUString();
        if (!lastSection || !get<OUString>(element, "PageDescName").isEmpty() || name != *lastSection)
            ++sections;
        lastSection = name;
    });
    counts["sections"] = sections;
}

void workbookInventory(const Reference<sheet::XSpreadsheetDocument>& document, Inventory& inventory)
{
    auto& counts = inventory.counts;
    counts["sheets"] = countOf(document->getSheets());
    const auto pages = as<container::XIndexAccess>(as<drawing::XDrawPagesSupplier>(document)->getDrawPages());
    eachIndexed(document->getSheets(), [&](const Reference<uno::XInterface>& found, sal_Int32 i) {
        const auto sheet = as<sheet::XSpreadsheet>(found);
        const auto query = as<sheet::XCellRangesQuery>(sheet);
        // LibreOffice holds a logical value as a TRUE() or FALSE() formula: counted apart, as the file
        // holds no formula there.
        each(query->queryContentCells(sheet::CellFlags::FORMULA)->getCells(), [&](const Props& cell) {
            const OUString formula = as<table::XCell>(cell)->getFormula();
            ++counts[formula == "=TRUE()" || formula == "=FALSE()" ? "logical values" : "formulas"];
        });
        each(query->queryContentCells(sheet::CellFlags::FORMATTED)->getCells(), [&](const Props& cell) {
            each(as<text::XTextFieldsSupplier>(cell)->getTextFields(), [&](const Props& field) {
                inventory.hyperlinks << toQString(get<OUString>(field, "Representation")) + " -> " +
                                            toQString(get<OUString>(field, "URL"));
            });
        });
        // Merged areas: their top-left cells that hold something.
        each(query->queryContentCells(kContent)->getCells(), [&](const Props& cell) {
            if (as<util::XMergeable>(cell)->getIsMerged())
                ++counts["merged"];
        });
        counts["shapes"] += countOf(pages->getByIndex(i).get<Reference<uno::XInterface>>());
        counts["comments"] += countOf(as<sheet::XSheetAnnotationsSupplier>(sheet)->getAnnotations());
    });
    counts["hyperlinks"] = int(inventory.hyperlinks.size());
}

// The plain text of a story: its text portions, paragraph by paragraph, tables included.
QString plainText(const Text& story)
{
    QStringList paragraphs;
    eachParagraph(story, [&](const Props& paragraph) {
        QString line;
        each(paragraph, [&](const Props& portion) {
            if (get<OUString>(portion, "TextPortionType") == "Text")
                line += stringOf(portion);
        });
        paragraphs << line;
    });
    return paragraphs.join('\n');
}

// The story a shape's anchor finally lies in, out of tables and frames.
Text homeOf(Reference<text::XTextRange> range)
{
    for (int depth = 0; range.is() && depth < 16; ++depth) {
        const Text text = range->getText();
        if (!text.is())
            return {};
        const auto at = as<beans::XPropertySet>(text->createTextCursorByRange(range));
        auto container = get<Reference<text::XTextContent>>(at, "TextFrame");
        if (!container.is())
            container = get<Reference<text::XTextContent>>(at, "TextTable");
        if (!container.is())
            return text;
        range = container->getAnchor();
    }
    return {};
}

bool sameText(const Text& a, const Text& b)
{
    if (!a.is() || !b.is())
        return false;
    try {
        as<text::XTextRangeCompare>(a)->compareRegionStarts(a->getStart(), b->getStart());
        return true;
    } catch (const uno::Exception&) {
        return false;
    }
}

// Text shapes (frames, shapes with text, a group's members) with the story they lie in.
void textShapes(const Reference<uno::XInterface>& shape, const Text& home, QList<QPair<Text, QString>>& found)
{
    const auto info = as<lang::XServiceInfo>(shape);
    if (info->supportsService(ascii("com.sun.star.text.TextGraphicObject")) ||
        info->supportsService(ascii("com.sun.star.text.TextEmbeddedObject")))
        return;
    if (info->supportsService(ascii("com.sun.star.drawing.GroupShape")))
        return eachIndexed(shape, [&](const auto& member, sal_Int32) { textShapes(member, home, found); });
    const Text text(shape, uno::UNO_QUERY);
    try {
        if (text.is() && !text->getString().isEmpty())
            found.append({home, plainText(text)});
    } catch (const uno::RuntimeException&) {
        // A frame without content of its own.
    }
}

void documentStories(const Reference<text::XTextDocument>& document, QMap<QString, QStringList>& stories)
{
    const Text body = document->getText();
    stories["body"] << plainText(body);

    // Sections by their page styles; the headers and footers by kind.
    std::vector<OUString> sections;
    eachParagraph(body, [&](const Props& paragraph) {
        OUString style = get<OUString>(paragraph, "PageDescName");
        if (sections.empty() && style.isEmpty())
            style = get<OUString>(paragraph, "PageStyleName", OUString("Standard"));
        if (!style.isEmpty())
            sections.push_back(style);
    });
    QMap<QString, QPair<QString, Text>> headers; // "style/HeaderText" -> (reach, text)
    QList<Text> section1Primary;
    for (size_t index = 0; index < sections.size(); ++index) {
        const Props style = pageStyle(document, sections[index]);
        if (!style.is())
            continue;
        const OUString followName = get<OUString>(style, "FollowStyle");
        const Props follow =
            followName.isEmpty() || followName == sections[index] ? Props() : pageStyle(document, followName);
        for (const QByteArray part : {"Header", "Footer"}) {
            const auto note = [&](const Props& owner, const OUString& ownerName, const char* which,
                                  const QString& reach) {
                if (!owner.is() || !get<bool>(owner, part + "IsOn"))
                    return;
                const QString key = toQString(ownerName) + "/" + part + which;
                const Text text(owner->getPropertyValue(ascii(part + which)), uno::UNO_QUERY);
                if (!headers.contains(key) || reach != "none")
                    headers[key] = {reach, text};
                if (reach != "none" && index == 0)
                    section1Primary << text;
            };
            const QByteArray shared = part + "IsShared";
            if (follow.is()) {
                note(follow, followName, "Text", "headers-footers");
                note(style, sections[index], "Text", "none");
                if (!get<bool>(follow, shared, true))
                    note(follow, followName, "TextLeft", "none");
            } else {
                note(style, sections[index], "Text", "headers-footers");
                if (!get<bool>(style, "FirstIsShared", true))
                    note(style, sections[index], "TextFirst", "none");
                if (!get<bool>(style, shared, true))
                    note(style, sections[index], "TextLeft", "none");
            }
        }
    }
    for (const auto& [reach, text] : std::as_const(headers))
        stories[reach] << plainText(text);

    QList<QPair<Text, QString>> shapes;
    eachIndexed(drawPageOf(document), [&](const Reference<uno::XInterface>& shape, sal_Int32) {
        Reference<text::XTextRange> anchor;
        try {
            anchor = as<text::XTextContent>(shape)->getAnchor();
        } catch (const uno::Exception&) {
        }
        textShapes(shape, anchor.is() ? homeOf(anchor) : body, shapes);
    });
    for (const auto& [home, text] : std::as_const(shapes)) {
        QString reach = sameText(body, home) ? "textboxes" : "none";
        for (const Text& primary : std::as_const(section1Primary)) {
            if (sameText(primary, home))
                reach = "header-textboxes";
        }
        stories[reach] << text;
    }
}

void workbookStories(const Reference<sheet::XSpreadsheetDocument>& document,
                     QMap<QString, QStringList>& stories)
{
    eachIndexed(document->getSheets(), [&](const Reference<uno::XInterface>& sheet, sal_Int32) {
        const auto query = as<sheet::XCellRangesQuery>(sheet);
        // A pivot table's cells follow from its source when it is refreshed.
        std::vector<table::CellRangeAddress> pivots;
        eachIndexed(as<sheet::XDataPilotTablesSupplier>(sheet)->getDataPilotTables(),
                    [&](const auto& table, sal_Int32) {
                        pivots.push_back(as<sheet::XDataPilotTable>(table)->getOutputRange());
                    });
        each(query->queryContentCells(sheet::CellFlags::STRING | sheet::CellFlags::FORMULA)->getCells(),
             [&](const Props& cell) {
                 const table::CellAddress at = as<sheet::XCellAddressable>(cell)->getCellAddress();
                 const bool derived = std::any_of(pivots.begin(), pivots.end(), [&](const auto& area) {
                     return at.Row >= area.StartRow && at.Row <= area.EndRow &&
                            at.Column >= area.StartColumn && at.Column <= area.EndColumn;
                 });
                 stories[derived ? "pivot tables" : "cells"]
                     << toQString(as<table::XCell>(cell)->getFormula());
             });
    });
}

QList<Paragraph> paragraphsOf(const Text& story)
{
    QList<Paragraph> paragraphs;
    each(story, [&](const Props& paragraph) {
        static const char* const kAdjust[] = {"left", "right", "justified", "center", "stretch"};
        const auto adjust = get<sal_Int16>(paragraph, "ParaAdjust");
        Paragraph read{stringOf(paragraph),
                       adjust >= 0 && adjust < 5 ? QString::fromLatin1(kAdjust[adjust])
                                                 : QString::number(adjust),
                       {}};
        each(paragraph, [&](const Props& portion) {
            const OUString type = get<OUString>(portion, "TextPortionType");
            if (type != "Text" && type != "TextField")
                return;
            // A .doc's font table adds alternative names after the font's own: "Arial;Helvetica".
            const auto font = [&](const char* name) {
                return toQString(get<OUString>(portion, name)).section(QLatin1Char(';'), 0, 0);
            };
            read.runs.append({stringOf(portion), type == "TextField", font("CharFontName"),
                              font("CharFontNameAsian"), get<float>(portion, "CharHeight"),
                              get<float>(portion, "CharHeightAsian"),
                              get<float>(portion, "CharWeight") >= awt::FontWeight::BOLD,
                              get<float>(portion, "CharWeightAsian") >= awt::FontWeight::BOLD});
        });
        paragraphs.append(read);
    });
    return paragraphs;
}
} // namespace

void writeDocument(const QString& path, const WordContent& content, const QString& password)
{
    make(path, password, [&](const Doc& document) {
        const Text body = as<text::XTextDocument>(document)->getText();
        const qsizetype sections = std::max<qsizetype>(1, content.headers.size());
        for (qsizetype s = 0; s < sections; ++s) {
            // Each section has a page style of its own, with its header and footer.
            const OUString name = s == 0 ? OUString("Standard") : toOUString(QString("Section%1").arg(s + 1));
            if (s > 0)
                appendPage(document, body, QString("第%1节正文").arg(s + 1), false, name);
            const Props style = pageStyle(document, name);
            setStories(style,
                       {{"HeaderText", content.headers.value(s)}, {"FooterText", content.footers.value(s)}});
            if (s > 0)
                continue;
            for (qsizetype p = 0; p < content.body.size(); ++p)
                appendParagraph(body, content.body.at(p), p == 0);
            for (const QString& box : content.textBoxes)
                addTextBox(document, body, box);
            if (!content.headerTextBox.isEmpty())
                addTextBox(document, textOf(style, "HeaderText"), content.headerTextBox);
        }
    });
}

void writeWorkbook(const QString& path, const QList<SheetContent>& sheets)
{
    make(path, {}, [&](const Doc& document) {
        const Reference<sheet::XSpreadsheets> all = as<sheet::XSpreadsheetDocument>(document)->getSheets();
        const auto indexed = as<container::XIndexAccess>(all);
        for (qsizetype i = 0; i < sheets.size(); ++i) {
            if (i >= indexed->getCount())
                all->insertNewByName(toOUString(sheets.at(i).name), sal_Int16(i));
            const auto sheet = as<sheet::XSpreadsheet>(indexed->getByIndex(sal_Int32(i)));
            as<container::XNamed>(sheet)->setName(toOUString(sheets.at(i).name));
            for (const auto& [row, column, text] : sheets.at(i).cells)
                sheet->getCellByPosition(column - 1, row - 1)->setFormula(toOUString(text));
            if (sheets.at(i).protectedSheet)
                as<util::XProtectable>(sheet)->protect(OUString());
        }
        while (indexed->getCount() > sheets.size())
            all->removeByName(as<container::XNamed>(indexed->getByIndex(indexed->getCount() - 1))->getName());
    });
}

void writeMarkedDocument(const QString& path)
{
    make(path, {}, [&](const Doc& document) {
        const Text body = as<text::XTextDocument>(document)->getText();
        body->setString(OUString("See Table 1. Link: Table web end Table"));
        insertBookmark(document, body, 4, 7, "_Ref1");
        insertBookmark(document, body, 33, 5, "whole");
        set(select(body, 19, 9), "HyperLinkURL", uno::Any(OUString("http://example.com/web")));
        appendParagraph(body, "Ref: ", false);
        const auto reference =
            create<beans::XPropertySet>(document, "com.sun.star.text.TextField.GetReference");
        set(reference, "ReferenceFieldSource", uno::Any(text::ReferenceFieldSource::BOOKMARK));
        set(reference, "SourceName", uno::Any(OUString("_Ref1")));
        set(reference, "ReferenceFieldPart", uno::Any(text::ReferenceFieldPart::TEXT));
        body->insertTextContent(body->getEnd(), as<text::XTextContent>(reference), false);
    });
}

void writeTrackedDocument(const QString& path)
{
    make(path, {}, [&](const Doc& document) {
        const Text body = as<text::XTextDocument>(document)->getText();
        body->setString(OUString("The Lifecycle of a Project"));
        insertBookmark(document, body, 19, 7, "title");
        set(select(body, 19, 7), "HyperLinkURL", uno::Any(OUString("http://example.com/p")));
        appendParagraph(body, "Every project ends; old project notes stay.", false);
        const auto table = create<text::XTextTable>(document, "com.sun.star.text.TextTable");
        table->initialize(1, 1);
        body->insertTextContent(body->getEnd(), as<text::XTextContent>(table), false);
        as<text::XText>(table->getCellByName(OUString("A1")))->setString(OUString("project plan"));
        setStories(pageStyle(document), {{"HeaderText", "Project header"}});
        set(document, "RecordChanges", uno::Any(true));
        // "old project notes " in the second paragraph: 27 + 20 characters in.
        select(body, 47, 18)->setString(OUString());
    });
}

void writeShapesDocument(const QString& path)
{
    make(path, {}, [&](const Doc& document) {
        const Text body = as<text::XTextDocument>(document)->getText();
        const auto shape = [&](const Text& where, const char* kind, const QString& text) {
            return drawingShape(document, where, where->getEnd(), kind, text);
        };
        body->setString(toOUString("正文 OLD"));
        insertPicture(document, body);
        addTextBox(document, body, "框 OLD");
        shape(body, "com.sun.star.drawing.TextShape", "画 OLD");
        // A group: its members are placed on the draw page first, then grouped there.
        const auto members = service<drawing::XShapes>("com.sun.star.drawing.ShapeCollection");
        members->add(shape(body, "com.sun.star.drawing.TextShape", "组 OLD"));
        members->add(shape(body, "com.sun.star.drawing.LineShape", QString()));
        as<drawing::XShapeGrouper>(drawPageOf(document))->group(members);
        shape(body, "com.sun.star.drawing.RectangleShape", QString());
        const Props style = pageStyle(document);
        setStories(style, {{"HeaderText", "页眉"}});
        insertPicture(document, textOf(style, "HeaderText"));
        shape(textOf(style, "HeaderText"), "com.sun.star.drawing.TextShape", "眉画 OLD");
    });
}

void writeHeadersDocument(const QString& path)
{
    make(path, {}, [&](const Doc& document) {
        setStories(pageStyle(document), {{"HeaderText", "主页眉 OLD"},
                                         {"FooterText", "主页脚 OLD"},
                                         {"HeaderTextLeft", "偶页眉 OLD"},
                                         {"HeaderTextFirst", "首页眉 OLD"},
                                         {"FooterTextLeft", "偶页脚 OLD"},
                                         {"FooterTextFirst", "首页脚 OLD"}});
        // Three pages of section 1, then section 2 on a fourth.
        const Text body = as<text::XTextDocument>(document)->getText();
        for (int page = 1; page <= 4; ++page)
            appendPage(document, body, QString("第%1页正文").arg(page), page == 1,
                       page == 4 ? OUString("Section2") : OUString());
        setStories(pageStyle(document, OUString("Section2")),
                   {{"HeaderText", "二节页眉 OLD"}, {"FooterText", "二节页脚 OLD"}});
    });
}

void writeLinkedWorkbook(const QString& path)
{
    make(path, {}, [&](const Doc& document) {
        const auto sheet = as<sheet::XSpreadsheet>(
            as<container::XIndexAccess>(as<sheet::XSpreadsheetDocument>(document)->getSheets())
                ->getByIndex(0));
        const auto link = [&](int row, const char* before, const char* shown, const char* address) {
            const auto cell = as<text::XText>(sheet->getCellByPosition(0, row));
            cell->setString(ascii(before));
            const auto field = create<beans::XPropertySet>(document, "com.sun.star.text.TextField.URL");
            set(field, "URL", uno::Any(ascii(address)));
            set(field, "Representation", uno::Any(ascii(shown)));
            const Reference<text::XTextCursor> end = cell->createTextCursor();
            end->gotoEnd(false);
            cell->insertTextContent(as<text::XTextRange>(end), as<text::XTextContent>(field), false);
        };
        link(0, "", "Table web", "http://example.com/a");
        link(1, "Before ", "Table link", "http://example.com/b");
        sheet->getCellByPosition(0, 2)->setFormula(OUString("plain Table"));
        sheet->getCellByPosition(1, 2)->setFormula(OUString("=HYPERLINK(\"http://x.com\";\"Table f\")"));
    });
}

void writePaged(const QString& path, const PagedDocument& content)
{
    make(path, {}, [&](const Doc& document) {
        const Text body = as<text::XTextDocument>(document)->getText();
        for (qsizetype p = 0; p < content.pages.size(); ++p)
            appendPage(document, body, content.pages.at(p), p == 0);
        setStories(pageStyle(document), {{"HeaderText", content.header},
                                         {"FooterText", content.footer},
                                         {"HeaderTextFirst", content.firstPageHeader},
                                         {"HeaderTextLeft", content.evenPagesHeader}});
    });
}

void writeMacroDocument(const QString& path, const QString& body, const QString& marker)
{
    make(path, {}, [&](const Doc& document) {
        as<text::XTextDocument>(document)->getText()->setString(toOUString(body));
        const auto libraries = as<script::XLibraryContainer>(
            as<beans::XPropertySet>(document)->getPropertyValue(ascii("BasicLibraries")));
        if (!libraries->hasByName(OUString("Standard")))
            libraries->createLibrary(OUString("Standard"));
        const QString source =
            QString("Sub Main\n  Open \"%1\" For Output As #1\n  Print #1, \"ran\"\n  Close #1\nEnd Sub\n")
                .arg(marker);
        as<container::XNameContainer>(libraries->getByName(OUString("Standard")))
            ->insertByName(OUString("Module1"), uno::Any(toOUString(source)));
        const auto binding = arguments(
            {property("EventType", uno::Any(OUString("Script"))),
             property("Script",
                      uno::Any(OUString(
                          "vnd.sun.star.script:Standard.Module1.Main?language=Basic&location=document")))});
        // Opening a document raises both: when it is read, and when its view is made.
        const auto events = as<document::XEventsSupplier>(document)->getEvents();
        for (const char* event : {"OnLoad", "OnLoadFinished"})
            events->replaceByName(ascii(event), uno::Any(binding));
    });
}

bool openRunningMacros(const QString& path, const QString& marker)
{
    bool ran = false;
    making(path, [&] {
        office().serviceManager(); // started when needed
        const Doc component =
            loadFile(path, arguments({property("Hidden", uno::Any(false)),
                                      property("MacroExecutionMode",
                                               uno::Any(document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN))}));
        // The load event's handlers run after the load has returned.
        for (QDeadlineTimer deadline(20000); !ran && !deadline.hasExpired(); QThread::msleep(100))
            ran = QFileInfo::exists(marker);
        as<util::XCloseable>(component)->close(true);
    });
    return ran;
}

Inventory inventory(const QString& path)
{
    Inventory result;
    const bool loaded = withLoaded(path, [&](const Doc& component) {
        if (isWorkbook(path))
            workbookInventory(as<sheet::XSpreadsheetDocument>(component), result);
        else
            documentInventory(as<text::XTextDocument>(component), result);
    });
    return loaded ? result : Inventory();
}

QMap<QString, QStringList> stories(const QString& path)
{
    QMap<QString, QStringList> result;
    const bool loaded = withLoaded(path, [&](const Doc& component) {
        if (isWorkbook(path))
            workbookStories(as<sheet::XSpreadsheetDocument>(component), result);
        else
            documentStories(as<text::XTextDocument>(component), result);
    });
    return loaded ? result : QMap<QString, QStringList>();
}

Settled settleChanges(const QString& path, bool accept)
{
    Settled settled;
    PdfExport pdf;
    // Editable: a read-only document accepts and rejects no change.
    settled.loaded = withLoaded(
        path,
        [&](const Doc& component) {
            const auto document = as<text::XTextDocument>(component);
            each(as<document::XRedlinesSupplier>(document)->getRedlines(), [&](const Props& redline) {
                const auto start = get<Reference<text::XTextRange>>(redline, "RedlineStart");
                const auto end = get<Reference<text::XTextRange>>(redline, "RedlineEnd");
                QString shown;
                if (start.is() && end.is()) {
                    const Reference<text::XTextCursor> span =
                        start->getText()->createTextCursorByRange(start);
                    span->gotoRange(end, true);
                    shown = toQString(span->getString());
                }
                settled.changes << toQString(get<OUString>(redline, "RedlineType")) + ":" + shown;
            });
            settled.changes.sort();
            service<frame::XDispatchHelper>("com.sun.star.frame.DispatchHelper")
                ->executeDispatch(
                    as<frame::XDispatchProvider>(
                        as<frame::XModel>(document)->getCurrentController()->getFrame()),
                    ascii(accept ? ".uno:AcceptAllTrackedChanges" : ".uno:RejectAllTrackedChanges"),
                    OUString(), 0, {});
            eachParagraph(document->getText(),
                          [&](const Props& paragraph) { settled.paragraphs << stringOf(paragraph); });
            settled.header = toQString(textOf(pageStyle(document), "HeaderText")->getString());
            documentInventory(document, settled);
            pdf.from(document);
        },
        nullptr, false);
    if (settled.loaded)
        settled.rendered = pdf.text();
    return settled;
}

QString rendered(const QString& path)
{
    return renderedWith(path, {QStringLiteral("-layout")});
}

HeaderFooterParagraphs readHeaderFooter(const QString& path)
{
    HeaderFooterParagraphs read;
    withLoaded(path, [&](const Doc& document) {
        const auto first = as<container::XEnumerationAccess>(as<text::XTextDocument>(document)->getText())
                               ->createEnumeration()
                               ->nextElement();
        const Props style =
            pageStyle(document, get<OUString>(as<beans::XPropertySet>(first), "PageStyleName"));
        if (get<bool>(style, "HeaderIsOn"))
            read.header = paragraphsOf(textOf(style, "HeaderText"));
        if (get<bool>(style, "FooterIsOn"))
            read.footer = paragraphsOf(textOf(style, "FooterText"));
    });
    return read;
}

QStringList pages(const QString& path)
{
    QStringList pages = rendered(path).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QList<RenderedPage> renderLines(const QString& path)
{
    const QString html =
        renderedWith(path, {QStringLiteral("-bbox"), QStringLiteral("-enc"), QStringLiteral("UTF-8")});
    QList<RenderedPage> pages;
    static const QRegularExpression item(QStringLiteral(
        R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (auto it = item.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const auto number = [&](int n) { return match.captured(n).toDouble(); };
        if (!match.captured(1).isEmpty()) {
            pages.append({number(1), number(2), {}});
            continue;
        }
        if (pages.isEmpty())
            continue;
        QString text = match.captured(7);
        text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
        const PlacedLine word{text, number(3), number(5), number(4), number(6)};
        QList<PlacedLine>& lines = pages.last().lines;
        // Words come in reading order: one that overlaps the last line's height goes on with it.
        if (lines.isEmpty() || word.top >= lines.last().bottom || word.bottom <= lines.last().top) {
            lines.append(word);
            continue;
        }
        PlacedLine& line = lines.last();
        line.text += word.text;
        line.left = std::min(line.left, word.left);
        line.right = std::max(line.right, word.right);
        line.top = std::min(line.top, word.top);
        line.bottom = std::max(line.bottom, word.bottom);
    }
    return pages;
}

void shutdown()
{
    office().terminate();
}

Document readDocument(const QString& path)
{
    Document read;
    read.loaded = withLoaded(
        path,
        [&](const Doc& component) {
            const auto document = as<text::XTextDocument>(component);
            read.body = toQString(document->getText()->getString());
            const auto styles = pageStyles(document);
            for (const OUString& name : styles->getElementNames()) {
                const auto style = as<beans::XPropertySet>(styles->getByName(name));
                for (const QByteArray part : {"Header", "Footer"}) {
                    if (!get<bool>(style, part + "IsOn"))
                        continue;
                    for (const char* kind : {"Text", "TextLeft", "TextFirst"}) {
                        const Text text(style->getPropertyValue(ascii(part + kind)), uno::UNO_QUERY);
                        if (text.is())
                            (part == "Header" ? read.headers : read.footers) << toQString(text->getString());
                    }
                }
            }
            eachIndexed(as<text::XTextFramesSupplier>(document)->getTextFrames(),
                        [&](const auto& frame, sal_Int32) {
                            read.frames << toQString(as<text::XTextFrame>(frame)->getText()->getString());
                        });
        },
        &read.requests);
    read.headers = sorted(read.headers);
    read.footers = sorted(read.footers);
    read.frames = sorted(read.frames);
    return read;
}

Workbook readWorkbook(const QString& path)
{
    Workbook read;
    const auto readSheet = [&](const Reference<uno::XInterface>& spreadsheet, sal_Int32) {
        Sheet& sheet =
            read.sheets.emplace_back(Sheet{toQString(as<container::XNamed>(spreadsheet)->getName()), {}});
        each(as<sheet::XCellRangesQuery>(spreadsheet)->queryContentCells(kContent)->getCells(),
             [&](const Props& cell) {
                 const table::CellAddress at = as<sheet::XCellAddressable>(cell)->getCellAddress();
                 if (const QString shown = stringOf(cell); !shown.isEmpty())
                     sheet.cells << QStringLiteral("R%1C%2=%3").arg(at.Row + 1).arg(at.Column + 1).arg(shown);
             });
    };
    read.loaded = withLoaded(
        path,
        [&](const Doc& document) {
            eachIndexed(as<sheet::XSpreadsheetDocument>(document)->getSheets(), readSheet);
        },
        &read.requests);
    return read;
}

bool saveAs(const QString& path, const QString& target, const QString& filter)
{
    return withLoaded(
               path,
               [&](const Doc& document) { storeTo(document, target, filter.toLatin1().constData()); }) &&
           QFileInfo::exists(target);
}

} // namespace UnoDocuments

#include "WriterModel.h"

#include "UnoText.h"
#include "app/DryRun.h"
#include "app/FailureText.h"

#include <QScopeGuard>
#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XRedlinesSupplier.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShapeDescriptor.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <com/sun/star/util/XSearchable.hpp>
#include <osl/file.hxx>

namespace unooffice {

using namespace css;
using rtl::OUString;

namespace {

template <class T> T propertyOf(const Reference<beans::XPropertySet>& properties, const char* name)
{
    T value{};
    properties->getPropertyValue(OUString::createFromAscii(name)) >>= value;
    return value;
}

// A property that not every object of the kind has: its value, or the fallback.
template <class T>
T optionalProperty(const Reference<beans::XPropertySet>& properties, const char* name, T fallback = T{})
{
    T value = fallback;
    try {
        properties->getPropertyValue(OUString::createFromAscii(name)) >>= value;
    } catch (const beans::UnknownPropertyException&) {
    }
    return value;
}

// A drawing shape's kind ("com.sun.star.drawing.TextShape" ...); empty for other objects.
OUString shapeTypeOf(const Reference<uno::XInterface>& shape)
{
    const Reference<drawing::XShapeDescriptor> descriptor(shape, uno::UNO_QUERY);
    // The interface is marked old, but Writer's shapes answer nothing else as plainly.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return descriptor.is() ? descriptor->getShapeType() : OUString();
#pragma GCC diagnostic pop
}

// The file a document was loaded from.
QString pathOf(const Reference<text::XTextDocument>& document)
{
    OUString path;
    osl::FileBase::getSystemPathFromFileURL(
        Reference<frame::XModel>(document, uno::UNO_QUERY_THROW)->getURL(), path);
    return toQString(path);
}

// The text that recorded changes deleted: it stays in place, marked, and
// Writer's search finds in it, but no replacement may land there.
class Deletions
{
public:
    explicit Deletions(const Reference<text::XTextDocument>& document)
    {
        const Reference<document::XRedlinesSupplier> supplier(document, uno::UNO_QUERY);
        if (!supplier.is())
            return;
        const Reference<container::XEnumerationAccess> redlines(supplier->getRedlines(), uno::UNO_QUERY);
        if (!redlines.is())
            return;
        const Reference<container::XEnumeration> each = redlines->createEnumeration();
        while (each->hasMoreElements()) {
            const Reference<beans::XPropertySet> redline(each->nextElement(), uno::UNO_QUERY);
            if (!redline.is() || propertyOf<OUString>(redline, "RedlineType") != "Delete")
                continue;
            const auto start = propertyOf<Reference<text::XTextRange>>(redline, "RedlineStart");
            const auto end = propertyOf<Reference<text::XTextRange>>(redline, "RedlineEnd");
            if (start.is() && end.is())
                m_spans.push_back({start, end});
        }
    }

    // Whether range shares text with a deletion (one in another text never does).
    bool overlaps(const Reference<text::XTextRange>& range) const
    {
        if (m_spans.empty())
            return false;
        const Reference<text::XTextRangeCompare> compare(range->getText(), uno::UNO_QUERY);
        if (!compare.is())
            return false;
        for (const auto& [start, end] : m_spans) {
            try {
                // A deletion's ends come in either order (a .doc's often end first);
                // compareRegionStarts(a, b) is 1 when a starts before b.
                const bool backwards = compare->compareRegionStarts(start, end) == -1;
                const Reference<text::XTextRange>& first = backwards ? end : start;
                const Reference<text::XTextRange>& last = backwards ? start : end;
                if (compare->compareRegionStarts(range->getStart(), last) == 1 &&
                    compare->compareRegionStarts(first, range->getEnd()) == 1)
                    return true;
            } catch (const lang::IllegalArgumentException&) {
                // In another text.
            }
        }
        return false;
    }

private:
    std::vector<std::pair<Reference<text::XTextRange>, Reference<text::XTextRange>>> m_spans;
};

// Writer's search through the document for text, any letter case, visiting
// the occurrences that lie in story one at a time, until visit gives null;
// else it gives where the search goes on from. Occurrences in deleted text
// are passed by. One occurrence is held at a time: every range held is moved
// along at each edit, so holding them all (findAll) makes a replace quadratic
// in their number.
template <class F>
void eachOccurrence(const Reference<text::XTextDocument>& document, const Reference<text::XText>& story,
                    const QString& text, F&& visit)
{
    if (text.isEmpty() || !story.is())
        return;
    const Reference<util::XSearchable> searchable(document, uno::UNO_QUERY_THROW);
    const Reference<util::XSearchDescriptor> descriptor = searchable->createSearchDescriptor();
    descriptor->setSearchString(toOUString(text));
    const Reference<beans::XPropertySet> options(descriptor, uno::UNO_QUERY_THROW);
    options->setPropertyValue(OUString("SearchCaseSensitive"), uno::Any(false));
    options->setPropertyValue(OUString("SearchRegularExpression"), uno::Any(false));
    const Deletions deletions(document);
    // The story cannot hold more occurrences than this; should an edit ever
    // leave the search where it was, the loop still ends there.
    sal_Int32 left = -1;
    Reference<text::XTextRange> range(searchable->findFirst(descriptor), uno::UNO_QUERY);
    while (range.is()) {
        Reference<text::XTextRange> from = range->getEnd();
        if (contains(story, range) && !deletions.overlaps(range)) {
            if (left < 0)
                left = story->getString().getLength() / sal_Int32(text.size()) + 1;
            if (left-- == 0)
                return;
            from = visit(range);
            if (!from.is())
                return;
        }
        range.set(searchable->findNext(from, descriptor), uno::UNO_QUERY);
    }
}

// Writer's search finds only what its layout shows: the main text, but not a
// header that no page shows (the primary one of a one-page section with a
// first page of its own) nor a drawing shape's text. Every other story is
// searched paragraph by paragraph (walked).
class StoryRange final : public word::Range
{
public:
    StoryRange(UnoOffice& office, Reference<text::XTextDocument> document, Reference<text::XText> story,
               bool walked, DryRun::Scope scope)
        : m_office(office)
        , m_document(std::move(document))
        , m_story(std::move(story))
        , m_walked(walked)
        , m_scope(scope)
    {}

    bool findExecute(const QString& text) override
    {
        return m_office.call([&] {
            if (m_walked)
                return holdsText(m_office, m_story, text);
            if (text.isEmpty() || !m_story.is())
                return false;
            if (const std::optional<uno::Any> result =
                    m_office.runScript(EngineScripts::kFindInStory, {uno::Any(m_document), uno::Any(m_story),
                                                                     uno::Any(toOUString(text))})) {
                sal_Int32 found = 0;
                *result >>= found;
                return found != 0;
            }
            bool found = false;
            eachOccurrence(m_document, m_story, text, [&](const Reference<text::XTextRange>&) {
                found = true;
                return Reference<text::XTextRange>();
            });
            return found;
        });
    }

    void replaceAll(const QString& findText, const QString& replaceWith) override
    {
        const int replaced = m_office.call([&] { return replace(findText, replaceWith); });
        // A dry run tells what it would replace, in the document's file and this story's scope.
        if (DryRun::active() && replaced > 0)
            DryRun::count(m_office.call([&] { return pathOf(m_document); }), m_scope, replaced);
    }

    void Delete() override
    {
        m_office.call([&] {
            if (m_story.is())
                m_story->setString(OUString());
        });
    }

    QString text() override
    {
        return m_office.call([&] { return m_story.is() ? toQString(m_story->getString()) : QString(); });
    }

private:
    // The occurrences replaced.
    int replace(const QString& findText, const QString& replaceWith)
    {
        // Each edit ends with Writer formatting the paragraph it changed again: many
        // occurrences in one long paragraph would cost the square of its length. With
        // the controllers locked the layout is formatted once, when they are unlocked.
        const Reference<frame::XModel> model(m_document, uno::UNO_QUERY_THROW);
        model->lockControllers();
        const auto unlock = qScopeGuard([&] {
            try {
                model->unlockControllers();
            } catch (const uno::RuntimeException&) {
                // A soffice that is gone has nothing to format.
            }
        });
        const bool tracked = recordsChanges(m_document);
        if (m_walked)
            return replaceInText(m_office, m_story, findText, replaceWith, tracked);
        if (findText.isEmpty() || !m_story.is())
            return 0;
        const OUString replacement = toOUString(replaceWith);
        if (const std::optional<uno::Any> done = m_office.runScript(
                EngineScripts::kReplaceInStory, {uno::Any(m_document), uno::Any(m_story),
                                                 uno::Any(toOUString(findText)), uno::Any(replacement)})) {
            sal_Int32 count = 0;
            *done >>= count;
            return int(count);
        }
        // The search goes on from the end of the new text: a replacement that holds the
        // text itself is not searched again.
        int count = 0;
        eachOccurrence(m_document, m_story, findText, [&](const Reference<text::XTextRange>& range) {
            ++count;
            return replaceKeepingBounds(range, replacement, tracked);
        });
        return count;
    }

    UnoOffice& m_office;
    Reference<text::XTextDocument> m_document;
    Reference<text::XText> m_story;
    bool m_walked;
    DryRun::Scope m_scope;
};

class ShapeItem final : public word::Shape
{
public:
    ShapeItem(UnoOffice& office, Reference<text::XTextDocument> document, Reference<text::XText> text)
        : m_office(office)
        , m_document(std::move(document))
        , m_text(std::move(text))
    {}

    word::RangePtr textFrameTextRange() override
    {
        return storyRange(m_office, m_document, m_text, true, DryRun::Scope::TextBoxes);
    }

private:
    UnoOffice& m_office;
    Reference<text::XTextDocument> m_document;
    Reference<text::XText> m_text;
};

// The text a drawing object carries: Writer text (a text frame, or a shape
// with a text box) or its own drawing text; none for pictures, charts,
// embedded objects, lines and other shapes without text.
Reference<text::XText> textOf(const Reference<uno::XInterface>& shape)
{
    const Reference<lang::XServiceInfo> info(shape, uno::UNO_QUERY);
    if (!info.is())
        return {};
    if (info->supportsService(OUString("com.sun.star.text.TextFrame"))) {
        const Reference<text::XText> text(shape, uno::UNO_QUERY);
        try {
            // A frame can come without content of its own ("no text available").
            text->getStart();
            return text;
        } catch (const uno::RuntimeException&) {
            return {};
        }
    }
    if (info->supportsService(OUString("com.sun.star.text.TextGraphicObject")) ||
        info->supportsService(OUString("com.sun.star.text.TextEmbeddedObject")))
        return {};
    const OUString type = shapeTypeOf(shape);
    static const char* const kWithoutText[] = {
        "com.sun.star.drawing.GraphicObjectShape", "com.sun.star.drawing.OLE2Shape",
        "com.sun.star.drawing.MediaShape", "com.sun.star.drawing.GroupShape"};
    for (const char* without : kWithoutText) {
        if (type.equalsAscii(without))
            return {};
    }
    const Reference<text::XText> text(shape, uno::UNO_QUERY);
    if (!text.is())
        return {};
    // A shape with a text box lends the box's Writer text.
    const Reference<beans::XPropertySet> properties(shape, uno::UNO_QUERY);
    if (properties.is() && optionalProperty<bool>(properties, "TextBox"))
        return text;
    if (type == "com.sun.star.drawing.TextShape" || !text->getString().isEmpty())
        return text;
    return {};
}

// The story a range finally lies in: the body or a header or footer text,
// climbing out of tables, frames and notes to where they are anchored. Null
// when it cannot be told.
Reference<text::XText> homeOf(Reference<text::XTextRange> range)
{
    for (int depth = 0; range.is() && depth < 16; ++depth) {
        const Reference<text::XText> text = range->getText();
        if (!text.is())
            return {};
        const Reference<beans::XPropertySet> at(text->createTextCursorByRange(range), uno::UNO_QUERY);
        Reference<text::XTextContent> container;
        for (const char* name : {"TextFrame", "TextTable", "Footnote", "Endnote"}) {
            if (at.is())
                container.set(optionalProperty<Reference<text::XTextContent>>(at, name));
            if (container.is())
                break;
        }
        if (!container.is())
            return text;
        range = container->getAnchor();
    }
    return {};
}

Reference<text::XTextRange> anchorOf(const Reference<uno::XInterface>& shape)
{
    const Reference<text::XTextContent> content(shape, uno::UNO_QUERY);
    if (!content.is())
        return {};
    try {
        return content->getAnchor();
    } catch (const uno::RuntimeException&) {
        return {}; // anchored to a page
    }
}

void collect(UnoOffice& office, const Reference<text::XTextDocument>& document,
             const Reference<uno::XInterface>& shape, QList<word::ShapePtr>& shapes)
{
    const Reference<container::XIndexAccess> members(shape, uno::UNO_QUERY);
    if (members.is() && shapeTypeOf(shape) == "com.sun.star.drawing.GroupShape") {
        for (sal_Int32 i = 0; i < members->getCount(); ++i)
            collect(office, document, Reference<uno::XInterface>(members->getByIndex(i), uno::UNO_QUERY),
                    shapes);
        return;
    }
    const Reference<text::XText> carried = textOf(shape);
    if (carried.is())
        shapes.append(std::make_shared<ShapeItem>(office, document, carried));
}

Reference<beans::XPropertySet> pageStyle(const Reference<text::XTextDocument>& document, const OUString& name)
{
    const Reference<style::XStyleFamiliesSupplier> families(document, uno::UNO_QUERY_THROW);
    const Reference<container::XNameAccess> pageStyles(
        families->getStyleFamilies()->getByName(OUString("PageStyles")), uno::UNO_QUERY_THROW);
    if (!pageStyles->hasByName(name))
        return {};
    return Reference<beans::XPropertySet>(pageStyles->getByName(name), uno::UNO_QUERY_THROW);
}

// Where a section's header (footer) of a Word index lives: a page style and
// which of its texts. No style when the section has none such.
struct Place
{
    Reference<beans::XPropertySet> style;
    const char* text = nullptr; // "Text", "TextFirst", "TextLeft"
};

Place placeOf(const Reference<text::XTextDocument>& document, const OUString& sectionStyle, bool header,
              int index)
{
    const Reference<beans::XPropertySet> first = pageStyle(document, sectionStyle);
    if (!first.is())
        return {};
    const OUString followName = optionalProperty<OUString>(first, "FollowStyle");
    const Reference<beans::XPropertySet> follow = followName.isEmpty() || followName == sectionStyle
                                                      ? Reference<beans::XPropertySet>()
                                                      : pageStyle(document, followName);
    const char* shared = header ? "HeaderIsShared" : "FooterIsShared";
    if (follow.is()) {
        // The first page in a page style of its own, the rest in the one it goes on with.
        switch (index) {
        case 1:
            return {follow, "Text"};
        case 2:
            return {first, "Text"};
        case 3:
            return optionalProperty<bool>(follow, shared, true) ? Place{} : Place{follow, "TextLeft"};
        default:
            return {};
        }
    }
    switch (index) {
    case 1:
        return {first, "Text"};
    case 2:
        return optionalProperty<bool>(first, "FirstIsShared", true) ? Place{} : Place{first, "TextFirst"};
    case 3:
        return optionalProperty<bool>(first, shared, true) ? Place{} : Place{first, "TextLeft"};
    default:
        return {};
    }
}

class HeaderFooterItem final : public word::HeaderFooter
{
public:
    HeaderFooterItem(UnoOffice& office, Reference<text::XTextDocument> document, Reference<text::XText> story,
                     bool header)
        : m_office(office)
        , m_document(std::move(document))
        , m_story(std::move(story))
        , m_header(header)
    {}
    word::RangePtr range() override
    {
        return storyRange(m_office, m_document, m_story, true,
                          m_header ? DryRun::Scope::Headers : DryRun::Scope::Footers);
    }
    QList<word::ShapePtr> shapes() override
    {
        if (!m_story.is())
            return {};
        return textShapes(m_office, m_document, m_story);
    }

private:
    UnoOffice& m_office;
    Reference<text::XTextDocument> m_document;
    Reference<text::XText> m_story;
    bool m_header;
};

class SectionItem final : public word::Section
{
public:
    SectionItem(UnoOffice& office, Reference<text::XTextDocument> document, OUString style)
        : m_office(office)
        , m_document(std::move(document))
        , m_style(std::move(style))
    {}
    word::HeaderFooterPtr headers(qint16 index) override { return part(index, true); }
    word::HeaderFooterPtr footers(qint16 index) override { return part(index, false); }

private:
    word::HeaderFooterPtr part(qint16 index, bool header)
    {
        if (index < 1 || index > 3)
            throw RuntimeError(RuntimeError::InvalidCall, RuntimeError::nameOf(RuntimeError::InvalidCall),
                               QStringLiteral("header/footer index %1").arg(index));
        const Reference<text::XText> story =
            m_office.call([&] { return headerFooterStory(m_document, m_style, header, index, false); });
        return std::make_shared<HeaderFooterItem>(m_office, m_document, story, header);
    }

    UnoOffice& m_office;
    Reference<text::XTextDocument> m_document;
    OUString m_style;
};

} // namespace

bool contains(const Reference<text::XText>& story, const Reference<text::XTextRange>& range)
{
    const Reference<text::XTextRangeCompare> compare(story, uno::UNO_QUERY);
    if (!compare.is() || !range.is())
        return false;
    try {
        compare->compareRegionStarts(story->getStart(), range);
        return true;
    } catch (const lang::IllegalArgumentException&) {
        return false;
    }
}

word::RangePtr storyRange(UnoOffice& office, const Reference<text::XTextDocument>& document,
                          const Reference<text::XText>& story, bool walked, DryRun::Scope scope)
{
    return std::make_shared<StoryRange>(office, document, story, walked, scope);
}

QList<word::ShapePtr> textShapes(UnoOffice& office, const Reference<text::XTextDocument>& document,
                                 const Reference<text::XText>& story)
{
    return office.call([&] {
        QList<word::ShapePtr> shapes;
        // Writer has one draw page; the interface that names it is the marked-old one.
        const Reference<drawing::XDrawPageSupplier> supplier(document, uno::UNO_QUERY_THROW);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        const Reference<container::XIndexAccess> page(supplier->getDrawPage(), uno::UNO_QUERY_THROW);
#pragma GCC diagnostic pop
        const Reference<text::XText> body = document->getText();
        for (sal_Int32 i = 0; i < page->getCount(); ++i) {
            const Reference<uno::XInterface> shape(page->getByIndex(i), uno::UNO_QUERY);
            const Reference<lang::XServiceInfo> info(shape, uno::UNO_QUERY);
            // Pictures and embedded objects carry no text: no need to find where they are.
            if (info.is() && (info->supportsService(OUString("com.sun.star.text.TextGraphicObject")) ||
                              info->supportsService(OUString("com.sun.star.text.TextEmbeddedObject"))))
                continue;
            const Reference<text::XTextRange> anchor = anchorOf(shape);
            const Reference<text::XText> home = anchor.is() ? homeOf(anchor) : body;
            const bool inStory = home.is() && (story.is() ? contains(story, home->getStart())
                                                          : contains(body, home->getStart()));
            if (inStory)
                collect(office, document, shape, shapes);
        }
        return shapes;
    });
}

std::vector<OUString> sectionStyles(const Reference<text::XTextDocument>& document)
{
    std::vector<OUString> styles;
    const Reference<container::XEnumerationAccess> body(document->getText(), uno::UNO_QUERY_THROW);
    const Reference<container::XEnumeration> paragraphs = body->createEnumeration();
    bool first = true;
    while (paragraphs->hasMoreElements()) {
        const Reference<beans::XPropertySet> paragraph(paragraphs->nextElement(), uno::UNO_QUERY);
        if (!paragraph.is())
            continue;
        OUString style = optionalProperty<OUString>(paragraph, "PageDescName");
        if (first && style.isEmpty())
            style = optionalProperty<OUString>(paragraph, "PageStyleName");
        first = false;
        if (!style.isEmpty())
            styles.push_back(style);
    }
    if (styles.empty())
        styles.push_back(OUString("Standard"));
    return styles;
}

Reference<text::XText> headerFooterStory(const Reference<text::XTextDocument>& document,
                                         const OUString& style, bool header, int index, bool switchOn)
{
    const Place place = placeOf(document, style, header, index);
    if (!place.style.is())
        return {};
    const OUString prefix = OUString::createFromAscii(header ? "Header" : "Footer");
    const OUString on = prefix + OUString("IsOn");
    if (!propertyOf<bool>(place.style, header ? "HeaderIsOn" : "FooterIsOn")) {
        if (!switchOn)
            return {};
        place.style->setPropertyValue(on, uno::Any(true));
    }
    return Reference<text::XText>(
        place.style->getPropertyValue(prefix + OUString::createFromAscii(place.text)), uno::UNO_QUERY);
}

bool hasDistinctFirstPage(const Reference<text::XTextDocument>& document, const OUString& style, bool header)
{
    return placeOf(document, style, header, 2).style.is();
}

word::SectionPtr section(UnoOffice& office, const Reference<text::XTextDocument>& document,
                         const OUString& style)
{
    return std::make_shared<SectionItem>(office, document, style);
}

} // namespace unooffice

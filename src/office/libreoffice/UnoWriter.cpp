#include "UnoWriter.h"

#include "UnoOffice.h"
#include "UnoWriterSelection.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XSearchable.hpp>

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

// Whether range lies in text (the body, a header, a frame): a text compares
// only ranges of its own.
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

// Every occurrence of text in the document that lies in story, any letter case.
std::vector<Reference<text::XTextRange>> occurrences(const Reference<text::XTextDocument>& document,
                                                     const Reference<text::XText>& story, const QString& text)
{
    std::vector<Reference<text::XTextRange>> found;
    if (text.isEmpty() || !story.is())
        return found;
    const Reference<util::XSearchable> searchable(document, uno::UNO_QUERY_THROW);
    const Reference<util::XSearchDescriptor> descriptor = searchable->createSearchDescriptor();
    descriptor->setSearchString(toOUString(text));
    const Reference<beans::XPropertySet> options(descriptor, uno::UNO_QUERY_THROW);
    options->setPropertyValue(OUString("SearchCaseSensitive"), uno::Any(false));
    options->setPropertyValue(OUString("SearchRegularExpression"), uno::Any(false));
    const Reference<container::XIndexAccess> all = searchable->findAll(descriptor);
    for (sal_Int32 i = 0; all.is() && i < all->getCount(); ++i) {
        const Reference<text::XTextRange> range(all->getByIndex(i), uno::UNO_QUERY);
        if (contains(story, range))
            found.push_back(range);
    }
    return found;
}

class Writer;

// A story of the document (body, header, footer, text box) as a Word range.
class StoryRange final : public word::Range
{
public:
    StoryRange(UnoOffice& office, Reference<text::XTextDocument> document, Reference<text::XText> story)
        : m_office(office)
        , m_document(std::move(document))
        , m_story(std::move(story))
    {}

    bool findExecute(const QString& text) override
    {
        return m_office.call([&] { return !occurrences(m_document, m_story, text).empty(); });
    }

    void replaceAll(const QString& findText, const QString& replaceWith) override
    {
        m_office.call([&] {
            const OUString replacement = toOUString(replaceWith);
            for (const auto& range : occurrences(m_document, m_story, findText))
                range->setString(replacement);
        });
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
    UnoOffice& m_office;
    Reference<text::XTextDocument> m_document;
    Reference<text::XText> m_story;
};

class ShapeItem final : public word::Shape
{
public:
    ShapeItem(UnoOffice& office, Reference<text::XTextDocument> document, Reference<uno::XInterface> shape)
        : m_office(office)
        , m_document(std::move(document))
        , m_shape(std::move(shape))
    {}

    word::RangePtr textFrameTextRange() override
    {
        // A text frame is its own text; a drawing shape with a text box lends it.
        const Reference<text::XText> story =
            m_office.call([&] { return Reference<text::XText>(m_shape, uno::UNO_QUERY); });
        if (!story.is())
            throw RuntimeError(438, QStringLiteral("对象不支持该属性或方法：这个图形没有文本框"));
        return std::make_shared<StoryRange>(m_office, m_document, story);
    }

private:
    UnoOffice& m_office;
    Reference<text::XTextDocument> m_document;
    Reference<uno::XInterface> m_shape;
};

// The shapes of the document whose anchor lies in story; with no story (the
// main text), those anchored in the body or to a page.
QList<word::ShapePtr> shapesIn(UnoOffice& office, const Reference<text::XTextDocument>& document,
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
            const Reference<text::XTextContent> content(shape, uno::UNO_QUERY);
            Reference<text::XTextRange> anchor;
            try {
                anchor = content.is() ? content->getAnchor() : Reference<text::XTextRange>();
            } catch (const uno::RuntimeException&) {
                // Anchored to a page: part of the main text's layer.
            }
            const bool inStory =
                story.is() ? contains(story, anchor) : (!anchor.is() || contains(body, anchor));
            if (inStory)
                shapes.append(std::make_shared<ShapeItem>(office, document, shape));
        }
        return shapes;
    });
}

class HeaderFooterItem final : public word::HeaderFooter
{
public:
    HeaderFooterItem(UnoOffice& office, Reference<text::XTextDocument> document, Reference<text::XText> story)
        : m_office(office)
        , m_document(std::move(document))
        , m_story(std::move(story))
    {}
    word::RangePtr range() override { return std::make_shared<StoryRange>(m_office, m_document, m_story); }
    QList<word::ShapePtr> shapes() override
    {
        if (!m_story.is())
            return {};
        return shapesIn(m_office, m_document, m_story);
    }

private:
    UnoOffice& m_office;
    Reference<text::XTextDocument> m_document;
    Reference<text::XText> m_story;
};

Reference<beans::XPropertySet> pageStyle(const Reference<text::XTextDocument>& document, const OUString& name)
{
    const Reference<style::XStyleFamiliesSupplier> families(document, uno::UNO_QUERY_THROW);
    const Reference<container::XNameAccess> pageStyles(
        families->getStyleFamilies()->getByName(OUString("PageStyles")), uno::UNO_QUERY_THROW);
    return Reference<beans::XPropertySet>(pageStyles->getByName(name), uno::UNO_QUERY_THROW);
}

// The header (or footer) text of a page style; the primary one is that of
// right-hand pages, which is every page's when left and right share it.
Reference<text::XText> headerFooterText(const Reference<beans::XPropertySet>& style, bool header,
                                        bool switchOn)
{
    const char* on = header ? "HeaderIsOn" : "FooterIsOn";
    if (!propertyOf<bool>(style, on)) {
        if (!switchOn)
            return {};
        style->setPropertyValue(OUString::createFromAscii(on), uno::Any(true));
    }
    return Reference<text::XText>(
        style->getPropertyValue(OUString::createFromAscii(header ? "HeaderText" : "FooterText")),
        uno::UNO_QUERY);
}

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
        if (index != 1)
            throw RuntimeError(5, QStringLiteral("无效的过程调用或参数：只有主页眉页脚（1）"));
        const Reference<text::XText> story =
            m_office.call([&] { return headerFooterText(pageStyle(m_document, m_style), header, false); });
        return std::make_shared<HeaderFooterItem>(m_office, m_document, story);
    }

    UnoOffice& m_office;
    Reference<text::XTextDocument> m_document;
    OUString m_style;
};

// The page styles of the body's sections, in order: a new section begins at
// each paragraph that starts a page style.
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
        OUString style;
        if (first) {
            paragraph->getPropertyValue(OUString("PageStyleName")) >>= style;
            first = false;
        } else {
            paragraph->getPropertyValue(OUString("PageDescName")) >>= style;
        }
        if (!style.isEmpty())
            styles.push_back(style);
    }
    if (styles.empty())
        styles.push_back(OUString("Standard"));
    return styles;
}

class DocumentItem final : public word::Document, public std::enable_shared_from_this<DocumentItem>
{
public:
    DocumentItem(UnoOffice& office, QString path, Reference<text::XTextDocument> document)
        : m_office(office)
        , m_path(std::move(path))
        , m_document(std::move(document))
    {}

    QString fullName() override { return m_path; }
    const Reference<text::XTextDocument>& model() const { return m_document; }
    bool isOpen() const { return m_document.is(); }

    word::RangePtr content() override
    {
        const Reference<text::XText> body = m_office.call([&] { return live()->getText(); });
        return std::make_shared<StoryRange>(m_office, m_document, body);
    }

    QList<word::ShapePtr> shapes() override { return shapesIn(m_office, live(), {}); }

    QList<word::SectionPtr> sections() override
    {
        const std::vector<OUString> styles = m_office.call([&] { return sectionStyles(live()); });
        QList<word::SectionPtr> sections;
        for (const OUString& style : styles)
            sections.append(std::make_shared<SectionItem>(m_office, m_document, style));
        return sections;
    }

    void save() override
    {
        m_office.call([&] { Reference<frame::XStorable>(live(), uno::UNO_QUERY_THROW)->store(); });
    }

    void close() override
    {
        if (!m_document.is())
            return;
        const Reference<text::XTextDocument> document = m_document;
        m_document.clear();
        m_office.call([&] { Reference<util::XCloseable>(document, uno::UNO_QUERY_THROW)->close(true); });
    }

private:
    const Reference<text::XTextDocument>& live() const
    {
        if (!m_document.is())
            throw RuntimeError(4198, QStringLiteral("命令失败：文档已关闭"));
        return m_document;
    }

    UnoOffice& m_office;
    QString m_path;
    Reference<text::XTextDocument> m_document;
};

class Writer final : public word::Application, private SelectionView
{
public:
    word::DocumentPtr documentsOpen(const QString& path) override
    {
        const Reference<lang::XComponent> component = m_office.load(path);
        const Reference<text::XTextDocument> document(component, uno::UNO_QUERY);
        if (!document.is()) {
            m_office.call([&] { Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true); });
            throw RuntimeError(5, QStringLiteral("不是文字处理文档：") + path);
        }
        auto item = std::make_shared<DocumentItem>(m_office, path, document);
        m_documents.append(item);
        m_active = item;
        m_story.clear();
        m_cursor.clear();
        return item;
    }

    QList<word::DocumentPtr> documents() override
    {
        QList<word::DocumentPtr> open;
        for (const auto& document : std::as_const(m_documents)) {
            if (document->isOpen())
                open.append(document);
        }
        return open;
    }

    void setSeekView(qint16 view) override
    {
        m_office.call([&] {
            const Reference<text::XTextDocument> document = active()->model();
            if (view == word::kSeekMainDocument) {
                m_story = document->getText();
                m_pageStyle.clear();
            } else if (view == word::kSeekCurrentPageHeader || view == word::kSeekCurrentPageFooter) {
                // The current page is where the view's cursor is: the first page after opening.
                const Reference<frame::XModel> model(document, uno::UNO_QUERY_THROW);
                const Reference<text::XTextViewCursorSupplier> supplier(model->getCurrentController(),
                                                                        uno::UNO_QUERY_THROW);
                const Reference<beans::XPropertySet> at(supplier->getViewCursor(), uno::UNO_QUERY_THROW);
                at->getPropertyValue(OUString("PageStyleName")) >>= m_pageStyle;
                m_story = headerFooterText(pageStyle(document, m_pageStyle),
                                           view == word::kSeekCurrentPageHeader, true);
            } else {
                throw RuntimeError(5, QStringLiteral("无效的过程调用或参数：SeekView %1").arg(view));
            }
            m_cursor = m_story->createTextCursorByRange(m_story->getStart());
        });
    }

    word::SelectionPtr selection() override { return createSelection(*this, m_font); }
    void setVisible(bool) override {}
    void setDisplayAlerts(int) override {}

    void quit() override
    {
        for (const auto& document : std::as_const(m_documents)) {
            try {
                document->close();
            } catch (const RuntimeError&) {
                // The office program goes now in any case.
            }
        }
        m_documents.clear();
        m_active.reset();
        m_story.clear();
        m_cursor.clear();
        m_office.terminate();
    }

    ~Writer() override
    {
        try {
            quit();
        } catch (...) {
        }
    }

    UnoOffice& office() override { return m_office; }

    std::shared_ptr<DocumentItem> active()
    {
        if (!m_active || !m_active->isOpen())
            throw RuntimeError(4248, QStringLiteral("没有打开的文档，该命令无效"));
        return m_active;
    }

    // The story the view shows and the selection's cursor in it (the main text's start by default).
    Reference<text::XTextCursor> cursor() override
    {
        if (!m_cursor.is()) {
            m_story = active()->model()->getText();
            m_cursor = m_story->createTextCursorByRange(m_story->getStart());
        }
        return m_cursor;
    }
    Reference<text::XText> story() override
    {
        cursor();
        return m_story;
    }

    Reference<text::XTextDocument> activeDocument() override { return active()->model(); }
    word::RangePtr storyRange() override
    {
        const Reference<text::XText> shown = m_office.call([&] { return story(); });
        return std::make_shared<StoryRange>(m_office, active()->model(), shown);
    }
    QList<word::SectionPtr> documentSections() override { return active()->sections(); }

private:
    UnoOffice m_office;
    QList<std::shared_ptr<DocumentItem>> m_documents;
    std::shared_ptr<DocumentItem> m_active;
    Reference<text::XText> m_story;
    Reference<text::XTextCursor> m_cursor;
    OUString m_pageStyle;
    SelectionFont m_font;
};

} // namespace

word::ApplicationPtr createWriter()
{
    return std::make_unique<Writer>();
}

} // namespace unooffice

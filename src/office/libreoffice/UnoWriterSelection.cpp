#include "UnoWriterSelection.h"

#include "word/FontNames.h"

#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/style/NumberingType.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/text/PageNumberType.hpp>
#include <com/sun/star/text/XTextContent.hpp>

namespace unooffice {

using namespace css;
using rtl::OUString;

namespace {

void setProperty(std::vector<beans::PropertyValue>& properties, const char* name, const uno::Any& value)
{
    for (auto& property : properties) {
        if (property.Name.equalsAscii(name)) {
            property.Value = value;
            return;
        }
    }
    beans::PropertyValue property;
    property.Name = OUString::createFromAscii(name);
    property.Value = value;
    properties.push_back(property);
}

void applyFont(const Reference<beans::XPropertySet>& target,
               const std::vector<beans::PropertyValue>& properties)
{
    for (const auto& property : properties)
        target->setPropertyValue(property.Name, property.Value);
}

class SelectionItem final : public word::Selection
{
public:
    SelectionItem(SelectionView& view, SelectionFont& font)
        : m_view(view)
        , m_font(font)
    {}

    void findReplaceAll(const QString& findText, const QString& replaceWith) override
    {
        m_view.storyRange()->replaceAll(findText, replaceWith);
    }

    // Typed text goes where the selection is and leaves it after the text: right
    // after SeekView that is the start of the header or footer, before any
    // text it already holds.
    void typeText(const QString& text) override
    {
        m_view.office().call([&] {
            const Reference<text::XTextCursor> cursor = m_view.cursor();
            const Reference<text::XText> story = m_view.story();
            cursor->collapseToEnd();
            // A range's start stays where it was when text is inserted there.
            const Reference<text::XTextRange> start = cursor->getStart();
            story->insertString(Reference<text::XTextRange>(cursor, uno::UNO_QUERY_THROW), toOUString(text),
                                false);
            if (const auto* font = pendingFont()) {
                const Reference<text::XTextCursor> typed = story->createTextCursorByRange(start);
                typed->gotoRange(cursor->getEnd(), true);
                applyFont(Reference<beans::XPropertySet>(typed, uno::UNO_QUERY_THROW), *font);
            }
        });
    }

    void setFontName(const QString& name) override
    {
        const uno::Any value(toOUString(name));
        setFont("CharFontName", value);
        // As Word does: an East Asian font serves Chinese text too, a Latin one
        // leaves the font of Chinese text as it is.
        if (word::isEastAsianFontName(name))
            setFont("CharFontNameAsian", value);
    }

    void setFontSize(const QString& size) override
    {
        const uno::Any value(static_cast<float>(word::fontPoints(size)));
        setFont("CharHeight", value);
        setFont("CharHeightAsian", value);
        setFont("CharHeightComplex", value);
    }

    void setFontBold(bool bold) override
    {
        const uno::Any value(bold ? awt::FontWeight::BOLD : awt::FontWeight::NORMAL);
        setFont("CharWeight", value);
        setFont("CharWeightAsian", value);
        setFont("CharWeightComplex", value);
    }

    // The paragraph the selection is in.
    void setParagraphAlignment(int alignment) override
    {
        style::ParagraphAdjust adjust = style::ParagraphAdjust_LEFT;
        switch (alignment) {
        case 0:
            break;
        case word::kAlignCenter:
            adjust = style::ParagraphAdjust_CENTER;
            break;
        case word::kAlignRight:
            adjust = style::ParagraphAdjust_RIGHT;
            break;
        case word::kAlignJustify:
            // Its last line (a one-line paragraph's only one) stays flush left, as in Word.
            adjust = style::ParagraphAdjust_BLOCK;
            break;
        default:
            throw RuntimeError(RuntimeError::InvalidCall,
                               QStringLiteral("无效的过程调用或参数：对齐方式 %1").arg(alignment));
        }
        m_view.office().call([&] {
            const Reference<beans::XPropertySet> paragraph(m_view.cursor(), uno::UNO_QUERY_THROW);
            paragraph->setPropertyValue(OUString("ParaAdjust"), uno::Any(static_cast<sal_Int16>(adjust)));
        });
    }

    // A field at the selection, which then stands after it; it takes the font
    // given for typed text.
    void fieldsAdd(qint16 type) override
    {
        if (type != word::kFieldPage)
            throw RuntimeError(RuntimeError::InvalidCall,
                               QStringLiteral("无效的过程调用或参数：域类型 %1").arg(type));
        m_view.office().call([&] {
            const Reference<lang::XMultiServiceFactory> factory(m_view.activeDocument(),
                                                                uno::UNO_QUERY_THROW);
            const Reference<text::XTextContent> field(
                factory->createInstance(OUString("com.sun.star.text.TextField.PageNumber")),
                uno::UNO_QUERY_THROW);
            const Reference<beans::XPropertySet> properties(field, uno::UNO_QUERY_THROW);
            properties->setPropertyValue(OUString("NumberingType"), uno::Any(style::NumberingType::ARABIC));
            properties->setPropertyValue(OUString("SubType"), uno::Any(text::PageNumberType_CURRENT));
            const Reference<text::XTextCursor> cursor = m_view.cursor();
            cursor->collapseToEnd();
            m_view.story()->insertTextContent(Reference<text::XTextRange>(cursor, uno::UNO_QUERY_THROW),
                                              field, false);
            if (const auto* font = pendingFont())
                applyFont(Reference<beans::XPropertySet>(field->getAnchor(), uno::UNO_QUERY_THROW), *font);
        });
    }

    // Documents open with the selection at the start of the text, and entering
    // a header or footer keeps it in the section of that page: the first.
    QList<word::SectionPtr> sections() override { return m_view.documentSections().mid(0, 1); }

private:
    // The font given at the cursor the selection still has, if any.
    const std::vector<beans::PropertyValue>* pendingFont()
    {
        if (m_font.properties.empty() || m_font.at != m_view.cursor())
            return nullptr;
        return &m_font.properties;
    }

    void setFont(const char* name, const uno::Any& value)
    {
        m_view.office().call([&] {
            const Reference<text::XTextCursor> cursor = m_view.cursor();
            if (m_font.at != cursor) {
                m_font.at = cursor;
                m_font.properties.clear();
            }
        });
        setProperty(m_font.properties, name, value);
    }

    SelectionView& m_view;
    SelectionFont& m_font;
};

} // namespace

word::SelectionPtr createSelection(SelectionView& view, SelectionFont& font)
{
    return std::make_shared<SelectionItem>(view, font);
}

} // namespace unooffice

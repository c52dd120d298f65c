#include "UnoText.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/text/XTextCursor.hpp>

namespace unooffice {

using namespace css;
using rtl::OUString;

namespace {

Reference<text::XTextRange> asRange(const Reference<text::XTextCursor>& cursor)
{
    return Reference<text::XTextRange>(cursor.get());
}

// goRight takes at most a 16-bit count.
void advance(const Reference<text::XTextCursor>& cursor, sal_Int32 steps, bool select)
{
    while (steps > 0) {
        const sal_Int16 step = static_cast<sal_Int16>(std::min<sal_Int32>(steps, SAL_MAX_INT16));
        cursor->goRight(step, select);
        steps -= step;
    }
}

// Replaces length characters from start: the new text goes in after the first
// old character, then the old characters on either side of it go. Whatever
// begins or ends with the old text (a bookmark, a hyperlink, a format) thus
// surrounds the new text, where deleting and inserting would leave it empty.
void replaceAt(const Reference<text::XText>& text, const Reference<text::XTextRange>& start, sal_Int32 length,
               const OUString& replacement)
{
    // Stays where the old text starts while the text after it changes.
    const Reference<text::XTextCursor> at = text->createTextCursorByRange(start->getStart());
    if (replacement.isEmpty() || length <= 0) {
        advance(at, length, true);
        at->setString(replacement);
        return;
    }
    const Reference<text::XTextCursor> insert = text->createTextCursorByRange(asRange(at));
    insert->goRight(1, false);
    text->insertString(asRange(insert), replacement, false);
    const Reference<text::XTextCursor> first = text->createTextCursorByRange(asRange(at));
    first->goRight(1, true);
    first->setString(OUString());
    if (length > 1) {
        const Reference<text::XTextCursor> rest = text->createTextCursorByRange(asRange(at));
        advance(rest, replacement.getLength(), false);
        advance(rest, length - 1, true);
        rest->setString(OUString());
    }
}

// A run of plain text in a paragraph, at its position in cursor steps (a text
// field is one step, whatever it shows).
struct Run
{
    sal_Int32 offset = 0;
    QString text;
};

std::vector<Run> runsOf(const Reference<text::XTextRange>& paragraph)
{
    std::vector<Run> runs;
    const Reference<container::XEnumerationAccess> portions(paragraph, uno::UNO_QUERY);
    if (!portions.is()) {
        runs.push_back({0, toQString(paragraph->getString())});
        return runs;
    }
    sal_Int32 offset = 0;
    Run run;
    const Reference<container::XEnumeration> each = portions->createEnumeration();
    while (each->hasMoreElements()) {
        const Reference<text::XTextRange> portion(each->nextElement(), uno::UNO_QUERY);
        const Reference<beans::XPropertySet> properties(portion, uno::UNO_QUERY);
        OUString type("Text");
        if (properties.is())
            properties->getPropertyValue(OUString("TextPortionType")) >>= type;
        if (type == "Text") {
            const QString piece = toQString(portion->getString());
            run.text += piece;
            offset += static_cast<sal_Int32>(piece.size());
        } else {
            if (!run.text.isEmpty())
                runs.push_back(run);
            offset += 1;
            run = Run{offset, QString()};
        }
    }
    if (!run.text.isEmpty())
        runs.push_back(run);
    return runs;
}

template <class F> void eachParagraph(const Reference<text::XText>& story, F&& f)
{
    const Reference<container::XEnumerationAccess> paragraphs(story, uno::UNO_QUERY);
    if (!paragraphs.is())
        return;
    const Reference<container::XEnumeration> each = paragraphs->createEnumeration();
    while (each->hasMoreElements()) {
        const Reference<text::XTextRange> paragraph(each->nextElement(), uno::UNO_QUERY);
        if (paragraph.is())
            f(paragraph);
    }
}

} // namespace

void replaceKeepingBounds(const Reference<text::XTextRange>& found, const OUString& replacement)
{
    replaceAt(found->getText(), found, found->getString().getLength(), replacement);
}

std::vector<qsizetype> positionsOf(const QString& what, const QString& text)
{
    std::vector<qsizetype> positions;
    if (text.isEmpty())
        return positions;
    for (qsizetype at = what.indexOf(text, 0, Qt::CaseInsensitive); at >= 0;
         at = what.indexOf(text, at + text.size(), Qt::CaseInsensitive))
        positions.push_back(at);
    return positions;
}

bool holdsText(const Reference<text::XText>& story, const QString& text)
{
    if (!story.is() || text.isEmpty())
        return false;
    bool found = false;
    eachParagraph(story, [&](const Reference<text::XTextRange>& paragraph) {
        for (const Run& run : runsOf(paragraph))
            found = found || !positionsOf(run.text, text).empty();
    });
    return found;
}

int replaceInText(const Reference<text::XText>& story, const QString& text, const QString& replacement)
{
    if (!story.is() || text.isEmpty())
        return 0;
    int replaced = 0;
    const OUString with = toOUString(replacement);
    eachParagraph(story, [&](const Reference<text::XTextRange>& paragraph) {
        std::vector<sal_Int32> starts;
        for (const Run& run : runsOf(paragraph)) {
            for (const qsizetype at : positionsOf(run.text, text))
                starts.push_back(run.offset + static_cast<sal_Int32>(at));
        }
        // From the last, so that the earlier positions stay where they were.
        for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
            const Reference<text::XTextCursor> start = story->createTextCursorByRange(paragraph->getStart());
            advance(start, *it, false);
            replaceAt(story, asRange(start), static_cast<sal_Int32>(text.size()), with);
            ++replaced;
        }
    });
    return replaced;
}

} // namespace unooffice

#include "UnoText.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextTable.hpp>

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

// A run of plain text in a paragraph: where it starts, and its text. Marks
// that take no place in the text (a bookmark's ends, a change mark) lie
// within runs; anything else (a field, a footnote anchor, a frame anchored
// as a character) ends one.
struct Run
{
    Reference<text::XTextRange> start;
    QString text;
};

bool takesNoPlace(const OUString& type)
{
    return type == "Bookmark" || type == "ReferenceMark" || type == "Redline" || type == "SoftPageBreak";
}

std::vector<Run> runsOf(const Reference<text::XTextRange>& paragraph)
{
    std::vector<Run> runs;
    const Reference<container::XEnumerationAccess> portions(paragraph, uno::UNO_QUERY);
    if (!portions.is()) {
        runs.push_back({paragraph->getStart(), toQString(paragraph->getString())});
        return runs;
    }
    Run run;
    const Reference<container::XEnumeration> each = portions->createEnumeration();
    while (each->hasMoreElements()) {
        const Reference<text::XTextRange> portion(each->nextElement(), uno::UNO_QUERY);
        if (!portion.is())
            continue;
        const Reference<beans::XPropertySet> properties(portion, uno::UNO_QUERY);
        OUString type("Text");
        if (properties.is())
            properties->getPropertyValue(OUString("TextPortionType")) >>= type;
        if (type == "Text") {
            if (!run.start.is())
                run.start = portion->getStart();
            run.text += toQString(portion->getString());
        } else if (!takesNoPlace(type)) {
            if (run.start.is())
                runs.push_back(run);
            run = Run{};
        }
    }
    if (run.start.is())
        runs.push_back(run);
    return runs;
}

// Every paragraph of a story, those in its tables (and theirs) included.
template <class F> void eachParagraph(const Reference<text::XText>& story, F&& f)
{
    const Reference<container::XEnumerationAccess> paragraphs(story, uno::UNO_QUERY);
    if (!paragraphs.is())
        return;
    const Reference<container::XEnumeration> each = paragraphs->createEnumeration();
    while (each->hasMoreElements()) {
        const Reference<uno::XInterface> element(each->nextElement(), uno::UNO_QUERY);
        const Reference<text::XTextTable> table(element, uno::UNO_QUERY);
        if (table.is()) {
            for (const OUString& name : table->getCellNames())
                eachParagraph(Reference<text::XText>(table->getCellByName(name), uno::UNO_QUERY), f);
            continue;
        }
        const Reference<text::XTextRange> paragraph(element, uno::UNO_QUERY);
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
        const std::vector<Run> runs = runsOf(paragraph);
        // From the last, so that what comes before stays where it was.
        for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
            const std::vector<qsizetype> positions = positionsOf(run->text, text);
            for (auto at = positions.rbegin(); at != positions.rend(); ++at) {
                const Reference<text::XText> home = run->start->getText();
                const Reference<text::XTextCursor> start = home->createTextCursorByRange(run->start);
                advance(start, static_cast<sal_Int32>(*at), false);
                replaceAt(home, asRange(start), static_cast<sal_Int32>(text.size()), with);
                ++replaced;
            }
        }
    });
    return replaced;
}

namespace {

// The texts of a story's runs, read inside soffice; nothing when it does not run the engine's Basic.
std::optional<QStringList> runTexts(UnoOffice& office, const Reference<text::XText>& story)
{
    const std::optional<uno::Any> result = office.runScript(EngineScripts::kRunTexts, {uno::Any(story)});
    if (!result)
        return std::nullopt;
    QStringList texts;
    uno::Sequence<OUString> strings;
    uno::Sequence<uno::Any> values;
    if (*result >>= strings) {
        for (const OUString& text : std::as_const(strings))
            texts << toQString(text);
    } else if (*result >>= values) {
        for (const uno::Any& value : std::as_const(values))
            texts << toQString(value.get<OUString>());
    } else {
        throw uno::RuntimeException(OUString("RunTexts gave ") + result->getValueTypeName());
    }
    return texts;
}

} // namespace

bool holdsText(UnoOffice& office, const Reference<text::XText>& story, const QString& text)
{
    if (!story.is() || text.isEmpty())
        return false;
    return office.call([&] {
        const std::optional<QStringList> texts = runTexts(office, story);
        if (!texts)
            return holdsText(story, text);
        for (const QString& run : *texts) {
            if (!positionsOf(run, text).empty())
                return true;
        }
        return false;
    });
}

int replaceInText(UnoOffice& office, const Reference<text::XText>& story, const QString& text,
                  const QString& replacement)
{
    if (!story.is() || text.isEmpty())
        return 0;
    return office.call([&] {
        const std::optional<QStringList> texts = runTexts(office, story);
        if (!texts)
            return replaceInText(story, text, replacement);
        std::vector<sal_Int32> places;
        for (qsizetype run = 0; run < texts->size(); ++run) {
            for (const qsizetype at : positionsOf(texts->at(run), text)) {
                places.push_back(static_cast<sal_Int32>(run));
                places.push_back(static_cast<sal_Int32>(at));
            }
        }
        if (places.empty())
            return 0;
        office.runScript(
            EngineScripts::kReplaceInRuns,
            {uno::Any(story),
             uno::Any(uno::Sequence<sal_Int32>(places.data(), static_cast<sal_Int32>(places.size()))),
             uno::Any(static_cast<sal_Int32>(text.size())), uno::Any(toOUString(replacement))});
        return static_cast<int>(places.size() / 2);
    });
}

} // namespace unooffice

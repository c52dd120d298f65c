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
//
// A document that records changes keeps deleted text in place, marked, so the
// steps above would interleave deletions and insertions. There the new text
// goes in right after the old text, which is then deleted whole: one deletion
// and one insertion, as Word records a replace. A bookmark that ends with the
// old text grows over the new text; a hyperlink on the old text is given to it.
//
// Gives where a search for the next occurrence goes on from.
Reference<text::XTextRange> replaceAt(const Reference<text::XText>& text,
                                      const Reference<text::XTextRange>& start, sal_Int32 length,
                                      const OUString& replacement, bool tracked)
{
    // Stays where the old text starts while the text after it changes.
    const Reference<text::XTextCursor> at = text->createTextCursorByRange(start->getStart());
    if (replacement.isEmpty() || length <= 0) {
        advance(at, length, true);
        at->setString(replacement);
        return at->getEnd();
    }
    if (tracked) {
        const Reference<text::XTextCursor> last = text->createTextCursorByRange(asRange(at));
        advance(last, length - 1, false);
        last->goRight(1, true);
        static const char* const kLink[] = {"HyperLinkURL", "HyperLinkTarget", "HyperLinkName"};
        const Reference<beans::XPropertySet> lastProperties(last, uno::UNO_QUERY_THROW);
        uno::Any link[3];
        for (int i = 0; i < 3; ++i)
            link[i] = lastProperties->getPropertyValue(OUString::createFromAscii(kLink[i]));
        const Reference<text::XTextCursor> after = text->createTextCursorByRange(last->getEnd());
        text->insertString(asRange(after), replacement, false);
        const Reference<text::XTextCursor> added = text->createTextCursorByRange(asRange(at));
        advance(added, length, false);
        advance(added, replacement.getLength(), true);
        const Reference<beans::XPropertySet> addedProperties(added, uno::UNO_QUERY_THROW);
        OUString url;
        link[0] >>= url;
        if (!url.isEmpty() &&
            addedProperties->getPropertyValue(OUString::createFromAscii(kLink[0])) != link[0]) {
            for (int i = 0; i < 3; ++i)
                addedProperties->setPropertyValue(OUString::createFromAscii(kLink[i]), link[i]);
        }
        const Reference<text::XTextCursor> old = text->createTextCursorByRange(asRange(at));
        advance(old, length, true);
        old->setString(OUString());
        const Reference<text::XTextCursor> end = text->createTextCursorByRange(asRange(at));
        advance(end, length + replacement.getLength(), false);
        return end->getEnd();
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
    return start->getEnd();
}

// A run of plain text in a paragraph: where it starts, and its text. Marks
// that take no place in the text (a bookmark's ends, a change mark) lie
// within runs; anything else (a field, a footnote anchor, a frame anchored
// as a character) ends one. Text that a recorded change deleted is no part of
// any run: it ends one, and nothing is found or replaced in it.
struct Run
{
    Reference<text::XTextRange> start;
    QString text;
};

bool takesNoPlace(const OUString& type)
{
    return type == "Bookmark" || type == "ReferenceMark" || type == "Redline" || type == "SoftPageBreak";
}

// deleted says whether the paragraph starts inside a recorded deletion, and
// then whether the next one does: a deletion can span paragraphs.
std::vector<Run> runsOf(const Reference<text::XTextRange>& paragraph, bool& deleted)
{
    std::vector<Run> runs;
    const Reference<container::XEnumerationAccess> portions(paragraph, uno::UNO_QUERY);
    if (!portions.is()) {
        runs.push_back({paragraph->getStart(), toQString(paragraph->getString())});
        return runs;
    }
    Run run;
    const auto end = [&] {
        if (run.start.is())
            runs.push_back(run);
        run = Run{};
    };
    const Reference<container::XEnumeration> each = portions->createEnumeration();
    while (each->hasMoreElements()) {
        const Reference<text::XTextRange> portion(each->nextElement(), uno::UNO_QUERY);
        if (!portion.is())
            continue;
        const Reference<beans::XPropertySet> properties(portion, uno::UNO_QUERY);
        OUString type("Text");
        if (properties.is())
            properties->getPropertyValue(OUString("TextPortionType")) >>= type;
        if (type == "Redline") {
            OUString kind;
            properties->getPropertyValue(OUString("RedlineType")) >>= kind;
            bool collapsed = false;
            properties->getPropertyValue(OUString("IsCollapsed")) >>= collapsed;
            if (kind == "Delete" && !collapsed) {
                properties->getPropertyValue(OUString("IsStart")) >>= deleted;
                end();
            }
        } else if (type == "Text") {
            if (deleted)
                continue;
            if (!run.start.is())
                run.start = portion->getStart();
            run.text += toQString(portion->getString());
        } else if (!takesNoPlace(type)) {
            end();
        }
    }
    end();
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

Reference<text::XTextRange> replaceKeepingBounds(const Reference<text::XTextRange>& found,
                                                 const OUString& replacement, bool tracked)
{
    return replaceAt(found->getText(), found, found->getString().getLength(), replacement, tracked);
}

bool recordsChanges(const Reference<uno::XInterface>& document)
{
    const Reference<beans::XPropertySet> properties(document, uno::UNO_QUERY);
    if (!properties.is() || !properties->getPropertySetInfo()->hasPropertyByName(OUString("RecordChanges")))
        return false;
    bool recording = false;
    properties->getPropertyValue(OUString("RecordChanges")) >>= recording;
    return recording;
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
    bool deleted = false;
    eachParagraph(story, [&](const Reference<text::XTextRange>& paragraph) {
        for (const Run& run : runsOf(paragraph, deleted))
            found = found || !positionsOf(run.text, text).empty();
    });
    return found;
}

int replaceInText(const Reference<text::XText>& story, const QString& text, const QString& replacement,
                  bool tracked)
{
    if (!story.is() || text.isEmpty())
        return 0;
    int replaced = 0;
    const OUString with = toOUString(replacement);
    bool deleted = false;
    eachParagraph(story, [&](const Reference<text::XTextRange>& paragraph) {
        const std::vector<Run> runs = runsOf(paragraph, deleted);
        // From the last, so that what comes before stays where it was.
        for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
            const std::vector<qsizetype> positions = positionsOf(run->text, text);
            for (auto at = positions.rbegin(); at != positions.rend(); ++at) {
                const Reference<text::XText> home = run->start->getText();
                const Reference<text::XTextCursor> start = home->createTextCursorByRange(run->start);
                advance(start, static_cast<sal_Int32>(*at), false);
                replaceAt(home, asRange(start), static_cast<sal_Int32>(text.size()), with, tracked);
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
                  const QString& replacement, bool tracked)
{
    if (!story.is() || text.isEmpty())
        return 0;
    return office.call([&] {
        const std::optional<QStringList> texts = runTexts(office, story);
        if (!texts)
            return replaceInText(story, text, replacement, tracked);
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
             uno::Any(static_cast<sal_Int32>(text.size())), uno::Any(toOUString(replacement)),
             uno::Any(tracked)});
        return static_cast<int>(places.size() / 2);
    });
}

} // namespace unooffice

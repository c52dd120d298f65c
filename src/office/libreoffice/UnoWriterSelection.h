#pragma once

#include "UnoOffice.h"
#include "word/WordProcessor.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <vector>

namespace unooffice {

// Where Word's selection is, as the writer keeps it: the active document, the
// story the view shows (the body, or the header or footer that SeekView
// entered) and the selection's cursor in that story.
class SelectionView
{
public:
    virtual UnoOffice& office() = 0;
    // The active document; RuntimeError NoDocumentOpen when there is none.
    virtual Reference<css::text::XTextDocument> activeDocument() = 0;
    virtual Reference<css::text::XText> story() = 0;
    virtual Reference<css::text::XTextCursor> cursor() = 0;
    // The story the view shows, as a range of the document.
    virtual word::RangePtr storyRange() = 0;
    // The sections of the active document, in order.
    virtual QList<word::SectionPtr> documentSections() = 0;

protected:
    ~SelectionView() = default;
};

// The font given at the insertion point for the text typed next. As in Word,
// it holds until the selection moves (a new cursor): SeekView starts afresh.
struct SelectionFont
{
    Reference<css::text::XTextCursor> at;
    std::vector<css::beans::PropertyValue> properties;
};

// The selection of the writer's view: typing, fonts, alignment, fields and the
// replace-all of the story the view shows.
word::SelectionPtr createSelection(SelectionView& view, SelectionFont& font);

} // namespace unooffice

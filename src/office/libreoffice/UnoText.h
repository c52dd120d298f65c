#pragma once

#include "UnoOffice.h"

#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <vector>

// Replacing text the way Word and Excel do it: the new text takes the place of
// the old one inside what held it, so a bookmark, a hyperlink or a character
// format that starts or ends with the old text holds the new text afterwards.
namespace unooffice {

// Replaces the text of found (within one paragraph) by replacement; tracked
// when the document records changes, so that the old text is deleted as one
// change and the new one inserted as one. Gives where a search for the next
// occurrence goes on from: after the new text.
Reference<css::text::XTextRange> replaceKeepingBounds(const Reference<css::text::XTextRange>& found,
                                                      const rtl::OUString& replacement, bool tracked = false);

// Whether the document records changes (Word's track changes).
bool recordsChanges(const Reference<css::uno::XInterface>& document);

// Where text occurs in what, in UTF-16 positions, any letter case, without overlaps.
std::vector<qsizetype> positionsOf(const QString& what, const QString& text);

// A story searched paragraph by paragraph (its tables' too), where Writer's
// own search does not reach (a drawing shape's text, a cell's text, a header
// that no page shows): whether it holds text, and every occurrence replaced.
// Text fields, footnote anchors and the like are kept and not searched, and
// so is text that a recorded change deleted.
bool holdsText(const Reference<css::text::XText>& story, const QString& text);
int replaceInText(const Reference<css::text::XText>& story, const QString& text, const QString& replacement,
                  bool tracked = false);
// The same inside soffice, when it runs the engine's Basic: the texts of the
// story's runs come over in one call, the places to replace go back in one.
bool holdsText(UnoOffice& office, const Reference<css::text::XText>& story, const QString& text);
int replaceInText(UnoOffice& office, const Reference<css::text::XText>& story, const QString& text,
                  const QString& replacement, bool tracked = false);

} // namespace unooffice

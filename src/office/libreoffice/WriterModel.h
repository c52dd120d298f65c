#pragma once

#include "UnoOffice.h"
#include "app/DryRun.h"
#include "word/WordProcessor.h"

#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <vector>

// Word's model on a Writer document: stories as ranges, the shapes that carry
// text, sections with their headers and footers.
//
// A section is a run of the body with one page style. Its primary header
// (Headers(1)) is what its pages after the first show on right-hand pages, its
// first-page header (Headers(2)) what its first page shows when that differs,
// its even-pages header (Headers(3)) what left-hand pages show when that
// differs. Writer keeps a different first page in one of two ways, and both map
// the same: in the page style itself (.doc: FirstIsShared off, HeaderTextFirst)
// or as a page style of its own that goes on with the section's page style
// (.docx: FollowStyle).
namespace unooffice {

// Whether range lies in story (the body with its tables, a header, a frame's text).
bool contains(const Reference<css::text::XText>& story, const Reference<css::text::XTextRange>& range);

// A story as Word's Range: the main text searched with Writer's search, any
// other story (walked: a header, a frame, a drawing shape's text) paragraph
// by paragraph, since Writer's search finds only what its layout shows. A dry
// run counts its replacements in scope.
word::RangePtr storyRange(UnoOffice& office, const Reference<css::text::XTextDocument>& document,
                          const Reference<css::text::XText>& story, bool walked = false,
                          DryRun::Scope scope = DryRun::Scope::Body);

// The shapes that carry text, a group's members each in its own right, in draw
// page order: those at home in the body (or anchored to a page) when story is
// null, else those anchored in that header or footer.
QList<word::ShapePtr> textShapes(UnoOffice& office, const Reference<css::text::XTextDocument>& document,
                                 const Reference<css::text::XText>& story);

// The page styles of the body's sections, in order: a new section begins at
// each paragraph (or table) that starts a page style.
std::vector<rtl::OUString> sectionStyles(const Reference<css::text::XTextDocument>& document);

// Word's Headers(index)/Footers(index) of the section whose page style is
// style: 1 primary, 2 first page, 3 even pages. Null when the section has no
// such header; with switchOn the header is created as Word has it already.
Reference<css::text::XText> headerFooterStory(const Reference<css::text::XTextDocument>& document,
                                              const rtl::OUString& style, bool header, int index,
                                              bool switchOn);

// Whether the section's first page shows a header (footer) of its own.
bool hasDistinctFirstPage(const Reference<css::text::XTextDocument>& document, const rtl::OUString& style,
                          bool header);

word::SectionPtr section(UnoOffice& office, const Reference<css::text::XTextDocument>& document,
                         const rtl::OUString& style);

} // namespace unooffice

#pragma once

#include "Package.h"
#include "TextRuns.h"

#include <QString>
#include <QStringList>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <string_view>

// What the WordprocessingML and SpreadsheetML editors (WordFile, SheetFile)
// read alike: names of namespaces and relationships, elements named under the
// prefix a part binds, and the package's main part.
namespace ooxml::markup {

inline constexpr char kRelationshipsNs[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// Relationship types are this followed by the kind ("header", "styles" ...).
inline const QString kRelationshipType =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");

// The element names of one vocabulary in one part, under the prefix that part binds it to.
struct Names
{
    std::string prefix; // with its colon ("w:"), or "" for the default namespace
    std::string r;      // the relationships prefix with its colon
    RunNames runs;

    // The qualified name, kept for as long as the names: loops over children hold on to it.
    const char* name(const char* local) const;
    bool is(pugi::xml_node node, std::string_view local) const;

private:
    mutable std::map<std::string, std::string, std::less<>> m_qualified;
};

// How one kind of document words the reasons it is declined or refused.
struct DocumentKind
{
    QStringList mainTypes; // the content types its main part may have
    QString strict;        // refused: the Strict vocabulary, which no engine edits without loss
    QString noMainPart;    // damaged: no main part
    QString otherMainType; // declined: another kind of main part, %1 its content type
};

// The main part of the package: declined or refused as kind words it unless
// the package is one of that kind.
QString mainPart(Package& package, const DocumentKind& kind);

std::string_view localName(pugi::xml_node node);
// Where name comes in order; order.size() when it is not there.
size_t rank(std::string_view name, std::initializer_list<std::string_view> order);
void setAttribute(pugi::xml_node node, const char* name, const char* value);

} // namespace ooxml::markup

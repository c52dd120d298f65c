#pragma once

#include "Package.h"
#include "TextRuns.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>

// What the WordprocessingML and SpreadsheetML editors (WordFile, SheetFile)
// read alike: names of namespaces and relationships, elements named under the
// prefix a part binds, the package's main part, and the package's lifetime.
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

// One kind of document: its vocabulary, and how it words the reasons it is declined or refused.
struct DocumentKind
{
    QStringList mainTypes; // the content types its main part may have
    QString strict;        // refused: the Strict vocabulary, which no engine edits without loss
    QString noMainPart;    // damaged: no main part
    QString otherMainType; // declined: another kind of main part, %1 its content type
    const char* ns;        // its vocabulary's namespace, and the Strict one
    const char* strictNs;
    QString vocabulary;               // "WordprocessingML"
    std::string unboundRelationships; // the relationships prefix where a part binds none
};

// The main part of the package: declined or refused as kind words it unless
// the package is one of that kind.
QString mainPart(Package& package, const DocumentKind& kind);

// Binds names to the prefixes the part gives kind's vocabulary and the relationships:
// refused in the Strict vocabulary, declined in another.
void bind(Names& names, const XmlPart& xml, const QString& part, const DocumentKind& kind);

// The names of part, bound the first time they are asked for.
template <typename Vocabulary, typename Xml>
const Vocabulary& boundNames(std::map<QString, std::unique_ptr<Vocabulary>>& cache, const QString& part,
                             const DocumentKind& kind, Xml xml)
{
    if (const auto it = cache.find(part); it != cache.end())
        return *it->second;
    auto names = std::make_unique<Vocabulary>();
    bind(*names, xml(), part, kind);
    return *cache.emplace(part, std::move(names)).first->second;
}

// A document's package, opened when first needed and read by read, closed after each
// save: a batch keeps its documents open until Quit, and only the one in work holds its file.
class LazyPackage
{
public:
    LazyPackage(QString path, Limits limits, std::function<void(Package&)> read,
                std::function<void()> forget);
    LazyPackage(const LazyPackage&) = delete;
    LazyPackage& operator=(const LazyPackage&) = delete;
    ~LazyPackage();

    // Opened and read; closed again when reading it throws.
    Package& get();
    // Writes the parts that changed (false when none had) and closes, also when it throws.
    bool save();
    // Drops the package and what forget drops of what was read of it.
    void close();

private:
    QString m_path;
    Limits m_limits;
    std::function<void(Package&)> m_read;
    std::function<void()> m_forget;
    std::unique_ptr<Package> m_package;
};

std::string_view localName(pugi::xml_node node);
// Where name comes in order; order.size() when it is not there.
size_t rank(std::string_view name, std::initializer_list<std::string_view> order);
void setAttribute(pugi::xml_node node, const char* name, const char* value);

} // namespace ooxml::markup

#include "Markup.h"

#include "Refusal.h"

namespace ooxml::markup {

const char* Names::name(const char* local) const
{
    auto it = m_qualified.find(local);
    if (it == m_qualified.end())
        it = m_qualified.emplace(local, prefix + local).first;
    return it->second.c_str();
}

bool Names::is(pugi::xml_node node, std::string_view local) const
{
    const std::string_view name = node.name();
    return name.size() == prefix.size() + local.size() && name.substr(0, prefix.size()) == prefix &&
           name.substr(prefix.size()) == local;
}

QString mainPart(Package& package, const DocumentKind& kind)
{
    static const QString officeDocument = kRelationshipType + QStringLiteral("officeDocument");
    static const QString strictOfficeDocument =
        QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument");
    if (!package.contains(QStringLiteral("[Content_Types].xml")))
        throw refusal::missingPart(QStringLiteral("[Content_Types].xml"));
    if (!package.contains(QStringLiteral("_rels/.rels")))
        throw refusal::missingPart(QStringLiteral("_rels/.rels"));
    QString main;
    for (const Relationship& relationship : package.relationships(QString())) {
        if (relationship.type == strictOfficeDocument)
            throw refusal::cannotEdit(Declined(kind.strict));
        if (relationship.type == officeDocument && !relationship.external)
            main = relationship.target;
    }
    if (main.isEmpty())
        throw refusal::damaged(kind.noMainPart);
    if (!package.contains(main))
        throw refusal::missingPart(main);
    if (!kind.mainTypes.contains(package.contentType(main)))
        throw Declined(kind.otherMainType.arg(package.contentType(main)));
    return main;
}

void bind(Names& names, const XmlPart& xml, const QString& part, const DocumentKind& kind)
{
    std::string prefix;
    if (!xml.prefixOf(kind.ns, prefix)) {
        if (xml.prefixOf(kind.strictNs, prefix))
            throw refusal::cannotEdit(Declined(kind.strict));
        throw Declined(QStringLiteral("%1 不是 %2").arg(part, kind.vocabulary));
    }
    names.prefix = prefix.empty() ? prefix : prefix + ':';
    names.r =
        xml.prefixOf(kRelationshipsNs, prefix) && !prefix.empty() ? prefix + ':' : kind.unboundRelationships;
    names.runs = {names.name("t"), names.name("r"), names.name("rPr")};
}

LazyPackage::LazyPackage(QString path, Limits limits, std::function<void(Package&)> read,
                         std::function<void()> forget)
    : m_path(std::move(path))
    , m_limits(limits)
    , m_read(std::move(read))
    , m_forget(std::move(forget))
{}

LazyPackage::~LazyPackage() = default;

Package& LazyPackage::get()
{
    if (!m_package) {
        m_package = std::make_unique<Package>(m_path, m_limits);
        try {
            m_read(*m_package);
        } catch (...) {
            close();
            throw;
        }
    }
    return *m_package;
}

bool LazyPackage::save()
{
    if (!m_package)
        return false;
    bool wrote = false;
    try {
        wrote = m_package->save();
    } catch (...) {
        close();
        throw;
    }
    close();
    return wrote;
}

void LazyPackage::close()
{
    m_package.reset();
    m_forget();
}

std::string_view localName(pugi::xml_node node)
{
    const std::string_view name = node.name();
    const size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

size_t rank(std::string_view name, std::initializer_list<std::string_view> order)
{
    size_t i = 0;
    for (const std::string_view candidate : order) {
        if (candidate == name)
            return i;
        ++i;
    }
    return order.size();
}

void setAttribute(pugi::xml_node node, const char* name, const char* value)
{
    pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        attribute = node.append_attribute(name);
    attribute = value;
}

} // namespace ooxml::markup

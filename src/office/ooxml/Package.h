#pragma once

#include "office/SafeReplace.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <pugixml.hpp>

struct zip;

namespace ooxml {

// What one package may cost when its parts are read. Parts that are not read
// (pictures, embedded files) are copied as they are and cost nothing.
struct Limits
{
    qint64 maxPartBytes = qint64(64) << 20;   // one part, expanded
    qint64 maxTotalBytes = qint64(256) << 20; // every part read from one package
    qint64 ratioFloorBytes = qint64(1) << 20; // below this, any compression ratio is fine
    int maxRatio = 200;                       // expanded / compressed, above the floor
    int maxEntries = 10000;
};

// A part of the package parsed into a DOM that keeps what it does not know.
class XmlPart final
{
public:
    pugi::xml_document document;

    pugi::xml_node root() const { return document.document_element(); }
    // Marks the part for writing at the next save.
    void touch() { m_dirty = true; }
    bool dirty() const { return m_dirty; }
    // The whole tree written out (a part that has no bytes yet).
    QByteArray serialize() const;
    // The part as original, the bytes it was parsed from, with only the nodes
    // that differ from them written anew: the same bytes when nothing differs.
    QByteArray serializeOver(const QByteArray& original) const;

    // Whitespace-only text is text here (a blank in w:t); attribute values are
    // normalised as any XML reader does.
    static constexpr unsigned kParseFlags = pugi::parse_cdata | pugi::parse_escapes |
                                            pugi::parse_wconv_attribute | pugi::parse_eol | pugi::parse_pi |
                                            pugi::parse_comments | pugi::parse_declaration |
                                            pugi::parse_doctype | pugi::parse_ws_pcdata;

    // The prefix the root element binds to uri ("" for the default namespace);
    // false when the root does not declare it.
    bool prefixOf(const char* uri, std::string& prefix) const;

    // Parses bytes as the part name; refuses a document type declaration and
    // declines encodings other than UTF-8.
    static std::unique_ptr<XmlPart> parse(const QString& name, const QByteArray& bytes);

private:
    bool m_dirty = false;
    bool m_bom = false;
};

struct Relationship
{
    QString id;
    QString type;
    QString target; // a part name when internal, the URL as written when external
    bool external = false;
};

// An OOXML package (a zip of parts) opened for editing: parts are read on
// demand, within the limits; a save writes a new package beside the file with
// every part that was not changed copied as it was stored (same entries, same
// order, local headers and data byte for byte), a changed part as its bytes
// with only the changed elements written anew, checks it and puts it in place
// of the file. The document's lock file is held from the open to the end of
// the package. Part names are written without the leading "/" and compared
// without regard to case, as the package format says.
class Package final
{
public:
    // Opens path. Throws Declined when it is no zip package (an encrypted
    // document, another format) and RuntimeError when it is damaged or unsafe
    // (entry names leaving the package, too many entries) or open in another
    // program (its lock file or Word's owner file beside it).
    explicit Package(QString path, Limits limits = {});
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    const QString& path() const { return m_path; }
    bool contains(const QString& part) const;
    QStringList partNames() const;

    // The part's bytes, expanded within the limits.
    QByteArray read(const QString& part);
    // The part parsed, once; a missing part is a damaged package.
    XmlPart& xml(const QString& part);

    // From [Content_Types].xml: the override, else the default of the extension.
    QString contentType(const QString& part);
    // The relationships of a part ("" for the package's own).
    QList<Relationship> relationships(const QString& source);
    // Resolves target as written in source's relationships.
    static QString resolve(const QString& source, const QString& target);

    // A new part with its content type; its bytes are written at the save.
    void addPart(const QString& part, const QString& contentType, std::unique_ptr<XmlPart> xml);
    // A new relationship from source to the part target; its id.
    QString addRelationship(const QString& source, const QString& type, const QString& target);
    // Removes a part, its content-type override and source's relationships to it.
    void removePart(const QString& part, const QString& source);
    // The first free name of pattern ("word/header%1.xml"), counting from 1.
    QString freePartName(const QString& pattern) const;

    // True when a part was added or removed, or a marked part's bytes differ
    // from the stored ones (a part marked but left as it was is not a change).
    bool modified() const;
    // Writes the changed package in place; false when nothing changed (the file
    // keeps its bytes and time). The new package must read back whole, its XML
    // parts well-formed and the parts not changed the same bytes as before, and
    // the file must still be the one opened. RuntimeError when it is not or
    // cannot be written: the file then is as it was. After a save that wrote,
    // the package is spent: open the file again to go on.
    bool save();

private:
    struct Entry
    {
        qint64 index = -1; // in the zip; -1 for a new part
        QString name;
        qint64 size = 0;
        qint64 compressedSize = 0;
        bool removed = false;
    };
    const Entry* find(const QString& part) const;
    static QString relsName(const QString& source);
    QByteArray expand(const Entry& entry) const;
    // The bytes a marked part is written with; nothing when they are the stored ones.
    std::optional<QByteArray> rewritten(const Entry& entry) const;
    void writeTo(const QString& target);
    bool copyEntries(const QString& target, QString& why);
    void writeAllEntries(const QString& target);

    QString m_path;
    Limits m_limits;
    std::unique_ptr<SafeReplace::DocumentLock> m_lock;
    SafeReplace::Identity m_identity; // the file as opened
    zip* m_zip = nullptr;
    QList<Entry> m_entries;
    QHash<QString, qsizetype> m_byName; // lower-case name -> m_entries index
    std::map<QString, std::unique_ptr<XmlPart>> m_xml;
    qint64 m_expanded = 0;
    bool m_structureChanged = false;
    // The bytes of marked parts found by modified(), for the writeTo() after it.
    mutable std::map<QString, std::optional<QByteArray>> m_rewritten;
};

} // namespace ooxml

#include "Package.h"

#include "Refusal.h"
#include "ZipCopy.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QUrl>
#ifdef Q_OS_WIN
#include <windows.h>
#endif
#include <algorithm>
#include <zip.h>

namespace ooxml {

namespace {

const char kContentTypes[] = "[Content_Types].xml";
// Far deeper than any office document nests (tables in text boxes in tables ...), far below what
// walking the elements could not afford.
constexpr int kMaxDepth = 1000;
const char kContentTypesNs[] = "http://schemas.openxmlformats.org/package/2006/content-types";
const char kRelationshipsNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";

QString key(const QString& part)
{
    return part.toLower();
}

// libzip takes names in UTF-8 on Windows and as the file system spells them elsewhere.

// How deep elements nest; found without recursion, so a hostile part cannot exhaust the stack.
struct DepthWalker final : pugi::xml_tree_walker
{
    int deepest = 0;
    bool for_each(pugi::xml_node&) override
    {
        deepest = std::max(deepest, depth());
        return true;
    }
};

QString zipError(zip_t* archive)
{
    return QString::fromLocal8Bit(zip_strerror(archive));
}

// A name that could leave the package or mean another part when extracted.
bool unsafeName(const QByteArray& name)
{
    if (name.isEmpty() || name.startsWith('/') || name.contains(':') || name.contains('\0'))
        return true;
    for (const QByteArray& segment : name.split('/')) {
        if (segment == ".." || segment == ".")
            return true;
    }
    return false;
}

struct StringWriter final : pugi::xml_writer
{
    QByteArray bytes;
    void write(const void* data, size_t size) override
    {
        bytes.append(static_cast<const char*>(data), qsizetype(size));
    }
};

// Element name with the prefix bound to a namespace ("" for the default one).
std::string qualified(const std::string& prefix, const char* local)
{
    return prefix.empty() ? std::string(local) : prefix + ':' + local;
}

} // namespace

// ---------------------------------------------------------------- XmlPart

QByteArray XmlPart::serialize() const
{
    StringWriter writer;
    // The parsed declaration is kept as a node: nothing is added, nothing indented.
    unsigned flags = pugi::format_raw | pugi::format_no_declaration;
    if (m_bom)
        flags |= pugi::format_write_bom;
    document.save(writer, "", flags, pugi::encoding_utf8);
    return writer.bytes;
}

bool XmlPart::prefixOf(const char* uri, std::string& prefix) const
{
    for (const pugi::xml_attribute attribute : root().attributes()) {
        const std::string name = attribute.name();
        if (std::string_view(attribute.value()) != uri)
            continue;
        if (name == "xmlns") {
            prefix.clear();
            return true;
        }
        if (name.rfind("xmlns:", 0) == 0) {
            prefix = name.substr(6);
            return true;
        }
    }
    return false;
}

std::unique_ptr<XmlPart> XmlPart::parse(const QString& name, const QByteArray& bytes)
{
    auto part = std::make_unique<XmlPart>();
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        throw Declined(QStringLiteral("部件 %1 不是 UTF-8 编码").arg(name));
    part->m_bom = bytes.startsWith("\xEF\xBB\xBF");
    const pugi::xml_parse_result result =
        part->document.load_buffer(bytes.constData(), size_t(bytes.size()), kParseFlags, pugi::encoding_utf8);
    if (!result)
        throw refusal::damaged(QStringLiteral("部件 %1 不是有效的 XML").arg(name),
                               QStringLiteral("%1 at offset %2")
                                   .arg(QString::fromUtf8(result.description()))
                                   .arg(result.offset));
    for (const pugi::xml_node node : part->document.children()) {
        // The package format forbids them; an entity could read local files or expand without end.
        if (node.type() == pugi::node_doctype)
            throw refusal::unsafe(QStringLiteral("部件 %1 含文档类型定义（DTD）").arg(name));
        if (node.type() == pugi::node_declaration) {
            const QString encoding = QString::fromUtf8(node.attribute("encoding").value());
            if (!encoding.isEmpty() && encoding.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) != 0)
                throw Declined(QStringLiteral("部件 %1 是 %2 编码").arg(name, encoding));
        }
    }
    if (!part->root())
        throw refusal::damaged(QStringLiteral("部件 %1 没有内容").arg(name));
    DepthWalker walker;
    part->document.traverse(walker);
    if (walker.deepest > kMaxDepth)
        throw refusal::unsafe(QStringLiteral("部件 %1 的元素嵌套过深").arg(name),
                              QStringLiteral("%1 levels").arg(walker.deepest));
    return part;
}

// ---------------------------------------------------------------- Package

Package::Package(QString path, Limits limits)
    : m_path(std::move(path))
    , m_limits(limits)
{
    const QFileInfo info(m_path);
    if (info.exists()) {
        // What saves of killed runs left beside it goes first.
        SafeReplace::removeLeftovers(info.absolutePath());
        m_lock = std::make_unique<SafeReplace::DocumentLock>(m_path);
    }
    int error = 0;
    m_zip = zip_open(SafeReplace::zipPath(m_path).constData(), ZIP_RDONLY, &error);
    if (!m_zip) {
        zip_error_t why;
        zip_error_init_with_code(&why, error);
        const QString detail = QString::fromLocal8Bit(zip_error_strerror(&why));
        zip_error_fini(&why);
        if (error == ZIP_ER_OPEN || error == ZIP_ER_READ || error == ZIP_ER_NOENT)
            throw RuntimeError(RuntimeError::PathFileAccess, QStringLiteral("无法读取文件"), detail);
        // Encrypted documents are compound files, not zips.
        throw Declined(QStringLiteral("不是 OOXML 压缩包（%1）").arg(detail));
    }
    m_identity = SafeReplace::Identity::of(SafeReplace::resolved(m_path));
    const zip_int64_t count = zip_get_num_entries(m_zip, 0);
    if (count > m_limits.maxEntries) {
        zip_discard(m_zip);
        throw refusal::unsafe(QStringLiteral("条目过多（%1 个）").arg(count));
    }
    bool backslashes = false;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(m_zip, zip_uint64_t(i), ZIP_FL_ENC_RAW, &stat) != 0) {
            const QString detail = zipError(m_zip);
            zip_discard(m_zip);
            throw refusal::damaged(QStringLiteral("压缩包目录无法读取"), detail);
        }
        const QByteArray raw(stat.name);
        QByteArray slashed = raw;
        slashed.replace('\\', '/');
        if (unsafeName(slashed)) {
            zip_discard(m_zip);
            throw refusal::unsafe(QStringLiteral("条目名含“..”或绝对路径"),
                                  QStringLiteral("entry name %1").arg(QString::fromUtf8(raw)));
        }
        backslashes = backslashes || raw.contains('\\');
        Entry entry;
        entry.index = i;
        entry.name = QString::fromUtf8(raw);
        entry.size = qint64(stat.size);
        entry.compressedSize = qint64(stat.comp_size);
        if (!raw.endsWith('/')) {
            if (m_byName.contains(key(entry.name))) {
                zip_discard(m_zip);
                throw refusal::unsafe(QStringLiteral("条目名重复"),
                                      QStringLiteral("entry name %1 twice").arg(entry.name));
            }
            m_byName.insert(key(entry.name), m_entries.size());
        }
        m_entries.append(entry);
    }
    if (backslashes) {
        // Written by a tool that took the package for a folder: another reader may still make sense of it.
        zip_discard(m_zip);
        m_zip = nullptr;
        throw Declined(QStringLiteral("条目名用反斜杠分隔"));
    }
}

Package::~Package()
{
    if (m_zip)
        zip_discard(m_zip);
}

const Package::Entry* Package::find(const QString& part) const
{
    const auto it = m_byName.constFind(key(part));
    if (it == m_byName.constEnd())
        return nullptr;
    const Entry& entry = m_entries.at(*it);
    return entry.removed ? nullptr : &entry;
}

bool Package::contains(const QString& part) const
{
    return find(part) != nullptr;
}

QStringList Package::partNames() const
{
    QStringList names;
    for (const Entry& entry : m_entries) {
        if (!entry.removed && !entry.name.endsWith(QLatin1Char('/')))
            names << entry.name;
    }
    return names;
}

QByteArray Package::read(const QString& part)
{
    const Entry* entry = find(part);
    if (!entry)
        throw refusal::missingPart(part);
    if (entry->index < 0)
        return m_xml.at(key(part))->serialize();
    if (entry->size > m_limits.maxPartBytes)
        throw refusal::tooLarge(part, entry->size, m_limits.maxPartBytes);
    if (entry->size > m_limits.ratioFloorBytes &&
        (entry->compressedSize <= 0 || entry->size / entry->compressedSize > m_limits.maxRatio))
        throw refusal::unsafe(
            QStringLiteral("%1 的压缩比异常（疑似压缩炸弹）").arg(part),
            QStringLiteral("%1: %2 bytes from %3").arg(part).arg(entry->size).arg(entry->compressedSize));
    if (m_expanded + entry->size > m_limits.maxTotalBytes)
        throw refusal::tooLarge(QStringLiteral("文档"), m_expanded + entry->size, m_limits.maxTotalBytes);

    QByteArray bytes = expand(*entry);
    m_expanded += bytes.size();
    return bytes;
}

QByteArray Package::expand(const Entry& entry) const
{
    const QString& part = entry.name;
    if (!m_zip)
        throw RuntimeError(RuntimeError::PathFileAccess, QStringLiteral("无法读取文件"),
                           QStringLiteral("%1: read after the package was saved").arg(part));
    zip_file_t* file = zip_fopen_index(m_zip, zip_uint64_t(entry.index), 0);
    if (!file)
        throw Declined(QStringLiteral("部件 %1 无法解压（%2）").arg(part, zipError(m_zip)));
    QByteArray bytes;
    bytes.resize(entry.size);
    qint64 got = 0;
    // One byte more than the directory says: a part that is longer than it claims is refused, not read on.
    char probe = 0;
    while (true) {
        char* into = got < entry.size ? bytes.data() + got : &probe;
        const zip_uint64_t want = got < entry.size ? zip_uint64_t(entry.size - got) : 1;
        const zip_int64_t n = zip_fread(file, into, want);
        if (n < 0) {
            const QString detail = QString::fromLocal8Bit(zip_file_strerror(file));
            zip_fclose(file);
            throw refusal::damaged(QStringLiteral("部件 %1 无法解压").arg(part), detail);
        }
        if (n == 0)
            break;
        if (got >= entry.size) {
            zip_fclose(file);
            throw refusal::unsafe(QStringLiteral("%1 比目录所记更长").arg(part));
        }
        got += n;
    }
    zip_fclose(file);
    if (got != entry.size)
        throw refusal::damaged(QStringLiteral("部件 %1 不完整").arg(part));
    return bytes;
}

XmlPart& Package::xml(const QString& part)
{
    const QString k = key(part);
    auto it = m_xml.find(k);
    if (it == m_xml.end())
        it = m_xml.emplace(k, XmlPart::parse(part, read(part))).first;
    return *it->second;
}

QString Package::relsName(const QString& source)
{
    if (source.isEmpty())
        return QStringLiteral("_rels/.rels");
    const qsizetype slash = source.lastIndexOf(QLatin1Char('/'));
    return source.left(slash + 1) + QStringLiteral("_rels/") + source.mid(slash + 1) +
           QStringLiteral(".rels");
}

QString Package::resolve(const QString& source, const QString& target)
{
    QString decoded = QUrl::fromPercentEncoding(target.toUtf8());
    QString path;
    if (decoded.startsWith(QLatin1Char('/')))
        path = decoded.mid(1);
    else
        path = source.left(source.lastIndexOf(QLatin1Char('/')) + 1) + decoded;
    QStringList segments;
    for (const QString& segment : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String(".."))
            segments.isEmpty() ? void() : segments.removeLast();
        else if (segment != QLatin1String("."))
            segments << segment;
    }
    return segments.join(QLatin1Char('/'));
}

QString Package::contentType(const QString& part)
{
    const XmlPart& types = xml(QString::fromLatin1(kContentTypes));
    const QString extension = part.mid(part.lastIndexOf(QLatin1Char('.')) + 1);
    QString byDefault;
    for (const pugi::xml_node node : types.root().children()) {
        const std::string_view name = node.name();
        const bool isOverride = name.ends_with("Override");
        if (isOverride && QString::fromUtf8(node.attribute("PartName").value())
                                  .compare(QLatin1Char('/') + part, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(node.attribute("ContentType").value());
        if (!isOverride && name.ends_with("Default") &&
            QString::fromUtf8(node.attribute("Extension").value()).compare(extension, Qt::CaseInsensitive) ==
                0)
            byDefault = QString::fromUtf8(node.attribute("ContentType").value());
    }
    return byDefault;
}

QList<Relationship> Package::relationships(const QString& source)
{
    QList<Relationship> found;
    const QString name = relsName(source);
    if (!contains(name))
        return found;
    for (const pugi::xml_node node : xml(name).root().children()) {
        if (!std::string_view(node.name()).ends_with("Relationship"))
            continue;
        Relationship relationship;
        relationship.id = QString::fromUtf8(node.attribute("Id").value());
        relationship.type = QString::fromUtf8(node.attribute("Type").value());
        relationship.external = QString::fromUtf8(node.attribute("TargetMode").value())
                                    .compare(QLatin1String("External"), Qt::CaseInsensitive) == 0;
        const QString target = QString::fromUtf8(node.attribute("Target").value());
        relationship.target = relationship.external ? target : resolve(source, target);
        found << relationship;
    }
    return found;
}

void Package::addPart(const QString& part, const QString& contentType, std::unique_ptr<XmlPart> xml)
{
    XmlPart& types = this->xml(QString::fromLatin1(kContentTypes));
    std::string prefix;
    types.prefixOf(kContentTypesNs, prefix);
    pugi::xml_node override = types.root().append_child(qualified(prefix, "Override").c_str());
    override.append_attribute("PartName") = (QLatin1Char('/') + part).toUtf8().constData();
    override.append_attribute("ContentType") = contentType.toUtf8().constData();
    types.touch();

    xml->touch();
    Entry entry;
    entry.name = part;
    m_byName.insert(key(part), m_entries.size());
    m_entries.append(entry);
    m_xml[key(part)] = std::move(xml);
    m_structureChanged = true;
}

QString Package::addRelationship(const QString& source, const QString& type, const QString& target)
{
    const QString name = relsName(source);
    if (!contains(name)) {
        auto rels = XmlPart::parse(name, QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" "
                                                           "standalone=\"yes\"?><Relationships xmlns=\"") +
                                             kRelationshipsNs + "\"/>");
        addPart(name, QStringLiteral("application/vnd.openxmlformats-package.relationships+xml"),
                std::move(rels));
    }
    XmlPart& rels = xml(name);
    QSet<QString> ids;
    for (const Relationship& existing : relationships(source))
        ids.insert(existing.id);
    int n = ids.size() + 1;
    while (ids.contains(QStringLiteral("rId%1").arg(n)))
        ++n;
    const QString id = QStringLiteral("rId%1").arg(n);
    std::string prefix;
    rels.prefixOf(kRelationshipsNs, prefix);
    pugi::xml_node node = rels.root().append_child(qualified(prefix, "Relationship").c_str());
    node.append_attribute("Id") = id.toUtf8().constData();
    node.append_attribute("Type") = type.toUtf8().constData();
    // Relative to the source's folder, as writers put it.
    const QString folder = source.left(source.lastIndexOf(QLatin1Char('/')) + 1);
    const QString relative =
        target.startsWith(folder) ? target.mid(folder.size()) : QLatin1Char('/') + target;
    node.append_attribute("Target") = relative.toUtf8().constData();
    rels.touch();
    return id;
}

void Package::removePart(const QString& part, const QString& source)
{
    const auto it = m_byName.constFind(key(part));
    if (it == m_byName.constEnd())
        return;
    m_entries[*it].removed = true;
    m_xml.erase(key(part));
    m_structureChanged = true;

    XmlPart& types = xml(QString::fromLatin1(kContentTypes));
    for (pugi::xml_node node : types.root().children()) {
        if (std::string_view(node.name()).ends_with("Override") &&
            QString::fromUtf8(node.attribute("PartName").value())
                    .compare(QLatin1Char('/') + part, Qt::CaseInsensitive) == 0) {
            types.root().remove_child(node);
            types.touch();
            break;
        }
    }
    const QString name = relsName(source);
    if (!contains(name))
        return;
    XmlPart& rels = xml(name);
    for (pugi::xml_node node = rels.root().first_child(); node;) {
        const pugi::xml_node next = node.next_sibling();
        if (std::string_view(node.name()).ends_with("Relationship") &&
            QString::fromUtf8(node.attribute("TargetMode").value()).isEmpty() &&
            resolve(source, QString::fromUtf8(node.attribute("Target").value()))
                    .compare(part, Qt::CaseInsensitive) == 0) {
            rels.root().remove_child(node);
            rels.touch();
        }
        node = next;
    }
}

QString Package::freePartName(const QString& pattern) const
{
    for (int n = 1;; ++n) {
        const QString name = pattern.arg(n);
        if (!m_byName.contains(key(name)))
            return name;
    }
}

bool Package::modified() const
{
    m_rewritten.clear();
    bool changed = m_structureChanged;
    for (const Entry& entry : m_entries) {
        if (entry.removed || entry.index < 0)
            continue;
        const auto it = m_xml.find(key(entry.name));
        if (it == m_xml.end() || !it->second->dirty())
            continue;
        std::optional<QByteArray> bytes = rewritten(entry);
        changed = changed || bytes.has_value();
        m_rewritten.emplace(key(entry.name), std::move(bytes));
    }
    return changed;
}

std::optional<QByteArray> Package::rewritten(const Entry& entry) const
{
    if (const auto found = m_rewritten.find(key(entry.name)); found != m_rewritten.end())
        return found->second;
    const QByteArray stored = expand(entry);
    QByteArray bytes = m_xml.at(key(entry.name))->serializeOver(stored);
    if (bytes == stored)
        return std::nullopt;
    return bytes;
}

bool Package::save()
{
    if (!modified())
        return false;
    // The file a link points to is the one replaced, not the link.
    SafeReplace::Result result(SafeReplace::resolved(m_path));
    writeTo(result.path());
    QStringList untouched;
    for (const Entry& entry : std::as_const(m_entries)) {
        const auto part = m_xml.find(key(entry.name));
        if (!entry.removed && entry.index >= 0 && (part == m_xml.end() || !part->second->dirty()))
            untouched << entry.name;
    }
    // Everything the result needs is read: the file is let go before the result
    // takes its place, as Windows replaces no file that is held open.
    zip_discard(m_zip);
    m_zip = nullptr;
    result.place(
        [&](const QString& written) {
            SafeReplace::checkPackage(written, SafeReplace::resolved(m_path), untouched);
        },
        m_identity);
    return true;
}

void Package::writeTo(const QString& target)
{
    QString why;
    if (!copyEntries(target, why)) {
        // A zip whose directory the copy does not take (Zip64, a damaged trailer):
        // the zip library writes it, unchanged parts still as stored.
        qInfo("ooxml: %s written by libzip: %s", qUtf8Printable(m_path), qUtf8Printable(why));
        writeAllEntries(target);
    }
    m_rewritten.clear();
}

// The changed parts are written by the zip library into a zip of their own in
// memory; then every entry, unchanged ones from the file, changed ones from
// that zip, is copied as stored into target.
bool Package::copyEntries(const QString& target, QString& why)
{
    QFile original(m_path);
    if (!original.open(QIODevice::ReadOnly)) {
        why = original.errorString();
        return false;
    }
    const std::optional<zipcopy::Directory> directory = zipcopy::readDirectory(original);
    if (!directory || directory->records.size() != zip_get_num_entries(m_zip, 0)) {
        why = QStringLiteral("central directory not read");
        return false;
    }
    for (const Entry& entry : std::as_const(m_entries)) {
        if (entry.index >= 0 && directory->records.at(entry.index).name != entry.name.toUtf8()) {
            why = QStringLiteral("entry %1 named otherwise in the directory").arg(entry.name);
            return false;
        }
    }

    // The changed parts, compressed by libzip into a zip in memory.
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* out = memory ? zip_open_from_source(memory, ZIP_TRUNCATE, &error) : nullptr;
    if (!out) {
        why = QString::fromLocal8Bit(zip_error_strerror(&error));
        zip_error_fini(&error);
        if (memory)
            zip_source_free(memory);
        return false;
    }
    zip_error_fini(&error);
    zip_source_keep(memory); // read after the zip is closed
    const auto freeMemory = qScopeGuard([&] { zip_source_free(memory); });
    std::vector<QByteArray> keep; // buffers the zip reads at its close
    keep.reserve(size_t(m_entries.size()));
    QList<const Entry*> order;
    QList<bool> fresh;
    for (const Entry& entry : std::as_const(m_entries)) {
        if (entry.removed)
            continue;
        std::optional<QByteArray> bytes;
        if (entry.index < 0)
            bytes = m_xml.at(key(entry.name))->serialize();
        else if (const auto it = m_xml.find(key(entry.name)); it != m_xml.end() && it->second->dirty())
            bytes = rewritten(entry);
        order << &entry;
        fresh << bytes.has_value();
        if (!bytes)
            continue;
        keep.push_back(std::move(*bytes));
        zip_source_t* source =
            zip_source_buffer(out, keep.back().constData(), zip_uint64_t(keep.back().size()), 0);
        const zip_int64_t index =
            source ? zip_file_add(out, entry.name.toUtf8().constData(), source, ZIP_FL_ENC_GUESS) : -1;
        if (index < 0) {
            if (source)
                zip_source_free(source);
            why = zipError(out);
            zip_discard(out);
            return false;
        }
        zip_set_file_compression(out, zip_uint64_t(index), ZIP_CM_DEFLATE, 0);
        if (entry.index >= 0) {
            zip_uint8_t system = 0;
            zip_uint32_t attributes = 0;
            if (zip_file_get_external_attributes(m_zip, zip_uint64_t(entry.index), 0, &system, &attributes) ==
                0)
                zip_file_set_external_attributes(out, zip_uint64_t(index), 0, system, attributes);
            zip_stat_t stat;
            if (zip_stat_index(m_zip, zip_uint64_t(entry.index), 0, &stat) == 0 &&
                (stat.valid & ZIP_STAT_MTIME))
                zip_file_set_mtime(out, zip_uint64_t(index), stat.mtime, 0);
        }
    }
    if (zip_close(out) != 0) {
        why = zipError(out);
        zip_discard(out);
        return false;
    }
    keep.clear();

    QByteArray compressed;
    zip_stat_t memoryStat;
    zip_stat_init(&memoryStat);
    if (fresh.contains(true) && zip_source_stat(memory, &memoryStat) == 0 &&
        (memoryStat.valid & ZIP_STAT_SIZE) && zip_source_open(memory) == 0) {
        compressed.resize(qsizetype(memoryStat.size));
        const zip_int64_t got = zip_source_read(memory, compressed.data(), memoryStat.size);
        zip_source_close(memory);
        if (got != zip_int64_t(memoryStat.size))
            compressed.clear();
    }
    QBuffer parts(&compressed);
    std::optional<zipcopy::Directory> partsDirectory;
    if (fresh.contains(true)) {
        if (!parts.open(QIODevice::ReadOnly) || !(partsDirectory = zipcopy::readDirectory(parts)) ||
            partsDirectory->records.size() != fresh.count(true)) {
            why = QStringLiteral("changed parts not read back");
            return false;
        }
    }
    QList<zipcopy::Piece> pieces;
    qsizetype next = 0;
    for (qsizetype i = 0; i < order.size(); ++i) {
        if (fresh.at(i))
            pieces << zipcopy::Piece{&parts, &partsDirectory->records.at(next++)};
        else
            pieces << zipcopy::Piece{&original, &directory->records.at(order.at(i)->index)};
    }
    if (!zipcopy::write(target, pieces, directory->comment, why))
        return false;

    // The result as any zip reader sees it: its directory consistent, the entries as planned.
    int code = 0;
    zip_t* check = zip_open(SafeReplace::zipPath(target).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!check) {
        why = QStringLiteral("copied zip not consistent (error %1)").arg(code);
        return false;
    }
    bool same = zip_get_num_entries(check, 0) == order.size();
    for (qsizetype i = 0; same && i < order.size(); ++i) {
        const char* name = zip_get_name(check, zip_uint64_t(i), ZIP_FL_ENC_RAW);
        same = name && QByteArray(name) == order.at(i)->name.toUtf8();
    }
    zip_discard(check);
    if (!same)
        why = QStringLiteral("copied zip lists other entries");
    return same;
}

void Package::writeAllEntries(const QString& target)
{
    int code = 0;
#ifdef Q_OS_WIN
    // libzip's Windows file backend fails to rename its own temporary file into
    // place (access denied, seen under Wine): the package is made in memory and
    // written to the target here.
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* out = nullptr;
    if (buffer) {
        zip_source_keep(buffer);
        out = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    }
    const auto freeBuffer = qScopeGuard([&] {
        if (buffer)
            zip_source_free(buffer);
    });
    code = zip_error_code_zip(&error);
    zip_error_fini(&error);
#else
    zip_t* out = zip_open(SafeReplace::zipPath(target).constData(), ZIP_TRUNCATE, &code);
#endif
    if (!out)
        throw refusal::notSaved(QStringLiteral("zip_open %1: error %2").arg(target).arg(code));
    const auto fail = [&](const QString& what) {
        const QString detail = what + QStringLiteral(": ") + zipError(out);
        zip_discard(out);
        return refusal::notSaved(detail);
    };
    std::vector<QByteArray> keep; // buffers the zip reads at its close
    keep.reserve(size_t(m_entries.size()));
    for (const Entry& entry : std::as_const(m_entries)) {
        if (entry.removed)
            continue;
        std::optional<QByteArray> bytes;
        if (const auto changed = m_xml.find(key(entry.name));
            changed != m_xml.end() && changed->second->dirty())
            bytes = entry.index >= 0 ? rewritten(entry) : changed->second->serialize();
        const bool rewrite = bytes.has_value();
        zip_source_t* source = nullptr;
        if (rewrite) {
            keep.push_back(std::move(*bytes));
            source = zip_source_buffer(out, keep.back().constData(), zip_uint64_t(keep.back().size()), 0);
        } else if (entry.index >= 0) {
            // start 0, length -1: the stored bytes as they are, not expanded.
            source = zip_source_zip(out, m_zip, zip_uint64_t(entry.index), 0, 0, -1);
        }
        if (!source)
            throw fail(entry.name);
        const QByteArray name = entry.name.toUtf8();
        const zip_int64_t index = zip_file_add(out, name.constData(), source, ZIP_FL_ENC_GUESS);
        if (index < 0) {
            zip_source_free(source);
            throw fail(entry.name);
        }
        if (entry.index >= 0 && !rewrite) {
            // Copied as stored: a stored entry stays stored, a deflated one is not deflated again.
            zip_stat_t stat;
            if (zip_stat_index(m_zip, zip_uint64_t(entry.index), 0, &stat) != 0 ||
                zip_set_file_compression(out, zip_uint64_t(index), zip_int32_t(stat.comp_method), 0) != 0)
                throw fail(entry.name);
        }
        if (entry.index >= 0) {
            zip_uint8_t system = 0;
            zip_uint32_t attributes = 0;
            if (zip_file_get_external_attributes(m_zip, zip_uint64_t(entry.index), 0, &system, &attributes) ==
                0)
                zip_file_set_external_attributes(out, zip_uint64_t(index), 0, system, attributes);
        }
        if (rewrite) {
            zip_set_file_compression(out, zip_uint64_t(index), ZIP_CM_DEFLATE, 0);
            if (entry.index >= 0) {
                zip_stat_t stat;
                if (zip_stat_index(m_zip, zip_uint64_t(entry.index), 0, &stat) == 0 &&
                    (stat.valid & ZIP_STAT_MTIME))
                    zip_file_set_mtime(out, zip_uint64_t(index), stat.mtime, 0);
            }
        }
    }
    if (zip_close(out) != 0)
        throw fail(QStringLiteral("close"));
#ifdef Q_OS_WIN
    QByteArray bytes;
    if (zip_source_open(buffer) == 0) {
        if (zip_source_seek(buffer, 0, SEEK_END) == 0) {
            const zip_int64_t size = zip_source_tell(buffer);
            if (size >= 0 && zip_source_seek(buffer, 0, SEEK_SET) == 0) {
                bytes.resize(qsizetype(size));
                if (zip_source_read(buffer, bytes.data(), zip_uint64_t(size)) != size)
                    bytes.clear();
            }
        }
        zip_source_close(buffer);
    }
    QFile file(target);
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        throw refusal::notSaved(QStringLiteral("write %1: %2").arg(target, file.errorString()));
#endif
}

} // namespace ooxml

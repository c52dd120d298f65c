#include "SheetFile.h"

#include "CellFormula.h"
#include "Refusal.h"
#include "TextRuns.h"

#include <QHash>
#include <QLocale>
#include <algorithm>
#include <string_view>

namespace ooxml {

namespace {

const char kS[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char kStrictS[] = "http://purl.oclc.org/ooxml/spreadsheetml/main";
const char kR[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const QString kRelationships =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");
const QString kOfficeDocument = kRelationships + QStringLiteral("officeDocument");
const QString kStrictOfficeDocument =
    QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument");

const QStringList kMainTypes = {
    QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"),
    QStringLiteral("application/vnd.ms-excel.sheet.macroEnabled.main+xml"),
    QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml"),
    QStringLiteral("application/vnd.ms-excel.template.macroEnabled.main+xml"),
};

// The children of a workbook, in the order they must keep.
const std::initializer_list<std::string_view> kWorkbookOrder = {"fileVersion",    "fileSharing",
                                                                "workbookPr",     "workbookProtection",
                                                                "bookViews",      "sheets",
                                                                "functionGroups", "externalReferences",
                                                                "definedNames",   "calcPr",
                                                                "oleSize",        "customWorkbookViews",
                                                                "pivotCaches",    "smartTagPr",
                                                                "smartTagTypes",  "webPublishing",
                                                                "fileRecoveryPr", "webPublishObjects",
                                                                "extLst"};

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

bool isTrue(const char* value)
{
    const std::string_view v = value;
    return v == "1" || v == "true";
}

void setAttribute(pugi::xml_node node, const char* name, const char* value)
{
    pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        attribute = node.append_attribute(name);
    attribute = value;
}

QString textOf(const pugi::xml_node node)
{
    return elementText(node);
}

// Built-in number formats that show a date or a time.
bool dateFormatId(int id)
{
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

bool dateFormatCode(const QString& code)
{
    QString bare;
    bool quoted = false;
    int bracket = 0;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == QLatin1Char('['))
            ++bracket;
        else if (c == QLatin1Char(']'))
            bracket = std::max(0, bracket - 1);
        else if (bracket == 0 && c == QLatin1Char('\\'))
            ++i;
        else if (bracket == 0)
            bare += c.toLower();
    }
    if (bare.contains(QLatin1String("general")))
        return false;
    for (const QChar c : bare) {
        if (c == QLatin1Char('d') || c == QLatin1Char('m') || c == QLatin1Char('y') ||
            c == QLatin1Char('h') || c == QLatin1Char('s'))
            return true;
    }
    return false;
}

} // namespace

struct SheetFile::Vocabulary
{
    std::string s; // the SpreadsheetML prefix with its colon, or ""
    std::string r;
    RunNames runs;

    // The qualified name, kept for as long as the vocabulary: loops over children hold on to it.
    const char* n(const char* local) const
    {
        auto it = qualified.find(local);
        if (it == qualified.end())
            it = qualified.emplace(local, s + local).first;
        return it->second.c_str();
    }
    mutable std::map<std::string, std::string, std::less<>> qualified;
    bool is(pugi::xml_node node, std::string_view local) const
    {
        const std::string_view name = node.name();
        return name.size() == s.size() + local.size() && name.substr(0, s.size()) == s &&
               name.substr(s.size()) == local;
    }
    // The text pieces of a string item (<si>, <is>): plain or in runs; phonetic guides are not its text.
    void collect(pugi::xml_node item, std::vector<Piece>& pieces) const
    {
        for (const pugi::xml_node child : item.children()) {
            if (is(child, "t"))
                pieces.push_back({child, elementText(child)});
            else if (is(child, "r")) {
                for (const pugi::xml_node t : child.children(n("t")))
                    pieces.push_back({t, elementText(t)});
            }
        }
    }
    QString plain(pugi::xml_node item) const
    {
        std::vector<Piece> pieces;
        collect(item, pieces);
        QString text;
        for (const Piece& piece : pieces)
            text += piece.text;
        return text;
    }
};

struct SheetFile::Cell
{
    pugi::xml_node node;
    int row = 0;
    int column = 0;
};

// ---------------------------------------------------------------- opening

SheetFile::SheetFile(QString path, Limits limits)
    : m_path(std::move(path))
    , m_limits(limits)
{
    package();
}

SheetFile::~SheetFile() = default;

Package& SheetFile::package()
{
    if (!m_package) {
        m_package = std::make_unique<Package>(m_path, m_limits);
        try {
            load();
        } catch (...) {
            m_package.reset();
            m_names.clear();
            throw;
        }
    }
    return *m_package;
}

void SheetFile::load()
{
    Package& package = *m_package;
    m_names.clear();
    m_sheets.clear();
    m_references.clear();
    m_counted = false;
    m_dateStyles.clear();
    m_stylesRead = false;
    m_formulas = -1;
    m_pivots.clear();
    m_items.clear();
    m_itemsRead = false;
    m_masters.clear();
    m_stringsPart.clear();
    m_stylesPart.clear();
    if (!package.contains(QStringLiteral("[Content_Types].xml")))
        throw refusal::missingPart(QStringLiteral("[Content_Types].xml"));
    if (!package.contains(QStringLiteral("_rels/.rels")))
        throw refusal::missingPart(QStringLiteral("_rels/.rels"));
    m_workbookPart.clear();
    for (const Relationship& relationship : package.relationships(QString())) {
        if (relationship.type == kStrictOfficeDocument)
            throw Declined(QStringLiteral("Strict OOXML 工作簿"));
        if (relationship.type == kOfficeDocument && !relationship.external)
            m_workbookPart = relationship.target;
    }
    if (m_workbookPart.isEmpty())
        throw refusal::damaged(QStringLiteral("没有工作簿部件"));
    if (!package.contains(m_workbookPart))
        throw refusal::missingPart(m_workbookPart);
    if (!kMainTypes.contains(package.contentType(m_workbookPart)))
        throw Declined(QStringLiteral("不是 Excel 工作簿（%1）").arg(package.contentType(m_workbookPart)));

    const Vocabulary& v = names(m_workbookPart);
    QHash<QString, Relationship> byId;
    for (const Relationship& relationship : package.relationships(m_workbookPart)) {
        byId.insert(relationship.id, relationship);
        if (relationship.external)
            continue;
        if (relationship.type == kRelationships + QStringLiteral("sharedStrings"))
            m_stringsPart = relationship.target;
        else if (relationship.type == kRelationships + QStringLiteral("styles"))
            m_stylesPart = relationship.target;
    }
    if (!m_stringsPart.isEmpty() && !package.contains(m_stringsPart))
        throw refusal::missingPart(m_stringsPart);
    const pugi::xml_node sheets = package.xml(m_workbookPart).root().child(v.n("sheets"));
    for (const pugi::xml_node node : sheets.children(v.n("sheet"))) {
        Sheet sheet;
        sheet.name = QString::fromUtf8(node.attribute("name").value());
        const Relationship relationship =
            byId.value(QString::fromUtf8(node.attribute((v.r + "id").c_str()).value()));
        sheet.part = relationship.external ? QString() : relationship.target;
        sheet.worksheet = relationship.type == kRelationships + QStringLiteral("worksheet");
        if (sheet.worksheet && (sheet.part.isEmpty() || !package.contains(sheet.part)))
            throw refusal::missingPart(sheet.part.isEmpty() ? sheet.name : sheet.part);
        m_sheets.append(sheet);
    }
}

const SheetFile::Vocabulary& SheetFile::names(const QString& part)
{
    const auto it = m_names.find(part);
    if (it != m_names.end())
        return *it->second;
    const XmlPart& xml = package().xml(part);
    auto v = std::make_unique<Vocabulary>();
    std::string prefix;
    if (!xml.prefixOf(kS, prefix)) {
        if (xml.prefixOf(kStrictS, prefix))
            throw Declined(QStringLiteral("Strict OOXML 工作簿"));
        throw Declined(QStringLiteral("%1 不是 SpreadsheetML").arg(part));
    }
    v->s = prefix.empty() ? prefix : prefix + ':';
    v->r = xml.prefixOf(kR, prefix) && !prefix.empty() ? prefix + ':' : std::string("r:");
    v->runs = {v->n("t"), v->n("r"), v->n("rPr")};
    return *m_names.emplace(part, std::move(v)).first->second;
}

int SheetFile::sheetCount()
{
    package();
    return int(m_sheets.size());
}

int SheetFile::worksheetCount()
{
    package();
    return int(std::count_if(m_sheets.cbegin(), m_sheets.cend(), [](const Sheet& s) { return s.worksheet; }));
}

const SheetFile::Sheet& SheetFile::worksheet(int index)
{
    package();
    int seen = 0;
    for (const Sheet& sheet : std::as_const(m_sheets)) {
        if (sheet.worksheet && seen++ == index)
            return sheet;
    }
    throw RuntimeError(RuntimeError::SubscriptOutOfRange,
                       RuntimeError::nameOf(RuntimeError::SubscriptOutOfRange),
                       QStringLiteral("worksheet %1 of %2").arg(index + 1).arg(worksheetCount()));
}

QString SheetFile::worksheetName(int index)
{
    return worksheet(index).name;
}

XmlPart& SheetFile::sheetXml(const Sheet& sheet)
{
    names(sheet.part);
    return package().xml(sheet.part);
}

// ---------------------------------------------------------------- cells

std::vector<SheetFile::Cell> SheetFile::cells(const Sheet& sheet)
{
    const Vocabulary& v = names(sheet.part);
    std::vector<Cell> found;
    const pugi::xml_node data = sheetXml(sheet).root().child(v.n("sheetData"));
    int row = 0;
    for (const pugi::xml_node rowNode : data.children(v.n("row"))) {
        // Rows and cells without an address follow the one before.
        const int explicitRow = rowNode.attribute("r").as_int(0);
        row = explicitRow > 0 ? explicitRow : row + 1;
        int column = 0;
        for (const pugi::xml_node c : rowNode.children(v.n("c"))) {
            int r = 0;
            int col = 0;
            if (cellformula::parseAddress(QString::fromLatin1(c.attribute("r").value()), r, col))
                column = col;
            else
                ++column;
            found.push_back({c, row, column});
        }
    }
    return found;
}

XmlPart* SheetFile::strings()
{
    if (m_stringsPart.isEmpty())
        return nullptr;
    names(m_stringsPart);
    return &package().xml(m_stringsPart);
}

pugi::xml_node SheetFile::stringItem(int index)
{
    XmlPart* sst = strings();
    if (!sst || index < 0)
        return {};
    if (!m_itemsRead) {
        m_itemsRead = true;
        for (const pugi::xml_node item : sst->root().children(names(m_stringsPart).n("si")))
            m_items.push_back(item);
    }
    return size_t(index) < m_items.size() ? m_items[size_t(index)] : pugi::xml_node();
}

QString SheetFile::stringText(pugi::xml_node item)
{
    return item ? names(m_stringsPart).plain(item) : QString();
}

std::vector<int>& SheetFile::stringReferences()
{
    if (m_counted)
        return m_references;
    XmlPart* sst = strings();
    const char* si = sst ? names(m_stringsPart).n("si") : "si";
    size_t items = 0;
    if (sst) {
        for ([[maybe_unused]] const pugi::xml_node item : sst->root().children(si))
            ++items;
    }
    m_references.assign(items, 0);
    for (const Sheet& sheet : std::as_const(m_sheets)) {
        if (!sheet.worksheet)
            continue;
        const Vocabulary& v = names(sheet.part);
        for (const Cell& cell : cells(sheet)) {
            if (std::string_view(cell.node.attribute("t").value()) != "s")
                continue;
            const int index = textOf(cell.node.child(v.n("v"))).toInt();
            if (index >= 0 && size_t(index) < m_references.size())
                ++m_references[size_t(index)];
        }
    }
    m_counted = true;
    return m_references;
}

int SheetFile::appendString(pugi::xml_node copyOf, const QString& plain)
{
    XmlPart* sst = strings();
    const Vocabulary& v = names(m_stringsPart);
    pugi::xml_node root = sst->root();
    pugi::xml_node item;
    stringItem(0);
    if (copyOf) {
        item = root.append_copy(copyOf);
    } else {
        item = root.append_child(v.n("si"));
        setElementText(item.append_child(v.n("t")), plain);
    }
    m_items.push_back(item);
    std::vector<int>& references = stringReferences();
    references.push_back(0);
    if (root.attribute("uniqueCount"))
        root.attribute("uniqueCount") = qulonglong(references.size());
    sst->touch();
    return int(references.size()) - 1;
}

bool SheetFile::dateStyle(int style)
{
    if (!m_stylesRead) {
        m_stylesRead = true;
        if (!m_stylesPart.isEmpty() && package().contains(m_stylesPart)) {
            const Vocabulary& v = names(m_stylesPart);
            const pugi::xml_node root = package().xml(m_stylesPart).root();
            QHash<int, bool> custom;
            for (const pugi::xml_node format : root.child(v.n("numFmts")).children(v.n("numFmt")))
                custom.insert(format.attribute("numFmtId").as_int(),
                              dateFormatCode(QString::fromUtf8(format.attribute("formatCode").value())));
            for (const pugi::xml_node xf : root.child(v.n("cellXfs")).children(v.n("xf"))) {
                const int id = xf.attribute("numFmtId").as_int();
                m_dateStyles.push_back(custom.contains(id) ? custom.value(id) : dateFormatId(id));
            }
        }
    }
    return style >= 0 && size_t(style) < m_dateStyles.size() && m_dateStyles[size_t(style)] == 1;
}

QString SheetFile::formulaText(const Sheet& sheet, const Cell& cell, const std::vector<Cell>& all)
{
    const Vocabulary& v = names(sheet.part);
    const pugi::xml_node f = cell.node.child(v.n("f"));
    QString formula = textOf(f);
    if (std::string_view(f.attribute("t").value()) != "shared" || !formula.isEmpty())
        return formula;
    auto masters = m_masters.find(sheet.part);
    if (masters == m_masters.end()) {
        // The first cell of each shared group holds the formula; found once per sheet.
        std::map<std::string, Master> found;
        for (const Cell& other : all) {
            const pugi::xml_node of = other.node.child(v.n("f"));
            if (std::string_view(of.attribute("t").value()) == "shared" && of.attribute("ref") &&
                !textOf(of).isEmpty())
                found.emplace(of.attribute("si").value(), Master{of, other.row, other.column});
        }
        masters = m_masters.emplace(sheet.part, std::move(found)).first;
    }
    const auto master = masters->second.find(f.attribute("si").value());
    if (master == masters->second.end())
        return formula;
    return cellformula::shifted(textOf(master->second.formula), cell.row - master->second.row,
                                cell.column - master->second.column);
}

void SheetFile::unshare(const Sheet& sheet, const QString& group, std::vector<Cell>& all)
{
    const Vocabulary& v = names(sheet.part);
    std::vector<std::pair<pugi::xml_node, QString>> members;
    for (const Cell& cell : all) {
        const pugi::xml_node f = cell.node.child(v.n("f"));
        if (std::string_view(f.attribute("t").value()) == "shared" &&
            group == QString::fromUtf8(f.attribute("si").value()))
            members.emplace_back(f, formulaText(sheet, cell, all));
    }
    // Each cell gets its own formula: one of them is about to change.
    for (auto& [f, formula] : members) {
        f.remove_attribute("t");
        f.remove_attribute("ref");
        f.remove_attribute("si");
        setElementText(f, formula);
    }
    m_masters.erase(sheet.part);
}

bool SheetFile::isProtected(int worksheetIndex)
{
    const Sheet& sheet = worksheet(worksheetIndex);
    const Vocabulary& v = names(sheet.part);
    const pugi::xml_node protection = sheetXml(sheet).root().child(v.n("sheetProtection"));
    return protection && isTrue(protection.attribute("sheet").value());
}

void SheetFile::checkUnprotected(const Sheet& sheet)
{
    const Vocabulary& v = names(sheet.part);
    const pugi::xml_node protection = sheetXml(sheet).root().child(v.n("sheetProtection"));
    if (protection && isTrue(protection.attribute("sheet").value()))
        throw RuntimeError(RuntimeError::ApplicationDefined,
                           QStringLiteral("工作表“%1”受保护，不能修改").arg(sheet.name));
}

void SheetFile::writeEntry(const Sheet& sheet, Cell& cell, const QString& entry)
{
    const Vocabulary& v = names(sheet.part);
    pugi::xml_node c = cell.node;
    int oldString = -1;
    if (std::string_view(c.attribute("t").value()) == "s")
        oldString = textOf(c.child(v.n("v"))).toInt();
    // Counted before this cell changes.
    std::vector<int>* references = strings() ? &stringReferences() : nullptr;
    for (const char* child : {"f", "v", "is"})
        c.remove_child(v.n(child));
    c.remove_attribute("t");
    if (references && oldString >= 0 && size_t(oldString) < references->size())
        --(*references)[size_t(oldString)];

    const pugi::xml_node ext = c.child(v.n("extLst"));
    const auto add = [&](const char* local) {
        return ext ? c.insert_child_before(v.n(local), ext) : c.append_child(v.n(local));
    };
    double number = 0;
    if (entry.isEmpty()) {
        // Nothing: the cell keeps only its formatting.
    } else if (entry.startsWith(QLatin1Char('=')) && entry.size() > 1) {
        setElementText(add("f"), entry.mid(1));
    } else if (cellformula::parseNumber(entry, number)) {
        setElementText(add("v"), QString::number(number, 'g', QLocale::FloatingPointShortest));
    } else if (entry.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 ||
               entry.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0) {
        c.append_attribute("t") = "b";
        setElementText(add("v"), entry.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0
                                     ? QStringLiteral("1")
                                     : QStringLiteral("0"));
    } else {
        const QString plain = entry.startsWith(QLatin1Char('\'')) ? entry.mid(1) : entry;
        if (!strings()) {
            // No shared strings in this workbook: the text stays in the cell.
            c.append_attribute("t") = "inlineStr";
            setElementText(add("is").append_child(v.n("t")), plain);
        } else {
            std::vector<int>& counts = stringReferences();
            int index = -1;
            const Vocabulary& sv = names(m_stringsPart);
            int i = 0;
            for (const pugi::xml_node item : strings()->root().children(sv.n("si"))) {
                if (size_t(i) < counts.size() && counts[size_t(i)] > 0 && !item.child(sv.n("r")) &&
                    sv.plain(item) == plain) {
                    index = i;
                    break;
                }
                ++i;
            }
            if (index < 0 && oldString >= 0 && size_t(oldString) < counts.size() &&
                counts[size_t(oldString)] == 0) {
                // The cell's old string is held by no other cell: it becomes the new one.
                pugi::xml_node item = stringItem(oldString);
                while (item.first_child())
                    item.remove_child(item.first_child());
                setElementText(item.append_child(sv.n("t")), plain);
                strings()->touch();
                index = oldString;
            }
            if (index < 0)
                index = appendString({}, plain);
            ++counts[size_t(index)];
            c.append_attribute("t") = "s";
            setElementText(add("v"), QString::number(index));
        }
    }
    // A string no cell holds keeps no text that was replaced or overwritten.
    if (references && oldString >= 0 && size_t(oldString) < references->size() &&
        (*references)[size_t(oldString)] == 0) {
        pugi::xml_node item = stringItem(oldString);
        if (item && !stringText(item).isEmpty()) {
            const Vocabulary& sv = names(m_stringsPart);
            while (item.first_child())
                item.remove_child(item.first_child());
            item.append_child(sv.n("t"));
            strings()->touch();
        }
    }
}

void SheetFile::calculateOnLoad()
{
    // Excel and LibreOffice compute the formulas again when they open the book:
    // a formula changed, or a value some formula may read.
    XmlPart& workbook = package().xml(m_workbookPart);
    const Vocabulary& v = names(m_workbookPart);
    pugi::xml_node root = workbook.root();
    pugi::xml_node calc = root.child(v.n("calcPr"));
    if (isTrue(calc.attribute("fullCalcOnLoad").value()))
        return;
    if (!calc) {
        const size_t wanted = rank("calcPr", kWorkbookOrder);
        for (const pugi::xml_node child : root.children()) {
            if (child.type() == pugi::node_element && rank(localName(child), kWorkbookOrder) > wanted) {
                calc = root.insert_child_before(v.n("calcPr"), child);
                break;
            }
        }
        if (!calc)
            calc = root.append_child(v.n("calcPr"));
    }
    setAttribute(calc, "fullCalcOnLoad", "1");
    workbook.touch();
}

void SheetFile::dropCalculationChain()
{
    // The chain names formula cells; Excel rebuilds it when it is missing, and repairs a book whose chain is
    // wrong.
    for (const Relationship& relationship : package().relationships(m_workbookPart)) {
        if (relationship.type == kRelationships + QStringLiteral("calcChain") && !relationship.external)
            package().removePart(relationship.target, m_workbookPart);
    }
}

bool SheetFile::hasFormulas()
{
    if (m_formulas < 0) {
        m_formulas = 0;
        for (const Sheet& sheet : std::as_const(m_sheets)) {
            if (!sheet.worksheet)
                continue;
            const Vocabulary& v = names(sheet.part);
            const pugi::xml_node data = sheetXml(sheet).root().child(v.n("sheetData"));
            if (data.find_node([&](pugi::xml_node node) { return v.is(node, "f"); }))
                m_formulas = 1;
        }
    }
    return m_formulas == 1;
}

const std::vector<SheetFile::Area>& SheetFile::pivotAreas(const Sheet& sheet)
{
    const auto cached = m_pivots.find(sheet.part);
    if (cached != m_pivots.end())
        return cached->second;
    std::vector<Area> areas;
    for (const Relationship& relationship : package().relationships(sheet.part)) {
        if (relationship.type != kRelationships + QStringLiteral("pivotTable") || relationship.external ||
            !package().contains(relationship.target))
            continue;
        const Vocabulary& pv = names(relationship.target);
        const QStringList range =
            QString::fromLatin1(
                package().xml(relationship.target).root().child(pv.n("location")).attribute("ref").value())
                .split(QLatin1Char(':'));
        Area area;
        if (!range.isEmpty() && cellformula::parseAddress(range.at(0), area.top, area.left)) {
            area.bottom = area.top;
            area.right = area.left;
            if (range.size() == 2)
                cellformula::parseAddress(range.at(1), area.bottom, area.right);
            areas.push_back(area);
        }
    }
    return m_pivots.emplace(sheet.part, std::move(areas)).first->second;
}

bool SheetFile::inPivotTable(const Sheet& sheet, int row, int column)
{
    for (const Area& area : pivotAreas(sheet)) {
        if (row >= area.top && row <= area.bottom && column >= area.left && column <= area.right)
            return true;
    }
    return false;
}

void SheetFile::renameTableColumns(const Sheet& sheet, const QSet<QPair<int, int>>& changed)
{
    if (changed.isEmpty())
        return;
    const std::vector<Cell> all = cells(sheet);
    for (const Relationship& relationship : package().relationships(sheet.part)) {
        if (relationship.type != kRelationships + QStringLiteral("table") || relationship.external ||
            !package().contains(relationship.target))
            continue;
        const Vocabulary& tv = names(relationship.target);
        XmlPart& table = package().xml(relationship.target);
        const pugi::xml_node root = table.root();
        if (root.attribute("headerRowCount") && root.attribute("headerRowCount").as_int() == 0)
            continue;
        const QStringList range = QString::fromLatin1(root.attribute("ref").value()).split(QLatin1Char(':'));
        int top = 0;
        int left = 0;
        int bottom = 0;
        int right = 0;
        if (range.size() != 2 || !cellformula::parseAddress(range.at(0), top, left) ||
            !cellformula::parseAddress(range.at(1), bottom, right))
            continue;
        // Excel keeps a table's column names equal to its header cells.
        int index = 0;
        for (pugi::xml_node column : root.child(tv.n("tableColumns")).children(tv.n("tableColumn"))) {
            const int at = left + index++;
            if (!changed.contains({top, at}))
                continue;
            for (const Cell& cell : all) {
                if (cell.row == top && cell.column == at) {
                    setAttribute(column, "name", cellText(sheet, cell).toUtf8().constData());
                    table.touch();
                }
            }
        }
    }
}

QString SheetFile::cellText(const Sheet& sheet, const Cell& cell)
{
    const Vocabulary& v = names(sheet.part);
    const std::string_view type = cell.node.attribute("t").value();
    const pugi::xml_node value = cell.node.child(v.n("v"));
    if (type == "s")
        return stringText(stringItem(textOf(value).toInt()));
    if (type == "inlineStr")
        return v.plain(cell.node.child(v.n("is")));
    if (type == "b")
        return textOf(value) == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (type == "str" || type == "e" || type == "d")
        return textOf(value);
    bool ok = false;
    const double number = textOf(value).toDouble(&ok);
    return ok ? cellformula::numberText(number) : textOf(value);
}

// ---------------------------------------------------------------- find and replace

bool SheetFile::find(int index, const QString& what)
{
    if (what.isEmpty())
        return false;
    const Sheet& sheet = worksheet(index);
    const Vocabulary& v = names(sheet.part);
    const std::vector<Cell> all = cells(sheet);
    for (const Cell& cell : all) {
        // A pivot table's cells show its cache: Excel changes none of them.
        if (inPivotTable(sheet, cell.row, cell.column))
            continue;
        const pugi::xml_node f = cell.node.child(v.n("f"));
        const std::string_view type = cell.node.attribute("t").value();
        QString text;
        if (f) {
            const std::string_view formulaType = f.attribute("t").value();
            if (formulaType == "array" || formulaType == "dataTable")
                continue;
            text = QLatin1Char('=') + formulaText(sheet, cell, all);
        } else if (type == "s" || type == "inlineStr" || type == "str" || type == "b") {
            text = cellText(sheet, cell);
        } else if ((type.empty() || type == "n") && !dateStyle(cell.node.attribute("s").as_int(0))) {
            text = cellText(sheet, cell);
        } else {
            continue;
        }
        if (!occurrences(text, what).empty())
            return true;
    }
    return false;
}

int SheetFile::replace(int index, const QString& what, const QString& replacement)
{
    if (what.isEmpty())
        return 0;
    const Sheet& sheet = worksheet(index);
    const Vocabulary& v = names(sheet.part);
    std::vector<Cell> all = cells(sheet);
    const auto replaced = [&](const QString& text) {
        QString out = text;
        const std::vector<qsizetype> at = occurrences(text, what);
        for (auto it = at.rbegin(); it != at.rend(); ++it)
            out.replace(*it, what.size(), replacement);
        return out;
    };

    int count = 0;
    bool formulaEdited = false;
    bool formulaRemoved = false;
    QSet<QPair<int, int>> changed;
    std::map<int, std::vector<size_t>> sharedCells; // string index -> cells of this sheet that change
    for (size_t i = 0; i < all.size(); ++i) {
        Cell& cell = all[i];
        if (inPivotTable(sheet, cell.row, cell.column))
            continue;
        const pugi::xml_node f = cell.node.child(v.n("f"));
        const std::string_view type = cell.node.attribute("t").value();
        if (f) {
            const std::string_view formulaType = f.attribute("t").value();
            if (formulaType == "array" || formulaType == "dataTable")
                continue; // Excel changes no part of an array
            const QString before = QLatin1Char('=') + formulaText(sheet, cell, all);
            const QString after = replaced(before);
            if (after == before)
                continue;
            checkUnprotected(sheet);
            if (formulaType == "shared")
                unshare(sheet, QString::fromUtf8(f.attribute("si").value()), all);
            if (after.startsWith(QLatin1Char('=')) && after.size() > 1) {
                pugi::xml_node formula = cell.node.child(v.n("f"));
                setElementText(formula, after.mid(1));
                cell.node.remove_child(v.n("v"));
                cell.node.remove_attribute("t");
                formulaEdited = true;
            } else {
                writeEntry(sheet, cell, after);
                formulaRemoved = true;
            }
        } else if (type == "s") {
            const int item = textOf(cell.node.child(v.n("v"))).toInt();
            const QString before = stringText(stringItem(item));
            if (replaced(before) == before)
                continue;
            sharedCells[item].push_back(i);
            continue; // counted below, per string
        } else if (type == "inlineStr") {
            std::vector<Piece> pieces;
            v.collect(cell.node.child(v.n("is")), pieces);
            if (replaced(joined(pieces)) == joined(pieces))
                continue;
            checkUnprotected(sheet);
            replaceAll(pieces, what, replacement, v.runs);
        } else if (((type.empty() || type == "n") && cell.node.child(v.n("v")) &&
                    !dateStyle(cell.node.attribute("s").as_int(0))) ||
                   type == "b" || type == "str") {
            const QString before = cellText(sheet, cell);
            const QString after = replaced(before);
            if (after == before)
                continue;
            checkUnprotected(sheet);
            writeEntry(sheet, cell, after);
        } else {
            continue;
        }
        ++count;
        changed.insert({cell.row, cell.column});
    }

    for (const auto& [item, holders] : sharedCells) {
        checkUnprotected(sheet);
        std::vector<int>& references = stringReferences();
        const Vocabulary& sv = names(m_stringsPart);
        pugi::xml_node target = stringItem(item);
        const int here = int(holders.size());
        if (size_t(item) < references.size() && references[size_t(item)] > here) {
            // Cells of other sheets hold the same string: they keep it, these get a copy.
            const int copy = appendString(target, QString());
            target = stringItem(copy);
            references[size_t(item)] -= here;
            references[size_t(copy)] += here;
            for (const size_t holder : holders)
                setElementText(all[holder].node.child(v.n("v")), QString::number(copy));
        }
        std::vector<Piece> pieces;
        sv.collect(target, pieces);
        replaceAll(pieces, what, replacement, sv.runs);
        strings()->touch();
        for (const size_t holder : holders)
            changed.insert({all[holder].row, all[holder].column});
        count += here;
    }
    if (count == 0)
        return 0;
    sheetXml(sheet).touch();
    if (formulaEdited || formulaRemoved)
        dropCalculationChain();
    if (formulaEdited || formulaRemoved || hasFormulas())
        calculateOnLoad();
    renameTableColumns(sheet, changed);
    return count;
}

// ---------------------------------------------------------------- one cell

void SheetFile::setCell(int index, int row, int column, const QString& entry)
{
    if (row < 1 || row > cellformula::kMaxRow || column < 1 || column > cellformula::kMaxColumn)
        throw RuntimeError(
            RuntimeError::ApplicationDefined,
            QStringLiteral("应用程序定义或对象定义错误：单元格(%1, %2)不存在").arg(row).arg(column));
    const Sheet& sheet = worksheet(index);
    const Vocabulary& v = names(sheet.part);
    checkUnprotected(sheet);
    if (inPivotTable(sheet, row, column))
        throw RuntimeError(RuntimeError::ApplicationDefined, QStringLiteral("不能更改数据透视表的这一部分"));
    XmlPart& xml = sheetXml(sheet);
    std::vector<Cell> all = cells(sheet);

    for (const Cell& cell : all) {
        const pugi::xml_node f = cell.node.child(v.n("f"));
        if (std::string_view(f.attribute("t").value()) != "array")
            continue;
        const QStringList range = QString::fromLatin1(f.attribute("ref").value()).split(QLatin1Char(':'));
        int top = cell.row;
        int left = cell.column;
        int bottom = top;
        int right = left;
        if (range.size() == 2) {
            cellformula::parseAddress(range.at(0), top, left);
            cellformula::parseAddress(range.at(1), bottom, right);
        }
        if (row >= top && row <= bottom && column >= left && column <= right &&
            (bottom > top || right > left))
            throw RuntimeError(RuntimeError::ApplicationDefined, QStringLiteral("不能更改数组的某一部分"));
    }

    // Every row and cell gets its address, so that one can be put in its place.
    for (Cell& cell : all) {
        const QByteArray address = cellformula::address(cell.row, cell.column).toLatin1();
        if (address != cell.node.attribute("r").value())
            setAttribute(cell.node, "r", address.constData());
    }
    pugi::xml_node data = xml.root().child(v.n("sheetData"));
    int previous = 0;
    for (pugi::xml_node rowNode : data.children(v.n("row"))) {
        const int r = rowNode.attribute("r").as_int(0) > 0 ? rowNode.attribute("r").as_int() : previous + 1;
        if (rowNode.attribute("r").as_int(0) != r)
            setAttribute(rowNode, "r", QByteArray::number(r).constData());
        previous = r;
    }

    Cell target;
    for (const Cell& cell : all) {
        if (cell.row == row && cell.column == column)
            target = cell;
    }
    if (!target.node) {
        pugi::xml_node rowNode;
        pugi::xml_node before;
        for (pugi::xml_node candidate : data.children(v.n("row"))) {
            const int r = candidate.attribute("r").as_int();
            if (r == row)
                rowNode = candidate;
            if (r > row && !rowNode) {
                before = candidate;
                break;
            }
        }
        if (!rowNode) {
            rowNode = before ? data.insert_child_before(v.n("row"), before) : data.append_child(v.n("row"));
            rowNode.append_attribute("r") = row;
        }
        pugi::xml_node next;
        for (pugi::xml_node c : rowNode.children(v.n("c"))) {
            int r = 0;
            int col = 0;
            if (cellformula::parseAddress(QString::fromLatin1(c.attribute("r").value()), r, col) &&
                col > column) {
                next = c;
                break;
            }
        }
        pugi::xml_node ext = rowNode.child(v.n("extLst"));
        target.node = next  ? rowNode.insert_child_before(v.n("c"), next)
                      : ext ? rowNode.insert_child_before(v.n("c"), ext)
                            : rowNode.append_child(v.n("c"));
        target.node.append_attribute("r") = cellformula::address(row, column).toLatin1().constData();
        target.row = row;
        target.column = column;
        // A row's span, when given, must hold its cells.
        if (pugi::xml_attribute spans = rowNode.attribute("spans")) {
            const QStringList span = QString::fromLatin1(spans.value()).split(QLatin1Char(':'));
            if (span.size() == 2) {
                const int first = std::min(span.at(0).toInt(), column);
                const int last = std::max(span.at(1).toInt(), column);
                spans = QStringLiteral("%1:%2").arg(first).arg(last).toLatin1().constData();
            }
        }
        // The sheet's used range, when given, must hold the cell.
        pugi::xml_node dimension = xml.root().child(v.n("dimension"));
        const QStringList used =
            QString::fromLatin1(dimension.attribute("ref").value()).split(QLatin1Char(':'));
        int top = 0;
        int left = 0;
        int bottom = 0;
        int right = 0;
        if (dimension && cellformula::parseAddress(used.at(0), top, left)) {
            if (used.size() < 2 || !cellformula::parseAddress(used.at(1), bottom, right)) {
                bottom = top;
                right = left;
            }
            const QString grown = cellformula::address(std::min(top, row), std::min(left, column)) +
                                  QLatin1Char(':') +
                                  cellformula::address(std::max(bottom, row), std::max(right, column));
            setAttribute(dimension, "ref", grown.toLatin1().constData());
        }
        all.push_back(target);
    }

    const pugi::xml_node f = target.node.child(v.n("f"));
    const bool hadFormula = bool(f);
    if (std::string_view(f.attribute("t").value()) == "shared" && f.attribute("ref"))
        unshare(sheet, QString::fromUtf8(f.attribute("si").value()), all);
    writeEntry(sheet, target, entry);
    const bool isFormula = bool(target.node.child(v.n("f")));
    xml.touch();
    if (hadFormula || isFormula)
        dropCalculationChain();
    if (isFormula || hasFormulas())
        calculateOnLoad();
    renameTableColumns(sheet, {{row, column}});
}

QString SheetFile::cell(int index, int row, int column)
{
    const Sheet& sheet = worksheet(index);
    const Vocabulary& v = names(sheet.part);
    const std::vector<Cell> all = cells(sheet);
    for (const Cell& cell : all) {
        if (cell.row != row || cell.column != column)
            continue;
        if (cell.node.child(v.n("f")))
            return QLatin1Char('=') + formulaText(sheet, cell, all);
        return cellText(sheet, cell);
    }
    return {};
}

bool SheetFile::save()
{
    if (!m_package)
        return false;
    bool wrote = false;
    try {
        wrote = m_package->save();
    } catch (...) {
        m_package.reset();
        m_names.clear();
        throw;
    }
    m_package.reset();
    m_names.clear();
    return wrote;
}

} // namespace ooxml

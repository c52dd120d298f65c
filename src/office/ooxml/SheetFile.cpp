#include "SheetFile.h"

#include "CellFormula.h"
#include "Refusal.h"
#include "SheetVocabulary.h"

#include <QHash>
#include <algorithm>

// Opening the workbook, its sheets and their cells as they are stored: shared
// strings, date styles, protection, pivot tables.
namespace ooxml {

using markup::kRelationshipType;

namespace {

const markup::DocumentKind kWorkbook = {
    {
        QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"),
        QStringLiteral("application/vnd.ms-excel.sheet.macroEnabled.main+xml"),
        QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml"),
        QStringLiteral("application/vnd.ms-excel.template.macroEnabled.main+xml"),
    },
    QStringLiteral("Strict OOXML 工作簿"),
    QStringLiteral("没有工作簿部件"),
    QStringLiteral("不是 Excel 工作簿（%1）"),
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
    "http://purl.oclc.org/ooxml/spreadsheetml/main",
    QStringLiteral("SpreadsheetML"),
    "r:",
};

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

// ---------------------------------------------------------------- opening

SheetFile::SheetFile(QString path, Limits limits)
    : m_package(
          std::move(path), limits, [this](Package& package) { load(package); }, [this] { m_names.clear(); })
{
    package();
}

SheetFile::~SheetFile() = default;

Package& SheetFile::package()
{
    return m_package.get();
}

void SheetFile::load(Package& package)
{
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
    m_workbookPart = markup::mainPart(package, kWorkbook);

    const Vocabulary& v = names(m_workbookPart);
    QHash<QString, Relationship> byId;
    for (const Relationship& relationship : package.relationships(m_workbookPart)) {
        byId.insert(relationship.id, relationship);
        if (relationship.external)
            continue;
        if (relationship.type == kRelationshipType + QStringLiteral("sharedStrings"))
            m_stringsPart = relationship.target;
        else if (relationship.type == kRelationshipType + QStringLiteral("styles"))
            m_stylesPart = relationship.target;
    }
    if (!m_stringsPart.isEmpty() && !package.contains(m_stringsPart))
        throw refusal::missingPart(m_stringsPart);
    const pugi::xml_node sheets = package.xml(m_workbookPart).root().child(v.name("sheets"));
    for (const pugi::xml_node node : sheets.children(v.name("sheet"))) {
        Sheet sheet;
        sheet.name = QString::fromUtf8(node.attribute("name").value());
        const Relationship relationship =
            byId.value(QString::fromUtf8(node.attribute((v.r + "id").c_str()).value()));
        sheet.part = relationship.external ? QString() : relationship.target;
        sheet.worksheet = relationship.type == kRelationshipType + QStringLiteral("worksheet");
        if (sheet.worksheet && (sheet.part.isEmpty() || !package.contains(sheet.part)))
            throw refusal::missingPart(sheet.part.isEmpty() ? sheet.name : sheet.part);
        m_sheets.append(sheet);
    }
}

const SheetFile::Vocabulary& SheetFile::names(const QString& part)
{
    return markup::boundNames(m_names, part, kWorkbook,
                              [&]() -> const XmlPart& { return package().xml(part); });
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
    const pugi::xml_node data = sheetXml(sheet).root().child(v.name("sheetData"));
    int row = 0;
    for (const pugi::xml_node rowNode : data.children(v.name("row"))) {
        // Rows and cells without an address follow the one before.
        const int explicitRow = rowNode.attribute("r").as_int(0);
        row = explicitRow > 0 ? explicitRow : row + 1;
        int column = 0;
        for (const pugi::xml_node c : rowNode.children(v.name("c"))) {
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
        for (const pugi::xml_node item : sst->root().children(names(m_stringsPart).name("si")))
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
    const char* si = sst ? names(m_stringsPart).name("si") : "si";
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
            const int index = elementText(cell.node.child(v.name("v"))).toInt();
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
        item = root.append_child(v.name("si"));
        setElementText(item.append_child(v.name("t")), plain);
    }
    m_items.push_back(item);
    std::vector<int>& references = stringReferences();
    references.push_back(0);
    if (root.attribute("uniqueCount"))
        root.attribute("uniqueCount") = qulonglong(references.size());
    sst->touch();
    return int(references.size()) - 1;
}

int SheetFile::holdString(const QString& plain, int oldString)
{
    std::vector<int>& counts = stringReferences();
    int index = -1;
    const Vocabulary& sv = names(m_stringsPart);
    int i = 0;
    for (const pugi::xml_node item : strings()->root().children(sv.name("si"))) {
        if (size_t(i) < counts.size() && counts[size_t(i)] > 0 && !item.child(sv.name("r")) &&
            sv.plain(item) == plain) {
            index = i;
            break;
        }
        ++i;
    }
    if (index < 0 && oldString >= 0 && size_t(oldString) < counts.size() && counts[size_t(oldString)] == 0) {
        // The cell's old string is held by no other cell: it becomes the new one.
        setElementText(emptyString(oldString), plain);
        index = oldString;
    }
    if (index < 0)
        index = appendString({}, plain);
    ++counts[size_t(index)];
    return index;
}

pugi::xml_node SheetFile::emptyString(int index)
{
    pugi::xml_node item = stringItem(index);
    while (item.first_child())
        item.remove_child(item.first_child());
    strings()->touch();
    return item.append_child(names(m_stringsPart).name("t"));
}

bool SheetFile::dateStyle(int style)
{
    if (!m_stylesRead) {
        m_stylesRead = true;
        if (!m_stylesPart.isEmpty() && package().contains(m_stylesPart)) {
            const Vocabulary& v = names(m_stylesPart);
            const pugi::xml_node root = package().xml(m_stylesPart).root();
            QHash<int, bool> custom;
            for (const pugi::xml_node format : root.child(v.name("numFmts")).children(v.name("numFmt")))
                custom.insert(format.attribute("numFmtId").as_int(),
                              dateFormatCode(QString::fromUtf8(format.attribute("formatCode").value())));
            for (const pugi::xml_node xf : root.child(v.name("cellXfs")).children(v.name("xf"))) {
                const int id = xf.attribute("numFmtId").as_int();
                m_dateStyles.push_back(custom.contains(id) ? custom.value(id) : dateFormatId(id));
            }
        }
    }
    return style >= 0 && size_t(style) < m_dateStyles.size() && m_dateStyles[size_t(style)] == 1;
}

bool SheetFile::isProtected(int worksheetIndex)
{
    return isProtected(worksheet(worksheetIndex));
}

bool SheetFile::isProtected(const Sheet& sheet)
{
    const Vocabulary& v = names(sheet.part);
    const pugi::xml_node protection = sheetXml(sheet).root().child(v.name("sheetProtection"));
    return protection && sheetml::isTrue(protection.attribute("sheet").value());
}

void SheetFile::checkUnprotected(const Sheet& sheet)
{
    if (isProtected(sheet))
        throw RuntimeError(RuntimeError::ApplicationDefined,
                           QStringLiteral("工作表“%1”受保护，不能修改").arg(sheet.name));
}

const std::vector<SheetFile::Area>& SheetFile::pivotAreas(const Sheet& sheet)
{
    const auto cached = m_pivots.find(sheet.part);
    if (cached != m_pivots.end())
        return cached->second;
    std::vector<Area> areas;
    for (const Relationship& relationship : package().relationships(sheet.part)) {
        if (relationship.type != kRelationshipType + QStringLiteral("pivotTable") || relationship.external ||
            !package().contains(relationship.target))
            continue;
        const Vocabulary& pv = names(relationship.target);
        const QStringList range =
            QString::fromLatin1(
                package().xml(relationship.target).root().child(pv.name("location")).attribute("ref").value())
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

QString SheetFile::cellText(const Sheet& sheet, const Cell& cell)
{
    const Vocabulary& v = names(sheet.part);
    const std::string_view type = cell.node.attribute("t").value();
    const pugi::xml_node value = cell.node.child(v.name("v"));
    if (type == "s")
        return stringText(stringItem(elementText(value).toInt()));
    if (type == "inlineStr")
        return v.plain(cell.node.child(v.name("is")));
    if (type == "b")
        return elementText(value) == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (type == "str" || type == "e" || type == "d")
        return elementText(value);
    bool ok = false;
    const double number = elementText(value).toDouble(&ok);
    return ok ? cellformula::numberText(number) : elementText(value);
}

QString SheetFile::cell(int index, int row, int column)
{
    const Sheet& sheet = worksheet(index);
    const Vocabulary& v = names(sheet.part);
    const std::vector<Cell> all = cells(sheet);
    for (const Cell& cell : all) {
        if (cell.row != row || cell.column != column)
            continue;
        if (cell.node.child(v.name("f")))
            return QLatin1Char('=') + formulaText(sheet, cell, all);
        return cellText(sheet, cell);
    }
    return {};
}

bool SheetFile::save()
{
    return m_package.save();
}

} // namespace ooxml

#include "CellFormula.h"
#include "SheetFile.h"
#include "SheetVocabulary.h"

// Formulas: the text of a cell of a shared group, a group split into cells of
// their own, and what makes Excel and LibreOffice compute them again.
namespace ooxml {

using markup::kRelationshipType;
using markup::localName;
using markup::rank;
using markup::setAttribute;

namespace {

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

} // namespace

QString SheetFile::formulaText(const Sheet& sheet, const Cell& cell, const std::vector<Cell>& all)
{
    const Vocabulary& v = names(sheet.part);
    const pugi::xml_node f = cell.node.child(v.name("f"));
    QString formula = elementText(f);
    if (std::string_view(f.attribute("t").value()) != "shared" || !formula.isEmpty())
        return formula;
    auto masters = m_masters.find(sheet.part);
    if (masters == m_masters.end()) {
        // The first cell of each shared group holds the formula; found once per sheet.
        std::map<std::string, Master> found;
        for (const Cell& other : all) {
            const pugi::xml_node of = other.node.child(v.name("f"));
            if (std::string_view(of.attribute("t").value()) == "shared" && of.attribute("ref") &&
                !elementText(of).isEmpty())
                found.emplace(of.attribute("si").value(), Master{of, other.row, other.column});
        }
        masters = m_masters.emplace(sheet.part, std::move(found)).first;
    }
    const auto master = masters->second.find(f.attribute("si").value());
    if (master == masters->second.end())
        return formula;
    return cellformula::shifted(elementText(master->second.formula), cell.row - master->second.row,
                                cell.column - master->second.column);
}

void SheetFile::unshare(const Sheet& sheet, const QString& group, std::vector<Cell>& all)
{
    const Vocabulary& v = names(sheet.part);
    std::vector<std::pair<pugi::xml_node, QString>> members;
    for (const Cell& cell : all) {
        const pugi::xml_node f = cell.node.child(v.name("f"));
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

const QSet<QString>& SheetFile::knownNames()
{
    if (!m_knownRead) {
        for (const Sheet& sheet : std::as_const(m_sheets))
            m_known.insert(sheet.name.toUpper());
        const Vocabulary& v = names(m_workbookPart);
        const pugi::xml_node defined = package().xml(m_workbookPart).root().child(v.name("definedNames"));
        for (const pugi::xml_node name : defined.children(v.name("definedName")))
            m_known.insert(QString::fromUtf8(name.attribute("name").value()).toUpper());
        m_knownRead = true;
    }
    return m_known;
}

void SheetFile::calculateOnLoad()
{
    // Excel and LibreOffice compute the formulas again when they open the book:
    // a formula changed, or a value some formula may read.
    XmlPart& workbook = package().xml(m_workbookPart);
    const Vocabulary& v = names(m_workbookPart);
    pugi::xml_node root = workbook.root();
    pugi::xml_node calc = root.child(v.name("calcPr"));
    if (sheetml::isTrue(calc.attribute("fullCalcOnLoad").value()))
        return;
    if (!calc) {
        const size_t wanted = rank("calcPr", kWorkbookOrder);
        for (const pugi::xml_node child : root.children()) {
            if (child.type() == pugi::node_element && rank(localName(child), kWorkbookOrder) > wanted) {
                calc = root.insert_child_before(v.name("calcPr"), child);
                break;
            }
        }
        if (!calc)
            calc = root.append_child(v.name("calcPr"));
    }
    setAttribute(calc, "fullCalcOnLoad", "1");
    workbook.touch();
}

void SheetFile::dropCalculationChain()
{
    // The chain names formula cells; Excel rebuilds it when it is missing, and repairs a book whose chain is
    // wrong.
    for (const Relationship& relationship : package().relationships(m_workbookPart)) {
        if (relationship.type == kRelationshipType + QStringLiteral("calcChain") && !relationship.external)
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
            const pugi::xml_node data = sheetXml(sheet).root().child(v.name("sheetData"));
            if (data.find_node([&](pugi::xml_node node) { return v.is(node, "f"); }))
                m_formulas = 1;
        }
    }
    return m_formulas == 1;
}

} // namespace ooxml

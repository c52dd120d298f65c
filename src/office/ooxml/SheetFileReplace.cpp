#include "CellFormula.h"
#include "SheetFile.h"
#include "SheetVocabulary.h"

// Excel's Cells.Find and Cells.Replace: part of a cell, any letter case, on a
// formula's text or a constant's value.
namespace ooxml {

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
        const pugi::xml_node f = cell.node.child(v.name("f"));
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
        const pugi::xml_node f = cell.node.child(v.name("f"));
        const std::string_view type = cell.node.attribute("t").value();
        if (f) {
            const std::string_view formulaType = f.attribute("t").value();
            if (formulaType == "array" || formulaType == "dataTable")
                continue; // Excel changes no part of an array
            const QString before = QLatin1Char('=') + formulaText(sheet, cell, all);
            const QString after = replaced(before);
            if (after == before)
                continue;
            // A formula the replace would break keeps its text, its group and its value.
            if (after.startsWith(QLatin1Char('=')) && after.size() > 1 &&
                !cellformula::stillReads(before.mid(1), after.mid(1), knownNames()))
                continue;
            checkUnprotected(sheet);
            if (formulaType == "shared")
                unshare(sheet, QString::fromUtf8(f.attribute("si").value()), all);
            if (after.startsWith(QLatin1Char('=')) && after.size() > 1) {
                pugi::xml_node formula = cell.node.child(v.name("f"));
                setElementText(formula, after.mid(1));
                cell.node.remove_child(v.name("v"));
                cell.node.remove_attribute("t");
                formulaEdited = true;
            } else {
                writeEntry(sheet, cell, after);
                formulaRemoved = true;
            }
        } else if (type == "s") {
            const int item = elementText(cell.node.child(v.name("v"))).toInt();
            const QString before = stringText(stringItem(item));
            if (replaced(before) == before)
                continue;
            sharedCells[item].push_back(i);
            continue; // counted below, per string
        } else if (type == "inlineStr") {
            std::vector<Piece> pieces;
            v.collect(cell.node.child(v.name("is")), pieces);
            if (replaced(joined(pieces)) == joined(pieces))
                continue;
            checkUnprotected(sheet);
            replaceAll(pieces, what, replacement, v.runs);
        } else if (((type.empty() || type == "n") && cell.node.child(v.name("v")) &&
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
                setElementText(all[holder].node.child(v.name("v")), QString::number(copy));
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

} // namespace ooxml

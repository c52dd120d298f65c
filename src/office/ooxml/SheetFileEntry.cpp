#include "CellFormula.h"
#include "SheetFile.h"
#include "SheetVocabulary.h"
#include "app/RuntimeError.h"

#include <QLocale>

// Writing a cell as Excel takes a typed entry, and what follows from it: the
// row and the used range that hold the cell, shared strings no cell holds any
// more, the names of a table's columns.
namespace ooxml {

using markup::kRelationshipType;
using markup::setAttribute;

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
        const pugi::xml_node f = cell.node.child(v.name("f"));
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
    pugi::xml_node data = xml.root().child(v.name("sheetData"));
    int previous = 0;
    for (pugi::xml_node rowNode : data.children(v.name("row"))) {
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
        for (pugi::xml_node candidate : data.children(v.name("row"))) {
            const int r = candidate.attribute("r").as_int();
            if (r == row)
                rowNode = candidate;
            if (r > row && !rowNode) {
                before = candidate;
                break;
            }
        }
        if (!rowNode) {
            rowNode =
                before ? data.insert_child_before(v.name("row"), before) : data.append_child(v.name("row"));
            rowNode.append_attribute("r") = row;
        }
        pugi::xml_node next;
        for (pugi::xml_node c : rowNode.children(v.name("c"))) {
            int r = 0;
            int col = 0;
            if (cellformula::parseAddress(QString::fromLatin1(c.attribute("r").value()), r, col) &&
                col > column) {
                next = c;
                break;
            }
        }
        pugi::xml_node ext = rowNode.child(v.name("extLst"));
        target.node = next  ? rowNode.insert_child_before(v.name("c"), next)
                      : ext ? rowNode.insert_child_before(v.name("c"), ext)
                            : rowNode.append_child(v.name("c"));
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
        pugi::xml_node dimension = xml.root().child(v.name("dimension"));
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

    const pugi::xml_node f = target.node.child(v.name("f"));
    const bool hadFormula = bool(f);
    if (std::string_view(f.attribute("t").value()) == "shared" && f.attribute("ref"))
        unshare(sheet, QString::fromUtf8(f.attribute("si").value()), all);
    writeEntry(sheet, target, entry);
    const bool isFormula = bool(target.node.child(v.name("f")));
    xml.touch();
    if (hadFormula || isFormula)
        dropCalculationChain();
    if (isFormula || hasFormulas())
        calculateOnLoad();
    renameTableColumns(sheet, {{row, column}});
}

void SheetFile::writeEntry(const Sheet& sheet, Cell& cell, const QString& entry)
{
    const Vocabulary& v = names(sheet.part);
    pugi::xml_node c = cell.node;
    int oldString = -1;
    if (std::string_view(c.attribute("t").value()) == "s")
        oldString = elementText(c.child(v.name("v"))).toInt();
    // Counted before this cell changes.
    std::vector<int>* references = strings() ? &stringReferences() : nullptr;
    for (const char* child : {"f", "v", "is"})
        c.remove_child(v.name(child));
    c.remove_attribute("t");
    if (references && oldString >= 0 && size_t(oldString) < references->size())
        --(*references)[size_t(oldString)];

    const pugi::xml_node ext = c.child(v.name("extLst"));
    const auto add = [&](const char* local) {
        return ext ? c.insert_child_before(v.name(local), ext) : c.append_child(v.name(local));
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
            setElementText(add("is").append_child(v.name("t")), plain);
        } else {
            const int index = holdString(plain, oldString);
            c.append_attribute("t") = "s";
            setElementText(add("v"), QString::number(index));
        }
    }
    // A string no cell holds keeps no text that was replaced or overwritten.
    if (references && oldString >= 0 && size_t(oldString) < references->size() &&
        (*references)[size_t(oldString)] == 0) {
        if (!stringText(stringItem(oldString)).isEmpty())
            emptyString(oldString);
    }
}

void SheetFile::renameTableColumns(const Sheet& sheet, const QSet<QPair<int, int>>& changed)
{
    if (changed.isEmpty())
        return;
    const std::vector<Cell> all = cells(sheet);
    for (const Relationship& relationship : package().relationships(sheet.part)) {
        if (relationship.type != kRelationshipType + QStringLiteral("table") || relationship.external ||
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
        for (pugi::xml_node column : root.child(tv.name("tableColumns")).children(tv.name("tableColumn"))) {
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

} // namespace ooxml

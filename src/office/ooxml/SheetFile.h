#pragma once

#include "Markup.h"

#include <QList>
#include <QSet>
#include <QString>
#include <map>
#include <memory>
#include <vector>

namespace ooxml {

// A .xlsx or .xlsm edited in its XML: the sheets in the workbook's order,
// Excel's Cells.Find and Cells.Replace (part of a cell, any letter case, on
// what Excel searches: a formula's text, a constant's value; not a pivot
// table's cells, not an array, not a date, whose text depends on the locale)
// and writing a cell as Excel takes typed input. A shared string that changes is split off
// when cells of other sheets still hold it; rich text keeps its runs.
class SheetFile final
{
public:
    // Declined: another kind of package. RuntimeError: damaged or unsafe, or
    // in the Strict vocabulary (which no engine here edits without loss).
    explicit SheetFile(QString path, Limits limits = {});
    ~SheetFile();

    // Every sheet (chart sheets too), and the worksheets among them; 0-based.
    int sheetCount();
    int worksheetCount();
    QString worksheetName(int worksheet);

    bool find(int worksheet, const QString& text);
    int replace(int worksheet, const QString& what, const QString& replacement);
    // Cells(row, column) = text, 1-based, as Excel takes a typed entry: a
    // formula, a number, TRUE or FALSE, else text; an empty text empties the cell.
    void setCell(int worksheet, int row, int column, const QString& text);
    // A formula with its "=", else the value as text.
    QString cell(int worksheet, int row, int column);
    // Whether the worksheet's cells are protected against change.
    bool isProtected(int worksheet);

    // Writes the changed parts in place; false when nothing changed.
    bool save();

private:
    struct Sheet
    {
        QString name;
        QString part;
        bool worksheet = false;
    };
    struct Cell;
    struct Vocabulary;

    struct Area
    {
        int top = 0;
        int left = 0;
        int bottom = 0;
        int right = 0;
    };

    // The workbook, its sheets and cells as stored.
    Package& package();
    void load(Package& package);
    const Vocabulary& names(const QString& part);
    const Sheet& worksheet(int index);
    XmlPart& sheetXml(const Sheet& sheet);
    std::vector<Cell> cells(const Sheet& sheet);
    QString cellText(const Sheet& sheet, const Cell& cell);
    bool dateStyle(int style);
    bool isProtected(const Sheet& sheet);
    void checkUnprotected(const Sheet& sheet);
    const std::vector<Area>& pivotAreas(const Sheet& sheet);
    bool inPivotTable(const Sheet& sheet, int row, int column);

    // Shared strings.
    XmlPart* strings();
    pugi::xml_node stringItem(int index);
    QString stringText(pugi::xml_node item);
    std::vector<int>& stringReferences();
    int appendString(pugi::xml_node copyOf, const QString& plain);
    // The shared string a cell's new text goes to, counted for that cell: one
    // that other cells hold with the same text, else the cell's old string
    // when no cell holds it any more, else a new one.
    int holdString(const QString& plain, int oldString);
    // Empties a string item down to one empty text element, which it returns.
    pugi::xml_node emptyString(int index);

    // Writing a cell.
    void writeEntry(const Sheet& sheet, Cell& cell, const QString& text);
    void renameTableColumns(const Sheet& sheet, const QSet<QPair<int, int>>& changed);

    // Formulas.
    QString formulaText(const Sheet& sheet, const Cell& cell, const std::vector<Cell>& all);
    void unshare(const Sheet& sheet, const QString& group, std::vector<Cell>& all);
    void calculateOnLoad();
    void dropCalculationChain();
    bool hasFormulas();
    // The sheets' and the defined names, upper case: what a formula may name besides references.
    const QSet<QString>& knownNames();

    markup::LazyPackage m_package;
    QString m_workbookPart;
    QList<Sheet> m_sheets;
    std::map<QString, std::unique_ptr<Vocabulary>> m_names;
    QString m_stringsPart;
    QString m_stylesPart;
    std::vector<int> m_references; // per shared string: the cells of every sheet that hold it
    bool m_counted = false;
    std::vector<int> m_dateStyles; // per cell style: 1 date or time, 0 not, -1 not known yet
    bool m_stylesRead = false;
    int m_formulas = -1;                 // whether any worksheet holds a formula; -1 not known yet
    std::vector<pugi::xml_node> m_items; // the shared strings, by index
    bool m_itemsRead = false;
    struct Master
    {
        pugi::xml_node formula;
        int row = 0;
        int column = 0;
    };
    std::map<QString, std::map<std::string, Master>>
        m_masters; // per sheet part: shared group -> its first cell
    std::map<QString, std::vector<Area>> m_pivots;
    QSet<QString> m_known;
    bool m_knownRead = false;
};

} // namespace ooxml

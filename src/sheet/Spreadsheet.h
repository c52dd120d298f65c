#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

// The spreadsheet program as the workbook jobs and probes drive it: the members
// of Excel's object model that they call, with Excel's meaning. Engines:
// Microsoft Excel and WPS over COM, LibreOffice Calc over UNO, and an in-memory
// double for tests. Every call may throw RuntimeError.
namespace sheet {

// Cells.Replace LookAt:=xlPart, SearchOrder:=xlByRows.
inline constexpr qint16 kLookAtPart = 2;
inline constexpr qint16 kSearchByRows = 1;

class Worksheet
{
public:
    virtual ~Worksheet() = default;
    virtual QString name() = 0;
    // Cells.Find What:=text: whether any cell holds the text (any part, any case).
    virtual bool cellsFind(const QString& text) = 0;
    // Cells.Replace What:=, Replacement:=, LookAt:=2, SearchOrder:=1,
    // MatchCase:=False, SearchFormat:=False, ReplaceFormat:=False.
    virtual void cellsReplace(const QString& what, const QString& replacement) = 0;
    // Cells(row, column) = text, 1-based.
    virtual void setCell(int row, int column, const QString& text) = 0;
    // The cell's content as text, for checks.
    virtual QString cell(int row, int column) = 0;
    // Rows.Count and Columns.Count: the cells the sheet has in the workbook's
    // format (65,536 rows and 256 columns in an .xls).
    virtual int rowsCount() = 0;
    virtual int columnsCount() = 0;
    // ProtectContents: the sheet is protected, its cells are not to be written.
    virtual bool protectContents() = 0;
};
using WorksheetPtr = std::shared_ptr<Worksheet>;

class Workbook
{
public:
    virtual ~Workbook() = default;
    virtual QString fullName() = 0;
    virtual int worksheetsCount() = 0;
    // Sheets(index).Activate, from 1.
    virtual void sheetsActivate(int index) = 0;
    // Worksheets(index), from 1.
    virtual WorksheetPtr worksheets(int index) = 0;
    // Close SaveChanges: true saves in place first.
    virtual void close(bool saveChanges) = 0;
};
using WorkbookPtr = std::shared_ptr<Workbook>;

class Application
{
public:
    virtual ~Application() = default;
    virtual void setVisible(bool visible) = 0;
    // The application's default value (its name); empty when it cannot be driven.
    virtual QString defaultValue() = 0;
    virtual QString version() = 0;
    // The program answering in place of the one the identifier names ("LibreOffice"
    // for "Excel.Application" without Excel); empty when that program answers itself.
    virtual QString standIn() { return {}; }
    virtual WorkbookPtr workbooksOpen(const QString& path) = 0;
    virtual QList<WorkbookPtr> workbooks() = 0;
    virtual void quit() = 0;
};
using ApplicationPtr = std::unique_ptr<Application>;

// Creates spreadsheet instances by program identifier ("excel.application",
// "ET.Application" ...), without regard to letter case.
class Factory
{
public:
    virtual ~Factory() = default;
    // RuntimeError CannotCreateObject (429) when the identifier names no program
    // that can be driven here.
    virtual ApplicationPtr createSpreadsheet(const QString& progId) = 0;
    // Where the engines write what the journal keeps about their own choices; set for a job's run.
    virtual void setJournal(std::function<void(const QString&)> journal) { (void)journal; }
};

// WPS spreadsheets: "ET.Application", or "KET.Application" when that one cannot be created (429).
ApplicationPtr createWps(Factory& factory);

} // namespace sheet

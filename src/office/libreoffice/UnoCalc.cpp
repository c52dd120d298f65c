#include "UnoCalc.h"

#include "Installation.h"
#include "UnoOffice.h"
#include "UnoText.h"
#include "app/DryRun.h"
#include "app/FailureText.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextField.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <com/sun/star/util/XReplaceable.hpp>
#include <com/sun/star/util/XSearchable.hpp>

namespace unooffice {

using namespace css;
using rtl::OUString;

namespace {

// Excel's defaults for Find and Replace: any part of a cell, any letter case.
void setExcelSearch(const Reference<util::XSearchDescriptor>& descriptor, const QString& text)
{
    descriptor->setSearchString(toOUString(text));
    const Reference<beans::XPropertySet> options(descriptor, uno::UNO_QUERY_THROW);
    options->setPropertyValue(OUString("SearchCaseSensitive"), uno::Any(false));
    options->setPropertyValue(OUString("SearchWords"), uno::Any(false));
    options->setPropertyValue(OUString("SearchRegularExpression"), uno::Any(false));
}

// The rows and columns a sheet keeps when stored in a format smaller than
// Calc's own sheet (0: Calc's own); cells beyond them are lost on saving.
struct FormatLimits
{
    int rows = 0;
    int columns = 0;
};

FormatLimits formatLimits(const OUString& filter)
{
    if (filter.startsWith("MS Excel 97") || filter.startsWith("MS Excel 2003 XML"))
        return {65536, 256};
    if (filter.startsWith("MS Excel") && filter.indexOf("2007") < 0)
        return {16384, 256}; // Excel 5.0/95 and older
    return {};
}

class WorksheetItem final : public ::sheet::Worksheet
{
public:
    WorksheetItem(UnoOffice& office, QString path, Reference<css::sheet::XSpreadsheetDocument> document,
                  Reference<css::sheet::XSpreadsheet> sheet, FormatLimits limits,
                  std::shared_ptr<bool> edited)
        : m_office(office)
        , m_path(std::move(path))
        , m_document(std::move(document))
        , m_sheet(std::move(sheet))
        , m_limits(limits)
        , m_edited(std::move(edited))
    {}

    QString name() override
    {
        return m_office.call([&] {
            return toQString(Reference<container::XNamed>(m_sheet, uno::UNO_QUERY_THROW)->getName());
        });
    }

    bool cellsFind(const QString& text) override
    {
        if (text.isEmpty())
            return false;
        return m_office.call([&] {
            const Reference<util::XSearchable> searchable(m_sheet, uno::UNO_QUERY_THROW);
            const Reference<util::XSearchDescriptor> descriptor = searchable->createSearchDescriptor();
            setExcelSearch(descriptor, text);
            return searchable->findFirst(descriptor).is();
        });
    }

    // Calc's own replace writes a cell back as plain text, which drops the
    // hyperlinks it holds; such cells (they are among the formatted ones) are
    // changed in place instead.
    void cellsReplace(const QString& what, const QString& replacement) override
    {
        if (what.isEmpty())
            return;
        *m_edited = true;
        const int replaced = m_office.call([&] {
            const Reference<util::XReplaceable> replaceable(m_sheet, uno::UNO_QUERY_THROW);
            const Reference<util::XReplaceDescriptor> descriptor = replaceable->createReplaceDescriptor();
            const Reference<util::XSearchDescriptor> search(descriptor, uno::UNO_QUERY_THROW);
            setExcelSearch(search, what);
            descriptor->setReplaceString(toOUString(replacement));
            const std::vector<Formula> formulas = formulasHolding(replaceable->findAll(search));
            int cells = 0;
            {
                // Formulas the replace would break are written back as they were: not replaced.
                const auto kept = qScopeGuard([&] { cells -= keepValid(formulas); });
                cells = replaceCells(replaceable, search, what, replacement);
            }
            return cells;
        });
        // A dry run tells how many cells it would replace.
        if (DryRun::active() && replaced > 0)
            DryRun::count(m_path, DryRun::Scope::Sheets, replaced);
    }

    void setCell(int row, int column, const QString& text) override
    {
        *m_edited = true;
        m_office.call([&] { cellAt(row, column)->setFormula(toOUString(text)); });
    }

    QString cell(int row, int column) override
    {
        return m_office.call([&] { return toQString(cellAt(row, column)->getFormula()); });
    }

    int rowsCount() override
    {
        const int rows = m_office.call([&] {
            return int(
                Reference<table::XColumnRowRange>(m_sheet, uno::UNO_QUERY_THROW)->getRows()->getCount());
        });
        return m_limits.rows > 0 ? std::min(rows, m_limits.rows) : rows;
    }

    int columnsCount() override
    {
        const int columns = m_office.call([&] {
            return int(
                Reference<table::XColumnRowRange>(m_sheet, uno::UNO_QUERY_THROW)->getColumns()->getCount());
        });
        return m_limits.columns > 0 ? std::min(columns, m_limits.columns) : columns;
    }

    bool protectContents() override
    {
        return m_office.call([&] {
            return bool(Reference<util::XProtectable>(m_sheet, uno::UNO_QUERY_THROW)->isProtected());
        });
    }

private:
    Reference<table::XCell> cellAt(int row, int column)
    {
        if (row < 1 || column < 1)
            throw RuntimeError(RuntimeError::ApplicationDefined,
                               RuntimeError::nameOf(RuntimeError::ApplicationDefined),
                               QStringLiteral("no cell (%1, %2)").arg(row).arg(column));
        return m_sheet->getCellByPosition(column - 1, row - 1);
    }

    // A formula cell the replace changes, as it was.
    struct Formula
    {
        Reference<table::XCell> cell;
        OUString formula;
        sal_Int32 error = 0;
    };

    // Errors of a formula that does not parse: a replace that makes one is
    // refused for that cell, as Excel refuses to enter it.
    static bool isSyntaxError(sal_Int32 error)
    {
        static const sal_Int32 kSyntax[] = {501, 504, 507, 508, 509, 510, 511, 512, 516, 517, 520, 521, 525};
        return std::find(std::begin(kSyntax), std::end(kSyntax), error) != std::end(kSyntax);
    }

    // Replaces what in the sheet's cells: the cells replaced, as Calc counts them.
    sal_Int32 replaceCells(const Reference<util::XReplaceable>& replaceable,
                           const Reference<util::XSearchDescriptor>& search, const QString& what,
                           const QString& replacement)
    {
        std::vector<table::CellAddress> linked;
        const Reference<css::sheet::XCellRangesQuery> query(m_sheet, uno::UNO_QUERY_THROW);
        const Reference<container::XEnumerationAccess> formatted(
            query->queryContentCells(css::sheet::CellFlags::FORMATTED)->getCells(), uno::UNO_QUERY_THROW);
        const Reference<container::XEnumeration> each = formatted->createEnumeration();
        while (each->hasMoreElements()) {
            const Reference<table::XCell> cell(each->nextElement(), uno::UNO_QUERY_THROW);
            if (replaceInLinkedCell(cell, what, replacement))
                linked.push_back(
                    Reference<css::sheet::XCellAddressable>(cell, uno::UNO_QUERY_THROW)->getCellAddress());
        }
        sal_Int32 cells = sal_Int32(linked.size());
        if (linked.empty())
            return replaceable->replaceAll(search);
        // The other cells that hold the text, each found area at once when it holds no linked cell.
        const Reference<container::XIndexAccess> found = replaceable->findAll(search);
        for (sal_Int32 i = 0; found.is() && i < found->getCount(); ++i) {
            const Reference<table::XCellRange> range(found->getByIndex(i), uno::UNO_QUERY_THROW);
            const table::CellRangeAddress area =
                Reference<css::sheet::XCellRangeAddressable>(range, uno::UNO_QUERY_THROW)->getRangeAddress();
            const auto inArea = [&](const table::CellAddress& cell) {
                return cell.Row >= area.StartRow && cell.Row <= area.EndRow &&
                       cell.Column >= area.StartColumn && cell.Column <= area.EndColumn;
            };
            if (std::none_of(linked.begin(), linked.end(), inArea)) {
                cells += Reference<util::XReplaceable>(range, uno::UNO_QUERY_THROW)->replaceAll(search);
                continue;
            }
            for (sal_Int32 row = area.StartRow; row <= area.EndRow; ++row) {
                for (sal_Int32 column = area.StartColumn; column <= area.EndColumn; ++column) {
                    const table::CellAddress at{area.Sheet, column, row};
                    if (!inArea(at) || std::any_of(linked.begin(), linked.end(), [&](const auto& cell) {
                            return cell.Row == row && cell.Column == column;
                        }))
                        continue;
                    cells +=
                        Reference<util::XReplaceable>(
                            range->getCellRangeByPosition(column - area.StartColumn, row - area.StartRow,
                                                          column - area.StartColumn, row - area.StartRow),
                            uno::UNO_QUERY_THROW)
                            ->replaceAll(search);
                }
            }
        }
        return cells;
    }

    // The formula cells among the cells that hold the text.
    static std::vector<Formula> formulasHolding(const Reference<container::XIndexAccess>& found)
    {
        std::vector<Formula> formulas;
        const Reference<css::sheet::XCellRangesQuery> query(found, uno::UNO_QUERY);
        if (!query.is() || found->getCount() == 0)
            return formulas;
        const Reference<container::XEnumeration> each =
            Reference<container::XEnumerationAccess>(
                query->queryContentCells(css::sheet::CellFlags::FORMULA)->getCells(), uno::UNO_QUERY_THROW)
                ->createEnumeration();
        while (each->hasMoreElements()) {
            const Reference<table::XCell> cell(each->nextElement(), uno::UNO_QUERY_THROW);
            formulas.push_back({cell, cell->getFormula(), cell->getError()});
        }
        return formulas;
    }

    // The formulas written back.
    static int keepValid(const std::vector<Formula>& formulas)
    {
        int kept = 0;
        for (const Formula& formula : formulas) {
            if (isSyntaxError(formula.cell->getError()) && !isSyntaxError(formula.error)) {
                formula.cell->setFormula(formula.formula);
                ++kept;
            }
        }
        return kept;
    }

    // A cell with hyperlinks (text fields) that holds the text: its plain text
    // is replaced in place, each hyperlink's shown text by a hyperlink to the
    // same address. False for any other cell, which Calc's replace handles.
    bool replaceInLinkedCell(const Reference<table::XCell>& cell, const QString& what,
                             const QString& replacement)
    {
        const Reference<text::XTextFieldsSupplier> fields(cell, uno::UNO_QUERY);
        if (!fields.is() || !fields->getTextFields()->createEnumeration()->hasMoreElements())
            return false;
        const Reference<text::XText> text(cell, uno::UNO_QUERY_THROW);
        if (!toQString(text->getString()).contains(what, Qt::CaseInsensitive))
            return false; // nothing to change: Calc's replace passes it by
        replaceInText(text, what, replacement);
        const Reference<lang::XMultiServiceFactory> factory(m_document, uno::UNO_QUERY_THROW);
        const Reference<container::XEnumerationAccess> paragraphs(text, uno::UNO_QUERY_THROW);
        const Reference<container::XEnumeration> eachParagraph = paragraphs->createEnumeration();
        while (eachParagraph->hasMoreElements()) {
            const Reference<container::XEnumerationAccess> portions(eachParagraph->nextElement(),
                                                                    uno::UNO_QUERY_THROW);
            std::vector<Reference<text::XTextRange>> linked;
            const Reference<container::XEnumeration> eachPortion = portions->createEnumeration();
            while (eachPortion->hasMoreElements()) {
                const Reference<beans::XPropertySet> portion(eachPortion->nextElement(),
                                                             uno::UNO_QUERY_THROW);
                OUString type;
                portion->getPropertyValue(OUString("TextPortionType")) >>= type;
                if (type == "TextField")
                    linked.emplace_back(portion, uno::UNO_QUERY_THROW);
            }
            for (const Reference<text::XTextRange>& portion : linked) {
                const Reference<beans::XPropertySet> field(
                    Reference<beans::XPropertySet>(portion, uno::UNO_QUERY_THROW)
                        ->getPropertyValue(OUString("TextField")),
                    uno::UNO_QUERY);
                OUString shown;
                if (!field.is() || !(field->getPropertyValue(OUString("Representation")) >>= shown))
                    continue;
                const QString before = toQString(shown);
                QString after = before;
                after.replace(what, replacement, Qt::CaseInsensitive);
                if (after == before)
                    continue;
                const Reference<beans::XPropertySet> link(
                    factory->createInstance(OUString("com.sun.star.text.TextField.URL")),
                    uno::UNO_QUERY_THROW);
                for (const char* name : {"URL", "TargetFrame"})
                    link->setPropertyValue(OUString::createFromAscii(name),
                                           field->getPropertyValue(OUString::createFromAscii(name)));
                link->setPropertyValue(OUString("Representation"), uno::Any(toOUString(after)));
                text->insertTextContent(
                    Reference<text::XTextRange>(text->createTextCursorByRange(portion).get()),
                    Reference<text::XTextContent>(link, uno::UNO_QUERY_THROW), true);
            }
        }
        return true;
    }

    UnoOffice& m_office;
    QString m_path;
    Reference<css::sheet::XSpreadsheetDocument> m_document;
    Reference<css::sheet::XSpreadsheet> m_sheet;
    FormatLimits m_limits;
    std::shared_ptr<bool> m_edited;
};

class WorkbookItem final : public ::sheet::Workbook
{
public:
    WorkbookItem(UnoOffice& office, QString path, Reference<css::sheet::XSpreadsheetDocument> document)
        : m_office(office)
        , m_path(std::move(path))
        , m_document(std::move(document))
    {}

    QString fullName() override { return m_path; }
    bool isOpen() const { return m_document.is(); }

    int worksheetsCount() override
    {
        return m_office.call([&] { return static_cast<int>(sheets()->getCount()); });
    }

    void sheetsActivate(int index) override
    {
        m_office.call([&] {
            const Reference<frame::XModel> model(live(), uno::UNO_QUERY_THROW);
            const Reference<css::sheet::XSpreadsheetView> view(model->getCurrentController(), uno::UNO_QUERY);
            if (view.is())
                view->setActiveSheet(sheetAt(index));
        });
    }

    ::sheet::WorksheetPtr worksheets(int index) override
    {
        return m_office.call([&] {
            OUString filter;
            for (const beans::PropertyValue& argument :
                 Reference<frame::XModel>(live(), uno::UNO_QUERY_THROW)->getArgs()) {
                if (argument.Name == "FilterName")
                    argument.Value >>= filter;
            }
            return std::make_shared<WorksheetItem>(m_office, m_path, m_document, sheetAt(index),
                                                   formatLimits(filter), m_edited);
        });
    }

    // As Excel's Close True: a workbook without changes is not written at
    // all, so the file keeps its bytes and its time. Only a replace or a cell
    // written is a change: Calc also marks a workbook modified when a sheet is
    // shown (its row heights fitted, its view settings, some of it later, while
    // idle), which Excel does not.
    void close(bool saveChanges) override
    {
        const Reference<css::sheet::XSpreadsheetDocument> document = live();
        try {
            // A dry run counted what it would replace: the file stays as it is.
            if (saveChanges && *m_edited && !DryRun::active())
                m_office.store(document, m_path);
        } catch (const RuntimeError& error) {
            if (QFileInfo::exists(m_path) && !QFileInfo(m_path).isWritable())
                throw RuntimeError(RuntimeError::PermissionDenied, FailureText::readOnly(), error.detail());
            throw;
        }
        m_document.clear();
        m_office.close(document, m_generation, m_path);
    }

    void discard()
    {
        if (!m_document.is())
            return;
        const Reference<css::sheet::XSpreadsheetDocument> document = m_document;
        m_document.clear();
        m_office.close(document, m_generation, m_path);
    }

private:
    const Reference<css::sheet::XSpreadsheetDocument>& live() const
    {
        if (!m_document.is())
            throw RuntimeError(RuntimeError::ApplicationDefined,
                               RuntimeError::nameOf(RuntimeError::ApplicationDefined),
                               QStringLiteral("the workbook is closed"));
        return m_document;
    }
    Reference<container::XIndexAccess> sheets() const
    {
        return Reference<container::XIndexAccess>(live()->getSheets(), uno::UNO_QUERY_THROW);
    }
    Reference<css::sheet::XSpreadsheet> sheetAt(int index) const
    {
        const Reference<container::XIndexAccess> all = sheets();
        if (index < 1 || index > all->getCount())
            throw RuntimeError(RuntimeError::SubscriptOutOfRange,
                               RuntimeError::nameOf(RuntimeError::SubscriptOutOfRange),
                               QStringLiteral("worksheet %1").arg(index));
        return Reference<css::sheet::XSpreadsheet>(all->getByIndex(index - 1), uno::UNO_QUERY_THROW);
    }

    UnoOffice& m_office;
    int m_generation = m_office.generation();
    QString m_path;
    Reference<css::sheet::XSpreadsheetDocument> m_document;
    std::shared_ptr<bool> m_edited = std::make_shared<bool>(false);
};

class Calc final : public ::sheet::Application
{
public:
    void setVisible(bool) override {}
    QString defaultValue() override { return QStringLiteral("LibreOffice Calc"); }
    QString version() override
    {
        return LibreOfficeInstallation::version(LibreOfficeInstallation::programFolder());
    }
    QString standIn() override { return QStringLiteral("LibreOffice"); }

    ::sheet::WorkbookPtr workbooksOpen(const QString& path) override
    {
        const Reference<lang::XComponent> component = m_office.load(path, DocumentKind::Spreadsheet);
        const Reference<css::sheet::XSpreadsheetDocument> document = m_office.call(
            [&] { return Reference<css::sheet::XSpreadsheetDocument>(component, uno::UNO_QUERY); });
        if (!document.is()) {
            m_office.close(component, m_office.generation(), path);
            throw RuntimeError(RuntimeError::PathFileAccess, FailureText::notWorkbook());
        }
        auto item = std::make_shared<WorkbookItem>(m_office, path, document);
        m_workbooks.append(item);
        return item;
    }

    QList<::sheet::WorkbookPtr> workbooks() override
    {
        QList<::sheet::WorkbookPtr> open;
        for (const auto& workbook : std::as_const(m_workbooks)) {
            if (workbook->isOpen())
                open.append(workbook);
        }
        return open;
    }

    void quit() override
    {
        for (const auto& workbook : std::as_const(m_workbooks)) {
            try {
                workbook->discard();
            } catch (...) {
            }
        }
        m_workbooks.clear();
        m_office.terminate();
    }

    ~Calc() override
    {
        try {
            quit();
        } catch (...) {
        }
    }

private:
    UnoOffice m_office;
    QList<std::shared_ptr<WorkbookItem>> m_workbooks;
};

} // namespace

::sheet::ApplicationPtr createCalc()
{
    return std::make_unique<Calc>();
}

} // namespace unooffice

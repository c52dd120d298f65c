#include "UnoCalc.h"

#include "Installation.h"
#include "UnoOffice.h"

#include <algorithm>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
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
    WorksheetItem(UnoOffice& office, Reference<css::sheet::XSpreadsheet> sheet, FormatLimits limits)
        : m_office(office)
        , m_sheet(std::move(sheet))
        , m_limits(limits)
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

    void cellsReplace(const QString& what, const QString& replacement) override
    {
        if (what.isEmpty())
            return;
        m_office.call([&] {
            const Reference<util::XReplaceable> replaceable(m_sheet, uno::UNO_QUERY_THROW);
            const Reference<util::XReplaceDescriptor> descriptor = replaceable->createReplaceDescriptor();
            const Reference<util::XSearchDescriptor> search(descriptor, uno::UNO_QUERY_THROW);
            setExcelSearch(search, what);
            descriptor->setReplaceString(toOUString(replacement));
            replaceable->replaceAll(search);
        });
    }

    void setCell(int row, int column, const QString& text) override
    {
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
            throw RuntimeError(
                1004,
                QStringLiteral("应用程序定义或对象定义错误：单元格(%1, %2)不存在").arg(row).arg(column));
        return m_sheet->getCellByPosition(column - 1, row - 1);
    }

    UnoOffice& m_office;
    Reference<css::sheet::XSpreadsheet> m_sheet;
    FormatLimits m_limits;
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
            return std::make_shared<WorksheetItem>(m_office, sheetAt(index), formatLimits(filter));
        });
    }

    void close(bool saveChanges) override
    {
        const Reference<css::sheet::XSpreadsheetDocument> document = live();
        m_office.call([&] {
            if (saveChanges)
                Reference<frame::XStorable>(document, uno::UNO_QUERY_THROW)->store();
        });
        m_document.clear();
        m_office.call([&] { Reference<util::XCloseable>(document, uno::UNO_QUERY_THROW)->close(true); });
    }

    void discard()
    {
        if (!m_document.is())
            return;
        const Reference<css::sheet::XSpreadsheetDocument> document = m_document;
        m_document.clear();
        m_office.call([&] { Reference<util::XCloseable>(document, uno::UNO_QUERY_THROW)->close(true); });
    }

private:
    const Reference<css::sheet::XSpreadsheetDocument>& live() const
    {
        if (!m_document.is())
            throw RuntimeError(1004, QStringLiteral("工作簿已关闭"));
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
            throw RuntimeError(9, QStringLiteral("下标越界：工作表 %1").arg(index));
        return Reference<css::sheet::XSpreadsheet>(all->getByIndex(index - 1), uno::UNO_QUERY_THROW);
    }

    UnoOffice& m_office;
    QString m_path;
    Reference<css::sheet::XSpreadsheetDocument> m_document;
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
        const Reference<lang::XComponent> component = m_office.load(path);
        const Reference<css::sheet::XSpreadsheetDocument> document(component, uno::UNO_QUERY);
        if (!document.is()) {
            m_office.call([&] { Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true); });
            throw RuntimeError(1004, QStringLiteral("不是电子表格：") + path);
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
            } catch (const RuntimeError&) {
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

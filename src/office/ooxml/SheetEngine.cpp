#include "SheetEngine.h"

#include "Refusal.h"
#include "SheetFile.h"
#include "app/DryRun.h"

#include <QFileInfo>

namespace ooxml {

namespace {

class WorkbookItem final : public sheet::Workbook
{
public:
    WorkbookItem(QString path, std::unique_ptr<SheetFile> file)
        : m_path(std::move(path))
        , m_file(std::move(file))
    {}

    SheetFile& file()
    {
        if (!m_file)
            throw RuntimeError(RuntimeError::ApplicationDefined, QStringLiteral("工作簿已关闭"));
        return *m_file;
    }
    bool isOpen() const { return m_file != nullptr; }
    void setSelf(const std::weak_ptr<WorkbookItem>& self) { m_self = self; }

    QString fullName() override { return m_path; }
    int worksheetsCount() override { return file().worksheetCount(); }
    void sheetsActivate(int index) override
    {
        // Which sheet is active is the view's, not the book's content: nothing to write.
        if (index < 1 || index > file().sheetCount())
            throw RuntimeError(RuntimeError::SubscriptOutOfRange,
                               RuntimeError::nameOf(RuntimeError::SubscriptOutOfRange),
                               QStringLiteral("sheet %1").arg(index));
    }
    sheet::WorksheetPtr worksheets(int index) override;
    void close(bool saveChanges) override
    {
        // A dry run counted what it would replace; the file stays as it is.
        if (saveChanges && !DryRun::active())
            file().save();
        m_file.reset();
    }

private:
    QString m_path;
    std::unique_ptr<SheetFile> m_file;
    std::weak_ptr<WorkbookItem> m_self;
};

class WorksheetItem final : public sheet::Worksheet
{
public:
    WorksheetItem(std::shared_ptr<WorkbookItem> workbook, int index)
        : m_workbook(std::move(workbook))
        , m_index(index)
    {}
    QString name() override { return m_workbook->file().worksheetName(m_index); }
    bool cellsFind(const QString& text) override { return m_workbook->file().find(m_index, text); }
    void cellsReplace(const QString& what, const QString& replacement) override
    {
        const int replaced = m_workbook->file().replace(m_index, what, replacement);
        if (DryRun::active())
            DryRun::count(m_workbook->fullName(), DryRun::Scope::Sheets, replaced);
    }
    void setCell(int row, int column, const QString& text) override
    {
        m_workbook->file().setCell(m_index, row, column, text);
    }
    QString cell(int row, int column) override { return m_workbook->file().cell(m_index, row, column); }
    // The grid of the Office Open XML formats: 1,048,576 rows of 16,384 columns.
    int rowsCount() override { return 1048576; }
    int columnsCount() override { return 16384; }
    bool protectContents() override { return m_workbook->file().isProtected(m_index); }

private:
    std::shared_ptr<WorkbookItem> m_workbook;
    int m_index;
};

sheet::WorksheetPtr WorkbookItem::worksheets(int index)
{
    if (index < 1 || index > file().worksheetCount())
        throw RuntimeError(RuntimeError::SubscriptOutOfRange,
                           RuntimeError::nameOf(RuntimeError::SubscriptOutOfRange),
                           QStringLiteral("worksheet %1").arg(index));
    return std::make_shared<WorksheetItem>(m_self.lock(), index - 1);
}

class Calc final : public sheet::Application
{
public:
    void setVisible(bool) override {}
    QString defaultValue() override { return QStringLiteral("OOXML"); }
    QString version() override { return QStringLiteral("1.0"); }
    QString standIn() override { return QStringLiteral("内置无损引擎（仅处理.docx和.xlsx）"); }

    sheet::WorkbookPtr workbooksOpen(const QString& path) override
    {
        auto workbook = std::make_shared<WorkbookItem>(path, std::make_unique<SheetFile>(path));
        workbook->setSelf(workbook);
        m_workbooks.append(workbook);
        return workbook;
    }

    QList<sheet::WorkbookPtr> workbooks() override
    {
        QList<sheet::WorkbookPtr> open;
        for (const auto& workbook : std::as_const(m_workbooks)) {
            if (workbook->isOpen())
                open.append(workbook);
        }
        return open;
    }

    void quit() override
    {
        for (const auto& workbook : std::as_const(m_workbooks))
            workbook->close(false);
        m_workbooks.clear();
    }

private:
    QList<std::shared_ptr<WorkbookItem>> m_workbooks;
};

class RoutedCalc final : public sheet::Application
{
public:
    RoutedCalc(std::function<sheet::ApplicationPtr()> fallback, Notes notes)
        : m_createFallback(std::move(fallback))
        , m_notes(std::move(notes))
    {}

    void setVisible(bool visible) override
    {
        if (m_fallback)
            m_fallback->setVisible(visible);
    }
    QString defaultValue() override
    {
        return m_createFallback ? fallback().defaultValue() : m_lossless->defaultValue();
    }
    QString version() override { return m_createFallback ? fallback().version() : m_lossless->version(); }
    QString standIn() override { return m_createFallback ? fallback().standIn() : m_lossless->standIn(); }

    sheet::WorkbookPtr workbooksOpen(const QString& path) override
    {
        QString declined = QStringLiteral("不是 .xlsx 或 .xlsm 文件");
        if (takesWorkbook(path)) {
            try {
                return m_lossless->workbooksOpen(path);
            } catch (const Declined& why) {
                if (!m_createFallback)
                    throw refusal::cannotEdit(why);
                declined = why.reason();
                if (m_notes)
                    m_notes(path + QStringLiteral(" 交由 LibreOffice 处理：") + declined);
            }
        }
        if (!m_createFallback)
            throw refusal::cannotEdit(Declined(declined));
        return fallback().workbooksOpen(path);
    }

    QList<sheet::WorkbookPtr> workbooks() override
    {
        QList<sheet::WorkbookPtr> all = m_lossless->workbooks();
        if (m_fallback)
            all << m_fallback->workbooks();
        return all;
    }

    void quit() override
    {
        m_lossless->quit();
        if (m_fallback)
            m_fallback->quit();
    }

private:
    sheet::Application& fallback()
    {
        if (!m_fallback)
            m_fallback = m_createFallback();
        return *m_fallback;
    }

    std::function<sheet::ApplicationPtr()> m_createFallback;
    Notes m_notes;
    sheet::ApplicationPtr m_lossless = createSpreadsheet();
    sheet::ApplicationPtr m_fallback;
};

} // namespace

sheet::ApplicationPtr createSpreadsheet()
{
    return std::make_unique<Calc>();
}

bool takesWorkbook(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("xlsx") || suffix == QLatin1String("xlsm");
}

sheet::ApplicationPtr routedSpreadsheet(std::function<sheet::ApplicationPtr()> fallback, Notes notes)
{
    return std::make_unique<RoutedCalc>(std::move(fallback), std::move(notes));
}

} // namespace ooxml

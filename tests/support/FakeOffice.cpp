#include "FakeOffice.h"

#include "app/RuntimeError.h"

#include <algorithm>
#include <stdexcept>

namespace {

using Story = FakeOffice::Story;

// What a wrapper below stands on: a part of a "file" in the maps.
template <class T> struct On
{
    explicit On(T* item)
        : of(item)
    {}
    T* of;
};

// A story as a range, and as the text box that holds it.
class FakeRange final : public word::Range, public word::Shape, On<Story>
{
public:
    using On::On;
    bool findExecute(const QString& text) override
    {
        return !text.isEmpty() && of->text.contains(text, Qt::CaseInsensitive);
    }
    void replaceAll(const QString& findText, const QString& replaceWith) override
    {
        if (!findText.isEmpty())
            of->text.replace(findText, replaceWith, Qt::CaseInsensitive);
    }
    void Delete() override { of->text.clear(); }
    QString text() override { return of->text; }
    word::RangePtr textFrameTextRange() override { return std::make_shared<FakeRange>(of); }
};

// Each item of a list behind the interface its Fake gives it.
template <class Fake, class Ptr, class Item> QList<Ptr> wrap(QList<Item>& items)
{
    QList<Ptr> list;
    for (Item& item : items)
        list.append(std::make_shared<Fake>(&item));
    return list;
}

class FakeHeaderFooter final : public word::HeaderFooter, On<FakeOffice::HeaderFooter>
{
public:
    using On::On;
    word::RangePtr range() override { return std::make_shared<FakeRange>(&of->range); }
    QList<word::ShapePtr> shapes() override { return wrap<FakeRange, word::ShapePtr>(of->shapes); }
};

class FakeSection final : public word::Section, On<FakeOffice::Section>
{
public:
    using On::On;
    word::HeaderFooterPtr headers(qint16 index) override { return part(&of->header, index); }
    word::HeaderFooterPtr footers(qint16 index) override { return part(&of->footer, index); }

private:
    static word::HeaderFooterPtr part(FakeOffice::HeaderFooter* part, qint16 index)
    {
        if (index != 1)
            throw RuntimeError(5, QStringLiteral("only the primary header or footer"));
        return std::make_shared<FakeHeaderFooter>(part);
    }
};

// An open document: a working copy that save() writes back to the "file".
class FakeDocument final : public word::Document
{
public:
    FakeDocument(FakeOffice& office, QString path)
        : copy(office.documents.value(path))
        , m_office(office)
        , m_path(std::move(path))
    {}
    FakeOffice::DocumentFile copy;
    QString fullName() override { return m_path; }
    word::RangePtr content() override { return std::make_shared<FakeRange>(&copy.body); }
    QList<word::ShapePtr> shapes() override { return wrap<FakeRange, word::ShapePtr>(copy.shapes); }
    QList<word::SectionPtr> sections() override { return wrap<FakeSection, word::SectionPtr>(copy.sections); }
    void save() override
    {
        m_office.calls << "save " + m_path;
        if (copy.failSave)
            throw RuntimeError(75, QStringLiteral("只读文件，无法保存"));
        ++copy.saves;
        m_office.documents[m_path] = copy;
    }
    void close() override { m_office.calls << "close " + m_path; }

private:
    FakeOffice& m_office;
    QString m_path;
};

// What the word processor's view and selection stand on: the story the view shows and
// the place in it where typing goes.
struct View
{
    FakeOffice& office;
    std::shared_ptr<FakeDocument> active;
    Story* story = nullptr;
    qsizetype cursor = 0;

    void type(const QString& text)
    {
        story->text.insert(cursor, text);
        cursor += text.size();
    }
};

class FakeSelection final : public word::Selection, On<View>
{
public:
    using On::On;
    void findReplaceAll(const QString& findText, const QString& replaceWith) override
    {
        record("replace " + findText + " > " + replaceWith);
        FakeRange(of->story).replaceAll(findText, replaceWith);
    }
    void typeText(const QString& text) override
    {
        record("type " + text);
        of->type(text);
    }
    void setFontName(const QString& name) override { record("font " + name); }
    void setFontSize(const QString& size) override { record("size " + size); }
    void setFontBold(bool bold) override { record(QStringLiteral("bold %1").arg(bold)); }
    void setParagraphAlignment(int alignment) override { record(QStringLiteral("align %1").arg(alignment)); }
    void fieldsAdd(qint16 type) override
    {
        record(QStringLiteral("field %1").arg(type));
        if (type == word::kFieldPage)
            of->type(QStringLiteral("{PAGE}"));
    }
    QList<word::SectionPtr> sections() override { return of->active->sections().mid(0, 1); }

private:
    void record(const QString& call) { of->office.calls << call; }
};

class FakeWord final : public word::Application
{
public:
    explicit FakeWord(FakeOffice& office)
        : m_view{office, nullptr}
    {}
    word::DocumentPtr documentsOpen(const QString& path) override
    {
        FakeOffice& office = m_view.office;
        office.calls << "open " + path;
        if (office.throwStd.contains(office.calls.last()))
            throw std::runtime_error("fake engine failure");
        if (!office.documents.contains(path))
            throw RuntimeError(5174, QStringLiteral("找不到或无法打开文件：") + path);
        m_view.active = std::make_shared<FakeDocument>(office, path);
        m_view.story = &m_view.active->copy.body;
        return m_view.active;
    }
    QList<word::DocumentPtr> documents() override { return {}; }
    void setSeekView(qint16 view) override
    {
        record(QStringLiteral("seek %1").arg(view));
        FakeOffice::DocumentFile& file = m_view.active->copy;
        m_view.story = view == word::kSeekCurrentPageHeader   ? &file.sections.first().header.range
                       : view == word::kSeekCurrentPageFooter ? &file.sections.first().footer.range
                                                              : &file.body;
        m_view.cursor = 0;
    }
    word::SelectionPtr selection() override { return std::make_shared<FakeSelection>(&m_view); }
    void setVisible(bool visible) override { record(QStringLiteral("visible %1").arg(visible)); }
    void setDisplayAlerts(int alerts) override { record(QStringLiteral("alerts %1").arg(alerts)); }
    void quit() override { record("quit"); }

private:
    void record(const QString& call) { m_view.office.calls << call; }
    View m_view;
};

class FakeWorksheet final : public sheet::Worksheet, On<FakeOffice::Sheet>
{
public:
    using On::On;
    QString name() override { return of->name; }
    bool cellsFind(const QString& text) override
    {
        return !text.isEmpty() && std::any_of(of->cells.cbegin(), of->cells.cend(), [&](const QString& cell) {
            return cell.contains(text, Qt::CaseInsensitive);
        });
    }
    void cellsReplace(const QString& what, const QString& replacement) override
    {
        for (QString& cell : of->cells) {
            if (!what.isEmpty())
                cell.replace(what, replacement, Qt::CaseInsensitive);
        }
    }
    void setCell(int row, int column, const QString& text) override
    {
        if (row < 1 || column < 1 || row > of->rows || column > of->columns || of->protectedContents)
            throw RuntimeError(1004, QStringLiteral("应用程序定义或对象定义错误"));
        of->cells[{row, column}] = text;
    }
    QString cell(int row, int column) override { return of->cells.value({row, column}); }
    int rowsCount() override { return of->rows; }
    int columnsCount() override { return of->columns; }
    bool protectContents() override { return of->protectedContents; }
};

class FakeWorkbook final : public sheet::Workbook
{
public:
    FakeWorkbook(FakeOffice& office, QString path)
        : m_office(office)
        , m_path(std::move(path))
        , m_copy(office.workbooks.value(m_path))
    {}
    QString fullName() override { return m_path; }
    int worksheetsCount() override { return int(m_copy.sheets.size()); }
    void sheetsActivate(int index) override { m_office.calls << QStringLiteral("activate %1").arg(index); }
    sheet::WorksheetPtr worksheets(int index) override
    {
        if (index < 1 || index > m_copy.sheets.size())
            throw RuntimeError(9, QStringLiteral("下标越界"));
        return std::make_shared<FakeWorksheet>(&m_copy.sheets[index - 1]);
    }
    void close(bool saveChanges) override
    {
        m_office.calls << QStringLiteral("close %1 %2").arg(m_path).arg(saveChanges);
        if (!saveChanges)
            return;
        if (m_copy.failSave)
            throw RuntimeError(1004, QStringLiteral("无法保存"));
        ++m_copy.saves;
        m_office.workbooks[m_path] = m_copy;
    }

private:
    FakeOffice& m_office;
    QString m_path;
    FakeOffice::WorkbookFile m_copy;
};

class FakeExcel final : public sheet::Application
{
public:
    FakeExcel(FakeOffice& office, FakeOffice::SpreadsheetProgram program)
        : m_office(office)
        , m_program(std::move(program))
    {}
    ~FakeExcel() override { ++m_office.spreadsheetsReleased; }
    void setVisible(bool visible) override { m_office.calls << QStringLiteral("visible %1").arg(visible); }
    QString defaultValue() override { return m_program.defaultValue; }
    QString version() override
    {
        if (m_program.versionFailure != 0)
            throw RuntimeError(m_program.versionFailure, RuntimeError::nameOf(m_program.versionFailure));
        return m_program.version;
    }
    QString standIn() override { return m_program.standIn; }
    sheet::WorkbookPtr workbooksOpen(const QString& path) override
    {
        m_office.calls << "open " + path;
        if (!m_office.workbooks.contains(path))
            throw RuntimeError(1004, QStringLiteral("找不到或无法打开文件：") + path);
        return std::make_shared<FakeWorkbook>(m_office, path);
    }
    QList<sheet::WorkbookPtr> workbooks() override { return {}; }
    void quit() override { m_office.calls << "quit"; }

private:
    FakeOffice& m_office;
    FakeOffice::SpreadsheetProgram m_program;
};

} // namespace

word::ApplicationPtr FakeOffice::createWordProcessor(const QString& progId)
{
    calls << "create " + progId;
    if (throwStd.contains(calls.last()))
        throw std::runtime_error("fake engine failure");
    if (!registered.contains(progId.toLower()))
        throw RuntimeError(429, OfficeRegistry::cannotCreate(progId));
    return std::make_unique<FakeWord>(*this);
}

sheet::ApplicationPtr FakeOffice::createSpreadsheet(const QString& progId)
{
    calls << "create " + progId;
    const QString id = progId.toLower();
    if (const int failure = createFailures.value(id); failure != 0)
        throw RuntimeError(failure, RuntimeError::nameOf(failure));
    if (!registered.contains(id))
        throw RuntimeError(429, OfficeRegistry::cannotCreate(progId));
    return std::make_unique<FakeExcel>(*this, spreadsheetPrograms.value(id));
}

#include "ComEngines.h"

#include "ComInstance.h"
#include "app/FileKeeper.h"
#include "app/RuntimeError.h"

#include <QScopeGuard>

namespace comseam {

namespace {

// wdDoNotSaveChanges.
const QVariant kDoNotSaveChanges = QVariant::fromValue<qint16>(0);

// Word and Excel write a file themselves, in place: the run's keeper keeps its
// bytes before the save, and learns what the save wrote after it. A file whose
// bytes cannot be kept is not saved.
template <class Path, class Save> void keptSave(Path&& pathOf, Save&& save)
{
    FileKeeper* const keeper = FileKeeper::current();
    if (!keeper) {
        save();
        return;
    }
    const QString path = pathOf();
    keeper->keep(path, path);
    save();
    keeper->keep(path, path);
}

QList<Named> replaceAllArguments(const QString& findText, const QString& replaceWith)
{
    return {{QStringLiteral("findtext"), findText},
            {QStringLiteral("replacewith"), replaceWith},
            {QStringLiteral("Replace"), QVariant::fromValue<qint16>(word::kReplaceAll)}};
}

class ComRange final : public word::Range
{
public:
    explicit ComRange(ObjectPtr range)
        : m_range(std::move(range))
    {}
    bool findExecute(const QString& text) override
    {
        // A null result counts as not found.
        const QVariant found =
            object(m_range->get(QStringLiteral("Find")))->invoke(QStringLiteral("Execute"), {text});
        return found.isValid() && found.toBool();
    }
    void replaceAll(const QString& findText, const QString& replaceWith) override
    {
        object(m_range->get(QStringLiteral("Find")))
            ->invoke(QStringLiteral("Execute"), {}, replaceAllArguments(findText, replaceWith));
    }
    void Delete() override { m_range->invoke(QStringLiteral("Delete")); }
    QString text() override { return m_range->get(QStringLiteral("Text")).toString(); }

private:
    ObjectPtr m_range;
};

class ComShape final : public word::Shape
{
public:
    explicit ComShape(ObjectPtr shape)
        : m_shape(std::move(shape))
    {}
    word::RangePtr textFrameTextRange() override
    {
        return std::make_shared<ComRange>(
            object(object(m_shape->get(QStringLiteral("TextFrame")))->get(QStringLiteral("TextRange"))));
    }

private:
    ObjectPtr m_shape;
};

// A text box's story reached as a story: its range is the text.
class ComTextFrameStory final : public word::Shape
{
public:
    explicit ComTextFrameStory(ObjectPtr story)
        : m_story(std::move(story))
    {}
    word::RangePtr textFrameTextRange() override { return std::make_shared<ComRange>(m_story); }

private:
    ObjectPtr m_story;
};

// wdTextFrameStory.
constexpr int kTextFrameStory = 5;

// Every text box of the main document, floating or in line with the text: the
// text frame stories, one per set of linked text boxes. The Shapes collection
// holds only the floating ones.
QList<word::ShapePtr> textFrameStories(const ObjectPtr& document)
{
    QList<word::ShapePtr> boxes;
    for (const ObjectPtr& story : object(document->get(QStringLiteral("StoryRanges")))->items()) {
        if (story->get(QStringLiteral("StoryType")).toInt() != kTextFrameStory)
            continue;
        for (QVariant next = QVariant::fromValue(story); holdsObject(next);
             next = object(next)->get(QStringLiteral("NextStoryRange")))
            boxes.append(std::make_shared<ComTextFrameStory>(object(next)));
        break;
    }
    return boxes;
}

QList<word::ShapePtr> shapesOf(const QVariant& collection)
{
    QList<word::ShapePtr> shapes;
    for (const ObjectPtr& shape : object(collection)->items())
        shapes.append(std::make_shared<ComShape>(shape));
    return shapes;
}

class ComHeaderFooter final : public word::HeaderFooter
{
public:
    explicit ComHeaderFooter(ObjectPtr part)
        : m_part(std::move(part))
    {}
    word::RangePtr range() override
    {
        return std::make_shared<ComRange>(object(m_part->get(QStringLiteral("Range"))));
    }
    QList<word::ShapePtr> shapes() override { return shapesOf(m_part->get(QStringLiteral("Shapes"))); }

private:
    ObjectPtr m_part;
};

class ComSection final : public word::Section
{
public:
    explicit ComSection(ObjectPtr section)
        : m_section(std::move(section))
    {}
    word::HeaderFooterPtr headers(qint16 index) override { return part(QStringLiteral("Headers"), index); }
    word::HeaderFooterPtr footers(qint16 index) override { return part(QStringLiteral("Footers"), index); }

private:
    word::HeaderFooterPtr part(const QString& collection, qint16 index)
    {
        return std::make_shared<ComHeaderFooter>(
            object(m_section->get(collection, {QVariant::fromValue(index)})));
    }
    ObjectPtr m_section;
};

QList<word::SectionPtr> sectionsOf(const QVariant& collection)
{
    QList<word::SectionPtr> sections;
    for (const ObjectPtr& section : object(collection)->items())
        sections.append(std::make_shared<ComSection>(section));
    return sections;
}

class ComDocument final : public word::Document
{
public:
    explicit ComDocument(ObjectPtr document)
        : m_document(std::move(document))
    {}
    QString fullName() override { return m_document->get(QStringLiteral("FullName")).toString(); }
    word::RangePtr content() override
    {
        return std::make_shared<ComRange>(object(m_document->get(QStringLiteral("Content"))));
    }
    QList<word::ShapePtr> shapes() override { return textFrameStories(m_document); }
    QList<word::SectionPtr> sections() override
    {
        return sectionsOf(m_document->get(QStringLiteral("Sections")));
    }
    void save() override
    {
        keptSave([&] { return fullName(); }, [&] { m_document->invoke(QStringLiteral("Save")); });
    }
    // wdDoNotSaveChanges: closing never waits on a "save changes?" prompt.
    void close() override
    {
        m_document->invoke(QStringLiteral("Close"), {}, {{QStringLiteral("SaveChanges"), kDoNotSaveChanges}});
    }

private:
    ObjectPtr m_document;
};

class ComSelection final : public word::Selection
{
public:
    explicit ComSelection(ObjectPtr selection)
        : m_selection(std::move(selection))
    {}
    void findReplaceAll(const QString& findText, const QString& replaceWith) override
    {
        object(m_selection->get(QStringLiteral("Find")))
            ->invoke(QStringLiteral("Execute"), {}, replaceAllArguments(findText, replaceWith));
    }
    void typeText(const QString& text) override { m_selection->invoke(QStringLiteral("TypeText"), {text}); }
    void setFontName(const QString& name) override { font()->put(QStringLiteral("Name"), name); }
    void setFontSize(const QString& size) override { font()->put(QStringLiteral("Size"), size); }
    void setFontBold(bool bold) override { font()->put(QStringLiteral("Bold"), bold); }
    void setParagraphAlignment(int alignment) override
    {
        object(m_selection->get(QStringLiteral("ParagraphFormat")))
            ->put(QStringLiteral("Alignment"), alignment);
    }
    void fieldsAdd(qint16 type) override
    {
        const QVariant range = m_selection->get(QStringLiteral("Range"));
        object(m_selection->get(QStringLiteral("Fields")))
            ->invoke(QStringLiteral("Add"), {},
                     {{QStringLiteral("Range"), range}, {QStringLiteral("Type"), QVariant::fromValue(type)}});
    }
    QList<word::SectionPtr> sections() override
    {
        return sectionsOf(m_selection->get(QStringLiteral("Sections")));
    }

private:
    ObjectPtr font() { return object(m_selection->get(QStringLiteral("Font"))); }
    ObjectPtr m_selection;
};

class ComWord final : public word::Application
{
public:
    explicit ComWord(std::shared_ptr<Instance> instance)
        : m_instance(std::move(instance))
    {}
    // A fresh instance when the last one ended for not answering.
    word::DocumentPtr documentsOpen(const QString& path) override
    {
        return std::make_shared<ComDocument>(object(
            object(application()->get(QStringLiteral("Documents")))->invoke(QStringLiteral("Open"), {path})));
    }
    QList<word::DocumentPtr> documents() override
    {
        QList<word::DocumentPtr> documents;
        for (const ObjectPtr& document : object(application()->get(QStringLiteral("Documents")))->items())
            documents.append(std::make_shared<ComDocument>(document));
        return documents;
    }
    void setSeekView(qint16 view) override
    {
        const ObjectPtr window = object(application()->get(QStringLiteral("ActiveWindow")));
        const ObjectPtr pane = object(window->get(QStringLiteral("ActivePane")));
        object(pane->get(QStringLiteral("View")))->put(QStringLiteral("SeekView"), QVariant::fromValue(view));
    }
    word::SelectionPtr selection() override
    {
        return std::make_shared<ComSelection>(object(application()->get(QStringLiteral("Selection"))));
    }
    void setVisible(bool visible) override { application()->put(QStringLiteral("Visible"), visible); }
    void setDisplayAlerts(int alerts) override
    {
        application()->put(QStringLiteral("DisplayAlerts"), alerts != 0);
    }
    // Documents still open are closed unsaved: Word never waits on a hidden "save changes?" prompt.
    void quit() override
    {
        if (!m_instance->current())
            return;
        const auto released = qScopeGuard([&] { m_instance->release(); });
        application()->invoke(QStringLiteral("Quit"), {},
                              {{QStringLiteral("SaveChanges"), kDoNotSaveChanges}});
    }

private:
    ObjectPtr application() { return m_instance->application(); }
    std::shared_ptr<Instance> m_instance;
};

class ComWorksheet final : public sheet::Worksheet
{
public:
    explicit ComWorksheet(ObjectPtr sheet)
        : m_sheet(std::move(sheet))
    {}
    QString name() override { return m_sheet->get(QStringLiteral("Name")).toString(); }
    bool cellsFind(const QString& text) override
    {
        return holdsObject(cells()->invoke(QStringLiteral("Find"), {text}));
    }
    void cellsReplace(const QString& what, const QString& replacement) override
    {
        cells()->invoke(QStringLiteral("Replace"), {},
                        {{QStringLiteral("What"), what},
                         {QStringLiteral("Replacement"), replacement},
                         {QStringLiteral("LookAt"), QVariant::fromValue<qint16>(sheet::kLookAtPart)},
                         {QStringLiteral("SearchOrder"), QVariant::fromValue<qint16>(sheet::kSearchByRows)},
                         {QStringLiteral("MatchCase"), false},
                         {QStringLiteral("SearchFormat"), false},
                         {QStringLiteral("ReplaceFormat"), false}});
    }
    void setCell(int row, int column, const QString& text) override
    {
        object(m_sheet->get(QStringLiteral("Cells"), {row, column}))->put(QString(), text);
    }
    QString cell(int row, int column) override
    {
        return object(m_sheet->get(QStringLiteral("Cells"), {row, column}))->get(QString()).toString();
    }
    int rowsCount() override
    {
        return object(m_sheet->get(QStringLiteral("Rows")))->get(QStringLiteral("Count")).toInt();
    }
    int columnsCount() override
    {
        return object(m_sheet->get(QStringLiteral("Columns")))->get(QStringLiteral("Count")).toInt();
    }
    bool protectContents() override { return m_sheet->get(QStringLiteral("ProtectContents")).toBool(); }

private:
    ObjectPtr cells() { return object(m_sheet->get(QStringLiteral("Cells"))); }
    ObjectPtr m_sheet;
};

class ComWorkbook final : public sheet::Workbook
{
public:
    explicit ComWorkbook(ObjectPtr workbook)
        : m_workbook(std::move(workbook))
    {}
    QString fullName() override { return m_workbook->get(QStringLiteral("FullName")).toString(); }
    int worksheetsCount() override
    {
        return object(m_workbook->get(QStringLiteral("Worksheets")))->get(QStringLiteral("Count")).toInt();
    }
    void sheetsActivate(int index) override
    {
        object(m_workbook->get(QStringLiteral("Sheets"), {index}))->invoke(QStringLiteral("Activate"));
    }
    sheet::WorksheetPtr worksheets(int index) override
    {
        return std::make_shared<ComWorksheet>(object(m_workbook->get(QStringLiteral("Worksheets"), {index})));
    }
    void close(bool saveChanges) override
    {
        if (!saveChanges) {
            m_workbook->invoke(QStringLiteral("Close"), {false});
            return;
        }
        keptSave([&] { return fullName(); }, [&] { m_workbook->invoke(QStringLiteral("Close"), {true}); });
    }

private:
    ObjectPtr m_workbook;
};

class ComSpreadsheet final : public sheet::Application
{
public:
    explicit ComSpreadsheet(std::shared_ptr<Instance> instance)
        : m_instance(std::move(instance))
    {}
    void setVisible(bool visible) override { application()->put(QStringLiteral("Visible"), visible); }
    QString defaultValue() override { return application()->get(QString()).toString(); }
    QString version() override { return application()->get(QStringLiteral("Version")).toString(); }
    // A fresh instance when the last one ended for not answering.
    sheet::WorkbookPtr workbooksOpen(const QString& path) override
    {
        return std::make_shared<ComWorkbook>(object(
            object(application()->get(QStringLiteral("Workbooks")))->invoke(QStringLiteral("Open"), {path})));
    }
    QList<sheet::WorkbookPtr> workbooks() override
    {
        QList<sheet::WorkbookPtr> workbooks;
        for (const ObjectPtr& workbook : object(application()->get(QStringLiteral("Workbooks")))->items())
            workbooks.append(std::make_shared<ComWorkbook>(workbook));
        return workbooks;
    }
    // A workbook still open is not saved: no "save changes?" prompt keeps Excel waiting.
    void quit() override
    {
        if (!m_instance->current())
            return;
        const auto released = qScopeGuard([&] { m_instance->release(); });
        const ObjectPtr running = application();
        running->put(QStringLiteral("DisplayAlerts"), false);
        running->invoke(QStringLiteral("Quit"));
    }

private:
    ObjectPtr application() { return m_instance->application(); }
    std::shared_ptr<Instance> m_instance;
};

class ComRunningOffice final : public RunningOffice
{
public:
    explicit ComRunningOffice(Runtime& runtime)
        : m_runtime(runtime)
    {}

    std::optional<QStringList> openDocuments(const QString& progId) override
    {
        const ObjectPtr instance = m_runtime.attach(progId);
        if (!instance)
            return std::nullopt;
        const bool excel = progId.startsWith(QLatin1String("excel."), Qt::CaseInsensitive);
        QStringList names;
        for (const ObjectPtr& document :
             object(instance->get(excel ? QStringLiteral("Workbooks") : QStringLiteral("Documents")))
                 ->items())
            names << (document ? document->get(QStringLiteral("FullName")).toString() : QString());
        return names;
    }

    int endAllProcesses(const QString& exeName) override
    {
        const ObjectPtr wmi = m_runtime.getObject(QStringLiteral("winmgmts:"));
        const QString query = QStringLiteral("select * from Win32_Process where name='%1'").arg(exeName);
        int ended = 0;
        for (const ObjectPtr& process : object(wmi->invoke(QStringLiteral("ExecQuery"), {query}))->items()) {
            try {
                process->invoke(QStringLiteral("Terminate"), {QVariant::fromValue<qint16>(0)});
                ++ended;
            } catch (const RuntimeError&) {
                // One that cannot be ended is passed over.
            }
        }
        return ended;
    }

private:
    Runtime& m_runtime;
};

} // namespace

word::ApplicationPtr wordProcessor(Runtime& runtime, const QString& progId, int timeoutMs)
{
    return std::make_unique<ComWord>(Instance::create(runtime, progId, timeoutMs));
}

sheet::ApplicationPtr spreadsheet(Runtime& runtime, const QString& progId, int timeoutMs)
{
    return std::make_unique<ComSpreadsheet>(Instance::create(runtime, progId, timeoutMs));
}

std::unique_ptr<RunningOffice> runningOffice(Runtime& runtime)
{
    return std::make_unique<ComRunningOffice>(runtime);
}

} // namespace comseam

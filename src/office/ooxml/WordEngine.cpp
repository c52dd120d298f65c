#include "WordEngine.h"

#include "Refusal.h"
#include "WordFile.h"
#include "WorkBound.h"
#include "app/DryRun.h"
#include "word/FontNames.h"

#include <QFileInfo>

namespace ooxml {

namespace {

class DocumentItem;
using DocumentRef = std::shared_ptr<DocumentItem>;

class DocumentItem final : public word::Document
{
public:
    DocumentItem(QString path, std::unique_ptr<WordFile> file, std::shared_ptr<WorkBound> bound)
        : m_path(std::move(path))
        , m_file(std::move(file))
        , m_bound(std::move(bound))
    {}

    // Every call into the file runs within the engine's time bound.
    template <class F> auto bounded(F&& f) -> decltype(f()) { return m_bound->call(std::forward<F>(f)); }

    WordFile& file()
    {
        if (!m_file)
            throw RuntimeError(RuntimeError::CommandFailed, QStringLiteral("命令失败：文档已关闭"));
        return *m_file;
    }
    bool isOpen() const { return m_file != nullptr; }
    void setSelf(const std::weak_ptr<DocumentItem>& self) { m_self = self; }

    QString fullName() override { return m_path; }
    word::RangePtr content() override;
    QList<word::ShapePtr> shapes() override;
    QList<word::SectionPtr> sections() override;
    void save() override
    {
        // A dry run counted what it would replace; the file stays as it is.
        if (DryRun::active())
            return;
        bounded([&] { file().save(); });
    }
    void close() override { m_file.reset(); }

private:
    QString m_path;
    std::unique_ptr<WordFile> m_file;
    std::shared_ptr<WorkBound> m_bound;
    std::weak_ptr<DocumentItem> m_self;
};

// A story found again at each call: a header made meanwhile, or a document
// saved and read again, is seen as it is now.
using Resolve = std::function<Story(WordFile&)>;

DryRun::Scope scopeOf(const Story& story)
{
    if (story.shape >= 0)
        return DryRun::Scope::TextBoxes;
    if (story.section >= 0)
        return story.header ? DryRun::Scope::Headers : DryRun::Scope::Footers;
    return DryRun::Scope::Body;
}

class RangeItem final : public word::Range
{
public:
    RangeItem(DocumentRef document, Resolve resolve)
        : m_document(std::move(document))
        , m_resolve(std::move(resolve))
    {}
    bool findExecute(const QString& text) override
    {
        return m_document->bounded([&] {
            WordFile& file = m_document->file();
            return file.find(m_resolve(file), text);
        });
    }
    void replaceAll(const QString& findText, const QString& replaceWith) override
    {
        m_document->bounded([&] {
            WordFile& file = m_document->file();
            const Story story = m_resolve(file);
            const int replaced = file.replace(story, findText, replaceWith);
            if (DryRun::active())
                DryRun::count(m_document->fullName(), scopeOf(story), replaced);
        });
    }
    void Delete() override
    {
        m_document->bounded([&] {
            WordFile& file = m_document->file();
            file.clear(m_resolve(file));
        });
    }
    QString text() override
    {
        return m_document->bounded([&] {
            WordFile& file = m_document->file();
            return file.text(m_resolve(file));
        });
    }

private:
    DocumentRef m_document;
    Resolve m_resolve;
};

class ShapeItem final : public word::Shape
{
public:
    ShapeItem(DocumentRef document, Resolve resolve)
        : m_document(std::move(document))
        , m_resolve(std::move(resolve))
    {}
    // A drawing object without a text box (a picture) has an empty text here.
    word::RangePtr textFrameTextRange() override
    {
        return std::make_shared<RangeItem>(m_document, m_resolve);
    }

private:
    DocumentRef m_document;
    Resolve m_resolve;
};

QList<word::ShapePtr> shapesOf(const DocumentRef& document, const Resolve& story)
{
    QList<word::ShapePtr> shapes;
    WordFile& file = document->file();
    const Story in = story(file);
    if (!in.exists())
        return shapes;
    const int count = file.shapeCount(in.part);
    for (int i = 0; i < count; ++i)
        shapes.append(std::make_shared<ShapeItem>(
            document, [story, i](WordFile& f) { return f.shape(story(f).part, i); }));
    return shapes;
}

class HeaderFooterItem final : public word::HeaderFooter
{
public:
    HeaderFooterItem(DocumentRef document, Resolve resolve)
        : m_document(std::move(document))
        , m_resolve(std::move(resolve))
    {}
    word::RangePtr range() override { return std::make_shared<RangeItem>(m_document, m_resolve); }
    QList<word::ShapePtr> shapes() override { return shapesOf(m_document, m_resolve); }

private:
    DocumentRef m_document;
    Resolve m_resolve;
};

class SectionItem final : public word::Section
{
public:
    SectionItem(DocumentRef document, int index)
        : m_document(std::move(document))
        , m_index(index)
    {}
    word::HeaderFooterPtr headers(qint16 index) override { return part(index, true); }
    word::HeaderFooterPtr footers(qint16 index) override { return part(index, false); }

private:
    word::HeaderFooterPtr part(qint16 index, bool header)
    {
        const int section = m_index;
        m_document->file().headerFooter(section, index, header); // checks the index now, as Word does
        return std::make_shared<HeaderFooterItem>(m_document, [section, index, header](WordFile& f) {
            return f.headerFooter(section, index, header);
        });
    }

    DocumentRef m_document;
    int m_index;
};

word::RangePtr DocumentItem::content()
{
    file();
    return std::make_shared<RangeItem>(m_self.lock(), [](WordFile& f) { return f.body(); });
}

QList<word::ShapePtr> DocumentItem::shapes()
{
    return shapesOf(m_self.lock(), [](WordFile& f) { return f.body(); });
}

QList<word::SectionPtr> DocumentItem::sections()
{
    QList<word::SectionPtr> sections;
    const int count = file().sectionCount();
    for (int i = 0; i < count; ++i)
        sections.append(std::make_shared<SectionItem>(m_self.lock(), i));
    return sections;
}

class Writer;

class SelectionItem final : public word::Selection
{
public:
    explicit SelectionItem(Writer& writer)
        : m_writer(writer)
    {}
    void findReplaceAll(const QString& findText, const QString& replaceWith) override;
    void typeText(const QString& text) override;
    void setFontName(const QString& name) override;
    void setFontSize(const QString& size) override;
    void setFontBold(bool bold) override;
    void setParagraphAlignment(int alignment) override;
    void fieldsAdd(qint16 type) override;
    QList<word::SectionPtr> sections() override;

private:
    Writer& m_writer;
};

class Writer final : public word::Application
{
public:
    word::DocumentPtr documentsOpen(const QString& path) override
    {
        auto document = std::make_shared<DocumentItem>(
            path, m_bound->call([&] { return std::make_unique<WordFile>(path); }), m_bound);
        document->setSelf(document);
        m_documents.append(document);
        m_active = document;
        m_view = word::kSeekMainDocument;
        m_cursor = {};
        m_font = {};
        return document;
    }

    QList<word::DocumentPtr> documents() override
    {
        QList<word::DocumentPtr> open;
        for (const DocumentRef& document : std::as_const(m_documents)) {
            if (document->isOpen())
                open.append(document);
        }
        return open;
    }

    void setSeekView(qint16 view) override
    {
        WordFile& file = active()->file();
        if (view != word::kSeekMainDocument && view != word::kSeekCurrentPageHeader &&
            view != word::kSeekCurrentPageFooter)
            throw RuntimeError(RuntimeError::InvalidCall, RuntimeError::nameOf(RuntimeError::InvalidCall),
                               QStringLiteral("SeekView %1").arg(view));
        m_view = view;
        m_cursor = {};
        m_cursor.story = currentStory(file);
        m_cursor.generation = file.generation();
        // The selection moved: its font is the new place's.
        m_font = {};
    }

    word::SelectionPtr selection() override { return std::make_shared<SelectionItem>(*this); }
    void setVisible(bool) override {}
    void setDisplayAlerts(int) override {}

    void quit() override
    {
        for (const DocumentRef& document : std::as_const(m_documents))
            document->close();
        m_documents.clear();
        m_active.reset();
    }

    DocumentRef active()
    {
        if (!m_active || !m_active->isOpen())
            throw RuntimeError(RuntimeError::NoDocumentOpen, QStringLiteral("没有打开的文档，该命令无效"));
        return m_active;
    }

    // The story the view shows: the main text, or the current (first) page's header or footer.
    Story currentStory(WordFile& file)
    {
        if (m_view == word::kSeekMainDocument)
            return file.body();
        return file.firstPageHeaderFooter(m_view == word::kSeekCurrentPageHeader);
    }

    Cursor& cursor(WordFile& file)
    {
        if (!m_cursor.story.exists() && m_cursor.story.section < 0)
            m_cursor.story = currentStory(file);
        return m_cursor;
    }

    // The font of the text typed next, as Selection.Font set it.
    Font& pendingFont() { return m_font; }

    WorkBound& bound() { return *m_bound; }

private:
    std::shared_ptr<WorkBound> m_bound = std::make_shared<WorkBound>();
    QList<DocumentRef> m_documents;
    DocumentRef m_active;
    qint16 m_view = word::kSeekMainDocument;
    Cursor m_cursor;
    Font m_font;
};

void SelectionItem::findReplaceAll(const QString& findText, const QString& replaceWith)
{
    WordFile& file = m_writer.active()->file();
    Cursor& cursor = m_writer.cursor(file);
    // A header made by typing since is found again through the view.
    if (!cursor.story.exists())
        cursor.story = m_writer.currentStory(file);
    const int replaced =
        m_writer.bound().call([&] { return file.replace(cursor.story, findText, replaceWith); });
    if (DryRun::active())
        DryRun::count(m_writer.active()->fullName(), scopeOf(cursor.story), replaced);
}

void SelectionItem::typeText(const QString& text)
{
    WordFile& file = m_writer.active()->file();
    m_writer.bound().call([&] { file.typeText(m_writer.cursor(file), text, m_writer.pendingFont()); });
}

void SelectionItem::setFontName(const QString& name)
{
    m_writer.active();
    m_writer.pendingFont().name = name;
}

void SelectionItem::setFontSize(const QString& size)
{
    m_writer.active();
    m_writer.pendingFont().points = word::fontPoints(size);
}

void SelectionItem::setFontBold(bool bold)
{
    m_writer.active();
    m_writer.pendingFont().bold = bold;
}

void SelectionItem::setParagraphAlignment(int alignment)
{
    WordFile& file = m_writer.active()->file();
    file.align(m_writer.cursor(file), alignment == word::kAlignCenter    ? 1
                                      : alignment == word::kAlignRight   ? 2
                                      : alignment == word::kAlignJustify ? 3
                                                                         : 0);
}

void SelectionItem::fieldsAdd(qint16 type)
{
    if (type != word::kFieldPage)
        throw RuntimeError(RuntimeError::InvalidCall, RuntimeError::nameOf(RuntimeError::InvalidCall),
                           QStringLiteral("field type %1").arg(type));
    WordFile& file = m_writer.active()->file();
    file.addPageField(m_writer.cursor(file), m_writer.pendingFont());
}

QList<word::SectionPtr> SelectionItem::sections()
{
    // The selection lies at the start of the first page, in its section.
    return {std::make_shared<SectionItem>(m_writer.active(), 0)};
}

// ---------------------------------------------------------------- routing

class RoutedWriter final : public word::Application
{
public:
    RoutedWriter(std::function<word::ApplicationPtr()> fallback, Notes notes)
        : m_createFallback(std::move(fallback))
        , m_notes(std::move(notes))
    {}

    word::DocumentPtr documentsOpen(const QString& path) override
    {
        QString declined = QStringLiteral("不是 .docx、.docm 或 .dotx 文件");
        if (takesDocument(path)) {
            try {
                word::DocumentPtr document = m_lossless->documentsOpen(path);
                m_active = m_lossless.get();
                return document;
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
        if (!m_fallback)
            m_fallback = m_createFallback();
        word::DocumentPtr document = m_fallback->documentsOpen(path);
        m_active = m_fallback.get();
        return document;
    }

    QList<word::DocumentPtr> documents() override
    {
        QList<word::DocumentPtr> all = m_lossless->documents();
        if (m_fallback)
            all << m_fallback->documents();
        return all;
    }

    void setSeekView(qint16 view) override { m_active->setSeekView(view); }
    word::SelectionPtr selection() override { return m_active->selection(); }
    void setVisible(bool visible) override
    {
        if (m_fallback)
            m_fallback->setVisible(visible);
    }
    void setDisplayAlerts(int alerts) override
    {
        if (m_fallback)
            m_fallback->setDisplayAlerts(alerts);
    }

    void quit() override
    {
        m_lossless->quit();
        if (m_fallback)
            m_fallback->quit();
    }

private:
    std::function<word::ApplicationPtr()> m_createFallback;
    Notes m_notes;
    word::ApplicationPtr m_lossless = createWordProcessor();
    word::ApplicationPtr m_fallback;
    word::Application* m_active = m_lossless.get();
};

} // namespace

word::ApplicationPtr createWordProcessor()
{
    return std::make_unique<Writer>();
}

bool takesDocument(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("docx") || suffix == QLatin1String("docm") ||
           suffix == QLatin1String("dotx");
}

word::ApplicationPtr routedWordProcessor(std::function<word::ApplicationPtr()> fallback, Notes notes)
{
    return std::make_unique<RoutedWriter>(std::move(fallback), std::move(notes));
}

} // namespace ooxml

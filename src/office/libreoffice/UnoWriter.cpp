#include "UnoWriter.h"

#include "UnoOffice.h"
#include "UnoText.h"
#include "UnoWriterSelection.h"
#include "WriterModel.h"
#include "app/FailureText.h"

#include <QFileInfo>
#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/NumberingType.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/PageNumberType.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>

namespace unooffice {

using namespace css;
using rtl::OUString;

namespace {

class Writer;

class DocumentItem final : public word::Document, public std::enable_shared_from_this<DocumentItem>
{
public:
    DocumentItem(UnoOffice& office, QString path, Reference<text::XTextDocument> document)
        : m_office(office)
        , m_path(std::move(path))
        , m_document(std::move(document))
    {}

    QString fullName() override { return m_path; }
    const Reference<text::XTextDocument>& model() const { return m_document; }
    bool isOpen() const { return m_document.is(); }

    word::RangePtr content() override
    {
        const Reference<text::XText> body = m_office.call([&] { return live()->getText(); });
        return storyRange(m_office, m_document, body);
    }

    QList<word::ShapePtr> shapes() override { return textShapes(m_office, live(), {}); }

    QList<word::SectionPtr> sections() override
    {
        const std::vector<OUString> styles = m_office.call([&] { return sectionStyles(live()); });
        QList<word::SectionPtr> sections;
        for (const OUString& style : styles)
            sections.append(section(m_office, m_document, style));
        return sections;
    }

    // As Word's Save: a document without changes is not written at all, so
    // the file keeps its bytes and its time.
    void save() override
    {
        // A dry run counted what it would replace: the file stays as it is, and the
        // document, as good as stored, is closed like any other.
        if (DryRun::active()) {
            m_office.call(
                [&] { Reference<util::XModifiable>(live(), uno::UNO_QUERY_THROW)->setModified(false); });
            return;
        }
        try {
            m_office.store(live(), m_path);
        } catch (const RuntimeError& error) {
            if (QFileInfo::exists(m_path) && !QFileInfo(m_path).isWritable())
                throw RuntimeError(RuntimeError::PermissionDenied, FailureText::readOnly(), error.detail());
            throw;
        }
    }

    // The frame that shows the document; null for one of a soffice that is gone.
    Reference<frame::XFrame> frame()
    {
        if (!m_document.is() || m_generation != m_office.generation())
            return {};
        return m_office.call([&]() -> Reference<frame::XFrame> {
            const Reference<frame::XModel> model(m_document, uno::UNO_QUERY_THROW);
            const Reference<frame::XController> controller = model->getCurrentController();
            return controller.is() ? controller->getFrame() : nullptr;
        });
    }

    bool hasChanges()
    {
        if (m_generation != m_office.generation())
            return false; // gone with its soffice
        return m_office.call(
            [&] { return Reference<util::XModifiable>(live(), uno::UNO_QUERY_THROW)->isModified(); });
    }

    void close() override
    {
        if (!m_document.is())
            return;
        const Reference<text::XTextDocument> document = m_document;
        m_document.clear();
        m_office.close(document, m_generation, m_path);
    }

private:
    const Reference<text::XTextDocument>& live() const
    {
        if (!m_document.is())
            throw RuntimeError(RuntimeError::CommandFailed, RuntimeError::nameOf(RuntimeError::CommandFailed),
                               QStringLiteral("the document is closed"));
        return m_document;
    }

    UnoOffice& m_office;
    int m_generation = m_office.generation();
    QString m_path;
    Reference<text::XTextDocument> m_document;
};

class Writer final : public word::Application, private SelectionView
{
public:
    // Word keeps every document a job opened until Quit. Here the one opened
    // before is closed now, unless it has changes not stored: a document
    // LibreOffice keeps open costs memory and makes every further load slower,
    // and once its file is stored nothing depends on it staying open. Its
    // handle stays and says it is closed.
    //
    // The next document goes into the frame of a stored one, which is closed
    // then: a new frame and window for each document costs about as much as
    // the store does.
    word::DocumentPtr documentsOpen(const QString& path) override
    {
        const std::shared_ptr<DocumentItem> before = closeStored();
        Reference<frame::XFrame> frame;
        try {
            frame = before ? before->frame() : nullptr;
        } catch (const RuntimeError&) {
            // A new frame then, from a soffice started afresh if need be.
        }
        Reference<lang::XComponent> component;
        try {
            component = m_office.load(path, DocumentKind::Text, frame);
        } catch (const RuntimeError&) {
            closeQuietly(before);
            throw;
        }
        closeQuietly(before);
        const Reference<text::XTextDocument> document =
            m_office.call([&] { return Reference<text::XTextDocument>(component, uno::UNO_QUERY); });
        if (!document.is()) {
            m_office.close(component, m_office.generation(), path);
            throw RuntimeError(RuntimeError::PathFileAccess, FailureText::notWordDocument());
        }
        auto item = std::make_shared<DocumentItem>(m_office, path, document);
        m_documents.append(item);
        m_active = item;
        m_view = {};
        m_story.clear();
        m_cursor.clear();
        return item;
    }

    QList<word::DocumentPtr> documents() override
    {
        QList<word::DocumentPtr> open;
        for (const auto& document : std::as_const(m_documents)) {
            if (document->isOpen())
                open.append(document);
        }
        return open;
    }

    // The current page after opening is the first: SeekView 9/10 goes to the
    // header or footer that page shows, the first section's first-page one when
    // it has its own, else its primary one. It is created only when something
    // is typed into it, as Word's stays empty until then.
    void setSeekView(qint16 view) override
    {
        if (view != word::kSeekMainDocument && view != word::kSeekCurrentPageHeader &&
            view != word::kSeekCurrentPageFooter)
            throw RuntimeError(RuntimeError::InvalidCall, RuntimeError::nameOf(RuntimeError::InvalidCall),
                               QStringLiteral("SeekView %1").arg(view));
        const std::shared_ptr<DocumentItem> document = active();
        m_office.call([&] {
            m_story.clear();
            m_cursor.clear();
            m_view = {};
            if (view == word::kSeekMainDocument)
                return;
            m_view.header = view == word::kSeekCurrentPageHeader;
            m_view.style = sectionStyles(document->model()).front();
            m_view.index = hasDistinctFirstPage(document->model(), m_view.style, m_view.header) ? 2 : 1;
        });
    }

    word::SelectionPtr selection() override { return createSelection(*this, m_font); }
    void setVisible(bool) override {}
    void setDisplayAlerts(int) override {}

    void quit() override
    {
        for (const auto& document : std::as_const(m_documents)) {
            try {
                document->close();
            } catch (...) {
                // The office program goes now in any case.
            }
        }
        m_documents.clear();
        m_active.reset();
        m_view = {};
        m_story.clear();
        m_cursor.clear();
        m_office.terminate();
    }

    ~Writer() override
    {
        try {
            quit();
        } catch (...) {
        }
    }

    UnoOffice& office() override { return m_office; }

    std::shared_ptr<DocumentItem> active()
    {
        if (!m_active || !m_active->isOpen())
            throw RuntimeError(RuntimeError::NoDocumentOpen,
                               RuntimeError::nameOf(RuntimeError::NoDocumentOpen));
        return m_active;
    }

    // The story the view shows and the selection's cursor in it (the main
    // text's start by default); a header or footer is switched on here.
    Reference<text::XTextCursor> cursor() override
    {
        if (!m_cursor.is()) {
            m_story = viewStory(true);
            m_cursor = m_story->createTextCursorByRange(m_story->getStart());
        }
        return m_cursor;
    }
    Reference<text::XText> story() override
    {
        cursor();
        return m_story;
    }
    // The story the view shows as it is: null for a header or footer that is not there.
    Reference<text::XText> viewStory(bool switchOn)
    {
        if (m_cursor.is())
            return m_story;
        const Reference<text::XTextDocument> document = active()->model();
        if (!m_view.inHeaderFooter())
            return document->getText();
        return headerFooterStory(document, m_view.style, m_view.header, m_view.index, switchOn);
    }
    bool inHeaderFooter() const { return m_view.inHeaderFooter(); }

    Reference<text::XTextDocument> activeDocument() override { return active()->model(); }
    // The story the view shows, not switched on: a replace in a header that is
    // not there finds nothing and changes nothing.
    word::RangePtr storyRange() override
    {
        const Reference<text::XText> shown = m_office.call([&] { return viewStory(false); });
        const DryRun::Scope scope = !inHeaderFooter() ? DryRun::Scope::Body
                                    : m_view.header   ? DryRun::Scope::Headers
                                                      : DryRun::Scope::Footers;
        return unooffice::storyRange(m_office, active()->model(), shown, inHeaderFooter(), scope);
    }
    QList<word::SectionPtr> documentSections() override { return active()->sections(); }

private:
    // Closes the documents that have no changes left to store but the last
    // one, which it gives: its frame takes the next document. All of them
    // when the soffice has grown too big, which then makes way for a new one.
    std::shared_ptr<DocumentItem> closeStored()
    {
        std::shared_ptr<DocumentItem> kept;
        for (const auto& document : std::as_const(m_documents)) {
            try {
                if (!document->isOpen() || document->hasChanges())
                    continue;
                closeQuietly(kept);
                kept = document;
            } catch (const RuntimeError&) {
                // A soffice that fails here is started afresh by the next load.
            }
        }
        if (kept && m_office.outgrown()) {
            closeQuietly(kept);
            kept.reset();
        }
        m_documents.removeIf([](const auto& document) { return !document->isOpen(); });
        return kept;
    }

    static void closeQuietly(const std::shared_ptr<DocumentItem>& document)
    {
        if (!document)
            return;
        try {
            document->close();
        } catch (const RuntimeError&) {
        }
    }

    // What SeekView shows: the main text, or a section's header or footer of a Word index.
    struct View
    {
        OUString style;
        bool header = false;
        int index = 0;
        bool inHeaderFooter() const { return index > 0; }
    };

    UnoOffice m_office;
    QList<std::shared_ptr<DocumentItem>> m_documents;
    std::shared_ptr<DocumentItem> m_active;
    View m_view;
    Reference<text::XText> m_story;
    Reference<text::XTextCursor> m_cursor;
    SelectionFont m_font;
};

} // namespace

word::ApplicationPtr createWriter()
{
    return std::make_unique<Writer>();
}

} // namespace unooffice

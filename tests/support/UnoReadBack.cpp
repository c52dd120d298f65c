#include "UnoReadBack.h"

#include "office/libreoffice/UnoOffice.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XFramesSupplier.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionDisapprove.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextFramesSupplier.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/implbase1.hxx>

namespace UnoReadBack {

using namespace com::sun::star;
using namespace unooffice;
using rtl::OUString;
using uno::Reference;

namespace {

UnoOffice& office()
{
    static UnoOffice instance;
    return instance;
}

class RecordInteraction final : public cppu::WeakImplHelper1<task::XInteractionHandler>
{
public:
    explicit RecordInteraction(QStringList& requests)
        : m_requests(requests)
    {}
    void SAL_CALL handle(const Reference<task::XInteractionRequest>& request) override
    {
        m_requests << toQString(request->getRequest().getValueTypeName());
        for (const auto& continuation : request->getContinuations()) {
            if (Reference<task::XInteractionAbort>(continuation, uno::UNO_QUERY).is()) {
                continuation->select();
                return;
            }
        }
        for (const auto& continuation : request->getContinuations()) {
            if (Reference<task::XInteractionDisapprove>(continuation, uno::UNO_QUERY).is()) {
                continuation->select();
                return;
            }
        }
    }

private:
    QStringList& m_requests;
};

beans::PropertyValue property(const char* name, const uno::Any& value)
{
    beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

// The desktop of the reading soffice, reached through a document's frame.
// Released before the reading soffice ends: a remote reference must not
// outlive its bridge, not even until the program exits.
Reference<frame::XComponentLoader>& desktopOf()
{
    static Reference<frame::XComponentLoader> desktop;
    return desktop;
}

Reference<frame::XComponentLoader> loader()
{
    Reference<frame::XComponentLoader>& desktop = desktopOf();
    if (!desktop.is() || !office().running()) {
        const Reference<lang::XComponent> blank = office().loadUrl(QStringLiteral("private:factory/swriter"));
        office().call([&] {
            const Reference<frame::XModel> model(blank, uno::UNO_QUERY_THROW);
            desktop.set(model->getCurrentController()->getFrame()->getCreator(), uno::UNO_QUERY_THROW);
            Reference<util::XCloseable>(blank, uno::UNO_QUERY_THROW)->close(true);
        });
    }
    return desktop;
}

Reference<lang::XComponent> load(const QString& path, QStringList& requests)
{
    const Reference<frame::XComponentLoader> desktop = loader();
    const beans::PropertyValue properties[] = {
        property("Hidden", uno::Any(true)),
        property("ReadOnly", uno::Any(true)),
        property("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
        property("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
        property("InteractionHandler",
                 uno::Any(Reference<task::XInteractionHandler>(new RecordInteraction(requests)))),
    };
    try {
        return office().call([&] {
            return desktop->loadComponentFromURL(toOUString(fileUrl(path)), OUString("_blank"), 0,
                                                 uno::Sequence<beans::PropertyValue>(properties, 5));
        });
    } catch (const RuntimeError&) {
        return {};
    }
}

void close(const Reference<lang::XComponent>& component)
{
    office().call([&] { Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true); });
}

QStringList sorted(QStringList list)
{
    list.removeAll(QString());
    list.removeDuplicates();
    list.sort();
    return list;
}

} // namespace

Document readDocument(const QString& path)
{
    Document read;
    const Reference<lang::XComponent> component = load(path, read.requests);
    const Reference<text::XTextDocument> document(component, uno::UNO_QUERY);
    if (!document.is())
        return read;
    read.loaded = true;
    office().call([&] {
        read.body = toQString(document->getText()->getString());
        const Reference<style::XStyleFamiliesSupplier> families(document, uno::UNO_QUERY_THROW);
        const Reference<container::XNameAccess> styles(
            families->getStyleFamilies()->getByName(OUString("PageStyles")), uno::UNO_QUERY_THROW);
        for (const OUString& name : styles->getElementNames()) {
            const Reference<beans::XPropertySet> style(styles->getByName(name), uno::UNO_QUERY_THROW);
            for (const bool header : {true, false}) {
                bool on = false;
                style->getPropertyValue(OUString::createFromAscii(header ? "HeaderIsOn" : "FooterIsOn")) >>=
                    on;
                if (!on)
                    continue;
                for (const char* kind : {"Text", "TextLeft", "TextFirst"}) {
                    const OUString property = OUString::createFromAscii(header ? "Header" : "Footer") +
                                              OUString::createFromAscii(kind);
                    const Reference<text::XText> text(style->getPropertyValue(property), uno::UNO_QUERY);
                    if (text.is())
                        (header ? read.headers : read.footers) << toQString(text->getString());
                }
            }
        }
        const Reference<text::XTextFramesSupplier> supplier(document, uno::UNO_QUERY_THROW);
        const Reference<container::XIndexAccess> frames(supplier->getTextFrames(), uno::UNO_QUERY_THROW);
        for (sal_Int32 i = 0; i < frames->getCount(); ++i) {
            const Reference<text::XTextFrame> frame(frames->getByIndex(i), uno::UNO_QUERY_THROW);
            read.frames << toQString(frame->getText()->getString());
        }
    });
    read.headers = sorted(read.headers);
    read.footers = sorted(read.footers);
    read.frames = sorted(read.frames);
    close(component);
    return read;
}

Workbook readWorkbook(const QString& path)
{
    Workbook read;
    const Reference<lang::XComponent> component = load(path, read.requests);
    const Reference<sheet::XSpreadsheetDocument> document(component, uno::UNO_QUERY);
    if (!document.is())
        return read;
    read.loaded = true;
    office().call([&] {
        const Reference<container::XIndexAccess> sheets(document->getSheets(), uno::UNO_QUERY_THROW);
        for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
            const Reference<sheet::XSpreadsheet> spreadsheet(sheets->getByIndex(i), uno::UNO_QUERY_THROW);
            Sheet sheet;
            sheet.name =
                toQString(Reference<container::XNamed>(spreadsheet, uno::UNO_QUERY_THROW)->getName());
            const Reference<sheet::XSheetCellCursor> cursor = spreadsheet->createCursor();
            const Reference<sheet::XUsedAreaCursor> used(cursor, uno::UNO_QUERY_THROW);
            used->gotoStartOfUsedArea(false);
            used->gotoEndOfUsedArea(true);
            const table::CellRangeAddress area =
                Reference<sheet::XCellRangeAddressable>(cursor, uno::UNO_QUERY_THROW)->getRangeAddress();
            for (sal_Int32 row = area.StartRow; row <= area.EndRow; ++row) {
                for (sal_Int32 column = area.StartColumn; column <= area.EndColumn; ++column) {
                    const Reference<text::XText> cell(spreadsheet->getCellByPosition(column, row),
                                                      uno::UNO_QUERY_THROW);
                    const QString shown = toQString(cell->getString());
                    if (!shown.isEmpty())
                        sheet.cells << QStringLiteral("R%1C%2=%3").arg(row + 1).arg(column + 1).arg(shown);
                }
            }
            read.sheets << sheet;
        }
    });
    close(component);
    return read;
}

bool saveAs(const QString& path, const QString& target, const QString& filter)
{
    QStringList requests;
    const Reference<lang::XComponent> component = load(path, requests);
    if (!component.is())
        return false;
    office().call([&] {
        const beans::PropertyValue properties[] = {property("FilterName", uno::Any(toOUString(filter)))};
        Reference<frame::XStorable>(component, uno::UNO_QUERY_THROW)
            ->storeToURL(toOUString(fileUrl(target)), uno::Sequence<beans::PropertyValue>(properties, 1));
    });
    close(component);
    return QFileInfo::exists(target);
}

namespace {

// The pages of a loaded document: PDF export, then pdftotext.
QStringList pagesOf(const Reference<lang::XComponent>& component)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("pages.pdf"));
    office().call([&] {
        const beans::PropertyValue properties[] = {
            property("FilterName", uno::Any(OUString("writer_pdf_Export")))};
        Reference<frame::XStorable>(component, uno::UNO_QUERY_THROW)
            ->storeToURL(toOUString(fileUrl(pdf)), uno::Sequence<beans::PropertyValue>(properties, 1));
    });
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    text.waitForFinished(60000);
    QStringList split = QString::fromUtf8(text.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!split.isEmpty() && split.last().trimmed().isEmpty())
        split.removeLast();
    return split;
}

} // namespace

QStringList pages(const QString& path)
{
    QStringList requests;
    const Reference<lang::XComponent> component = load(path, requests);
    if (!component.is())
        return {};
    const QStringList split = pagesOf(component);
    close(component);
    return split;
}

void shutdown()
{
    desktopOf().clear();
    office().terminate();
}

} // namespace UnoReadBack

#pragma once

#include "UnoOffice.h"

#include <QHash>
#include <QStringList>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XTypeDetection.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <memory>

// The look at a file before it is loaded for editing: what LibreOffice
// recognises it as, what it asks while reading it, and why a file is refused.
namespace unooffice {

// What a document asked while it was detected or loaded.
struct Asked
{
    bool password = false;
    bool locked = false;
    QString lockedBy;
    bool lockNotMade = false; // the document's lock file could not be made
    bool broken = false;
    QStringList other; // type names of any other question
};

// Refuses every question a document may ask while loading: passwords, repair,
// locked files, macros. The load then fails instead of waiting for a user; what
// was asked (noted in asked) tells the user why.
Reference<css::task::XInteractionHandler> refusingHandler(std::shared_ptr<Asked> asked);

// What LibreOffice recognised a file as: its type, the filter that reads it
// and what that filter can do.
struct Detected
{
    QString type;
    QString filter;
    QString filterName; // as the user knows it ("Word 97-2003", "Word 6.0")
    QString service;    // the document service the filter makes
    QString mediaType;
    sal_Int32 flags = 0;
};

// LibreOffice's type detection and filter configuration of one soffice; what
// it learnt of a type and filter is kept, so a look costs one call.
class Detector final
{
public:
    Detector(const Reference<css::lang::XMultiComponentFactory>& services,
             const Reference<css::uno::XComponentContext>& context);
    Detected detect(const rtl::OUString& url, const Reference<css::task::XInteractionHandler>& handler);

private:
    Reference<css::document::XTypeDetection> m_detection;
    Reference<css::container::XNameAccess> m_filters;
    QHash<QString, Detected> m_known;
};

// Why the file at path, detected as detected, is not edited as a document of
// kind; nothing when it is: a document of the kind, in a format that is read
// and written back as itself (not plain text, CSV or a web page).
std::optional<RuntimeError> refusal(const QString& path, const Detected& detected, DocumentKind kind);

// Whether the file is a Word 6-2003 document (.doc) that is encrypted: its
// password is known without loading it. Loading one into the frame of a
// document before it can end soffice.
bool encryptedWordFile(const QString& path);

// Why a load that gave no document failed, from what the document asked.
RuntimeError loadFailure(const QString& path, const Asked& asked, const QString& detail);

// A line for the journal.
QString describe(const Detected& detected);

} // namespace unooffice

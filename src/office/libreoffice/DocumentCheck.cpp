#include "DocumentCheck.h"

#include "office/FailureText.h"

#include <QFile>
#include <QFileInfo>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/BrokenPackageRequest.hpp>
#include <com/sun/star/document/LockFileIgnoreRequest.hpp>
#include <com/sun/star/document/LockedDocumentRequest.hpp>
#include <com/sun/star/document/LockedOnSavingRequest.hpp>
#include <com/sun/star/document/OwnLockOnDocumentRequest.hpp>
#include <com/sun/star/document/XTypeDetection.hpp>
#include <com/sun/star/task/PasswordRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionDisapprove.hpp>
#include <cppuhelper/implbase1.hxx>

namespace unooffice {

using namespace css;

namespace {

// Refuses every question a document may ask while loading: passwords, repair,
// locked files, macros. The load then fails instead of waiting for a user; what
// was asked tells the user why.
class RefuseInteraction final : public cppu::WeakImplHelper1<task::XInteractionHandler>
{
public:
    explicit RefuseInteraction(std::shared_ptr<Asked> asked)
        : m_asked(std::move(asked))
    {}

    void SAL_CALL handle(const Reference<task::XInteractionRequest>& request) override
    {
        note(request->getRequest());
        const uno::Sequence<Reference<task::XInteractionContinuation>> continuations =
            request->getContinuations();
        for (const auto& continuation : continuations) {
            if (Reference<task::XInteractionAbort>(continuation, uno::UNO_QUERY).is()) {
                continuation->select();
                return;
            }
        }
        for (const auto& continuation : continuations) {
            if (Reference<task::XInteractionDisapprove>(continuation, uno::UNO_QUERY).is()) {
                continuation->select();
                return;
            }
        }
    }

private:
    void note(const uno::Any& request)
    {
        task::PasswordRequest password;
        document::LockedDocumentRequest locked;
        document::LockedOnSavingRequest lockedOnSaving;
        document::OwnLockOnDocumentRequest ownLock;
        document::LockFileIgnoreRequest lockNotMade;
        document::BrokenPackageRequest broken;
        if (request >>= password) {
            m_asked->password = true;
        } else if (request >>= locked) {
            m_asked->locked = true;
            m_asked->lockedBy = who(locked.UserInfo);
        } else if (request >>= lockedOnSaving) {
            m_asked->locked = true;
            m_asked->lockedBy = who(lockedOnSaving.UserInfo);
        } else if (request >>= ownLock) {
            // Open under this user's name elsewhere: another run of the tool, or the
            // user's own LibreOffice.
            m_asked->locked = true;
        } else if (request >>= lockNotMade) {
            // The lock file could not be made: the folder cannot be written, or
            // another program made it at that moment.
            m_asked->lockNotMade = true;
        } else if (request >>= broken) {
            m_asked->broken = true;
        } else {
            m_asked->other << toQString(request.getValueTypeName());
        }
    }

    // "name ( date time )": the name.
    static QString who(const rtl::OUString& userInfo)
    {
        const QString info = toQString(userInfo);
        const qsizetype at = info.lastIndexOf(QLatin1String(" ("));
        return (at > 0 ? info.left(at) : info).trimmed();
    }

    std::shared_ptr<Asked> m_asked;
};

// Filter flags (filter configuration).
constexpr sal_Int32 kFilterImport = 0x1;
constexpr sal_Int32 kFilterExport = 0x2;

template <class T> T valueOf(const uno::Sequence<beans::PropertyValue>& properties, const char* name)
{
    T value{};
    for (const beans::PropertyValue& property : properties) {
        if (property.Name.equalsAscii(name)) {
            property.Value >>= value;
            break;
        }
    }
    return value;
}

QString serviceOf(DocumentKind kind)
{
    return kind == DocumentKind::Text ? QStringLiteral("com.sun.star.text.TextDocument")
                                      : QStringLiteral("com.sun.star.sheet.SpreadsheetDocument");
}

// Plain text, CSV and web pages are read by import filters that would write
// the file back as something else than what the user has.
bool isTextOrWeb(const Detected& detected)
{
    return detected.type == QLatin1String("generic_Text") ||
           detected.mediaType.startsWith(QLatin1String("text/"));
}

// Whether the file starts as a document of the kind would (an OLE2 compound
// file or a zip package): one that does not pass detection is then damaged.
bool looksLikeContainer(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(8);
    return head.startsWith("PK\x03\x04") || head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
}

} // namespace

Detector::Detector(const Reference<lang::XMultiComponentFactory>& services,
                   const Reference<uno::XComponentContext>& context)
    : m_detection(
          services->createInstanceWithContext(rtl::OUString("com.sun.star.document.TypeDetection"), context),
          uno::UNO_QUERY_THROW)
    , m_filters(
          services->createInstanceWithContext(rtl::OUString("com.sun.star.document.FilterFactory"), context),
          uno::UNO_QUERY_THROW)
{}

Detected Detector::detect(const rtl::OUString& url, const Reference<task::XInteractionHandler>& handler)
{
    const beans::PropertyValue given[] = {property("URL", uno::Any(url)),
                                          property("InteractionHandler", uno::Any(handler))};
    uno::Sequence<beans::PropertyValue> descriptor(given, 2);
    const rtl::OUString type = m_detection->queryTypeByDescriptor(descriptor, true);
    if (type.isEmpty())
        return {};
    const rtl::OUString filter = valueOf<rtl::OUString>(descriptor, "FilterName");
    const QString key = toQString(type) + QLatin1Char('\n') + toQString(filter);
    if (const auto known = m_known.constFind(key); known != m_known.constEnd())
        return *known;

    Detected detected;
    detected.type = toQString(type);
    uno::Sequence<beans::PropertyValue> typeProperties;
    Reference<container::XNameAccess>(m_detection, uno::UNO_QUERY_THROW)->getByName(type) >>= typeProperties;
    detected.mediaType = toQString(valueOf<rtl::OUString>(typeProperties, "MediaType"));
    const rtl::OUString chosen =
        filter.isEmpty() ? valueOf<rtl::OUString>(typeProperties, "PreferredFilter") : filter;
    detected.filter = toQString(chosen);
    if (!chosen.isEmpty() && m_filters->hasByName(chosen)) {
        uno::Sequence<beans::PropertyValue> filterProperties;
        m_filters->getByName(chosen) >>= filterProperties;
        detected.service = toQString(valueOf<rtl::OUString>(filterProperties, "DocumentService"));
        detected.flags = valueOf<sal_Int32>(filterProperties, "Flags");
        detected.filterName = toQString(valueOf<rtl::OUString>(filterProperties, "UIName"));
        if (detected.filterName.isEmpty())
            detected.filterName = detected.filter;
    }
    m_known.insert(key, detected);
    return detected;
}

QString describe(const Detected& detected)
{
    return QStringLiteral("type %1, filter %2, service %3, flags 0x%4")
        .arg(detected.type.isEmpty() ? QStringLiteral("none") : detected.type, detected.filter,
             detected.service)
        .arg(detected.flags, 0, 16);
}

Reference<task::XInteractionHandler> refusingHandler(std::shared_ptr<Asked> asked)
{
    return new RefuseInteraction(std::move(asked));
}

std::optional<RuntimeError> refusal(const QString& path, const Detected& detected, DocumentKind kind)
{
    const bool ofKind = detected.service == serviceOf(kind) && !isTextOrWeb(detected);
    if (ofKind && (detected.flags & kFilterImport) && !(detected.flags & kFilterExport))
        return RuntimeError(RuntimeError::PathFileAccess, FailureText::cannotSaveFormat(detected.filterName),
                            describe(detected));
    if (ofKind && (detected.flags & kFilterImport))
        return std::nullopt;
    // Nothing of the kind, though it is packed as documents are: a damaged one.
    const bool damaged = (detected.service.isEmpty() || isTextOrWeb(detected)) && looksLikeContainer(path);
    return RuntimeError(RuntimeError::PathFileAccess,
                        damaged                      ? FailureText::damaged()
                        : kind == DocumentKind::Text ? FailureText::notWordDocument()
                                                     : FailureText::notWorkbook(),
                        describe(detected));
}

RuntimeError loadFailure(const QString& path, const Asked& asked, const QString& detail)
{
    if (asked.password)
        return {RuntimeError::PathFileAccess, FailureText::encrypted(), detail};
    if (asked.locked)
        return {RuntimeError::PathFileAccess, FailureText::lockedBy(asked.lockedBy), detail};
    if (asked.lockNotMade) {
        const QFileInfo folder(QFileInfo(path).absolutePath());
        return {RuntimeError::PathFileAccess,
                folder.isWritable() ? FailureText::lockedBy(QString()) : FailureText::readOnly(), detail};
    }
    QString why = detail;
    if (!asked.other.isEmpty())
        why += (why.isEmpty() ? QString() : QStringLiteral("; ")) + QStringLiteral("asked: ") +
               asked.other.join(QStringLiteral(", "));
    return {RuntimeError::PathFileAccess, FailureText::damaged(), why};
}

} // namespace unooffice

#include "DocumentCheck.h"

#include "app/FailureText.h"

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

quint32 le32(const QByteArray& bytes, qsizetype at)
{
    if (at < 0 || at + 4 > bytes.size())
        return 0xFFFFFFFFu;
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

} // namespace

bool encryptedWordFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(512);
    if (!header.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return false;
    const int shift = uchar(header.at(0x1E)) | uchar(header.at(0x1F)) << 8;
    if (shift != 9 && shift != 12)
        return false;
    const qint64 sectorSize = qint64(1) << shift;
    const auto sector = [&](quint32 index) {
        if (index >= 0xFFFFFFFAu || !file.seek((qint64(index) + 1) * sectorSize))
            return QByteArray();
        return file.read(sectorSize);
    };
    // The allocation table's first sectors (listed in the header) reach every
    // directory sector of a document of up to several megabytes; a longer
    // chain is simply not followed, and the load then says what it finds.
    QList<quint32> table;
    for (int i = 0; i < 109; ++i) {
        const quint32 at = le32(header, 0x4C + 4 * i);
        if (at >= 0xFFFFFFFAu)
            break;
        const QByteArray part = sector(at);
        for (qsizetype k = 0; k + 4 <= part.size(); k += 4)
            table << le32(part, k);
    }
    quint32 directory = le32(header, 0x30);
    quint32 miniStream = 0xFFFFFFFFu; // the root entry's chain
    const QByteArray name = QByteArray("W\0o\0r\0d\0D\0o\0c\0u\0m\0e\0n\0t\0\0\0", 26);
    for (int hops = 0; directory < 0xFFFFFFFAu && hops < 4096; ++hops) {
        const QByteArray entries = sector(directory);
        for (qsizetype entry = 0; entry + 128 <= entries.size(); entry += 128) {
            if (entries.at(entry + 0x42) == 5)
                miniStream = le32(entries, entry + 0x74);
            if (entries.mid(entry, 26) != name || entries.at(entry + 0x42) != 2)
                continue;
            const quint32 start = le32(entries, entry + 0x74);
            QByteArray fib;
            if (le32(entries, entry + 0x78) >= le32(header, 0x38)) {
                fib = sector(start).left(12);
            } else {
                // A small stream lies in the mini stream, in 64-byte pieces along the root's chain.
                const qint64 offset = qint64(start) * 64;
                quint32 at = miniStream;
                for (qint64 k = offset / sectorSize; k > 0 && qsizetype(at) < table.size(); --k)
                    at = table.at(at);
                fib = sector(at).mid(offset % sectorSize, 12);
            }
            if (fib.size() < 12)
                return false;
            const int ident = uchar(fib.at(0)) | uchar(fib.at(1)) << 8;
            // Word 6 to 2003 (0xA5DC, 0xA5EC): fEncrypted is the lowest bit of the flags' high byte.
            return (ident == 0xA5EC || ident == 0xA5DC) && (uchar(fib.at(0x0B)) & 0x01) != 0;
        }
        directory = qsizetype(directory) < table.size() ? table.at(directory) : 0xFFFFFFFFu;
    }
    return false;
}

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
        // A name that leaves no room for the lock file's own (a folder entry holds 255 bytes).
        if (QFile::encodeName(QFileInfo(lockFileOf(path)).fileName()).size() > 255)
            return {RuntimeError::PathFileAccess, FailureText::nameTooLong(), detail};
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

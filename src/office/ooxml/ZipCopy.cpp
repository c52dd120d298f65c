#include "ZipCopy.h"

#include <QtEndian>
#include <algorithm>

namespace ooxml::zipcopy {

namespace {

constexpr quint32 kLocalSignature = 0x04034b50;
constexpr quint32 kCentralSignature = 0x02014b50;
constexpr quint32 kEndSignature = 0x06054b50;
constexpr quint32 kZip64LocatorSignature = 0x07064b50;
constexpr quint32 kDescriptorSignature = 0x08074b50;
constexpr qint64 kEndSize = 22;
constexpr qint64 kCentralSize = 46;
constexpr qint64 kLocalSize = 30;
constexpr quint16 kDataDescriptorFlag = 0x0008;

quint16 u16(const char* p)
{
    return qFromLittleEndian<quint16>(p);
}

quint32 u32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}

QByteArray readAt(QIODevice& file, qint64 offset, qint64 size)
{
    if (size < 0 || !file.seek(offset))
        return {};
    return file.read(size);
}

} // namespace

std::optional<Directory> readDirectory(QIODevice& file)
{
    const qint64 size = file.size();
    if (size < kEndSize)
        return std::nullopt;
    // The end record is the last thing in the file, followed only by its comment.
    const qint64 window = std::min(size, kEndSize + 0xFFFF);
    const QByteArray tail = readAt(file, size - window, window);
    if (tail.size() != window)
        return std::nullopt;
    qint64 end = -1;
    for (qint64 i = window - kEndSize; i >= 0; --i) {
        const char* p = tail.constData() + i;
        if (u32(p) == kEndSignature && i + kEndSize + u16(p + 20) == window) {
            end = i;
            break;
        }
    }
    if (end < 0)
        return std::nullopt;
    const char* e = tail.constData() + end;
    const quint16 disk = u16(e + 4);
    const quint16 directoryDisk = u16(e + 6);
    const quint16 onDisk = u16(e + 8);
    const quint16 entries = u16(e + 10);
    const quint32 directorySize = u32(e + 12);
    const quint32 directoryOffset = u32(e + 16);
    if (disk != 0 || directoryDisk != 0 || onDisk != entries || entries == 0xFFFF ||
        directoryOffset == 0xFFFFFFFF || directorySize == 0xFFFFFFFF)
        return std::nullopt;
    const qint64 endOffset = size - window + end;
    if (endOffset >= 20) {
        const QByteArray locator = readAt(file, endOffset - 20, 4);
        if (locator.size() == 4 && u32(locator.constData()) == kZip64LocatorSignature)
            return std::nullopt;
    }
    if (qint64(directoryOffset) + qint64(directorySize) > endOffset)
        return std::nullopt;
    const QByteArray central = readAt(file, directoryOffset, directorySize);
    if (central.size() != qint64(directorySize))
        return std::nullopt;

    Directory directory;
    directory.comment = tail.mid(end + kEndSize);
    qint64 at = 0;
    for (int i = 0; i < entries; ++i) {
        if (at + kCentralSize > central.size())
            return std::nullopt;
        const char* c = central.constData() + at;
        if (u32(c) != kCentralSignature)
            return std::nullopt;
        const qint64 length = kCentralSize + u16(c + 28) + u16(c + 30) + u16(c + 32);
        if (at + length > central.size())
            return std::nullopt;
        Record record;
        record.flags = u16(c + 8);
        record.compressedSize = u32(c + 20);
        const quint32 expanded = u32(c + 24);
        record.localOffset = u32(c + 42);
        if (record.compressedSize == 0xFFFFFFFF || expanded == 0xFFFFFFFF ||
            record.localOffset == 0xFFFFFFFF || u16(c + 34) == 0xFFFF)
            return std::nullopt;
        record.central = central.mid(at, length);
        record.name = central.mid(at + kCentralSize, u16(c + 28));
        directory.records << record;
        at += length;
    }
    if (at != central.size())
        return std::nullopt;
    return directory;
}

bool write(const QString& target, const QList<Piece>& pieces, const QByteArray& comment, QString& why)
{
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        why = out.errorString();
        return false;
    }
    QByteArray directory;
    qint64 offset = 0;
    for (const Piece& piece : pieces) {
        QIODevice& from = *piece.from;
        const Record& record = *piece.record;
        const QByteArray local = readAt(from, record.localOffset, kLocalSize);
        if (local.size() != kLocalSize || u32(local.constData()) != kLocalSignature) {
            why = QStringLiteral("no local header for %1").arg(QString::fromUtf8(record.name));
            return false;
        }
        const qint64 dataStart =
            record.localOffset + kLocalSize + u16(local.constData() + 26) + u16(local.constData() + 28);
        qint64 dataEnd = dataStart + record.compressedSize;
        if (record.flags & kDataDescriptorFlag) {
            // crc, sizes, and a signature before them that some writers leave out.
            const QByteArray descriptor = readAt(from, dataEnd, 4);
            if (descriptor.size() != 4) {
                why = QStringLiteral("no data descriptor for %1").arg(QString::fromUtf8(record.name));
                return false;
            }
            dataEnd += u32(descriptor.constData()) == kDescriptorSignature ? 16 : 12;
        }
        if (dataEnd > from.size()) {
            why = QStringLiteral("%1 runs past the end of the file").arg(QString::fromUtf8(record.name));
            return false;
        }
        if (!from.seek(record.localOffset)) {
            why = from.errorString();
            return false;
        }
        for (qint64 left = dataEnd - record.localOffset; left > 0;) {
            const QByteArray chunk = from.read(std::min<qint64>(left, qint64(1) << 20));
            if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
                why = chunk.isEmpty() ? from.errorString() : out.errorString();
                return false;
            }
            left -= chunk.size();
        }
        QByteArray central = record.central;
        qToLittleEndian<quint32>(quint32(offset), central.data() + 42);
        directory += central;
        offset += dataEnd - record.localOffset;
        if (offset >= 0xFFFFFFFF || pieces.size() >= 0xFFFF) {
            why = QStringLiteral("the package would need Zip64");
            return false;
        }
    }
    if (qint64(offset) + directory.size() >= 0xFFFFFFFF || comment.size() > 0xFFFF) {
        why = QStringLiteral("the package would need Zip64");
        return false;
    }
    QByteArray end(kEndSize, '\0');
    qToLittleEndian<quint32>(kEndSignature, end.data());
    qToLittleEndian<quint16>(quint16(pieces.size()), end.data() + 8);
    qToLittleEndian<quint16>(quint16(pieces.size()), end.data() + 10);
    qToLittleEndian<quint32>(quint32(directory.size()), end.data() + 12);
    qToLittleEndian<quint32>(quint32(offset), end.data() + 16);
    qToLittleEndian<quint16>(quint16(comment.size()), end.data() + 20);
    if (out.write(directory) != directory.size() || out.write(end) != end.size() ||
        out.write(comment) != comment.size() || !out.flush()) {
        why = out.errorString();
        return false;
    }
    out.close();
    if (out.error() != QFileDevice::NoError) {
        why = out.errorString();
        return false;
    }
    return true;
}

} // namespace ooxml::zipcopy

#include "SystemText.h"

#include "RuntimeError.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace SystemText {

QByteArray encode(const QString& text)
{
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

QString decode(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::System);
    return decoder.decode(bytes);
}

void writeLine(const QString& path, const QString& text, Mode mode)
{
    QFile file(path);
    const QIODevice::OpenMode openMode =
        QIODevice::WriteOnly | (mode == Mode::Append ? QIODevice::Append : QIODevice::Truncate);
    if (!file.open(openMode))
        throw RuntimeError::pathFileAccess(path, file.errorString());
    const QByteArray bytes = encode(text) + QByteArrayLiteral("\r\n");
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw RuntimeError::pathFileAccess(path, file.errorString());
}

QString lastLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString last;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        last = decode(line);
    }
    return last;
}

} // namespace SystemText

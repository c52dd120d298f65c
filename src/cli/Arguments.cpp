#include "Arguments.h"

#include "collect/FileAttributes.h"

#include <QFile>
#include <QSet>

namespace cli {

namespace {

QSet<QString>& notText()
{
    static QSet<QString> arguments;
    return arguments;
}

} // namespace

QStringList readArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        const QString decoded = QFile::decodeName(raw);
        if (QFile::encodeName(decoded) == raw) {
            arguments << decoded;
            continue;
        }
        const QString readable = FileAttributes::readableName(raw);
        notText().insert(readable);
        arguments << readable;
    }
    return arguments;
}

bool isNotText(const QString& argument)
{
    return notText().contains(argument);
}

QString oneLine(const QString& line)
{
    QString shown;
    shown.reserve(line.size());
    for (const QChar c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("\\x") +
                     QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace cli

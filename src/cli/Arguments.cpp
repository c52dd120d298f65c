#include "Arguments.h"

#include "collect/FileAttributes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
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
#ifdef Q_OS_WIN
    // Windows hands a program its command line in UTF-16, which Qt reads; argv
    // holds it in the ANSI code page, where a name outside that page ("ë" on a
    // Chinese Windows, Chinese on a Western one) arrives as "?".
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return QCoreApplication::arguments();
#endif
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

QString parseErrorText(const QCommandLineParser& parser, const QStringList& arguments)
{
    QString text = parser.errorText();
    if (parser.unknownOptionNames().isEmpty())
        return text;
    // The first argument read as single-letter options is most likely a file name.
    QString looksLikeFile;
    const QStringList given = parser.optionNames();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            break;
        // An option that takes a value takes the next argument whatever it
        // looks like ("--old -abc" replaces "-abc"): that argument is the
        // option's value, not a file name, and is passed over.
        if (argument.startsWith(QLatin1Char('-')) && !argument.contains(QLatin1Char('='))) {
            const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
            if (given.contains(name) && parser.values(name).contains(arguments.value(i + 1))) {
                ++i;
                continue;
            }
        }
        if (argument.size() > 2 && argument.startsWith(QLatin1Char('-')) &&
            !argument.startsWith(QLatin1String("--"))) {
            looksLikeFile = argument;
            break;
        }
    }
    text += QStringLiteral(" -- ends the options: a file name that begins with \"-\" goes after it");
    if (!looksLikeFile.isEmpty())
        text += QStringLiteral(", e.g. -- %1").arg(looksLikeFile);
    return text + QLatin1Char('.');
}

} // namespace cli

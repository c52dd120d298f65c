// yanhe-cli: the tool's jobs from a shell, for scripts, tests and benchmarks.
#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/JobHost.h"
#include "app/Journal.h"
#include "app/Module2.h"
#include "app/RuntimeError.h"
#include "collect/CollectView.h"
#include "collect/FileAttributes.h"
#include "collect/FileCollector.h"
#include "office/OfficeRegistry.h"
#include "sheet/WorkbookReplace.h"
#include "word/SingleTextReplace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

namespace {

constexpr int kUsageError = 2;

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usageError(const QString& message)
{
    err() << "yanhe-cli: " << message << Qt::endl;
    return kUsageError;
}

// Prints each collected path on its own line as it comes.
class PrintingView final : public CollectView
{
public:
    explicit PrintingView(int mask)
        : m_mask(mask)
    {}
    int attributeMask() const override { return m_mask; }
    void clearRows() override { m_rows = 0; }
    int rowCount() const override { return m_rows; }
    void addRow(const QString& path) override
    {
        ++m_rows;
        out() << path << '\n';
    }
    void setStatus(const QString& text) override { m_status = text; }
    void setCountCaption(const QString&) override {}
    const QString& status() const { return m_status; }

private:
    int m_mask;
    int m_rows = 0;
    QString m_status;
};

int collect(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Collects the files of FOLDER whose extension matches one of the patterns, as the window's "
        "folder list does: for each pattern in turn the folder's files in name order, then those of "
        "its sub-folders, depth first. Prints each full path on its own line, then the count."));
    parser.addHelpOption();
    const QCommandLineOption recursive(QStringLiteral("recursive"),
                                       QStringLiteral("Search all sub-folders too."));
    const QCommandLineOption attributes(
        QStringLiteral("attributes"),
        QStringLiteral(
            "Attribute boxes ticked, comma-separated: normal, readonly, hidden, system. Empty: none "
            "(nothing is collected)."),
        QStringLiteral("list"), QStringLiteral("normal,readonly"));
    const QCommandLineOption patterns(
        QStringLiteral("patterns"),
        QStringLiteral("Patterns split at every \",\", not trimmed, e.g. \"*.doc,*.docx\"."),
        QStringLiteral("patterns"));
    parser.addOptions({recursive, attributes, patterns});
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The folder to collect from."));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText().replace(QStringLiteral("yanhe-cli"), QStringLiteral("yanhe-cli collect"));
        return 0;
    }
    if (!parser.isSet(patterns))
        return usageError(QStringLiteral("collect needs --patterns, e.g. --patterns \"*.doc,*.docx\""));
    if (parser.positionalArguments().size() != 1)
        return usageError(QStringLiteral("collect needs exactly one FOLDER"));
    const QString folder = parser.positionalArguments().first();
    if (!QFileInfo(folder).isDir())
        return usageError(QStringLiteral("no such folder: ") + folder);

    int mask = -1;
    const QString ticked = parser.value(attributes);
    if (!ticked.isEmpty()) {
        mask = FileAttributes::Directory;
        for (const QString& name : ticked.split(QLatin1Char(','))) {
            if (name == QLatin1String("normal"))
                mask |= FileAttributes::Normal;
            else if (name == QLatin1String("readonly"))
                mask |= FileAttributes::ReadOnly;
            else if (name == QLatin1String("hidden"))
                mask |= FileAttributes::Hidden;
            else if (name == QLatin1String("system"))
                mask |= FileAttributes::System;
            else
                return usageError(
                    QStringLiteral("unknown attribute \"%1\" (normal, readonly, hidden, system)").arg(name));
        }
    }

    PrintingView view(mask);
    FileCollector collector(view);
    collector.SubfolderSwitch = parser.isSet(recursive) ? QStringLiteral("KAI") : QStringLiteral("GUAN");
    for (const QString& pattern : FileCollector::splitPatterns(parser.value(patterns)))
        collector.search(QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath()), pattern);
    if (view.status() == collector.listFullText())
        err() << view.status() << Qt::endl;
    out() << FileCollector::countCaption(view.rowCount()) << Qt::endl;
    return 0;
}

// The files as ticked rows; the log box on stdout; the journal as the window writes it.
class CliJobHost final : public JobHost
{
public:
    CliJobHost(QStringList files, Journal& journal)
        : m_files(std::move(files))
        , m_journal(journal)
    {}
    int rowCount() const override { return int(m_files.size()); }
    bool rowChecked(int row) const override { return row < m_files.size(); }
    QString rowText(int row) const override { return m_files.value(row); }
    void setProgressValue(int) override {}
    void setProgressMax(int) override {}
    void setProgressVisible(bool) override {}
    QString status() const override { return m_status; }
    void setStatus(const QString& text) override { m_status = text; }
    void clearLog() override {}
    void appendLog(const QString& line) override { out() << line << Qt::endl; }
    void journal(const QString& message) override
    {
        try {
            m_journal.WriteJournal(message);
        } catch (const RuntimeError& error) {
            err() << "yanhe-cli: journal: " << error.description() << Qt::endl;
        }
    }
    void yield() override {}
    void beep() override {}

private:
    QStringList m_files;
    Journal& m_journal;
    QString m_status;
};

// word-replace and sheet-replace: the same jobs as the window's first tab.
int replace(const QStringList& arguments, bool documents)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        documents
            ? QStringLiteral("Replaces a text in Word documents as \"Doc文档替换\" does: the body always, "
                             "and the scopes given. Prints each line of the log box; the status line goes to "
                             "stderr. Exit code 0 when every file was processed, 1 when any failed.")
            : QStringLiteral(
                  "Replaces a text in every worksheet of workbooks as \"xls表格替换\" does. Prints "
                  "each line of the log box; the status line goes to stderr. Exit code 0 when "
                  "every file was processed, 1 when any failed."));
    parser.addHelpOption();
    const QCommandLineOption engine(
        QStringLiteral("engine"),
        documents ? QStringLiteral("word (default) or wps.") : QStringLiteral("excel (default) or wps."),
        QStringLiteral("engine"), documents ? QStringLiteral("word") : QStringLiteral("excel"));
    const QCommandLineOption oldText(QStringLiteral("old"), QStringLiteral("The text to replace."),
                                     QStringLiteral("text"));
    const QCommandLineOption newText(QStringLiteral("new"), QStringLiteral("The new text."),
                                     QStringLiteral("text"));
    const QCommandLineOption scope(
        QStringLiteral("scope"),
        QStringLiteral("Also replace in: textboxes, header-textboxes, headers-footers "
                       "(comma-separated)."),
        QStringLiteral("list"));
    parser.addOptions({engine, oldText, newText});
    if (documents)
        parser.addOption(scope);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Files to work on, as ticked rows."),
                                 QStringLiteral("FILE..."));
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    const QString command = documents ? QStringLiteral("word-replace") : QStringLiteral("sheet-replace");
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText().replace(QStringLiteral("yanhe-cli"),
                                           QStringLiteral("yanhe-cli ") + command);
        return 0;
    }
    if (!parser.isSet(oldText) || !parser.isSet(newText))
        return usageError(command + QStringLiteral(" needs --old and --new"));
    const QString chosen = parser.value(engine).toLower();
    const bool wps = chosen == QLatin1String("wps");
    if (!wps && chosen != (documents ? QLatin1String("word") : QLatin1String("excel")))
        return usageError(QStringLiteral("unknown engine \"%1\"").arg(parser.value(engine)));
    SingleTextReplace::Scopes scopes;
    if (documents && parser.isSet(scope)) {
        for (const QString& name : parser.value(scope).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (name == QLatin1String("textboxes"))
                scopes.pageTextBoxes = true;
            else if (name == QLatin1String("header-textboxes"))
                scopes.headerFooterTextBoxes = true;
            else if (name == QLatin1String("headers-footers"))
                scopes.headersFooters = true;
            else
                return usageError(
                    QStringLiteral("unknown scope \"%1\" (textboxes, header-textboxes, headers-footers)")
                        .arg(name));
        }
    }
    QStringList files;
    for (const QString& file : parser.positionalArguments())
        files << QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());

    const AppFolders folders(AppFolders::forThisProcess());
    QString dayFolder;
    try {
        dayFolder = Module2::StartUp(folders, Clock::system()).journalDayFolder;
    } catch (const RuntimeError& error) {
        err() << "yanhe-cli: " << error.description() << Qt::endl;
        return 1;
    }
    Journal journal(dayFolder, Clock::system());
    CliJobHost host(files, journal);
    OfficeRegistry& office = OfficeRegistry::system();
    bool ok = true;
    if (documents) {
        const auto result = wps ? SingleTextReplace::WpsReplace(host, office, parser.value(oldText),
                                                                parser.value(newText), scopes)
                                : SingleTextReplace::WordReplace(host, office, parser.value(oldText),
                                                                 parser.value(newText), scopes);
        ok = result.started && result.failures == 0;
    } else {
        const auto result =
            wps ? WorkbookReplace::WpsSheetReplace(host, office, parser.value(oldText), parser.value(newText))
                : WorkbookReplace::ExcelReplace(host, office, parser.value(oldText), parser.value(newText));
        ok = result.started && result.failures == 0;
    }
    err() << host.status() << Qt::endl;
    return ok ? 0 : 1;
}

QString usage()
{
    return QStringLiteral("Usage: yanhe-cli COMMAND [options]\n\n"
                          "Commands:\n"
                          "  collect         collect files by extension, as the window's folder list does\n"
                          "  word-replace    replace a text in Word documents\n"
                          "  sheet-replace   replace a text in every worksheet of workbooks\n\n"
                          "yanhe-cli COMMAND --help explains a command.\n");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("yanhe-cli"));

    QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2)
        return usageError(QStringLiteral("no command given\n") + usage());
    const QString command = arguments.takeAt(1);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        out() << usage();
        return 0;
    }
    if (command == QLatin1String("collect"))
        return collect(arguments);
    if (command == QLatin1String("word-replace"))
        return replace(arguments, true);
    if (command == QLatin1String("sheet-replace"))
        return replace(arguments, false);
    return usageError(QStringLiteral("unknown command \"%1\"\n").arg(command) + usage());
}

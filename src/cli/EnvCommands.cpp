#include "EnvCommands.h"

#include "Arguments.h"
#include "CliOutput.h"
#include "app/AppFolders.h"
#include "app/AppVersion.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "app/Module2.h"
#include "app/RuntimeError.h"
#include "app/SystemText.h"
#include "env/OfficeProbes.h"
#include "office/OfficeRegistry.h"
#include "update/UpdateAddress.h"
#include "update/UpdateCheck.h"

#include <QCommandLineParser>
#include <QUrl>
#include <optional>

namespace cli {

std::optional<QString> startUp(const AppFolders& folders)
{
    try {
        return Module2::StartUp(folders, Clock::system()).journalDayFolder;
    } catch (const RuntimeError& error) {
        err() << "yanhe-cli: " << error.description() << Qt::endl;
        return std::nullopt;
    }
}

namespace {

// Parses a command without options of its own beyond those given; -1 when it may go on.
int parse(QCommandLineParser& parser, const QStringList& arguments, const QString& command, int positional)
{
    parser.addHelpOption();
    if (!parser.parse(arguments))
        return usageError(parseErrorText(parser, arguments));
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText().replace(QStringLiteral("yanhe-cli"),
                                           QStringLiteral("yanhe-cli ") + command);
        return 0;
    }
    if (parser.positionalArguments().size() > positional)
        return usageError(
            command +
            QStringLiteral(": unexpected argument \"%1\"").arg(parser.positionalArguments().last()));
    return -1;
}

const char* flag(bool value)
{
    return value ? "1" : "0";
}

} // namespace

int probe(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the three office probes as the window's load does (excel.Application, ET.Application, "
        "KET.Application), writes their journal lines, and prints Text9=<report> and OptionN.Enabled=0|1."));
    if (const int done = parse(parser, arguments, QStringLiteral("probe"), 0); done >= 0)
        return done;

    const AppFolders folders(AppFolders::forThisProcess());
    const std::optional<QString> dayFolder = startUp(folders);
    if (!dayFolder)
        return 1;
    const env::EnvironmentReport report = env::probeAll(OfficeRegistry::system());
    const Journal journal(*dayFolder, Clock::system());
    try {
        for (const QString& line : report.journal)
            journal.WriteJournal(line);
    } catch (const RuntimeError& error) {
        err() << "yanhe-cli: " << error.description() << Qt::endl;
        return 1;
    }
    out() << "Text9=" << report.text9 << '\n';
    for (int option = 1; option <= 4; ++option)
        out() << "Option" << option << ".Enabled=" << flag(report.optionEnabled(option)) << '\n';
    out().flush();
    return 0;
}

int checkUpdate(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes toconfigure/dqbb.ini as the window's load does, runs the update check against the address "
        "of toconfigure/mysql.ini (or --address) and prints the menus' end state, one property a line."));
    const QCommandLineOption address(
        QStringLiteral("address"), QStringLiteral("The update endpoint instead of toconfigure/mysql.ini's."),
        QStringLiteral("URL"));
    parser.addOption(address);
    if (const int done = parse(parser, arguments, QStringLiteral("check-update"), 0); done >= 0)
        return done;

    const AppFolders folders(AppFolders::forThisProcess());
    if (!startUp(folders))
        return 1;
    try {
        SystemText::writeLine(folders.versionFile(), AppVersion::text(), SystemText::Mode::Truncate);
    } catch (const RuntimeError& error) {
        err() << "yanhe-cli: " << error.description() << Qt::endl;
        return 1;
    }
    const update::UpdateState state = update::CheckUpdate(folders, parser.value(address));
    out() << "gjgx.Caption=" << state.gjgxCaption << '\n'
          << "gxqk.Caption=" << state.gxqkCaption << '\n'
          << "gxqk.Enabled=" << flag(state.gxqkEnabled) << '\n'
          << "sdgx.Enabled=" << flag(state.sdgxEnabled) << '\n'
          << "Timer1.Enabled=" << flag(state.timer1Enabled) << '\n';
    if (!state.addressA.isEmpty())
        out() << "sdgx.Text=" << state.manualText() << '\n';
    out().flush();
    return 0;
}

int updateAddress(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the update address that toconfigure/mysql.ini holds, or, given URL, stores URL there "
        "(scrambled) for the update check and the updater."));
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("The new update address."),
                                 QStringLiteral("[URL]"));
    if (const int done = parse(parser, arguments, QStringLiteral("update-address"), 1); done >= 0)
        return done;

    const AppFolders folders(AppFolders::forThisProcess());
    if (!startUp(folders))
        return 1;
    if (parser.positionalArguments().isEmpty()) {
        out() << update::requestAddress(folders) << Qt::endl;
        return 0;
    }
    const QUrl url(parser.positionalArguments().first(), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")) ||
        url.host().isEmpty())
        return usageError(QStringLiteral("update-address needs an http or https URL"));
    try {
        SystemText::writeLine(folders.addressFile(), UpdateAddress::scramble(url.toString()),
                              SystemText::Mode::Truncate);
    } catch (const RuntimeError& error) {
        err() << "yanhe-cli: " << error.description() << Qt::endl;
        return 1;
    }
    out() << update::requestAddress(folders) << Qt::endl;
    return 0;
}

} // namespace cli

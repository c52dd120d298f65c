// yanhe-update: fetches the update endpoint's reply, shows the latest version
// and downloads it into the download folder.
#include "UpdaterWindow.h"
#include "app/AppFolders.h"
#include "app/SystemText.h"
#include "update/UpdateCheck.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The same application name as the tool's, so that both find the same folder.
    QApplication::setApplicationName(QStringLiteral("yanhe"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Downloads the latest version of yanhe into its download folder. Without options it reads the "
        "update address from toconfigure/mysql.ini."));
    parser.addHelpOption();
    const QCommandLineOption address(
        QStringLiteral("address"), QStringLiteral("The update endpoint instead of toconfigure/mysql.ini's."),
        QStringLiteral("URL"));
    const QCommandLineOption quitWhenDone(QStringLiteral("quit-when-done"),
                                          QStringLiteral("Quit at the end, with exit code 0 (downloaded, or "
                                                         "nothing newer) or 1 (failed)."));
    parser.addOptions({address, quitWhenDone});
    parser.process(app);

    const AppFolders folders(AppFolders::forThisProcess());
    UpdaterWindow::Options options;
    options.runningVersion = SystemText::lastLine(folders.versionFile());
    options.address = parser.isSet(address) ? parser.value(address) : update::requestAddress(folders);
    options.downloadFolder = folders.download();
    options.quitWhenDone = parser.isSet(quitWhenDone);

    UpdaterWindow window(options);
    QObject::connect(&window, &UpdaterWindow::done, &app, [&](int code) {
        if (options.quitWhenDone)
            QApplication::exit(code);
    });
    window.show();
    QTimer::singleShot(0, &window, &UpdaterWindow::run);
    const int loopCode = QApplication::exec();
    return options.quitWhenDone ? loopCode : 0;
}

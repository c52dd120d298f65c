#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "app/Module2.h"
#include "app/ProcessSetup.h"
#include "app/RuntimeError.h"
#include "gui/Form1.h"
#include "gui/MessageBox.h"
#include "jobs/WorkerHost.h"
#include "office/OfficeRegistry.h"
#include "office/SystemRunningOffice.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    setUpProcess();
    // The window's jobs run their files on copies of this program, without a window.
    if (const std::optional<QList<int>> rows = jobs::workerRows()) {
        QCoreApplication worker(argc, argv);
        return jobs::runWorker(*rows);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("yanhe"));
    MessageBox::installTranslations();

    try {
        const AppFolders folders(AppFolders::forThisProcess());
        const Module2::StartUpResult started = Module2::StartUp(folders, Clock::system());
        Journal journal(started.journalDayFolder, Clock::system());

        Form1 form(folders, journal, createSystemRunningOffice(), OfficeRegistry::system());
        form.setWorkers(QCoreApplication::applicationFilePath());
        form.Form_Load();
        form.show();
        return QApplication::exec();
    } catch (const RuntimeError& error) {
        // Nothing below handled it: one message box, then the tool ends.
        MessageBox::show(nullptr, QMessageBox::Critical, QStringLiteral("砚禾办公助手"), error.messageText());
        return 1;
    } catch (const std::exception& error) {
        MessageBox::show(nullptr, QMessageBox::Critical, QStringLiteral("砚禾办公助手"),
                         RuntimeError::fromStd(error).messageText());
        return 1;
    }
}

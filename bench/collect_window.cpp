// Collects a folder tree in the real window (offscreen) as a user's
// double-click on the folder does, and measures how long the event loop
// stalled at most meanwhile: a 1 ms timer records the longest gap between
// its ticks.
#include "app/AppFolders.h"
#include "app/Clock.h"
#include "app/Journal.h"
#include "app/Module2.h"
#include "gui/DirList.h"
#include "gui/Form1.h"
#include "office/OfficeRegistry.h"
#include "office/SystemRunningOffice.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_collect_window FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);

    QTemporaryDir appFolder;
    const AppFolders folders(appFolder.path());
    Journal journal(Module2::StartUp(folders, Clock::system()).journalDayFolder, Clock::system());
    Form1 form(folders, journal, createSystemRunningOffice(), OfficeRegistry::system());
    form.Form_Load();
    form.show();
    QApplication::processEvents();

    form.findChild<QRadioButton*>(QStringLiteral("Option1"))->click();
    form.findChild<QCheckBox*>(QStringLiteral("Check4"))->click();
    auto* dir1 = form.findChild<DirList*>(QStringLiteral("Dir1"));
    dir1->setPath(folder);

    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });

    QElapsedTimer total;
    total.start();
    sinceTick.start();
    ticker.start();
    // One click on the open folder's row collects it (".doc" pass, then ".docx").
    dir1->setCurrentRow(dir1->rowOf(folder));
    emit dir1->entryClicked();
    const qint64 elapsed = total.elapsed();
    ticker.stop();

    const int rows = form.findChild<QListWidget*>(QStringLiteral("List1"))->count();
    std::printf("window collect (offscreen): %d rows in %.3f s\n", rows, double(elapsed) / 1000.0);
    std::printf("longest event-loop stall: %.1f ms\n", double(longest) / 1e6);
    return 0;
}

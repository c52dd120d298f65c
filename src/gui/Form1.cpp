#include "Form1.h"

#include "CheckList.h"
#include "CollectedFiles.h"
#include "DirList.h"
#include "FileDrop.h"
#include "LeftColumn.h"
#include "LogBox.h"
#include "MainMenus.h"
#include "MainStatusBar.h"
#include "MessageBox.h"
#include "UpdateNotice.h"
#include "WindowCollectView.h"
#include "WindowInputs.h"
#include "WindowJobHost.h"
#include "WindowTexts.h"
#include "app/AppVersion.h"
#include "app/RuntimeError.h"
#include "app/SystemText.h"
#include "jobs/JobTable.h"
#include "jobs/ParallelRun.h"
#include "jobs/Preview.h"
#include "jobs/RunBackups.h"
#include "jobs/Undo.h"
#include "office/OfficeRegistry.h"
#include "tabs/DeleteTab.h"
#include "tabs/HeaderFooterTab.h"
#include "tabs/JobTabs.h"
#include "tabs/RenameTab.h"
#include "tabs/SingleTextTab.h"
#include "word/OpenDocumentGuard.h"
#include "word/RunningOffice.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

Form1::Form1(AppFolders folders, Journal& journal, std::unique_ptr<RunningOffice> running,
             OfficeRegistry& office, QWidget* parent)
    : QMainWindow(parent)
    , m_folders(std::move(folders))
    , m_journal(journal)
    , m_running(std::move(running))
    , m_office(office)
    , m_sheets(office)
    , m_endProgram([this] {
        hide();
        QCoreApplication::exit(0);
    })
{
    m_controls.add(QStringLiteral("Form1"), this);
    m_menus = new MainMenus(m_controls, m_boundary, m_folders.journal(), this);
    setMenuBar(m_menus);
    m_statusBar = new MainStatusBar(m_controls, m_boundary, this);
    setStatusBar(m_statusBar);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("client"));
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(px(120), px(120), px(120), px(120));
    grid->setHorizontalSpacing(px(105));
    grid->setVerticalSpacing(px(105));

    Label5 = m_controls.label(QStringLiteral("Label5"), QString(), central);
    Label5->setStyleSheet(QStringLiteral("QLabel { color: blue; background-color: #c8f5c8; }"));
    Label5->setFixedHeight(px(300));

    ProgressBar1 = m_controls.add(QStringLiteral("ProgressBar1"), new QProgressBar(central));
    ProgressBar1->setFixedHeight(px(255));
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    // Hidden at start, but its place in the column is kept.
    QSizePolicy barPolicy = ProgressBar1->sizePolicy();
    barPolicy.setRetainSizeWhenHidden(true);
    ProgressBar1->setSizePolicy(barPolicy);
    ProgressBar1->hide();

    Text9 = m_controls.add(QStringLiteral("Text9"), new QPlainTextEdit(central));
    Text9->setReadOnly(true);
    Text9->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text9->setFixedHeight(px(450) + 8);
    Text9->setStyleSheet(QStringLiteral("QPlainTextEdit { background-color: #c8f5c8; }"));

    grid->addWidget(m_left = new LeftColumn(m_controls, m_boundary), 0, 0, 4, 1);
    grid->addWidget(Label5, 0, 1);
    grid->addWidget(ProgressBar1, 1, 1);
    grid->addWidget(m_files = new CollectedFiles(m_controls, m_boundary), 2, 1);
    grid->addWidget(m_tabs = new JobTabs(m_controls), 3, 1);
    grid->addWidget(Text9, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 3105);
    grid->setRowStretch(3, 3735);
    setCentralWidget(central);

    // The log box floats over the list frame and the tabs; it is in no layout.
    Text3 = new LogBox(m_controls, central);
    Text3->keepClear(m_files->Command11);

    Timer1 = m_controls.add(QStringLiteral("Timer1"), new QTimer(this));
    Timer1->setInterval(1000);
    Timer3 = m_controls.add(QStringLiteral("Timer3"), new QTimer(this));
    Timer3->setInterval(300);
    connect(Timer3, &QTimer::timeout, this, m_boundary.guard([this] { Timer3_Timer(); }));
    Timer3->start();

    connect(m_left->Check4, &QCheckBox::clicked, this, m_boundary.guard([this] { Check4_Click(); }));
    connect(m_left->Dir1, &DirList::entryClicked, this, m_boundary.guard([this] { Dir1_Click(); }));
    connect(m_menus->stopJob, &QAction::triggered, this, m_boundary.guard([this] { stopJob(); }));
    connect(m_menus->undoLast, &QAction::triggered, this, m_boundary.guard([this] { undoLast(); }));
    connect(m_files->Command11, &QPushButton::clicked, this,
            m_boundary.guard([this] { Text3->Command11_Click(*m_files->Command11, logBoxPlace()); }));
    for (QRadioButton* engine : m_tabs->options()) {
        connect(engine, &QRadioButton::toggled, this, [this, engine](bool on) {
            if (on)
                m_boundary.run([&] { optionChosen(engine); });
        });
    }

    m_collectView = std::make_unique<WindowCollectView>(
        *m_files, *Label5, m_events, m_tabs->documentCommands(), m_tabs->workbookCommands());
    m_collector = std::make_unique<FileCollector>(*m_collectView);
    m_host = std::make_unique<WindowJobHost>(
        WindowJobHost::Widgets{this, m_files->List1, ProgressBar1, Label5, Text3}, m_journal, m_events,
        [this] { Dir1_Click(); });
    m_boundary.setHost(m_host.get());
    m_collectView->setReporter([this](const QString& line) {
        m_host->appendLog(line);
        m_host->journal(line);
    });
    m_inputs = std::make_unique<WindowInputs>(m_controls);
    connectJobs();
    m_update = new UpdateNotice(*m_menus, *Timer1, *this, m_boundary, m_folders, [this] { m_endProgram(); });

    m_drop = new FileDrop(
        *this,
        [this](const QString& folder) {
            // Where a double-click could not be (no engine option chosen yet), nothing is collected.
            if (m_left->Dir1->isEnabled()) {
                m_collector->beginDroppedPair();
                m_boundary.run([&] { m_left->Dir1->openFolder(folder); });
            }
        },
        [this](const QStringList& files) { m_boundary.run([&] { appendRows(files); }); });

    setTabOrder(m_left->Drive1, m_left->Check4);
    setTabOrder(m_left->Check4, m_left->Dir1);
    setTabOrder(m_left->Dir1, m_files->List1);

    // 13455 x 8490 twips of client area, plus the menu and status bars.
    resize(px(13455) + 8, px(8490) + menuBar()->sizeHint().height() + statusBar()->sizeHint().height() + 16);
    fixLayoutAtFirstSize(*grid);
}

void Form1::fixLayoutAtFirstSize(QGridLayout& grid)
{
    // Laid out now, hidden, at the first size: what the user sees there is what the stretches give.
    layout()->activate();
    grid.activate();
    for (QWidget* still : {static_cast<QWidget*>(m_left), static_cast<QWidget*>(Label5),
                           static_cast<QWidget*>(ProgressBar1), static_cast<QWidget*>(m_tabs)}) {
        still->setFixedSize(still->size());
        grid.setAlignment(still, Qt::AlignLeft | Qt::AlignTop);
    }
    // The list frame and the report box grow in proportion to their first heights, so
    // that at the first size they keep them.
    const int frameHeight = m_files->height();
    const int reportHeight = Text9->height();
    m_files->setMinimumHeight(frameHeight);
    Text9->setMinimumHeight(reportHeight);
    Text9->setMaximumHeight(QWIDGETSIZE_MAX);
    grid.setRowStretch(2, frameHeight);
    grid.setRowStretch(3, 0);
    grid.setRowStretch(4, reportHeight);
}

Form1::~Form1() = default;

void Form1::connectJobs()
{
    // A job naming a control the window lacks stops the start, not a click later.
    const QString missing = WindowInputs::missing(m_controls, JobTable::rows()).join(QStringLiteral(", "));
    if (!missing.isEmpty()) {
        qCritical("controls missing from the window: %s", qUtf8Printable(missing));
        throw RuntimeError(RuntimeError::ObjectNotSet, RuntimeError::nameOf(RuntimeError::ObjectNotSet),
                           missing);
    }
    for (const JobRow& row : JobTable::rows()) {
        if (auto* button = qobject_cast<QAbstractButton*>(m_controls.find(row.button))) {
            connect(button, &QAbstractButton::clicked, this, m_boundary.guard([this, &row] { runJob(row); }));
            button->installEventFilter(this);
            m_jobButtons.insert(button);
        }
    }
}

void Form1::runJob(const JobRow& row)
{
    // A second click (a double-click, a click while the first job yields) is ignored.
    if (m_jobRunning)
        return;
    m_jobRunning = true;
    m_host->setStopRequested(false);
    lockForJob(true);
    Batch::Result result;
    {
        struct Unlock
        {
            Form1& form;
            ~Unlock()
            {
                form.lockForJob(false);
                form.m_host->setStopRequested(false);
                form.m_jobRunning = false;
            }
        } unlock{*this};
        if (m_menus->previewOnly->isChecked() && jobs::previews(row))
            runPreview(row, result);
        else
            runChanging(row, result);
        // Clicks that came while the job held the window (one that does not
        // yield) are taken now, and ignored as the job still runs.
        QCoreApplication::processEvents();
        // Also when the office program could not start: the log box says why.
        if (result.failures > 0 || !result.started)
            showFailures(result.failures);
    }
    if (m_closeWhenStopped)
        QTimer::singleShot(0, this, [this] { close(); });
}

void Form1::runPreview(const JobRow& row, Batch::Result& result)
{
    // Nothing is saved, so nothing is kept, and no worker is needed.
    const ReadInputs read = m_inputs->reader(row.button);
    JobContext context{*m_host, read, m_office, m_office};
    result = jobs::runPreview(row, context);
    if (!m_host->stopRequested())
        m_host->setStatus(WindowTexts::kPreviewDone);
}

void Form1::runChanging(const JobRow& row, Batch::Result& result)
{
    QStringList files;
    for (int i = 0; i < m_host->rowCount(); ++i) {
        if (m_host->rowChecked(i))
            files << m_host->rowText(i);
    }
    const jobs::RunBackups backups(m_folders, row, row.describe(m_inputs->read(row.button)), files);
    if (!backups.notice().isEmpty())
        m_host->journal(backups.notice());
    if (!runOnWorkers(row, result)) {
        const ReadInputs read = m_inputs->reader(row.button);
        JobContext context{*m_host, read, m_office, m_office};
        result = JobTable::run(row, context);
    }
    // The job empties the log box as it starts: the notice follows its lines.
    if (!backups.notice().isEmpty())
        m_host->appendLog(backups.notice());
}

void Form1::showFailures(int failures)
{
    if (failures > 0) {
        const QString line = Batch::failedText(failures);
        m_host->appendLog(line);
        m_host->journal(line);
    }
    if (Text3->isHidden())
        Text3->Command11_Click(*m_files->Command11, logBoxPlace());
}

void Form1::stopJob()
{
    if (!m_jobRunning)
        return;
    m_host->setStopRequested(true);
    m_menus->stopJob->setEnabled(false);
}

void Form1::undoLast()
{
    if (m_jobRunning)
        return;
    const QList<RunManifest> runs = jobs::undoableRuns(m_folders);
    if (runs.isEmpty()) {
        MessageBox::show(this, QMessageBox::Information, WindowTexts::kProductName,
                         QStringLiteral("没有可撤销的操作"));
        return;
    }
    const RunManifest& run = runs.last();
    if (MessageBox::show(
            this, QMessageBox::Question, WindowTexts::kProductName,
            QStringLiteral("撤销 %1？\n\n此后又被改动的文件不会恢复。").arg(jobs::runSummary(run)),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    m_jobRunning = true;
    lockForJob(true);
    m_host->clearLog();
    jobs::undoRun(*m_host, m_folders, run);
    lockForJob(false);
    m_jobRunning = false;
    if (Text3->isHidden())
        Text3->Command11_Click(*m_files->Command11, logBoxPlace());
}

void Form1::lockForJob(bool lock)
{
    m_menus->stopJob->setVisible(lock);
    m_menus->stopJob->setEnabled(lock);
    if (lock) {
        QList<QObject*> held{m_left->Drive1,
                             m_left->Check4,
                             m_left->Dir1,
                             m_files->Check2,
                             m_files->Check6,
                             m_files->Command5,
                             m_menus->gjgx->menuAction(),
                             m_menus->undoLast};
        for (QRadioButton* option : m_tabs->options())
            held << option;
        m_lockedForJob.clear();
        for (QObject* object : held) {
            m_lockedForJob.append({object, object->property("enabled").toBool()});
            object->setProperty("enabled", false);
        }
        m_files->List1->viewport()->installEventFilter(this);
        m_files->List1->installEventFilter(this);
        return;
    }
    m_files->List1->viewport()->removeEventFilter(this);
    m_files->List1->removeEventFilter(this);
    for (const auto& [object, enabled] : std::as_const(m_lockedForJob)) {
        if (object)
            object->setProperty("enabled", enabled);
    }
    m_lockedForJob.clear();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // A double-click on a job button is one click, not a second run.
    if (event->type() == QEvent::MouseButtonDblClick && m_jobButtons.contains(watched))
        return true;
    if (m_jobRunning && (watched == m_files->List1 || watched == m_files->List1->viewport())) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return true;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            return key == Qt::Key_Space || key == Qt::Key_Select;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (m_jobRunning) {
        m_closeWhenStopped = true;
        stopJob();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool Form1::runOnWorkers(const JobRow& row, Batch::Result& result)
{
    // Workers make their own office programs: only where the window would use the machine's.
    if (!row.drivesOffice || m_workerProgram.isEmpty() || &m_office != &OfficeRegistry::system())
        return false;
    QStringList files;
    for (int i = 0; i < m_host->rowCount(); ++i) {
        if (m_host->rowChecked(i))
            files << m_host->rowText(i);
    }
    const int workers = m_workerCount > 0 ? m_workerCount : jobs::automaticJobs(files);
    if (workers < 2 || files.size() < 2)
        return false;
    result.total = int(files.size());
    jobs::runParallel(*m_host, files, workers, row, m_inputs->read(row.button), m_workerProgram,
                      &result.failures);
    return true;
}

void Form1::setWorkers(const QString& program, int count)
{
    m_workerProgram = program;
    m_workerCount = count;
}

void Form1::appendRows(const QStringList& files)
{
    for (const QString& file : files)
        m_collectView->addRow(file);
    m_files->setTitle(FileCollector::countCaption(m_files->List1->count()));
}

void Form1::Form_Load()
{
    m_collector->SearchEnabled = true;
    m_versionText = AppVersion::text();
    SystemText::writeLine(m_folders.versionFile(), m_versionText, SystemText::Mode::Truncate);
    setWindowTitle(WindowTexts::kTitle + m_versionText);

    CheckOfficeVersion();
    CheckWpsV8();
    CheckWpsV9();
    showEnvironmentReport();

    Timer1->stop();
    const SingleTextTab& single = *m_tabs->singleText;
    for (QRadioButton* engine : {single.Option1, single.Option2, single.Option3, single.Option4})
        Controls::clearOption(engine);
    m_left->Dir1->setEnabled(false);
    m_left->Drive1->setEnabled(false);

    m_update->CheckUpdate();
    m_files->hgdtiao();
    m_statusBar->Panel2->setText(WindowTexts::kWelcome);
    m_files->List1->scrollToBottom();
}

void Form1::showEnvironmentReport()
{
    Text9->setPlainText(QString(m_report.text9).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    const SingleTextTab& single = *m_tabs->singleText;
    QRadioButton* const options[] = {single.Option1, single.Option2, single.Option3, single.Option4};
    for (int i = 0; i < 4; ++i)
        options[i]->setEnabled(m_report.optionEnabled(i + 1, options[i]->isEnabled()));
    for (const QString& line : std::as_const(m_report.journal))
        m_host->journal(line);
}

QString Form1::nextWelcomeText(const QString& text, int panelWidthTwips)
{
    QString next = QLatin1Char(' ') + text;
    if (next.size() * 120 > panelWidthTwips) {
        qsizetype blanks = 0;
        while (blanks < next.size() && next.at(blanks) == QLatin1Char(' '))
            ++blanks;
        next.remove(0, blanks);
    }
    return next;
}

void Form1::Timer3_Timer()
{
    QCoreApplication::processEvents();
    QLabel* panel = m_statusBar->Panel2;
    panel->setText(nextWelcomeText(panel->text(), panel->width() * kTwipsPerPixel));
}

void Form1::Check4_Click()
{
    m_collector->SubfolderSwitch =
        m_left->Check4->isChecked() ? QStringLiteral("KAI") : QStringLiteral("GUAN");
}

void Form1::appendLog(const QString& line)
{
    m_host->appendLog(line);
}

void Form1::setProgramEnd(std::function<void()> end)
{
    m_endProgram = std::move(end);
}

void Form1::setFolderOpener(std::function<void(const QString&)> opener)
{
    m_menus->setFolderOpener(std::move(opener));
}

QRect Form1::logBoxPlace() const
{
    // Left and width of the list frame; from 1440 twips down to the bottom of
    // the tab control. At the window's first size this is 2760, 1440, 10455, 6375.
    const QRect frame = m_files->geometry();
    const int top = frame.top() + px(1440 - 840);
    return {frame.left(), top, frame.width(), m_tabs->geometry().bottom() - top + 1};
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (Text3->isVisible())
        QTimer::singleShot(0, this, m_boundary.guard([this] { Text3->placeAt(logBoxPlace()); }));
}

void Form1::Dir1_Click()
{
    m_collector->Dir1_Click(m_left->Dir1->clickedEntry(), m_left->Dir1->path(), m_tabs->collectOptions());
}

void Form1::optionChosen(QRadioButton* chosen)
{
    const SingleTextTab& single = *m_tabs->singleText;
    QRadioButton* option7 = m_tabs->headerFooter->Option7;
    QRadioButton* option9 = m_tabs->deleteFiles->Option9;
    QRadioButton* option10 = m_tabs->rename->Option10;
    const bool excel = chosen == single.Option2 || chosen == single.Option4;
    if (!(excel ? Exceljc() : Wordjc()))
        return;
    if (chosen == option7 || chosen == option9 || chosen == option10)
        Controls::clearOption(single.Option1);
    if (chosen == option9 || chosen == option10)
        Controls::clearOption(option7);
    m_left->Dir1->setEnabled(true);
    m_left->Drive1->setEnabled(true);
    if (chosen != option7 && chosen != option9)
        m_files->Check2->show();
}

bool Form1::runGuard(bool word)
{
    const OpenDocumentGuard::Outcome outcome = OpenDocumentGuard::run(
        word ? OpenDocumentGuard::word() : OpenDocumentGuard::excel(), *m_running,
        [this](const QString& title, const QString& text) {
            return MessageBox::show(this, QMessageBox::Warning, title, text,
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
        },
        [this](const QString& message) { m_host->journal(message); });
    if (outcome == OpenDocumentGuard::Outcome::EndProgram) {
        m_endProgram();
        return false;
    }
    return true;
}

bool Form1::Wordjc()
{
    return runGuard(true);
}

bool Form1::Exceljc()
{
    return runGuard(false);
}

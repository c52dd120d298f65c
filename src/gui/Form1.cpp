#include "Form1.h"

#include "CheckList.h"
#include "DirList.h"
#include "Form3.h"
#include "MessageBox.h"
#include "app/AppVersion.h"
#include "app/Journal.h"
#include "app/RuntimeError.h"
#include "app/SystemText.h"
#include "collect/FileAttributes.h"
#include "collect/Volumes.h"
#include "office/OfficeRegistry.h"
#include "word/RunningOffice.h"
#include "app/JobTable.h"
#include "word/OpenDocumentGuard.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The window's geometry is laid out in twips; the screen has 15 twips per pixel.
constexpr int kTwipsPerPixel = 15;
constexpr int px(int twips)
{
    return twips / kTwipsPerPixel;
}

const QString kTitle = QStringLiteral("砚禾批量替换Word ExceL文档内容助手V");
const QString kProductName = QStringLiteral("砚禾办公助手");
const QString kWelcome = QStringLiteral("欢迎使用砚禾办公助手");
const QString kOpenLog = QStringLiteral("打开日志");
const QString kCloseLog = QStringLiteral("关闭日志");
const QString kPatternNote =
    QStringLiteral("注意：扩展名(每个扩展名以*号开头)，多个用英文逗号“,”隔开,如:*.exe,*.jpg");
const QString kUnlockHint =
    QStringLiteral("搜索前先勾上解锁双击左侧文件夹选择，如果包含子文件夹请在文件夹上方勾选");

QString arrayName(const char* name, int index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

template <class W> W* named(W* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel* label(const QString& name, const QString& text, QWidget* parent)
{
    return named(new QLabel(text, parent), name);
}

QPushButton* button(const QString& name, const QString& caption, QWidget* parent)
{
    return named(new QPushButton(caption, parent), name);
}

QCheckBox* check(const QString& name, const QString& caption, QWidget* parent, bool checked = false)
{
    auto* box = named(new QCheckBox(caption, parent), name);
    box->setChecked(checked);
    return box;
}

QRadioButton* option(const QString& name, const QString& caption, QWidget* parent)
{
    return named(new QRadioButton(caption, parent), name);
}

QLineEdit* edit(const QString& name, const QString& text, QWidget* parent)
{
    return named(new QLineEdit(text, parent), name);
}

QGroupBox* frame(const QString& name, const QString& caption, QWidget* parent)
{
    return named(new QGroupBox(caption, parent), name);
}

// An editable combo box: it takes typed text as well as its items.
QComboBox* combo(const QString& name, const QStringList& items, const QString& text, QWidget* parent)
{
    auto* box = named(new QComboBox(parent), name);
    box->setEditable(true);
    box->addItems(items);
    box->setCurrentText(text);
    return box;
}

QLabel* wrappedLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* note = label(name, text, parent);
    note->setWordWrap(true);
    return note;
}

} // namespace

Form1::Form1(AppFolders folders, Journal& journal, std::unique_ptr<RunningOffice> running,
             OfficeRegistry& office, QWidget* parent)
    : QMainWindow(parent)
    , m_folders(std::move(folders))
    , m_journal(journal)
    , m_running(std::move(running))
    , m_office(office)
    , m_openFolder([](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); })
    , m_endProgram([this] {
        hide();
        QCoreApplication::exit(0);
    })
{
    setObjectName(QStringLiteral("Form1"));
    buildMenus();
    buildStatusBar();

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("client"));
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(px(120), px(120), px(120), px(120));
    grid->setHorizontalSpacing(px(105));
    grid->setVerticalSpacing(px(105));

    Label5 = label(QStringLiteral("Label5"), QString(), central);
    Label5->setStyleSheet(QStringLiteral("QLabel { color: blue; background-color: #c8f5c8; }"));
    Label5->setFixedHeight(px(300));

    ProgressBar1 = named(new QProgressBar(central), QStringLiteral("ProgressBar1"));
    ProgressBar1->setFixedHeight(px(255));
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    // Hidden at start, but its place in the column is kept.
    QSizePolicy barPolicy = ProgressBar1->sizePolicy();
    barPolicy.setRetainSizeWhenHidden(true);
    ProgressBar1->setSizePolicy(barPolicy);
    ProgressBar1->hide();

    Text9 = named(new QPlainTextEdit(central), QStringLiteral("Text9"));
    Text9->setReadOnly(true);
    Text9->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text9->setFixedHeight(px(450) + 8);
    Text9->setStyleSheet(QStringLiteral("QPlainTextEdit { background-color: #c8f5c8; }"));

    grid->addWidget(buildLeftColumn(), 0, 0, 4, 1);
    grid->addWidget(Label5, 0, 1);
    grid->addWidget(ProgressBar1, 1, 1);
    grid->addWidget(buildCollectedFrame(), 2, 1);
    grid->addWidget(buildTabs(), 3, 1);
    grid->addWidget(Text9, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 3105);
    grid->setRowStretch(3, 3735);
    setCentralWidget(central);

    // The log box floats over the list frame and the tabs; it is in no layout.
    Text3 = named(new QPlainTextEdit(central), QStringLiteral("Text3"));
    Text3->setReadOnly(true);
    Text3->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text3->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text3->hide();

    Timer1 = named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    Timer3 = named(new QTimer(this), QStringLiteral("Timer3"));
    Timer3->setInterval(300);
    connect(Timer3, &QTimer::timeout, this, &Form1::Timer3_Timer);
    Timer3->start();

    for (QRadioButton* engine : {Option1, Option2, Option3, Option4, Option7, Option9, Option10, Option11}) {
        connect(engine, &QRadioButton::toggled, this, [this, engine](bool on) {
            if (on)
                optionChosen(engine);
        });
    }

    setTabOrder(Drive1, Check4);
    setTabOrder(Check4, Dir1);
    setTabOrder(Dir1, List1);

    // 13455 x 8490 twips of client area, plus the menu and status bars.
    resize(px(13455) + 8, px(8490) + menuBar()->sizeHint().height() + statusBar()->sizeHint().height() + 16);
}

Form1::~Form1() = default;

void Form1::buildMenus()
{
    auto* bar = menuBar();
    QMenu* gjgx = named(bar->addMenu(QStringLiteral("工具更新")), QStringLiteral("gjgx"));
    named(gjgx->addAction(QStringLiteral("更新情况")), QStringLiteral("gxqk"));
    named(gjgx->addAction(QStringLiteral("手动更新")), QStringLiteral("sdgx"));
    QAction* das = named(bar->addAction(QStringLiteral("微信好友")), QStringLiteral("das"));
    QAction* ckrz = named(bar->addAction(QStringLiteral("查看文本日志")), QStringLiteral("ckrz"));
    QAction* gy = named(bar->addAction(QStringLiteral("关于")), QStringLiteral("gy"));
    connect(das, &QAction::triggered, this, &Form1::das_Click);
    connect(ckrz, &QAction::triggered, this, &Form1::ckrz_Click);
    connect(gy, &QAction::triggered, this, &Form1::gy_Click);
}

void Form1::buildStatusBar()
{
    auto* bar = named(new QStatusBar(this), QStringLiteral("StatusBar1"));
    setStatusBar(bar);
    auto* panel1 = label(QStringLiteral("StatusBar1_Panel1"), kProductName, bar);
    panel2 = label(QStringLiteral("StatusBar1_Panel2"), QStringLiteral("欢迎"), bar);
    panel3 = label(QStringLiteral("StatusBar1_Panel3"), QString(), bar);
    panel4 = label(QStringLiteral("StatusBar1_Panel4"), QString(), bar);
    panel2->setMinimumWidth(px(4500));
    bar->addWidget(panel1);
    bar->addWidget(panel2, 1);
    bar->addWidget(panel3);
    bar->addWidget(panel4);

    // Panels 3 and 4 keep the date and the time current by themselves.
    const auto showNow = [this] {
        const QDateTime now = QDateTime::currentDateTime();
        panel3->setText(QLocale::system().toString(now.date(), QLocale::ShortFormat));
        panel4->setText(now.time().toString(QStringLiteral("HH:mm")));
    };
    showNow();
    clockTimer = new QTimer(this);
    clockTimer->setInterval(1000);
    connect(clockTimer, &QTimer::timeout, this, showNow);
    clockTimer->start();
}

QWidget* Form1::buildLeftColumn()
{
    auto* frame2 = frame(QStringLiteral("Frame2"), QStringLiteral("选择文件"), nullptr);
    frame2->setFixedWidth(px(2535));
    Drive1 = named(new QComboBox(frame2), QStringLiteral("Drive1"));
    Check4 = check(QStringLiteral("Check4"), QStringLiteral("选择搜索子文件夹"), frame2);
    Dir1 = named(new DirList(frame2), QStringLiteral("Dir1"));
    Drive1->setEnabled(false);
    Dir1->setEnabled(false);
    connect(Check4, &QCheckBox::clicked, this, &Form1::Check4_Click);

    // The folder list starts at the current folder, on its drive.
    const QList<Volumes::Volume> volumes = Volumes::list();
    for (const Volumes::Volume& volume : volumes)
        Drive1->addItem(volume.label, volume.rootPath);
    if (!Dir1->setPath(QDir::currentPath()))
        Dir1->setPath(QDir::homePath());
    Drive1->setCurrentIndex(Drive1->findData(Volumes::rootOf(Dir1->path(), volumes)));
    connect(Drive1, &QComboBox::activated, this, &Form1::Drive1_Change);
    connect(Dir1, &DirList::entryClicked, this, &Form1::Dir1_Click);
    connect(Dir1, &DirList::openFailed, this, [this](const QString& folder) {
        MessageBox::show(this, QMessageBox::Warning, kProductName,
                         QStringLiteral("无法打开文件夹：") + folder +
                             QStringLiteral("\n请检查文件夹是否存在以及是否有权限读取。"));
    });

    auto* layout = new QVBoxLayout(frame2);
    layout->addWidget(Drive1);
    layout->addWidget(Check4);
    layout->addWidget(Dir1, 1);
    return frame2;
}

QWidget* Form1::buildCollectedFrame()
{
    Frame4 = frame(QStringLiteral("Frame4"), QStringLiteral("收集到的文件"), nullptr);
    List1 = named(new CheckList(Frame4), QStringLiteral("List1"));
    Command11 = button(QStringLiteral("Command11"), kOpenLog, Frame4);
    connect(Command11, &QPushButton::clicked, this, &Form1::Command11_Click);

    const QStringList attributeCaptions = {QStringLiteral("常规"), QStringLiteral("只读"),
                                           QStringLiteral("隐藏"), QStringLiteral("系统")};
    auto* row = new QHBoxLayout;
    row->addWidget(Command11);
    for (int i = 0; i < attributeCaptions.size(); ++i) {
        Check8[i] = check(arrayName("Check8", i), attributeCaptions.at(i), Frame4, i < 2);
        row->addWidget(Check8[i]);
    }

    Check2 = check(QStringLiteral("Check2"), QStringLiteral("全选"), Frame4);
    Check2->setStyleSheet(QStringLiteral("QCheckBox { color: red; }"));
    QSizePolicy keepPlace = Check2->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    Check2->setSizePolicy(keepPlace);
    Check2->hide();
    row->addWidget(Check2);
    row->addStretch(1);
    connect(Check2, &QCheckBox::clicked, this, &Form1::Check2_Click);

    Check6 = check(QStringLiteral("Check6"), QString(), Frame4);
    Check6->setToolTip(QStringLiteral("勾选后才能移除表格所选"));
    row->addWidget(Check6);
    row->addSpacing(-4);
    auto* command5 = button(QStringLiteral("Command5"), QStringLiteral("移除表格所选"), Frame4);
    connect(command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    row->addWidget(command5);

    auto* layout = new QVBoxLayout(Frame4);
    layout->addWidget(List1, 1);
    layout->addLayout(row);
    return Frame4;
}

QWidget* Form1::buildTabs()
{
    SSTab1 = named(new QTabWidget(nullptr), QStringLiteral("SSTab1"));
    SSTab1->addTab(buildSingleTextTab(), QStringLiteral("文档单文本替换"));
    SSTab1->addTab(buildHeaderFooterTab(), QStringLiteral("页眉-页脚-页码"));
    SSTab1->addTab(buildDeleteTab(), QStringLiteral("文件搜索删除"));
    SSTab1->addTab(buildRenameTab(), QStringLiteral("文件批量改名"));
    SSTab1->addTab(buildMultiTextTab(), QStringLiteral("文档多文本替换"));
    SSTab1->setCurrentIndex(0);

    // Option7 and Option10 sit on the tab control itself and so form one group
    // across their two tabs.
    auto* tabGroup = new QButtonGroup(this);
    tabGroup->addButton(Option7);
    tabGroup->addButton(Option10);
    return SSTab1;
}

QWidget* Form1::buildSingleTextTab()
{
    auto* tab = named(new QWidget, QStringLiteral("SSTab1_Tab0"));

    auto* frame3 = frame(QStringLiteral("Frame3"), QString(), tab);
    Option1 = option(QStringLiteral("Option1"), QStringLiteral("开启解锁Word"), frame3);
    Option2 = option(QStringLiteral("Option2"), QStringLiteral("开启解锁Excel"), frame3);
    Option3 = option(QStringLiteral("Option3"), QStringLiteral("开启解锁Wps.doc"), frame3);
    Option4 = option(QStringLiteral("Option4"), QStringLiteral("开启解锁Wps.xls"), frame3);
    auto* frame3Layout = new QVBoxLayout(frame3);
    frame3Layout->addWidget(label(QStringLiteral("Label9_0"), QStringLiteral("微软"), frame3));
    frame3Layout->addWidget(Option1);
    frame3Layout->addWidget(Option2);
    frame3Layout->addWidget(label(QStringLiteral("Label9_1"), QStringLiteral("金山WPS"), frame3));
    frame3Layout->addWidget(Option3);
    frame3Layout->addWidget(Option4);
    frame3Layout->addStretch(1);

    auto* frame6 = frame(QStringLiteral("Frame6"), QStringLiteral("文档 表格替换"), tab);
    auto* text1 = edit(QStringLiteral("Text1"), QStringLiteral("输入原内容"), frame6);
    auto* text2 = edit(QStringLiteral("Text2"), QStringLiteral("输入新内容"), frame6);

    auto* frame14 = frame(QStringLiteral("Frame14"), QStringLiteral("word有下面内容替换需勾选"), frame6);
    const QStringList scopes = {QStringLiteral("有页面文本框内容"), QStringLiteral("页眉页脚有文本框内容"),
                                QStringLiteral("包含替换页眉页脚内容")};
    auto* frame14Layout = new QVBoxLayout(frame14);
    for (int i = 0; i < scopes.size(); ++i)
        frame14Layout->addWidget(check(arrayName("Check13", i), scopes.at(i), frame14));

    auto* frame11 = frame(QStringLiteral("Frame11"), QStringLiteral("只替换EXCEL某个单元格内容"), frame6);
    auto* cellRow = new QHBoxLayout;
    cellRow->addWidget(label(arrayName("Label8", 0), QStringLiteral("第"), frame11));
    cellRow->addWidget(edit(arrayName("Text15", 0), QString(), frame11));
    cellRow->addWidget(label(arrayName("Label8", 2), QStringLiteral("行"), frame11));
    cellRow->addWidget(label(arrayName("Label8", 1), QStringLiteral("第"), frame11));
    cellRow->addWidget(edit(arrayName("Text15", 1), QString(), frame11));
    cellRow->addWidget(label(arrayName("Label8", 3), QStringLiteral("列"), frame11));
    auto* frame11Layout = new QVBoxLayout(frame11);
    frame11Layout->addLayout(cellRow);
    frame11Layout->addWidget(edit(arrayName("Text15", 2), QStringLiteral("输入替换内容"), frame11));
    Command8 = button(QStringLiteral("Command8"), QStringLiteral("EXCEL单元替换"), frame11);
    frame11Layout->addWidget(Command8);

    auto* commands = new QVBoxLayout;
    commands->addWidget(text1);
    commands->addWidget(text2);
    Command1 = button(QStringLiteral("Command1"), QStringLiteral("Doc文档替换"), frame6);
    Command2 = button(QStringLiteral("Command2"), QStringLiteral("xls表格替换"), frame6);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    commands->addWidget(Command1);
    commands->addWidget(Command2);
    commands->addStretch(1);
    auto* frame6Layout = new QHBoxLayout(frame6);
    frame6Layout->addLayout(commands, 1);
    frame6Layout->addWidget(frame14);
    frame6Layout->addWidget(frame11, 1);

    auto* layout = new QHBoxLayout(tab);
    layout->addWidget(frame3);
    layout->addWidget(frame6, 1);
    return tab;
}

QWidget* Form1::buildHeaderFooterTab()
{
    auto* tab = named(new QWidget, QStringLiteral("SSTab1_Tab1"));

    auto* frame12 = frame(QStringLiteral("Frame12"), QString(), tab);
    auto* frame12Layout = new QGridLayout(frame12);
    const QStringList texts12 = {QStringLiteral("原文本"), QStringLiteral("新文本"), QStringLiteral("原文本"),
                                 QStringLiteral("新文本")};
    for (int i = 0; i < texts12.size(); ++i)
        frame12Layout->addWidget(edit(arrayName("Text12", i), texts12.at(i), frame12), i / 2, i % 2);
    frame12Layout->addWidget(check(QStringLiteral("Check10"), QStringLiteral("页眉"), frame12), 0, 2);
    frame12Layout->addWidget(check(QStringLiteral("Check11"), QStringLiteral("页脚"), frame12), 1, 2);
    Command7 = button(QStringLiteral("Command7"), QStringLiteral("替换页眉页脚"), frame12);
    frame12Layout->addWidget(Command7, 2, 0, 1, 3);

    auto* frame5 = frame(QStringLiteral("Frame5"), QStringLiteral("Word 页眉 页脚 页码"), tab);
    auto* grid = new QGridLayout(frame5);
    grid->addWidget(label(arrayName("Label4", 0), QStringLiteral("字体"), frame5), 0, 3);
    grid->addWidget(label(arrayName("Label4", 1), QStringLiteral("字号"), frame5), 0, 4);
    grid->addWidget(label(arrayName("Label4", 2), QStringLiteral("加粗"), frame5), 0, 5);
    const QString rowCaptions[2][2] = {{QStringLiteral("页眉内容"), QStringLiteral("删除页眉")},
                                       {QStringLiteral("页脚内容"), QStringLiteral("删除页脚")}};
    for (int row = 0; row < 2; ++row) {
        grid->addWidget(check(arrayName("Check12", row), rowCaptions[row][0], frame5), row + 1, 0);
        grid->addWidget(check(arrayName("Check5", row), rowCaptions[row][1], frame5), row + 1, 1);
        auto* text = edit(row == 0 ? QStringLiteral("Text4") : QStringLiteral("Text5"), QString(), frame5);
        text->setMinimumWidth(px(1500));
        grid->addWidget(text, row + 1, 2);
        auto* font = edit(arrayName("Text6", row), QStringLiteral("宋体"), frame5);
        font->setMaximumWidth(70);
        grid->addWidget(font, row + 1, 3);
        auto* size = edit(arrayName("Text7", row), QStringLiteral("10"), frame5);
        size->setMaximumWidth(40);
        grid->addWidget(size, row + 1, 4);
        grid->addWidget(check(arrayName("Check1", row), QString(), frame5), row + 1, 5);
    }
    grid->addWidget(combo(QStringLiteral("Combo1"),
                          {QStringLiteral("居左"), QStringLiteral("居右"), QStringLiteral("居中")},
                          QStringLiteral("居中"), frame5),
                    1, 6);
    grid->addWidget(combo(QStringLiteral("Combo2"),
                          {QStringLiteral("居右"), QStringLiteral("居左"), QStringLiteral("居中")},
                          QStringLiteral("居左"), frame5),
                    2, 6);
    grid->addWidget(check(QStringLiteral("Check3"), QStringLiteral("页脚插入页码"), frame5), 3, 0, 1, 2);
    grid->addWidget(combo(QStringLiteral("Combo3"),
                          {QStringLiteral("居中"), QStringLiteral("居左"), QStringLiteral("居右")},
                          QStringLiteral("居中"), frame5),
                    3, 6);
    Command3 = button(QStringLiteral("Command3"), QStringLiteral("批量插入页眉页脚页码"), frame5);
    grid->addWidget(Command3, 4, 0, 1, 7);
    grid->setColumnStretch(2, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(frame12);
    Option7 = option(QStringLiteral("Option7"), QStringLiteral("开启word"), tab);
    left->addWidget(Option7);
    left->addWidget(wrappedLabel(
        QStringLiteral("Label2"),
        QStringLiteral("不需要页眉页脚内容单独勾选直接删除，如果不删除可以选择靠左靠右或居中"), tab));
    left->addStretch(1);

    auto* layout = new QHBoxLayout(tab);
    layout->addLayout(left, 2);
    layout->addWidget(frame5, 3);
    return tab;
}

QWidget* Form1::buildDeleteTab()
{
    auto* tab = named(new QWidget, QStringLiteral("SSTab1_Tab2"));

    auto* frame7 = frame(QStringLiteral("Frame7"), QStringLiteral("扩展名填写"), tab);
    auto* frame7Layout = new QVBoxLayout(frame7);
    Option9 = option(QStringLiteral("Option9"), kUnlockHint, frame7);
    Text8 = edit(QStringLiteral("Text8"), QStringLiteral("*.doc,*.docx"), frame7);
    frame7Layout->addWidget(Option9);
    frame7Layout->addWidget(Text8);
    frame7Layout->addWidget(wrappedLabel(arrayName("Label6", 0), kPatternNote, frame7));
    frame7Layout->addStretch(1);

    auto* frame1 = frame(QStringLiteral("Frame1"), QStringLiteral("删除文件"), tab);
    auto* frame1Layout = new QVBoxLayout(frame1);
    frame1Layout->addWidget(check(QStringLiteral("Check7"),
                                  QStringLiteral("勾选解锁后可删除，注意：删除后不可恢复，谨慎操作"),
                                  frame1));
    frame1Layout->addWidget(button(QStringLiteral("Command4"), QStringLiteral("删除文件"), frame1));
    frame1Layout->addStretch(1);

    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(frame7);
    layout->addWidget(frame1);
    layout->addStretch(1);
    return tab;
}

QWidget* Form1::buildRenameTab()
{
    auto* tab = named(new QWidget, QStringLiteral("SSTab1_Tab3"));

    auto* frame10 = frame(QStringLiteral("Frame10"), QStringLiteral("自定义文本"), tab);
    auto* frame10Layout = new QHBoxLayout(frame10);
    frame10Layout->addWidget(edit(QStringLiteral("Text10"), QString(), frame10), 1);
    frame10Layout->addWidget(label(QStringLiteral("Label3"), QStringLiteral("增量："), frame10));
    auto* step = edit(QStringLiteral("txtStep"), QStringLiteral("1"), frame10);
    step->setMaximumWidth(60);
    frame10Layout->addWidget(step);

    auto* frame9 = frame(QStringLiteral("Frame9"), QStringLiteral("自定义文本位置"), tab);
    auto* frame9Layout = new QGridLayout(frame9);
    const QStringList positions = {QStringLiteral("替换前缀"),     QStringLiteral("替换后缀"),
                                   QStringLiteral("在前缀的前面"), QStringLiteral("在前缀的后面"),
                                   QStringLiteral("在后缀的前面"), QStringLiteral("在后缀的后面")};
    for (int i = 0; i < positions.size(); ++i) {
        auto* position = option(arrayName("Option8", i), positions.at(i), frame9);
        position->setChecked(i == 0);
        frame9Layout->addWidget(position, i / 3, i % 3);
    }

    auto* frame8 = frame(QStringLiteral("Frame8"), QStringLiteral("示例"), tab);
    auto* frame8Layout = new QGridLayout(frame8);
    frame8Layout->addWidget(label(arrayName("Label4", 4), QStringLiteral("原文件名为："), frame8), 0, 0);
    frame8Layout->addWidget(label(arrayName("lblSource", 0), QStringLiteral("ple.gif"), frame8), 0, 1);
    frame8Layout->addWidget(label(arrayName("lblSource", 1), QStringLiteral("el.gif"), frame8), 0, 2);
    frame8Layout->addWidget(label(arrayName("Label4", 5), QStringLiteral("转换后成为："), frame8), 1, 0);
    frame8Layout->addWidget(label(arrayName("lblTarget", 0), QStringLiteral("1.gif"), frame8), 1, 1);
    frame8Layout->addWidget(label(arrayName("lblTarget", 1), QStringLiteral("2.gif"), frame8), 1, 2);

    auto* patterns = new QHBoxLayout;
    Text11 = edit(QStringLiteral("Text11"), QStringLiteral("*.doc,*.docx"), tab);
    patterns->addWidget(Text11);
    patterns->addWidget(wrappedLabel(arrayName("Label6", 1), kPatternNote, tab), 1);

    auto* lower = new QHBoxLayout;
    lower->addWidget(frame9, 1);
    lower->addWidget(frame8);
    lower->addWidget(button(QStringLiteral("Command6"), QStringLiteral("改名"), tab));

    auto* layout = new QVBoxLayout(tab);
    Option10 = option(QStringLiteral("Option10"), kUnlockHint, tab);
    layout->addWidget(Option10);
    layout->addLayout(patterns);
    layout->addWidget(frame10);
    layout->addLayout(lower);
    layout->addStretch(1);
    return tab;
}

QWidget* Form1::buildMultiTextTab()
{
    auto* tab = named(new QWidget, QStringLiteral("SSTab1_Tab4"));
    auto* frame13 = frame(QStringLiteral("Frame13"), QString(), tab);

    auto* hint = edit(QStringLiteral("Text14"), QStringLiteral("多个文本请用“|”隔开"), frame13);
    hint->setReadOnly(true);

    auto* scopes = new QHBoxLayout;
    const QStringList captions = {QStringLiteral("包括页面文本框文本"),
                                  QStringLiteral("包括页眉页脚文本框文本"),
                                  QStringLiteral("包括页眉页脚文本")};
    for (int i = 0; i < captions.size(); ++i)
        scopes->addWidget(check(arrayName("Check9", i), captions.at(i), frame13));
    scopes->addStretch(1);
    scopes->addWidget(button(QStringLiteral("Command9"), QStringLiteral("替换"), frame13));

    auto* layout = new QVBoxLayout(frame13);
    Option11 = option(QStringLiteral("Option11"), QStringLiteral("word") + kUnlockHint, frame13);
    layout->addWidget(Option11);
    layout->addWidget(hint);
    layout->addWidget(edit(arrayName("Text13", 0),
                           QStringLiteral("学习目标|经典例说|夯实基础|能力提升|拓展提高"), frame13));
    layout->addWidget(edit(arrayName("Text13", 1),
                           QStringLiteral("成功点要|预习指导|预习自测|尝试探索|拓展训练"), frame13));
    layout->addLayout(scopes);
    layout->addWidget(wrappedLabel(
        QStringLiteral("Label7"),
        QStringLiteral("多文本替换速度慢，赖心等待，不勾选替换文本框会快一些，可以单独勾选替换"), frame13));
    layout->addStretch(1);

    auto* tabLayout = new QVBoxLayout(tab);
    tabLayout->addWidget(frame13);
    return tab;
}

void Form1::Form_Load()
{
    m_collector.SearchEnabled = true;
    m_versionText = AppVersion::text();
    SystemText::writeLine(m_folders.versionFile(), m_versionText, SystemText::Mode::Truncate);
    setWindowTitle(kTitle + m_versionText);

    CheckOfficeVersion();
    CheckWpsV8();
    CheckWpsV9();

    Timer1->stop();
    for (QRadioButton* engine : {Option1, Option2, Option3, Option4})
        clearOption(engine);
    Dir1->setEnabled(false);
    Drive1->setEnabled(false);

    CheckUpdate();
    hgdtiao();
    panel2->setText(kWelcome);
    List1->scrollToBottom();
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
    panel2->setText(nextWelcomeText(panel2->text(), panel2->width() * kTwipsPerPixel));
}

void Form1::Check4_Click()
{
    m_collector.SubfolderSwitch = Check4->isChecked() ? QStringLiteral("KAI") : QStringLiteral("GUAN");
}

void Form1::appendLog(const QString& line)
{
    Text3->appendPlainText(line);
}

void Form1::clearLog()
{
    Text3->clear();
}

void Form1::setProgramEnd(std::function<void()> end)
{
    m_endProgram = std::move(end);
}

void Form1::setFolderOpener(std::function<void(const QString&)> opener)
{
    m_openFolder = std::move(opener);
}

void Form1::placeLogBox()
{
    // Left and width of the right column; from 1440 twips down to the bottom of
    // the tab control. At the window's first size this is 2760, 1440, 10455, 6375.
    const QRect tabs = SSTab1->geometry();
    const int top = Frame4->geometry().top() + px(1440 - 840);
    Text3->setGeometry(tabs.left(), top, tabs.width(), tabs.bottom() - top + 1);
    Text3->raise();
}

void Form1::Command11_Click()
{
    placeLogBox();
    if (Command11->text() == kCloseLog) {
        Text3->hide();
        Command11->setText(kOpenLog);
    } else if (Command11->text() == kOpenLog) {
        Text3->show();
        Command11->setText(kCloseLog);
    }
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (Text3->isVisible())
        QTimer::singleShot(0, this, &Form1::placeLogBox);
}

void Form1::ckrz_Click()
{
    m_openFolder(m_folders.journal());
}

void Form1::das_Click()
{
    Form3 contact(this);
    contact.exec();
}

void Form1::gy_Click()
{
    MessageBox::show(
        this, QMessageBox::Information, QStringLiteral("关于"),
        kProductName + QStringLiteral(" V") + AppVersion::text() +
            QStringLiteral("\n\n批量替换 Word 文档与 Excel 表格中的内容，批量写入页眉、页脚和页码，"
                           "批量改名与删除文件。"));
}

void Form1::hgdtiao()
{
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    List1->setHorizontalExtent(2500);
}

void Form1::Drive1_Change()
{
    const QString root = Drive1->currentData().toString();
    if (!Volumes::isReady(root) || !Dir1->setPath(root)) {
        MessageBox::show(this, QMessageBox::Warning, kProductName,
                         QStringLiteral("驱动器 ") + root +
                             QStringLiteral(" 无法读取，请检查设备是否就绪。"));
        // Back to the drive of the folder still open.
        Drive1->setCurrentIndex(Drive1->findData(Volumes::rootOf(Dir1->path(), Volumes::list())));
    }
}

void Form1::Dir1_Click()
{
    CollectOptions options;
    options.word =
        Option1->isChecked() || Option3->isChecked() || Option11->isChecked() || Option7->isChecked();
    options.deleteTab = Option9->isChecked();
    options.workbooks = Option2->isChecked() || Option4->isChecked();
    options.renameTab = Option10->isChecked();
    options.deletePatterns = Text8->text();
    options.renamePatterns = Text11->text();
    m_collector.Dir1_Click(Dir1->clickedEntry(), Dir1->path(), options);
}

void Form1::Check2_Click()
{
    const Qt::CheckState state = Check2->isChecked() ? Qt::Checked : Qt::Unchecked;
    for (int row = 0; row < List1->count(); ++row)
        List1->item(row)->setCheckState(state);
    List1->setCurrentRow(-1);
    Check2->setText(Check2->isChecked() ? QStringLiteral("反选") : QStringLiteral("全选"));
}

void Form1::Command5_Click()
{
    if (!Check6->isChecked())
        return;
    for (int row = List1->count() - 1; row >= 0; --row) {
        if (List1->item(row)->checkState() == Qt::Checked)
            delete List1->takeItem(row);
    }
}

void Form1::clearOption(QRadioButton* option)
{
    // An exclusive button refuses to be cleared while it is the checked one.
    // Clearing raises no click: the handlers run on selection only.
    option->setAutoExclusive(false);
    if (QButtonGroup* group = option->group()) {
        group->setExclusive(false);
        option->setChecked(false);
        group->setExclusive(true);
    } else {
        option->setChecked(false);
    }
    option->setAutoExclusive(true);
}

void Form1::optionChosen(QRadioButton* chosen)
{
    const bool excel = chosen == Option2 || chosen == Option4;
    if (!(excel ? Exceljc() : Wordjc()))
        return;
    if (chosen == Option7 || chosen == Option9 || chosen == Option10)
        clearOption(Option1);
    if (chosen == Option9 || chosen == Option10)
        clearOption(Option7);
    Dir1->setEnabled(true);
    Drive1->setEnabled(true);
    if (chosen != Option7 && chosen != Option9)
        Check2->show();
}

bool Form1::runGuard(bool word)
{
    const OpenDocumentGuard::Outcome outcome = OpenDocumentGuard::run(
        word ? OpenDocumentGuard::word() : OpenDocumentGuard::excel(), *m_running,
        [this](const QString& title, const QString& text) {
            return MessageBox::show(this, QMessageBox::Warning, title, text,
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
        },
        [this](const QString& message) { m_journal.WriteJournal(message); });
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

int Form1::attributeMask() const
{
    static constexpr int kBits[4] = {FileAttributes::Normal, FileAttributes::ReadOnly, FileAttributes::Hidden,
                                     FileAttributes::System};
    int mask = FileAttributes::Directory;
    bool any = false;
    for (int i = 0; i < 4; ++i) {
        if (Check8[i]->isChecked()) {
            mask |= kBits[i];
            any = true;
        }
    }
    return any ? mask : -1;
}

void Form1::clearRows()
{
    List1->clear();
}

int Form1::rowCount() const
{
    return List1->count();
}

void Form1::addRow(const QString& path)
{
    auto* item = new QListWidgetItem(path, List1);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    // The last row is brought into view before the window next draws; scrolling
    // at once would lay the whole list out again for every row.
    if (!m_scrollPending) {
        m_scrollPending = true;
        QTimer::singleShot(0, this, [this] {
            m_scrollPending = false;
            List1->scrollToBottom();
        });
    }
}

void Form1::setStatus(const QString& text)
{
    Label5->setText(text);
}

void Form1::setCountCaption(const QString& text)
{
    Frame4->setTitle(text);
}

void Form1::showSelectAll()
{
    Check2->show();
}

void Form1::setDocumentCommandsEnabled(bool enabled)
{
    for (QPushButton* command : {Command1, Command3, Command7})
        command->setEnabled(enabled);
}

void Form1::setWorkbookCommandsEnabled(bool enabled)
{
    for (QPushButton* command : {Command2, Command8})
        command->setEnabled(enabled);
}

void Form1::yield()
{
    // Pending events (a click, a timer, a repaint) run at most a few milliseconds
    // late; handling them for every entry would cost the collection a repaint
    // of the window per file.
    if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < kEventLatencyMs)
        return;
    QCoreApplication::processEvents();
    m_sinceEvents.start();
}

void Form1::Command1_Click()
{
    runJob(QStringLiteral("Command1"));
}

void Form1::Command2_Click()
{
    runJob(QStringLiteral("Command2"));
}

namespace {

// The controls a job reads, read when the job asks.
class WindowInputs final : public JobInputs
{
public:
    explicit WindowInputs(const QWidget& window)
        : m_window(window)
    {}
    QString text(const QString& control) const override
    {
        if (const auto* edit = m_window.findChild<QLineEdit*>(control))
            return edit->text();
        if (const auto* box = m_window.findChild<QComboBox*>(control))
            return box->currentText();
        throw RuntimeError(RuntimeError::ObjectNotSet, RuntimeError::nameOf(RuntimeError::ObjectNotSet), control);
    }
    bool ticked(const QString& control) const override
    {
        if (const auto* button = m_window.findChild<QAbstractButton*>(control))
            return button->isChecked();
        throw RuntimeError(RuntimeError::ObjectNotSet, RuntimeError::nameOf(RuntimeError::ObjectNotSet), control);
    }

private:
    const QWidget& m_window;
};

} // namespace

void Form1::runJob(const QString& buttonName)
{
    const JobRow* row = JobTable::forButton(buttonName);
    if (!row)
        return;
    WindowInputs inputs(*this);
    JobContext context{*this, inputs, m_office, m_office};
    JobTable::run(*row, context);
}

void Form1::removeRow(int row)
{
    delete List1->takeItem(row);
}

void Form1::message(const QString& text, const QString& title, Icon icon)
{
    static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                                   QMessageBox::Warning, QMessageBox::Critical};
    MessageBox::show(this, kIcons[int(icon)], title.isEmpty() ? QCoreApplication::applicationName() : title, text);
}

QString Form1::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    return MessageBox::input(this, title, prompt, defaultText);
}

void Form1::recollect()
{
    Dir1_Click();
}

bool Form1::rowChecked(int row) const
{
    const QListWidgetItem* item = List1->item(row);
    return item && item->checkState() == Qt::Checked;
}

QString Form1::rowText(int row) const
{
    const QListWidgetItem* item = List1->item(row);
    return item ? item->text() : QString();
}

void Form1::setProgressValue(int value)
{
    ProgressBar1->setValue(value);
}

void Form1::setProgressMax(int max)
{
    ProgressBar1->setMaximum(max);
}

void Form1::setProgressVisible(bool visible)
{
    ProgressBar1->setVisible(visible);
}

QString Form1::status() const
{
    return Label5->text();
}

void Form1::journal(const QString& message)
{
    try {
        m_journal.WriteJournal(message);
    } catch (const RuntimeError& error) {
        // The job goes on; the user sees why the journal misses lines.
        Label5->setText(QStringLiteral("日志写入失败：") + error.description());
    }
}

void Form1::beep()
{
    QApplication::beep();
}

#include "MainMenus.h"

#include "Controls.h"
#include "EventBoundary.h"
#include "Form3.h"
#include "MessageBox.h"
#include "WindowTexts.h"
#include "app/AppVersion.h"

#include <QDesktopServices>
#include <QUrl>

MainMenus::MainMenus(Controls& controls, const EventBoundary& boundary, QString journalFolder,
                     QWidget* parent)
    : QMenuBar(parent)
    , m_journalFolder(std::move(journalFolder))
    , m_openFolder([](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); })
{
    gjgx = controls.add(QStringLiteral("gjgx"), addMenu(QStringLiteral("工具更新")));
    gxqk = controls.add(QStringLiteral("gxqk"), gjgx->addAction(QStringLiteral("更新情况")));
    sdgx = controls.add(QStringLiteral("sdgx"), gjgx->addAction(QStringLiteral("手动更新")));
    das = controls.add(QStringLiteral("das"), addAction(QStringLiteral("微信好友")));
    ckrz = controls.add(QStringLiteral("ckrz"), addAction(QStringLiteral("查看文本日志")));
    undoLast = addAction(QStringLiteral("撤销上次操作"));
    undoLast->setObjectName(QStringLiteral("undoLast"));
    preview = addMenu(QStringLiteral("预览"));
    preview->setObjectName(QStringLiteral("preview"));
    previewOnly = preview->addAction(QStringLiteral("只预览，不保存"));
    previewOnly->setObjectName(QStringLiteral("previewOnly"));
    previewOnly->setCheckable(true);
    previewOnly->setToolTip(QStringLiteral("文档和表格的操作只统计会改动的地方，不保存任何文件"));
    connect(previewOnly, &QAction::toggled, this, [this](bool on) {
        preview->setTitle(on ? QStringLiteral("预览（开）") : QStringLiteral("预览"));
    });
    gy = controls.add(QStringLiteral("gy"), addAction(QStringLiteral("关于")));
    stopJob = addAction(QStringLiteral("停止"));
    stopJob->setObjectName(QStringLiteral("stopJob"));
    stopJob->setShortcut(QKeySequence(Qt::Key_Escape));
    stopJob->setToolTip(QStringLiteral("处理完当前文件后停止（Esc）"));
    stopJob->setVisible(false);
    connect(das, &QAction::triggered, this, boundary.guard([this] { das_Click(); }));
    connect(ckrz, &QAction::triggered, this, boundary.guard([this] { ckrz_Click(); }));
    connect(gy, &QAction::triggered, this, boundary.guard([this] { gy_Click(); }));
}

void MainMenus::das_Click()
{
    Form3 contact(window());
    contact.exec();
}

void MainMenus::ckrz_Click()
{
    m_openFolder(m_journalFolder);
}

void MainMenus::gy_Click()
{
    MessageBox::show(
        window(), QMessageBox::Information, QStringLiteral("关于"),
        WindowTexts::kProductName + QStringLiteral(" V") + AppVersion::text() +
            QStringLiteral("\n\n批量替换 Word 文档与 Excel 表格中的内容，批量写入页眉、页脚和页码，"
                           "批量改名与删除文件。"));
}

#include "LeftColumn.h"

#include "Controls.h"
#include "DirList.h"
#include "EventBoundary.h"
#include "MessageBox.h"
#include "WindowTexts.h"
#include "collect/Volumes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QVBoxLayout>

LeftColumn::LeftColumn(Controls& controls, const EventBoundary& boundary, QWidget* parent)
    : QGroupBox(QStringLiteral("选择文件"), parent)
{
    controls.add(QStringLiteral("Frame2"), this);
    setFixedWidth(px(2535));
    Drive1 = controls.add(QStringLiteral("Drive1"), new QComboBox(this));
    Check4 = controls.check(QStringLiteral("Check4"), QStringLiteral("选择搜索子文件夹"), this);
    Dir1 = controls.add(QStringLiteral("Dir1"), new DirList(this));
    Drive1->setEnabled(false);
    Dir1->setEnabled(false);

    // The folder list starts at the current folder, on its drive.
    const QList<Volumes::Volume> volumes = Volumes::list();
    for (const Volumes::Volume& volume : volumes)
        Drive1->addItem(volume.label, volume.rootPath);
    if (!Dir1->setPath(QDir::currentPath()))
        Dir1->setPath(QDir::homePath());
    Drive1->setCurrentIndex(Drive1->findData(Volumes::rootOf(Dir1->path(), volumes)));
    connect(Drive1, &QComboBox::activated, this, boundary.guard([this] { Drive1_Change(); }));
    connect(Dir1, &DirList::openFailed, this, [this, &boundary](const QString& folder) {
        boundary.run([&] {
            MessageBox::show(this, QMessageBox::Warning, WindowTexts::kProductName,
                             QStringLiteral("无法打开文件夹：") + folder +
                                 QStringLiteral("\n请检查文件夹是否存在以及是否有权限读取。"));
        });
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Drive1);
    layout->addWidget(Check4);
    layout->addWidget(Dir1, 1);
}

void LeftColumn::Drive1_Change()
{
    const QString root = Drive1->currentData().toString();
    if (!Volumes::isReady(root) || !Dir1->setPath(root)) {
        MessageBox::show(this, QMessageBox::Warning, WindowTexts::kProductName,
                         QStringLiteral("驱动器 ") + root +
                             QStringLiteral(" 无法读取，请检查设备是否就绪。"));
        // Back to the drive of the folder still open.
        Drive1->setCurrentIndex(Drive1->findData(Volumes::rootOf(Dir1->path(), Volumes::list())));
    }
}

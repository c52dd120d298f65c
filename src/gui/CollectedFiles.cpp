#include "CollectedFiles.h"

#include "CheckList.h"
#include "Controls.h"
#include "EventBoundary.h"
#include "WindowTexts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

CollectedFiles::CollectedFiles(Controls& controls, const EventBoundary& boundary, QWidget* parent)
    : QGroupBox(QStringLiteral("收集到的文件"), parent)
{
    controls.add(QStringLiteral("Frame4"), this);
    List1 = controls.add(QStringLiteral("List1"), new CheckList(this));
    Command11 = controls.button(QStringLiteral("Command11"), WindowTexts::kOpenLog, this);

    const QStringList attributeCaptions = {QStringLiteral("常规"), QStringLiteral("只读"),
                                           QStringLiteral("隐藏"), QStringLiteral("系统")};
    auto* row = new QHBoxLayout;
    row->addWidget(Command11);
    for (int i = 0; i < int(Check8.size()); ++i) {
        Check8[i] = controls.check(Controls::arrayName("Check8", i), attributeCaptions.at(i), this, i < 2);
        row->addWidget(Check8[i]);
    }

    Check2 = controls.check(QStringLiteral("Check2"), QStringLiteral("全选"), this);
    Check2->setStyleSheet(QStringLiteral("QCheckBox { color: red; }"));
    QSizePolicy keepPlace = Check2->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    Check2->setSizePolicy(keepPlace);
    Check2->hide();
    row->addWidget(Check2);
    row->addStretch(1);
    connect(Check2, &QCheckBox::clicked, this, boundary.guard([this] { Check2_Click(); }));

    Check6 = controls.check(QStringLiteral("Check6"), QString(), this);
    Check6->setToolTip(QStringLiteral("勾选后才能移除表格所选"));
    row->addWidget(Check6);
    row->addSpacing(-4);
    Command5 = controls.button(QStringLiteral("Command5"), QStringLiteral("移除表格所选"), this);
    connect(Command5, &QPushButton::clicked, this, boundary.guard([this] { Command5_Click(); }));
    row->addWidget(Command5);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(List1, 1);
    layout->addLayout(row);
}

void CollectedFiles::Check2_Click()
{
    const Qt::CheckState state = Check2->isChecked() ? Qt::Checked : Qt::Unchecked;
    for (int row = 0; row < List1->count(); ++row)
        List1->item(row)->setCheckState(state);
    List1->setCurrentRow(-1);
    Check2->setText(Check2->isChecked() ? QStringLiteral("反选") : QStringLiteral("全选"));
}

void CollectedFiles::Command5_Click()
{
    if (!Check6->isChecked())
        return;
    for (int row = List1->count() - 1; row >= 0; --row) {
        if (List1->item(row)->checkState() == Qt::Checked)
            delete List1->takeItem(row);
    }
}

void CollectedFiles::hgdtiao()
{
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    List1->setHorizontalExtent(2500);
}

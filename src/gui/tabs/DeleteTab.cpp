#include "DeleteTab.h"

#include "gui/Controls.h"
#include "gui/WindowTexts.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

DeleteTab::DeleteTab(Controls& controls, QWidget* parent)
    : QWidget(parent)
{
    controls.add(QStringLiteral("SSTab1_Tab2"), this);

    QGroupBox* frame7 = controls.frame(QStringLiteral("Frame7"), QStringLiteral("扩展名填写"), this);
    Option9 = controls.option(QStringLiteral("Option9"), WindowTexts::kUnlockHint, frame7);
    Text8 = controls.edit(QStringLiteral("Text8"), QStringLiteral("*.doc,*.docx"), frame7);
    auto* frame7Layout = new QVBoxLayout(frame7);
    frame7Layout->addWidget(Option9);
    frame7Layout->addWidget(Text8);
    frame7Layout->addWidget(
        controls.note(Controls::arrayName("Label6", 0), WindowTexts::kPatternNote, frame7));
    frame7Layout->addStretch(1);

    QGroupBox* frame1 = controls.frame(QStringLiteral("Frame1"), QStringLiteral("删除文件"), this);
    Check7 = controls.check(QStringLiteral("Check7"),
                            QStringLiteral("勾选解锁后可删除，注意：删除后不可恢复，谨慎操作"), frame1);
    Command4 = controls.button(QStringLiteral("Command4"), QStringLiteral("删除文件"), frame1);
    auto* frame1Layout = new QVBoxLayout(frame1);
    frame1Layout->addWidget(Check7);
    frame1Layout->addWidget(Command4);
    frame1Layout->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame7);
    layout->addWidget(frame1);
    layout->addStretch(1);
}

#include "SingleTextTab.h"

#include "gui/Controls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

SingleTextTab::SingleTextTab(Controls& controls, QWidget* parent)
    : QWidget(parent)
{
    controls.add(QStringLiteral("SSTab1_Tab0"), this);

    QGroupBox* frame3 = controls.frame(QStringLiteral("Frame3"), QString(), this);
    Option1 = controls.option(QStringLiteral("Option1"), QStringLiteral("开启解锁Word"), frame3);
    Option2 = controls.option(QStringLiteral("Option2"), QStringLiteral("开启解锁Excel"), frame3);
    Option3 = controls.option(QStringLiteral("Option3"), QStringLiteral("开启解锁Wps.doc"), frame3);
    Option4 = controls.option(QStringLiteral("Option4"), QStringLiteral("开启解锁Wps.xls"), frame3);
    auto* frame3Layout = new QVBoxLayout(frame3);
    frame3Layout->addWidget(controls.label(QStringLiteral("Label9_0"), QStringLiteral("微软"), frame3));
    frame3Layout->addWidget(Option1);
    frame3Layout->addWidget(Option2);
    frame3Layout->addWidget(controls.label(QStringLiteral("Label9_1"), QStringLiteral("金山WPS"), frame3));
    frame3Layout->addWidget(Option3);
    frame3Layout->addWidget(Option4);
    frame3Layout->addStretch(1);

    QGroupBox* frame6 = controls.frame(QStringLiteral("Frame6"), QStringLiteral("文档 表格替换"), this);
    Text1 = controls.edit(QStringLiteral("Text1"), QStringLiteral("输入原内容"), frame6);
    Text2 = controls.edit(QStringLiteral("Text2"), QStringLiteral("输入新内容"), frame6);

    QGroupBox* frame14 =
        controls.frame(QStringLiteral("Frame14"), QStringLiteral("word有下面内容替换需勾选"), frame6);
    const QStringList scopes = {QStringLiteral("有页面文本框内容"), QStringLiteral("页眉页脚有文本框内容"),
                                QStringLiteral("包含替换页眉页脚内容")};
    auto* frame14Layout = new QVBoxLayout(frame14);
    for (int i = 0; i < int(Check13.size()); ++i) {
        Check13[i] = controls.check(Controls::arrayName("Check13", i), scopes.at(i), frame14);
        frame14Layout->addWidget(Check13[i]);
    }

    QGroupBox* frame11 =
        controls.frame(QStringLiteral("Frame11"), QStringLiteral("只替换EXCEL某个单元格内容"), frame6);
    Text15[0] = controls.edit(Controls::arrayName("Text15", 0), QString(), frame11);
    Text15[1] = controls.edit(Controls::arrayName("Text15", 1), QString(), frame11);
    Text15[2] = controls.edit(Controls::arrayName("Text15", 2), QStringLiteral("输入替换内容"), frame11);
    auto* cellRow = new QHBoxLayout;
    cellRow->addWidget(controls.label(Controls::arrayName("Label8", 0), QStringLiteral("第"), frame11));
    cellRow->addWidget(Text15[0]);
    cellRow->addWidget(controls.label(Controls::arrayName("Label8", 2), QStringLiteral("行"), frame11));
    cellRow->addWidget(controls.label(Controls::arrayName("Label8", 1), QStringLiteral("第"), frame11));
    cellRow->addWidget(Text15[1]);
    cellRow->addWidget(controls.label(Controls::arrayName("Label8", 3), QStringLiteral("列"), frame11));
    auto* frame11Layout = new QVBoxLayout(frame11);
    frame11Layout->addLayout(cellRow);
    frame11Layout->addWidget(Text15[2]);
    Command8 = controls.button(QStringLiteral("Command8"), QStringLiteral("EXCEL单元替换"), frame11);
    frame11Layout->addWidget(Command8);

    auto* commands = new QVBoxLayout;
    commands->addWidget(Text1);
    commands->addWidget(Text2);
    Command1 = controls.button(QStringLiteral("Command1"), QStringLiteral("Doc文档替换"), frame6);
    Command2 = controls.button(QStringLiteral("Command2"), QStringLiteral("xls表格替换"), frame6);
    commands->addWidget(Command1);
    commands->addWidget(Command2);
    commands->addStretch(1);
    auto* frame6Layout = new QHBoxLayout(frame6);
    frame6Layout->addLayout(commands, 1);
    frame6Layout->addWidget(frame14);
    frame6Layout->addWidget(frame11, 1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(frame3);
    layout->addWidget(frame6, 1);
}

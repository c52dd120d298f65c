#include "HeaderFooterTab.h"

#include "gui/Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

HeaderFooterTab::HeaderFooterTab(Controls& controls, QWidget* parent)
    : QWidget(parent)
{
    controls.add(QStringLiteral("SSTab1_Tab1"), this);

    QGroupBox* frame12 = controls.frame(QStringLiteral("Frame12"), QString(), this);
    auto* frame12Layout = new QGridLayout(frame12);
    const QStringList texts12 = {QStringLiteral("原文本"), QStringLiteral("新文本"), QStringLiteral("原文本"),
                                 QStringLiteral("新文本")};
    for (int i = 0; i < int(Text12.size()); ++i) {
        Text12[i] = controls.edit(Controls::arrayName("Text12", i), texts12.at(i), frame12);
        frame12Layout->addWidget(Text12[i], i / 2, i % 2);
    }
    Check10 = controls.check(QStringLiteral("Check10"), QStringLiteral("页眉"), frame12);
    Check11 = controls.check(QStringLiteral("Check11"), QStringLiteral("页脚"), frame12);
    Command7 = controls.button(QStringLiteral("Command7"), QStringLiteral("替换页眉页脚"), frame12);
    frame12Layout->addWidget(Check10, 0, 2);
    frame12Layout->addWidget(Check11, 1, 2);
    frame12Layout->addWidget(Command7, 2, 0, 1, 3);

    QGroupBox* frame5 = controls.frame(QStringLiteral("Frame5"), QStringLiteral("Word 页眉 页脚 页码"), this);
    auto* grid = new QGridLayout(frame5);
    grid->addWidget(controls.label(Controls::arrayName("Label4", 0), QStringLiteral("字体"), frame5), 0, 3);
    grid->addWidget(controls.label(Controls::arrayName("Label4", 1), QStringLiteral("字号"), frame5), 0, 4);
    grid->addWidget(controls.label(Controls::arrayName("Label4", 2), QStringLiteral("加粗"), frame5), 0, 5);
    const QString rowCaptions[2][2] = {{QStringLiteral("页眉内容"), QStringLiteral("删除页眉")},
                                       {QStringLiteral("页脚内容"), QStringLiteral("删除页脚")}};
    for (int row = 0; row < 2; ++row) {
        Check12[row] = controls.check(Controls::arrayName("Check12", row), rowCaptions[row][0], frame5);
        Check5[row] = controls.check(Controls::arrayName("Check5", row), rowCaptions[row][1], frame5);
        QLineEdit* text =
            controls.edit(row == 0 ? QStringLiteral("Text4") : QStringLiteral("Text5"), QString(), frame5);
        (row == 0 ? Text4 : Text5) = text;
        text->setMinimumWidth(px(1500));
        Text6[row] = controls.edit(Controls::arrayName("Text6", row), QStringLiteral("宋体"), frame5);
        Text6[row]->setMaximumWidth(70);
        Text7[row] = controls.edit(Controls::arrayName("Text7", row), QStringLiteral("10"), frame5);
        Text7[row]->setMaximumWidth(40);
        Check1[row] = controls.check(Controls::arrayName("Check1", row), QString(), frame5);
        grid->addWidget(Check12[row], row + 1, 0);
        grid->addWidget(Check5[row], row + 1, 1);
        grid->addWidget(text, row + 1, 2);
        grid->addWidget(Text6[row], row + 1, 3);
        grid->addWidget(Text7[row], row + 1, 4);
        grid->addWidget(Check1[row], row + 1, 5);
    }
    Combo1 = controls.combo(QStringLiteral("Combo1"),
                            {QStringLiteral("居左"), QStringLiteral("居右"), QStringLiteral("居中")},
                            QStringLiteral("居中"), frame5);
    Combo2 = controls.combo(QStringLiteral("Combo2"),
                            {QStringLiteral("居右"), QStringLiteral("居左"), QStringLiteral("居中")},
                            QStringLiteral("居左"), frame5);
    Check3 = controls.check(QStringLiteral("Check3"), QStringLiteral("页脚插入页码"), frame5);
    Combo3 = controls.combo(QStringLiteral("Combo3"),
                            {QStringLiteral("居中"), QStringLiteral("居左"), QStringLiteral("居右")},
                            QStringLiteral("居中"), frame5);
    Command3 = controls.button(QStringLiteral("Command3"), QStringLiteral("批量插入页眉页脚页码"), frame5);
    grid->addWidget(Combo1, 1, 6);
    grid->addWidget(Combo2, 2, 6);
    grid->addWidget(Check3, 3, 0, 1, 2);
    grid->addWidget(Combo3, 3, 6);
    grid->addWidget(Command3, 4, 0, 1, 7);
    grid->setColumnStretch(2, 1);

    Option7 = controls.option(QStringLiteral("Option7"), QStringLiteral("开启word"), this);
    auto* left = new QVBoxLayout;
    left->addWidget(frame12);
    left->addWidget(Option7);
    left->addWidget(controls.note(
        QStringLiteral("Label2"),
        QStringLiteral("不需要页眉页脚内容单独勾选直接删除，如果不删除可以选择靠左靠右或居中"), this));
    left->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 2);
    layout->addWidget(frame5, 3);
}

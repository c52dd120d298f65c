#include "MultiTextTab.h"

#include "gui/Controls.h"
#include "gui/WindowTexts.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

MultiTextTab::MultiTextTab(Controls& controls, QWidget* parent)
    : QWidget(parent)
{
    controls.add(QStringLiteral("SSTab1_Tab4"), this);
    QGroupBox* frame13 = controls.frame(QStringLiteral("Frame13"), QString(), this);

    QLineEdit* hint = controls.edit(QStringLiteral("Text14"), QStringLiteral("多个文本请用“|”隔开"), frame13);
    hint->setReadOnly(true);

    auto* scopes = new QHBoxLayout;
    const QStringList captions = {QStringLiteral("包括页面文本框文本"),
                                  QStringLiteral("包括页眉页脚文本框文本"),
                                  QStringLiteral("包括页眉页脚文本")};
    for (int i = 0; i < int(Check9.size()); ++i) {
        Check9[i] = controls.check(Controls::arrayName("Check9", i), captions.at(i), frame13);
        scopes->addWidget(Check9[i]);
    }
    scopes->addStretch(1);
    Command9 = controls.button(QStringLiteral("Command9"), QStringLiteral("替换"), frame13);
    scopes->addWidget(Command9);

    Option11 = controls.option(QStringLiteral("Option11"), QStringLiteral("word") + WindowTexts::kUnlockHint,
                               frame13);
    Text13[0] = controls.edit(Controls::arrayName("Text13", 0),
                              QStringLiteral("学习目标|经典例说|夯实基础|能力提升|拓展提高"), frame13);
    Text13[1] = controls.edit(Controls::arrayName("Text13", 1),
                              QStringLiteral("成功点要|预习指导|预习自测|尝试探索|拓展训练"), frame13);
    auto* layout = new QVBoxLayout(frame13);
    layout->addWidget(Option11);
    layout->addWidget(hint);
    layout->addWidget(Text13[0]);
    layout->addWidget(Text13[1]);
    layout->addLayout(scopes);
    layout->addWidget(controls.note(
        QStringLiteral("Label7"),
        QStringLiteral("多文本替换速度慢，赖心等待，不勾选替换文本框会快一些，可以单独勾选替换"), frame13));
    layout->addStretch(1);

    auto* tabLayout = new QVBoxLayout(this);
    tabLayout->addWidget(frame13);
}

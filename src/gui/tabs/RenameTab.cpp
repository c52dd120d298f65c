#include "RenameTab.h"

#include "filejobs/NewName.h"
#include "gui/Controls.h"
#include "gui/WindowTexts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

RenameTab::RenameTab(Controls& controls, QWidget* parent)
    : QWidget(parent)
{
    controls.add(QStringLiteral("SSTab1_Tab3"), this);

    QGroupBox* frame10 = controls.frame(QStringLiteral("Frame10"), QStringLiteral("自定义文本"), this);
    Text10 = controls.edit(QStringLiteral("Text10"), QString(), frame10);
    QLabel* label3 = controls.label(QStringLiteral("Label3"), QStringLiteral("增量："), frame10);
    txtStep = controls.edit(QStringLiteral("txtStep"), QStringLiteral("1"), frame10);
    txtStep->setMaximumWidth(60);
    auto* frame10Layout = new QHBoxLayout(frame10);
    frame10Layout->addWidget(Text10, 1);
    frame10Layout->addWidget(label3);
    frame10Layout->addWidget(txtStep);

    QGroupBox* frame9 = controls.frame(QStringLiteral("Frame9"), QStringLiteral("自定义文本位置"), this);
    auto* frame9Layout = new QGridLayout(frame9);
    const QStringList positions = {QStringLiteral("替换前缀"),     QStringLiteral("替换后缀"),
                                   QStringLiteral("在前缀的前面"), QStringLiteral("在前缀的后面"),
                                   QStringLiteral("在后缀的前面"), QStringLiteral("在后缀的后面")};
    for (int i = 0; i < int(Option8.size()); ++i) {
        Option8[i] = controls.option(Controls::arrayName("Option8", i), positions.at(i), frame9);
        Option8[i]->setChecked(i == 0);
        frame9Layout->addWidget(Option8[i], i / 3, i % 3);
    }

    QGroupBox* frame8 = controls.frame(QStringLiteral("Frame8"), QStringLiteral("示例"), this);
    auto* frame8Layout = new QGridLayout(frame8);
    const QStringList sources = filejobs::exampleSources();
    const QStringList targets = filejobs::initialExampleTargets();
    frame8Layout->addWidget(
        controls.label(Controls::arrayName("Label4", 4), QStringLiteral("原文件名为："), frame8), 0, 0);
    for (int i = 0; i < 2; ++i) {
        lblSource[i] = controls.label(Controls::arrayName("lblSource", i), sources.at(i), frame8);
        frame8Layout->addWidget(lblSource[i], 0, i + 1);
    }
    frame8Layout->addWidget(
        controls.label(Controls::arrayName("Label4", 5), QStringLiteral("转换后成为："), frame8), 1, 0);
    for (int i = 0; i < 2; ++i) {
        lblTarget[i] = controls.label(Controls::arrayName("lblTarget", i), targets.at(i), frame8);
        frame8Layout->addWidget(lblTarget[i], 1, i + 1);
    }

    auto* patterns = new QHBoxLayout;
    Text11 = controls.edit(QStringLiteral("Text11"), QStringLiteral("*.doc,*.docx"), this);
    patterns->addWidget(Text11);
    patterns->addWidget(controls.note(Controls::arrayName("Label6", 1), WindowTexts::kPatternNote, this), 1);

    Command6 = controls.button(QStringLiteral("Command6"), QStringLiteral("改名"), this);
    auto* lower = new QHBoxLayout;
    lower->addWidget(frame9, 1);
    lower->addWidget(frame8);
    lower->addWidget(Command6);

    Option10 = controls.option(QStringLiteral("Option10"), WindowTexts::kUnlockHint, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Option10);
    layout->addLayout(patterns);
    layout->addWidget(frame10);
    layout->addLayout(lower);
    layout->addStretch(1);

    connect(Text10, &QLineEdit::textChanged, this, &RenameTab::refreshExample);
    connect(txtStep, &QLineEdit::textChanged, this, &RenameTab::refreshExample);
}

void RenameTab::refreshExample()
{
    filejobs::NameRule rule;
    rule.text = Text10->text();
    rule.step = txtStep->text();
    for (int i = 0; i < int(Option8.size()); ++i) {
        if (Option8[i]->isChecked())
            rule.position = i;
    }
    for (int i = 0; i < 2; ++i)
        lblTarget[i]->setText(filejobs::exampleTarget(lblSource[i]->text(), rule));
}

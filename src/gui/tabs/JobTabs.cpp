#include "JobTabs.h"

#include "DeleteTab.h"
#include "HeaderFooterTab.h"
#include "MultiTextTab.h"
#include "RenameTab.h"
#include "SingleTextTab.h"
#include "gui/Controls.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

JobTabs::JobTabs(Controls& controls, QWidget* parent)
    : QTabWidget(parent)
{
    controls.add(QStringLiteral("SSTab1"), this);
    singleText = new SingleTextTab(controls);
    headerFooter = new HeaderFooterTab(controls);
    deleteFiles = new DeleteTab(controls);
    rename = new RenameTab(controls);
    multiText = new MultiTextTab(controls);
    addTab(singleText, QStringLiteral("文档单文本替换"));
    addTab(headerFooter, QStringLiteral("页眉-页脚-页码"));
    addTab(deleteFiles, QStringLiteral("文件搜索删除"));
    addTab(rename, QStringLiteral("文件批量改名"));
    addTab(multiText, QStringLiteral("文档多文本替换"));
    setCurrentIndex(0);

    // Option7 and Option10 sit on the tab control itself and so form one group
    // across their two tabs.
    auto* tabGroup = new QButtonGroup(this);
    tabGroup->addButton(headerFooter->Option7);
    tabGroup->addButton(rename->Option10);
}

QList<QRadioButton*> JobTabs::options() const
{
    return {singleText->Option1,   singleText->Option2,  singleText->Option3, singleText->Option4,
            headerFooter->Option7, deleteFiles->Option9, rename->Option10,    multiText->Option11};
}

CollectOptions JobTabs::collectOptions() const
{
    CollectOptions chosen;
    chosen.word = singleText->Option1->isChecked() || singleText->Option3->isChecked() ||
                  multiText->Option11->isChecked() || headerFooter->Option7->isChecked();
    chosen.deleteTab = deleteFiles->Option9->isChecked();
    chosen.workbooks = singleText->Option2->isChecked() || singleText->Option4->isChecked();
    chosen.renameTab = rename->Option10->isChecked();
    chosen.deletePatterns = deleteFiles->Text8->text();
    chosen.renamePatterns = rename->Text11->text();
    return chosen;
}

QList<QPushButton*> JobTabs::documentCommands() const
{
    return {singleText->Command1, headerFooter->Command3, headerFooter->Command7};
}

QList<QPushButton*> JobTabs::workbookCommands() const
{
    return {singleText->Command2, singleText->Command8};
}

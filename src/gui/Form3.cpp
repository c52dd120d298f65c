#include "Form3.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

Form3::Form3(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("微信好友"));
    setModal(true);

    auto* text = new QLabel(QStringLiteral("砚禾办公助手\n\n"
                                           "使用中遇到问题或有新的需求，欢迎加微信好友联系我们。\n"
                                           "请在软件发布页查看微信号，添加时请注明“砚禾办公助手”。"),
                            this);
    text->setObjectName(QStringLiteral("Label1"));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
}

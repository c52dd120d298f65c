#pragma once

#include <QDialog>

// The contact window of the "微信好友" menu.
class Form3 final : public QDialog
{
    Q_OBJECT
public:
    explicit Form3(QWidget* parent = nullptr);
};

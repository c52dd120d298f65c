#pragma once

#include <QWidget>

class Controls;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Tab 2 "文件搜索删除": files collected by the patterns of Text8 and deleted for
// good once Check7 is ticked.
class DeleteTab final : public QWidget
{
    Q_OBJECT
public:
    explicit DeleteTab(Controls& controls, QWidget* parent = nullptr);

    QRadioButton* Option9 = nullptr;
    QLineEdit* Text8 = nullptr; // patterns
    QCheckBox* Check7 = nullptr;
    QPushButton* Command4 = nullptr;
};

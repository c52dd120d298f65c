#pragma once

#include <QWidget>
#include <array>

class Controls;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Tab 3 "文件批量改名": files collected by the patterns of Text11 renamed with a
// custom text and an increment at one of six places of the name; Frame8 shows
// an example.
class RenameTab final : public QWidget
{
    Q_OBJECT
public:
    explicit RenameTab(Controls& controls, QWidget* parent = nullptr);

    QRadioButton* Option10 = nullptr;
    QLineEdit* Text11 = nullptr;  // patterns
    QLineEdit* Text10 = nullptr;  // the custom text
    QLineEdit* txtStep = nullptr; // the increment
    // 替换前缀, 替换后缀, 在前缀的前面, 在前缀的后面, 在后缀的前面, 在后缀的后面
    std::array<QRadioButton*, 6> Option8{};
    std::array<QLabel*, 2> lblSource{}; // example names before
    std::array<QLabel*, 2> lblTarget{}; // and after
    QPushButton* Command6 = nullptr;

    // Text10_Change and txtStep_Change: the example's new names from the tab's
    // current text, increment and position. Choosing a position alone does not
    // refresh it.
    void refreshExample();
};

#pragma once

#include <QWidget>
#include <array>

class Controls;
class QLineEdit;
class QCheckBox;
class QPushButton;
class QRadioButton;

// Tab 0 "文档单文本替换": the engine options of Microsoft and WPS, one text
// replaced by another in documents or workbooks, and the single-cell replace.
class SingleTextTab final : public QWidget
{
    Q_OBJECT
public:
    explicit SingleTextTab(Controls& controls, QWidget* parent = nullptr);

    QRadioButton* Option1 = nullptr; // Word
    QRadioButton* Option2 = nullptr; // Excel
    QRadioButton* Option3 = nullptr; // WPS writer
    QRadioButton* Option4 = nullptr; // WPS spreadsheets
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    std::array<QCheckBox*, 3> Check13{};
    std::array<QLineEdit*, 3> Text15{}; // row, column, the cell's new text
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command8 = nullptr;
};

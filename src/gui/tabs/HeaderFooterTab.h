#pragma once

#include <QWidget>
#include <array>

class Controls;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Tab 1 "页眉-页脚-页码": texts replaced in headers and footers only, and the
// writer of header and footer texts and page numbers with font, size, bold
// and alignment.
class HeaderFooterTab final : public QWidget
{
    Q_OBJECT
public:
    explicit HeaderFooterTab(Controls& controls, QWidget* parent = nullptr);

    // Header old and new text, footer old and new text.
    std::array<QLineEdit*, 4> Text12{};
    QCheckBox* Check10 = nullptr; // 页眉
    QCheckBox* Check11 = nullptr; // 页脚
    QPushButton* Command7 = nullptr;
    QRadioButton* Option7 = nullptr;

    // Index 0 the header's, 1 the footer's.
    std::array<QCheckBox*, 2> Check12{}; // write the text
    std::array<QCheckBox*, 2> Check5{};  // delete
    QLineEdit* Text4 = nullptr;          // header text
    QLineEdit* Text5 = nullptr;          // footer text
    std::array<QLineEdit*, 2> Text6{};   // font
    std::array<QLineEdit*, 2> Text7{};   // size
    std::array<QCheckBox*, 2> Check1{};  // bold
    QComboBox* Combo1 = nullptr;         // header alignment
    QComboBox* Combo2 = nullptr;         // footer alignment
    QCheckBox* Check3 = nullptr;         // page numbers
    QComboBox* Combo3 = nullptr;         // page number alignment
    QPushButton* Command3 = nullptr;
};

#pragma once

#include <QWidget>
#include <array>

class Controls;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Tab 4 "文档多文本替换": several texts replaced at once, given as two lists
// separated by "|", with the scopes of Check9.
class MultiTextTab final : public QWidget
{
    Q_OBJECT
public:
    explicit MultiTextTab(Controls& controls, QWidget* parent = nullptr);

    QRadioButton* Option11 = nullptr;
    std::array<QLineEdit*, 2> Text13{}; // the old texts, the new texts
    // Page text boxes, header and footer text boxes, headers and footers.
    std::array<QCheckBox*, 3> Check9{};
    QPushButton* Command9 = nullptr;
};

#pragma once

#include <QGroupBox>
#include <array>

class CheckList;
class Controls;
class EventBoundary;
class QCheckBox;
class QPushButton;

// Frame4 "收集到的文件": the collected-file list with the log toggle, the
// attribute boxes, the tick-all box and the remove command with its unlock box.
class CollectedFiles final : public QGroupBox
{
    Q_OBJECT
public:
    CollectedFiles(Controls& controls, const EventBoundary& boundary, QWidget* parent = nullptr);

    CheckList* List1 = nullptr;
    QPushButton* Command11 = nullptr;
    // 常规, 只读, 隐藏, 系统: the listing mask of the search.
    std::array<QCheckBox*, 4> Check8{};
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check6 = nullptr;
    QPushButton* Command5 = nullptr;

    // Ticks or clears every row; the caption says what the next click does.
    void Check2_Click();
    // With Check6 ticked, removes the ticked rows.
    void Command5_Click();
    // Gives the list its sideways scroll bar over 2500 pixels.
    void hgdtiao();
};

#pragma once

#include <QGroupBox>

class Controls;
class DirList;
class EventBoundary;
class QCheckBox;
class QComboBox;

// Frame2 "选择文件": the drive list, the sub-folder box and the folder list,
// both lists disabled until an engine option enables them.
class LeftColumn final : public QGroupBox
{
    Q_OBJECT
public:
    LeftColumn(Controls& controls, const EventBoundary& boundary, QWidget* parent = nullptr);

    QComboBox* Drive1 = nullptr;
    QCheckBox* Check4 = nullptr;
    DirList* Dir1 = nullptr;

    // A drive that cannot be read is reported and the list goes back to the
    // drive of the folder still open.
    void Drive1_Change();
};

#pragma once

#include <QListWidget>

// A check-box list box that can be scrolled sideways over a fixed horizontal
// extent, so that long paths can be read however narrow the list is.
class CheckList final : public QListWidget
{
    Q_OBJECT
public:
    explicit CheckList(QWidget* parent = nullptr);

    void setHorizontalExtent(int pixels);
    int horizontalExtent() const { return m_extent; }

protected:
    void updateGeometries() override;

private:
    int m_extent = 0;
};

#include "CheckList.h"

#include <QScrollBar>

CheckList::CheckList(QWidget* parent)
    : QListWidget(parent)
{
    setUniformItemSizes(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void CheckList::setHorizontalExtent(int pixels)
{
    m_extent = pixels;
    updateGeometries();
}

void CheckList::updateGeometries()
{
    QListWidget::updateGeometries();
    QScrollBar* bar = horizontalScrollBar();
    const int wanted = m_extent - viewport()->width();
    if (wanted > bar->maximum())
        bar->setRange(0, wanted);
}

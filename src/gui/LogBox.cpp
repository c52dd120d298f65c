#include "LogBox.h"

#include "Controls.h"
#include "WindowTexts.h"

#include <QPushButton>

LogBox::LogBox(Controls& controls, QWidget* parent)
    : QPlainTextEdit(parent)
{
    controls.add(QStringLiteral("Text3"), this);
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    hide();
}

void LogBox::Command11_Click(QPushButton& toggle, const QRect& place)
{
    placeAt(place);
    if (toggle.text() == WindowTexts::kCloseLog) {
        hide();
        toggle.setText(WindowTexts::kOpenLog);
    } else if (toggle.text() == WindowTexts::kOpenLog) {
        show();
        toggle.setText(WindowTexts::kCloseLog);
    }
}

void LogBox::placeAt(const QRect& place)
{
    setGeometry(place);
    raise();
    clearMask();
    if (!m_keepClear || !parentWidget())
        return;
    const QRect control(m_keepClear->mapTo(parentWidget(), QPoint(0, 0)), m_keepClear->size());
    const QRect covered = control.adjusted(-2, -2, 2, 2).intersected(geometry());
    if (!covered.isEmpty())
        setMask(QRegion(rect()) - QRegion(covered.translated(-pos())));
}

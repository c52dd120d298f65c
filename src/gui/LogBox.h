#pragma once

#include <QPlainTextEdit>
#include <QPointer>

class Controls;
class QPushButton;

// Text3, the log box of the current job: hidden at start, floating over the
// collected-file list and the tabs when Command11 opens it.
class LogBox final : public QPlainTextEdit
{
    Q_OBJECT
public:
    LogBox(Controls& controls, QWidget* parent);

    // Shows or hides the box at place, and gives the toggle its next caption.
    void Command11_Click(QPushButton& toggle, const QRect& place);
    void placeAt(const QRect& place);
    // A control the box leaves uncovered wherever it is placed (its own toggle):
    // the box has a hole there, through which the control is seen and clicked.
    void keepClear(QWidget* control) { m_keepClear = control; }

private:
    QPointer<QWidget> m_keepClear;
};

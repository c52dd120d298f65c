#pragma once

#include <QPlainTextEdit>

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
};

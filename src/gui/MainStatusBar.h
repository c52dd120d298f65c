#pragma once

#include <QStatusBar>

class Controls;
class EventBoundary;
class QLabel;

// StatusBar1: the product name, the welcome text that Timer3 scrolls, and the
// date and the time, which the bar keeps current by itself.
class MainStatusBar final : public QStatusBar
{
    Q_OBJECT
public:
    MainStatusBar(Controls& controls, const EventBoundary& boundary, QWidget* parent = nullptr);

    QLabel* Panel1 = nullptr;
    QLabel* Panel2 = nullptr;
    QLabel* Panel3 = nullptr;
    QLabel* Panel4 = nullptr;

private:
    void showNow();
};

#include "MainStatusBar.h"

#include "Controls.h"
#include "EventBoundary.h"
#include "WindowTexts.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QTimer>

MainStatusBar::MainStatusBar(Controls& controls, const EventBoundary& boundary, QWidget* parent)
    : QStatusBar(parent)
{
    controls.add(QStringLiteral("StatusBar1"), this);
    Panel1 = controls.label(QStringLiteral("StatusBar1_Panel1"), WindowTexts::kProductName, this);
    Panel2 = controls.label(QStringLiteral("StatusBar1_Panel2"), QStringLiteral("欢迎"), this);
    Panel3 = controls.label(QStringLiteral("StatusBar1_Panel3"), QString(), this);
    Panel4 = controls.label(QStringLiteral("StatusBar1_Panel4"), QString(), this);
    Panel2->setMinimumWidth(px(4500));
    addWidget(Panel1);
    addWidget(Panel2, 1);
    addWidget(Panel3);
    addWidget(Panel4);

    showNow();
    auto* clock = new QTimer(this);
    clock->setInterval(1000);
    connect(clock, &QTimer::timeout, this, boundary.guard([this] { showNow(); }));
    clock->start();
}

void MainStatusBar::showNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    Panel3->setText(QLocale::system().toString(now.date(), QLocale::ShortFormat));
    Panel4->setText(now.time().toString(QStringLiteral("HH:mm")));
}

#pragma once

#include <QMessageBox>
#include <QQueue>

// Every message box of the tool goes through here. Tests queue the answers with
// setNextAnswer(); a queued answer is taken instead of showing the box, and the
// box's title and text are kept for the test to read.
class MessageBox final
{
public:
    using Button = QMessageBox::StandardButton;

    static Button show(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                       QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                       Button defaultButton = QMessageBox::Ok);

    static void setNextAnswer(Button answer);
    static void clearAnswers();

    struct Shown
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        Button defaultButton;
    };
    // Boxes answered from the queue, oldest first.
    static const QList<Shown>& answered();

private:
    static QQueue<Button>& queue();
    static QList<Shown>& log();
};

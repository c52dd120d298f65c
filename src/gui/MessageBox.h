#pragma once

#include <QMessageBox>
#include <QQueue>
#include <optional>

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

    // Qt's own texts (the standard buttons, a text box's context menu) in
    // Chinese, from the Qt translations installed beside Qt; false when there
    // are none. The boxes of this class say 是/否/确定/取消 either way.
    static bool installTranslations();
    static void clearAnswers();

    // An input box with OK and Cancel: the text confirmed, or an empty text.
    // Tests queue the answers with setNextInput() (no value: Cancel).
    static QString input(QWidget* parent, const QString& title, const QString& prompt,
                         const QString& defaultText);
    static void setNextInput(std::optional<QString> answer);

    struct Shown
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        Button defaultButton;
        QString defaultText; // an input box's
    };
    // Boxes answered from the queue, oldest first.
    static const QList<Shown>& answered();

private:
    static QQueue<Button>& queue();
    static QQueue<std::optional<QString>>& inputs();
    static QList<Shown>& log();
};

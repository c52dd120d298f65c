#include "MessageBox.h"

QQueue<MessageBox::Button>& MessageBox::queue()
{
    static QQueue<Button> answers;
    return answers;
}

QList<MessageBox::Shown>& MessageBox::log()
{
    static QList<Shown> shown;
    return shown;
}

MessageBox::Button MessageBox::show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    Button defaultButton)
{
    if (!queue().isEmpty()) {
        log().append({icon, title, text, buttons, defaultButton});
        return queue().dequeue();
    }
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    return static_cast<Button>(box.exec());
}

void MessageBox::setNextAnswer(Button answer)
{
    queue().enqueue(answer);
}

void MessageBox::clearAnswers()
{
    queue().clear();
    log().clear();
}

const QList<MessageBox::Shown>& MessageBox::answered()
{
    return log();
}

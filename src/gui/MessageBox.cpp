#include "MessageBox.h"

#include <QInputDialog>

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
        log().append({icon, title, text, buttons, defaultButton, {}});
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

QQueue<std::optional<QString>>& MessageBox::inputs()
{
    static QQueue<std::optional<QString>> answers;
    return answers;
}

QString MessageBox::input(QWidget* parent, const QString& title, const QString& prompt,
                          const QString& defaultText)
{
    if (!inputs().isEmpty()) {
        log().append({QMessageBox::NoIcon, title, prompt, QMessageBox::Ok | QMessageBox::Cancel,
                      QMessageBox::Ok, defaultText});
        return inputs().dequeue().value_or(QString());
    }
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

void MessageBox::setNextInput(std::optional<QString> answer)
{
    inputs().enqueue(std::move(answer));
}

void MessageBox::clearAnswers()
{
    queue().clear();
    inputs().clear();
    log().clear();
}

const QList<MessageBox::Shown>& MessageBox::answered()
{
    return log();
}

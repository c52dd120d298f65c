#include "MessageBox.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>
#include <utility>

namespace {

// The texts of the standard buttons the tool's boxes use.
void setButtonTexts(QMessageBox& box)
{
    static const std::pair<QMessageBox::StandardButton, const char*> kTexts[] = {
        {QMessageBox::Yes, "是"},
        {QMessageBox::No, "否"},
        {QMessageBox::Ok, "确定"},
        {QMessageBox::Cancel, "取消"}};
    for (const auto& [which, text] : kTexts) {
        if (QAbstractButton* button = box.button(which))
            button->setText(QString::fromUtf8(text));
    }
}

} // namespace

bool MessageBox::installTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

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
    setButtonTexts(box);
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
    QInputDialog box(parent);
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setTextValue(defaultText);
    box.setOkButtonText(QStringLiteral("确定"));
    box.setCancelButtonText(QStringLiteral("取消"));
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
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

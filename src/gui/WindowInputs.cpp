#include "WindowInputs.h"

#include "Controls.h"
#include "app/RuntimeError.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

namespace {

[[noreturn]] void notAControl(const QString& control, const char* kind)
{
    throw RuntimeError(RuntimeError::ObjectNotSet, RuntimeError::nameOf(RuntimeError::ObjectNotSet),
                       control + QStringLiteral(" is not ") + QLatin1String(kind));
}

} // namespace

QString WindowInputs::text(const QString& control) const
{
    const QObject* found = m_controls.find(control);
    if (const auto* edit = qobject_cast<const QLineEdit*>(found))
        return edit->text();
    if (const auto* box = qobject_cast<const QComboBox*>(found))
        return box->currentText();
    notAControl(control, "a text box of the window");
}

bool WindowInputs::ticked(const QString& control) const
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(m_controls.find(control));
        button && button->isCheckable())
        return button->isChecked();
    notAControl(control, "a check box or option of the window");
}

QStringList WindowInputs::missing(const Controls& controls, const QList<JobRow>& rows)
{
    QStringList absent;
    for (const JobRow& row : rows) {
        QStringList names = controls.missing(row.controls);
        if (!row.button.isEmpty() && !qobject_cast<const QAbstractButton*>(controls.find(row.button)))
            names.prepend(row.button);
        for (const QString& name : std::as_const(names))
            absent << (row.button.isEmpty() ? row.command : row.button) + QStringLiteral(": ") + name;
    }
    return absent;
}

#include "Controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

QString Controls::arrayName(const char* name, int index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

QLabel* Controls::label(const QString& name, const QString& text, QWidget* parent)
{
    return add(name, new QLabel(text, parent));
}

QLabel* Controls::note(const QString& name, const QString& text, QWidget* parent)
{
    QLabel* shown = label(name, text, parent);
    shown->setWordWrap(true);
    return shown;
}

QPushButton* Controls::button(const QString& name, const QString& caption, QWidget* parent)
{
    return add(name, new QPushButton(caption, parent));
}

QCheckBox* Controls::check(const QString& name, const QString& caption, QWidget* parent, bool checked)
{
    QCheckBox* box = add(name, new QCheckBox(caption, parent));
    box->setChecked(checked);
    return box;
}

QRadioButton* Controls::option(const QString& name, const QString& caption, QWidget* parent)
{
    return add(name, new QRadioButton(caption, parent));
}

QLineEdit* Controls::edit(const QString& name, const QString& text, QWidget* parent)
{
    return add(name, new QLineEdit(text, parent));
}

QGroupBox* Controls::frame(const QString& name, const QString& caption, QWidget* parent)
{
    return add(name, new QGroupBox(caption, parent));
}

QComboBox* Controls::combo(const QString& name, const QStringList& items, const QString& text,
                           QWidget* parent)
{
    QComboBox* box = add(name, new QComboBox(parent));
    box->setEditable(true);
    box->addItems(items);
    box->setCurrentText(text);
    return box;
}

QStringList Controls::missing(const QStringList& names) const
{
    QStringList absent;
    for (const QString& name : names) {
        if (!find(name))
            absent << name;
    }
    return absent;
}

void Controls::clearOption(QRadioButton* option)
{
    option->setAutoExclusive(false);
    if (QButtonGroup* group = option->group()) {
        group->setExclusive(false);
        option->setChecked(false);
        group->setExclusive(true);
    } else {
        option->setChecked(false);
    }
    option->setAutoExclusive(true);
}

#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// The window's layout is given in twips; the screen has 15 twips per pixel.
constexpr int kTwipsPerPixel = 15;
constexpr int px(int twips)
{
    return twips / kTwipsPerPixel;
}

// The window's controls by name. Each area registers its controls as it
// creates them, so the jobs' inputs are looked up in this table rather than
// searched for in the widget tree, and a name a job needs can be checked once,
// at start. Element i of a control array is named Name_i (Check13_0).
class Controls final
{
public:
    static QString arrayName(const char* name, int index);

    // Names object and registers it under that name.
    template <class T> T* add(const QString& name, T* object)
    {
        object->setObjectName(name);
        Q_ASSERT_X(!m_byName.contains(name), "Controls::add", qPrintable(name));
        m_byName.insert(name, object);
        return object;
    }

    QLabel* label(const QString& name, const QString& text, QWidget* parent);
    // A label that wraps its text over several lines.
    QLabel* note(const QString& name, const QString& text, QWidget* parent);
    QPushButton* button(const QString& name, const QString& caption, QWidget* parent);
    QCheckBox* check(const QString& name, const QString& caption, QWidget* parent, bool checked = false);
    QRadioButton* option(const QString& name, const QString& caption, QWidget* parent);
    QLineEdit* edit(const QString& name, const QString& text, QWidget* parent);
    QGroupBox* frame(const QString& name, const QString& caption, QWidget* parent);
    // An editable combo box: it takes typed text as well as its items.
    QComboBox* combo(const QString& name, const QStringList& items, const QString& text, QWidget* parent);

    // The control registered under name, or null.
    QObject* find(const QString& name) const { return m_byName.value(name); }
    // The names of those not registered, in the order given.
    QStringList missing(const QStringList& names) const;

    // Clears an option button without raising its click: the handlers run on
    // selection only. An exclusive button otherwise refuses to be cleared.
    static void clearOption(QRadioButton* option);

private:
    QHash<QString, QPointer<QObject>> m_byName;
};

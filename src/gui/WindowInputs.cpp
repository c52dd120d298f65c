#include "WindowInputs.h"

#include "Controls.h"
#include "app/RuntimeError.h"
#include "filejobs/BatchDelete.h"
#include "filejobs/NewName.h"
#include "sheet/CellReplace.h"
#include "sheet/WorkbookReplace.h"
#include "word/HeaderFooterReplace.h"
#include "word/HeaderFooterWriter.h"
#include "word/MultiPairReplace.h"
#include "word/SingleTextReplace.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QHash>
#include <QLineEdit>

namespace {

[[noreturn]] void notAControl(const QString& control, const char* kind)
{
    throw RuntimeError(RuntimeError::ObjectNotSet, RuntimeError::nameOf(RuntimeError::ObjectNotSet),
                       control + QStringLiteral(" is not ") + QLatin1String(kind));
}

// The controls by name, as the window holds them or as a list of the names asked for.
struct Source
{
    std::function<QString(const QString&)> text;
    std::function<bool(const QString&)> ticked;
};

using Reading = std::function<std::any(const Source&)>;

QString name(const char* control)
{
    return QString::fromLatin1(control);
}

std::any wordReplace(const Source& in)
{
    using namespace SingleTextReplace;
    Inputs read;
    read.engine = in.ticked(name("Option1"))   ? Engine::Word
                  : in.ticked(name("Option3")) ? Engine::Wps
                                               : Engine::None;
    read.oldText = in.text(name("Text1"));
    read.newText = in.text(name("Text2"));
    read.scopes.pageTextBoxes = in.ticked(name("Check13_0"));
    read.scopes.headerFooterTextBoxes = in.ticked(name("Check13_1"));
    read.scopes.headersFooters = in.ticked(name("Check13_2"));
    return read;
}

std::any wordReplacePairs(const Source& in)
{
    MultiPairReplace::Inputs read;
    read.oldTexts = in.text(name("Text13_0"));
    read.newTexts = in.text(name("Text13_1"));
    read.scopes.pageTextBoxes = in.ticked(name("Check9_0"));
    read.scopes.headersFooters = in.ticked(name("Check9_1"));
    read.scopes.headerFooterTextBoxes = in.ticked(name("Check9_2"));
    return read;
}

std::any headerFooterReplace(const Source& in)
{
    HeaderFooterReplace::Inputs read;
    read.header = in.ticked(name("Check10"));
    read.headerOld = in.text(name("Text12_0"));
    read.headerNew = in.text(name("Text12_1"));
    read.footer = in.ticked(name("Check11"));
    read.footerOld = in.text(name("Text12_2"));
    read.footerNew = in.text(name("Text12_3"));
    return read;
}

std::any headerFooterWrite(const Source& in)
{
    // The header's controls have index 0, the footer's 1.
    const auto row = [&](int index) {
        const QString i = QString::number(index);
        HeaderFooterWriter::Row read;
        read.write = in.ticked(QStringLiteral("Check12_") + i);
        read.deleteFirst = in.ticked(QStringLiteral("Check5_") + i);
        read.text = in.text(index == 0 ? name("Text4") : name("Text5"));
        read.fontName = in.text(QStringLiteral("Text6_") + i);
        read.fontSize = in.text(QStringLiteral("Text7_") + i);
        read.bold = in.ticked(QStringLiteral("Check1_") + i);
        read.alignment = in.text(index == 0 ? name("Combo1") : name("Combo2"));
        return read;
    };
    HeaderFooterWriter::Inputs read;
    read.wordChosen = in.ticked(name("Option7"));
    read.header = row(0);
    read.footer = row(1);
    read.pageNumber = in.ticked(name("Check3"));
    read.pageNumberPosition = in.text(name("Combo3"));
    return read;
}

std::any sheetReplace(const Source& in)
{
    using namespace WorkbookReplace;
    Inputs read;
    read.engine = in.ticked(name("Option2"))   ? Engine::Excel
                  : in.ticked(name("Option4")) ? Engine::Wps
                                               : Engine::None;
    read.oldText = in.text(name("Text1"));
    read.newText = in.text(name("Text2"));
    return read;
}

std::any cellWrite(const Source& in)
{
    CellReplace::Inputs read;
    read.row = in.text(name("Text15_0"));
    read.column = in.text(name("Text15_1"));
    read.content = in.text(name("Text15_2"));
    return read;
}

std::any rename(const Source& in)
{
    filejobs::NameRule rule;
    rule.text = in.text(name("Text10"));
    rule.step = in.text(name("txtStep"));
    // The chosen one of the position's option buttons.
    for (int i = filejobs::ReplacePrefix; i <= filejobs::AfterSuffix; ++i) {
        if (in.ticked(QStringLiteral("Option8_%1").arg(i))) {
            rule.position = i;
            break;
        }
    }
    return rule;
}

std::any remove(const Source& in)
{
    BatchDelete::Inputs read;
    read.unlocked = in.ticked(name("Check7"));
    return read;
}

const QHash<QString, Reading>& readings()
{
    static const QHash<QString, Reading> byButton = {
        {name("Command1"), wordReplace},
        {name("Command9"), wordReplacePairs},
        {name("Command7"), headerFooterReplace},
        {name("Command3"), headerFooterWrite},
        {name("Command2"), sheetReplace},
        {name("Command8"), cellWrite},
        {name("Command6"), rename},
        {name("Command4"), remove},
    };
    return byButton;
}

} // namespace

std::any WindowInputs::read(const QString& button) const
{
    const auto reading = readings().constFind(button);
    if (reading == readings().cend())
        notAControl(button, "a job button of the window");
    return (*reading)(Source{[this](const QString& control) { return text(control); },
                             [this](const QString& control) { return ticked(control); }});
}

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

QStringList WindowInputs::controlsOf(const QString& button)
{
    const auto reading = readings().constFind(button);
    if (reading == readings().cend())
        return {};
    // The reading run over names alone: every control it asks for, nothing ticked.
    QStringList names;
    (*reading)(Source{[&names](const QString& control) {
                          names << control;
                          return QString();
                      },
                      [&names](const QString& control) {
                          names << control;
                          return false;
                      }});
    names.removeDuplicates();
    return names;
}

QStringList WindowInputs::missing(const Controls& controls, const QList<JobRow>& rows,
                                  const std::function<QStringList(const QString&)>& controlsOf)
{
    QStringList absent;
    for (const JobRow& row : rows) {
        QStringList names = controls.missing(controlsOf(row.button));
        if (!row.button.isEmpty() && !qobject_cast<const QAbstractButton*>(controls.find(row.button)))
            names.prepend(row.button);
        for (const QString& name : std::as_const(names))
            absent << (row.button.isEmpty() ? row.command : row.button) + QStringLiteral(": ") + name;
    }
    return absent;
}

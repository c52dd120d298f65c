#pragma once

#include "app/Job.h"

class Controls;

// The jobs' inputs as the window's controls hold them. Each job button has its
// reading here: the controls it reads by name, filling the job's inputs struct.
// The window reads them when the job asks (a job may read its inputs again per
// file and then sees edits made meanwhile).
class WindowInputs final
{
public:
    explicit WindowInputs(const Controls& controls)
        : m_controls(controls)
    {}

    // The inputs of the job of button, read from the controls now.
    std::any read(const QString& button) const;
    ReadInputs reader(const QString& button) const
    {
        return [this, button] { return read(button); };
    }

    // A line edit's or combo box's text; the tool's error for any other name.
    QString text(const QString& control) const;
    // A check box's or option button's state; the tool's error for any other name.
    bool ticked(const QString& control) const;

    // The controls the job of button reads.
    static QStringList controlsOf(const QString& button);

    // Every control the rows' jobs read (controlsOf by default) that controls
    // lacks, and every row's button that is not a button there, each as
    // "Command1: Text1"; empty when the window has them all.
    static QStringList
    missing(const Controls& controls, const QList<JobRow>& rows,
            const std::function<QStringList(const QString&)>& controlsOf = &WindowInputs::controlsOf);

private:
    const Controls& m_controls;
};

#pragma once

#include "app/Job.h"

class Controls;

// What a job reads from the window: the registered controls, read live when the
// job asks (a job may read a box again per file).
class WindowInputs final : public JobInputs
{
public:
    explicit WindowInputs(const Controls& controls)
        : m_controls(controls)
    {}

    // A line edit's or combo box's text.
    QString text(const QString& control) const override;
    // A check box's or option button's state.
    bool ticked(const QString& control) const override;

    // Every control that rows name and controls lacks, and every row's button
    // that is not a button there, each as "Command1: Text1"; empty when the
    // window has them all.
    static QStringList missing(const Controls& controls, const QList<JobRow>& rows);

private:
    const Controls& m_controls;
};

#pragma once

#include "sheet/Spreadsheet.h"

#include <QString>
#include <QStringList>
#include <optional>

// The environment report of the window's load: which spreadsheet programs can
// be created by identifier and which version each reports. The probes create
// and release one instance each and call only Visible, the default value and
// Version, so an engine that answers those from its installation starts nothing.
namespace env {

// What the probes leave for the window to apply.
struct EnvironmentReport
{
    QString text9;                        // the report box's text (CR LF where a line says so)
    std::optional<bool> microsoftEnabled; // Option1 and Option2, when a probe set them
    std::optional<bool> wpsEnabled;       // Option3 and Option4, when a probe set them
    QStringList journal;                  // lines for WriteJournal, in order

    // Option1 ... Option4 after the probes, given their state before.
    bool optionEnabled(int option, bool before = true) const;
};

void CheckOfficeVersion(sheet::Factory& factory, EnvironmentReport& report);
void CheckWpsV8(sheet::Factory& factory, EnvironmentReport& report);
void CheckWpsV9(sheet::Factory& factory, EnvironmentReport& report);

// The three probes in the window's order, from an empty report box.
EnvironmentReport probeAll(sheet::Factory& factory);

// The label of a version number.
QString officeLabel(double version);
QString wpsV8Label(double version);
QString wpsV9Label(double version);

} // namespace env

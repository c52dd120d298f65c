#pragma once

#include <QStringList>

// The window's load steps that report on the machine, from a shell.
namespace cli {

// yanhe-cli probe: the three office probes; prints Text9 and the options' Enabled.
int probe(const QStringList& arguments);
// yanhe-cli check-update [--address URL]: the update check; prints the menus' end state.
int checkUpdate(const QStringList& arguments);
// yanhe-cli update-address [URL]: prints the update address, or stores URL as it.
int updateAddress(const QStringList& arguments);

} // namespace cli

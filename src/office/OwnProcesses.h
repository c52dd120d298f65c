#pragma once

#include <QList>
#include <QtGlobal>

// The office processes this tool started itself. Nothing that looks for the
// user's office program counts them, and nothing ends them but their owner.
namespace OwnProcesses {

// Part of the private profile folder of every office process the tool starts.
inline constexpr char kProfileMarker[] = "yanhe-office-profile";

void add(qint64 pid);
void remove(qint64 pid);
bool contains(qint64 pid);
QList<qint64> all();

} // namespace OwnProcesses

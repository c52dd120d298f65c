#pragma once

#include "word/RunningOffice.h"

#include <memory>

// The platform's running office program: COM and the process list on Windows;
// elsewhere the LibreOffice processes of the user that this tool did not start.
std::unique_ptr<RunningOffice> createSystemRunningOffice();

#ifdef Q_OS_LINUX
// The same LibreOffice service, narrowed to the process tree under root (root
// itself and its descendants): it sees and ends nothing outside that tree. A
// caller that must leave everybody else's office program alone, such as a test
// run on someone's desktop, passes its own process.
std::unique_ptr<RunningOffice> createSystemRunningOfficeUnder(qint64 root);
#endif

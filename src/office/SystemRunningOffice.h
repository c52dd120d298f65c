#pragma once

#include "word/RunningOffice.h"

#include <memory>

// The platform's running office program: COM and the process list on Windows;
// elsewhere the LibreOffice processes of the user that this tool did not start.
std::unique_ptr<RunningOffice> createSystemRunningOffice();

#pragma once

#include "sheet/Spreadsheet.h"

namespace unooffice {

// LibreOffice Calc behind the spreadsheet interface.
sheet::ApplicationPtr createCalc();

} // namespace unooffice

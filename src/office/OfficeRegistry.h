#pragma once

#include "sheet/Spreadsheet.h"
#include "word/WordProcessor.h"

#include <QString>

// Creates office program instances by program identifier, without regard to
// letter case, as COM does: the factory of both the word-processor and the
// spreadsheet interfaces.
class OfficeRegistry : public word::Factory, public sheet::Factory
{
public:
    // The machine's: a program registered for COM (Windows: Word, Excel, WPS);
    // otherwise "Word.Application" is LibreOffice Writer and
    // "Excel.Application" LibreOffice Calc; anything else cannot be created.
    static OfficeRegistry& system();

    // The failure for an identifier that names no program here.
    static QString cannotCreate(const QString& progId);
};

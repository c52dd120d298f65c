#pragma once

#include "sheet/Spreadsheet.h"
#include "word/WordProcessor.h"

#include <QString>

// Creates office program instances by program identifier, without regard to
// letter case, as COM does. Jobs get one of these, so that tests can hand them
// an office program in memory.
class OfficeRegistry
{
public:
    virtual ~OfficeRegistry() = default;
    // RuntimeError 429 ("component cannot be created") when the identifier
    // names no program that can be driven here.
    virtual word::ApplicationPtr createWordProcessor(const QString& progId) = 0;
    virtual sheet::ApplicationPtr createSpreadsheet(const QString& progId) = 0;

    // WPS: "ET.Application", or "KET.Application" when that one cannot be created (429).
    word::ApplicationPtr createWpsWordProcessor();
    sheet::ApplicationPtr createWpsSpreadsheet();

    // The machine's: a program registered for COM (Windows: Word, Excel, WPS);
    // otherwise "Word.Application" is LibreOffice Writer and
    // "Excel.Application" LibreOffice Calc; anything else cannot be created.
    static OfficeRegistry& system();

    // The failure for an identifier that names no program here.
    static QString cannotCreate(const QString& progId);
};

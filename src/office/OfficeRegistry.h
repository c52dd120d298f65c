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
    // Which engine edits the files behind "Word.Application" and
    // "Excel.Application" when no Microsoft program is registered.
    enum class Engine {
        Chosen,   // per file: the lossless engine for .docx/.docm/.dotx/.xlsx/.xlsm, LibreOffice for the rest
        Lossless, // the lossless engine alone: other files fail with the reason
        LibreOffice, // LibreOffice for every file
    };
    // $YANHE_ENGINE: "lossless" or "libreoffice" forces one, for comparison; anything else chooses per file.
    static Engine engineFromEnvironment();

    // The machine's: a program registered for COM (Windows: Word, Excel, WPS);
    // otherwise "Word.Application" and "Excel.Application" are the engines
    // above; anything else cannot be created.
    static OfficeRegistry& system();

    // The failure for an identifier that names no program here.
    static QString cannotCreate(const QString& progId);
};

#include "Spreadsheet.h"

#include "app/RuntimeError.h"

namespace sheet {

ApplicationPtr createWps(Factory& factory)
{
    try {
        return factory.createSpreadsheet(QStringLiteral("ET.Application"));
    } catch (const RuntimeError& error) {
        if (error.number() != RuntimeError::CannotCreateObject)
            throw;
        return factory.createSpreadsheet(QStringLiteral("KET.Application"));
    }
}

} // namespace sheet

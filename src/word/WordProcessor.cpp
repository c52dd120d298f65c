#include "WordProcessor.h"

#include "app/RuntimeError.h"

namespace word {

ApplicationPtr createWps(Factory& factory)
{
    try {
        return factory.createWordProcessor(QStringLiteral("ET.Application"));
    } catch (const RuntimeError& error) {
        if (error.number() != RuntimeError::CannotCreateObject)
            throw;
        return factory.createWordProcessor(QStringLiteral("KET.Application"));
    }
}

} // namespace word

#include "WordProcessor.h"

#include "app/Batch.h"
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

DocumentPtr openForChange(Batch& batch, Application& application, const QString& path)
{
    if (!batch.writable(path))
        return {};
    return batch.attempt(path, Batch::Stage::Open, [&] { return application.documentsOpen(path); })
        .value_or(DocumentPtr());
}

} // namespace word

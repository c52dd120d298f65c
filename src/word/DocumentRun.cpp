#include "DocumentRun.h"

#include "WordTexts.h"

namespace word {

Batch::Result changeEachDocument(JobHost& host, Factory& office, const QString& progId,
                                 const Batch::Pattern& pattern, Batch::Stage stage,
                                 const ChangeDocument& change, bool closeEach)
{
    return Batch::run(
        host, pattern, [&] { return office.createWordProcessor(progId); }, texts::cannotStart(progId),
        [&](Batch& batch, Application& application, const QString& path) {
            const DocumentPtr document = openForChange(batch, application, path);
            if (!document)
                return;
            if (batch.attempt(path, stage, [&] { change(batch, application, *document, path); }))
                batch.attempt(path, Batch::Stage::Save, [&] { document->save(); });
            if (!closeEach)
                return;
            try {
                document->close();
            } catch (...) {
                // The file is saved or reported already; Quit closes what is left.
            }
        });
}

} // namespace word

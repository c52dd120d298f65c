#pragma once

#include "WordProcessor.h"
#include "app/Batch.h"

class JobHost;

namespace word {

// What a job does to one opened document, as one stage of the file.
using ChangeDocument = std::function<void(Batch&, Application&, Document&, const QString& path)>;

// A document job through the program progId: the pattern's run over the ticked
// documents, each opened for change, changed by change() as the stage given,
// and saved only when that went well, so that a document that failed keeps what
// its file held. With closeEach each document is closed after (which drops
// what a failed one had changed); otherwise Quit closes them.
Batch::Result changeEachDocument(JobHost& host, Factory& office, const QString& progId,
                                 const Batch::Pattern& pattern, Batch::Stage stage,
                                 const ChangeDocument& change, bool closeEach = false);

} // namespace word

#pragma once

#include "word/WordProcessor.h"

#include <functional>

namespace ooxml {

// Where an engine notes what the journal should keep about its choices.
using Notes = std::function<void(const QString&)>;

// Word's object model on .docx, .docm and .dotx, edited in their XML (see
// WordFile). Documents.Open of a file this engine does not edit throws
// Declined; routedWordProcessor() hands such files to another engine.
word::ApplicationPtr createWordProcessor();

// The files this engine takes, by extension.
bool takesDocument(const QString& path);

// One word processor for a whole run: .docx, .docm and .dotx through this
// engine, every other file, and the ones it declines, through fallback(),
// created when the first such file comes. Without a fallback, a declined file
// fails with the reason. The active document's view and selection belong to
// the engine that opened it.
word::ApplicationPtr routedWordProcessor(std::function<word::ApplicationPtr()> fallback, Notes notes);

} // namespace ooxml

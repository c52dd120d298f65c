#pragma once

#include "word/WordProcessor.h"

#include <memory>

namespace unooffice {
class UnoOffice;

// LibreOffice Writer behind the word-processor interface, with Word's model:
// a section is a run of the body that keeps one page style, and its primary
// header or footer is that page style's header or footer text.
word::ApplicationPtr createWriter();

} // namespace unooffice

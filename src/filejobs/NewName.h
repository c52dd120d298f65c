#pragma once

#include <QString>
#include <QStringList>

// The names of the rename tab: a file's new name from the custom text, the
// increment and the position, and the tab's live example.
namespace filejobs {

// The rename's inputs: what a name is computed from.
struct NameRule
{
    QString text;     // the custom text, as typed
    QString step;     // the increment, as typed
    int position = 0; // a Position
};

// Where the custom text and the increment go.
enum Position : int {
    ReplacePrefix = 0, // 替换前缀
    ReplaceSuffix = 1, // 替换后缀
    BeforePrefix = 2,  // 在前缀的前面 (the text only, no number)
    AfterPrefix = 3,   // 在前缀的后面
    BeforeSuffix = 4,  // 在后缀的前面
    AfterSuffix = 5,   // 在后缀的后面
};

// The new name of a file name (no folder): the custom text trimmed of blanks
// and the increment in plain decimal inserted at the rule's position, the name
// split at its last dot. Throws RuntimeError, in words for the user, when the
// rule gives no name: an increment that is not a whole number from -32768 to
// 32767 (where the position uses it), a name without a dot for position 4.
QString GetNewName(const QString& name, const NameRule& rule);

// The example of the tab's 示例 frame: its two file names, and the names
// shown beside them until the first edit.
QStringList exampleSources();
QStringList initialExampleTargets();
// The name shown beside an example's file name after an edit of the custom
// text or the increment: the new name, or a short note while the rule gives
// none (the increment half typed, for instance).
QString exampleTarget(const QString& source, const NameRule& rule);

} // namespace filejobs

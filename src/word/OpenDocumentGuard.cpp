#include "OpenDocumentGuard.h"

#include "word/RunningOffice.h"

#include <exception>

namespace OpenDocumentGuard {

Kind word()
{
    return {QStringLiteral("Word.Application"),
            QStringLiteral("您有文档已打开，必须手动保存关闭后再执本工具"), QStringLiteral("winword.EXE"),
            QStringLiteral("关闭了打开的word文档")};
}

Kind excel()
{
    return {QStringLiteral("Excel.Application"),
            QStringLiteral("您有表格已打开，必须手动保存关闭后再执本工具"), QStringLiteral("excel.EXE"),
            QStringLiteral("关闭了打开的EXCEL文档")};
}

QString title()
{
    return QStringLiteral("关闭确认...");
}

QString question(const Kind& kind)
{
    return kind.firstLine + QStringLiteral("\r\n") + QStringLiteral("点“是”直接关闭文档，点“否”退出工具");
}

Outcome run(const Kind& kind, RunningOffice& office, const Ask& ask, const Write& journal)
{
    std::optional<QStringList> documents;
    try {
        documents = office.openDocuments(kind.progId);
    } catch (const std::exception&) {
        return Outcome::Continue;
    }
    if (!documents)
        return Outcome::Continue;

    for (const QString& document : std::as_const(*documents)) {
        if (document.isEmpty())
            continue;
        if (!ask(title(), question(kind)))
            return Outcome::EndProgram;
        try {
            office.endAllProcesses(kind.exeName);
        } catch (const std::exception&) {
        }
        try {
            journal(kind.journalLine);
        } catch (const std::exception&) {
        }
        // The documents went with their program: nothing is left to step through.
        return Outcome::Continue;
    }
    return Outcome::Continue;
}

} // namespace OpenDocumentGuard

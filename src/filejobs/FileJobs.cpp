#include "FileJobs.h"

#include "BatchDelete.h"
#include "BatchRename.h"

namespace filejobs {

namespace {

using Kind = CliOption::Kind;

// Command6 "改名".
Batch::Result Command6_Click(JobContext& context)
{
    return BatchRename::RenameFiles(context.host, context.inputs);
}

// Command4 "删除文件": nothing unless Check7 is ticked.
Batch::Result Command4_Click(JobContext& context)
{
    return BatchDelete::DeleteFiles(context.host, context.inputs.ticked(QStringLiteral("Check7")));
}

QList<QPair<QString, QString>> positions()
{
    QList<QPair<QString, QString>> values;
    for (int i = 0; i <= 5; ++i)
        values.append({QString::number(i), QStringLiteral("Option8_%1").arg(i)});
    return values;
}

} // namespace

QList<JobRow> jobRows()
{
    JobRow rename;
    rename.command = QStringLiteral("rename");
    rename.button = QStringLiteral("Command6");
    rename.summary = QStringLiteral("rename files, inserting a text and a number into their names");
    rename.help =
        QStringLiteral("Renames files within their folders as \"改名\" does: the text and the increment go "
                       "in at the position "
                       "(0 替换前缀, 1 替换后缀, 2 在前缀的前面 (the text only), 3 在前缀的后面, 4 "
                       "在后缀的前面, 5 在后缀的后面). "
                       "A name that is taken is never replaced: the file is reported and keeps its name.");
    rename.controls = {QStringLiteral("Text10"), QStringLiteral("txtStep")};
    for (const auto& [value, control] : positions())
        rename.controls << control;
    rename.options = {
        {QStringLiteral("text"),
         Kind::Text,
         QStringLiteral("The text to insert (blanks around it are dropped)."),
         QStringLiteral("Text10"),
         {},
         {}},
        {QStringLiteral("step"),
         Kind::Text,
         QStringLiteral("The increment, a whole number from -32768 to 32767 (default 1)."),
         QStringLiteral("txtStep"),
         QStringLiteral("1"),
         {}},
        {QStringLiteral("position"),
         Kind::OneOf,
         QStringLiteral("Where the text goes, 0 to 5 (default 0)."),
         {},
         QStringLiteral("0"),
         positions()},
    };
    rename.run = Command6_Click;

    JobRow remove;
    remove.command = QStringLiteral("delete");
    remove.button = QStringLiteral("Command4");
    remove.summary = QStringLiteral("delete files for good");
    remove.help = QStringLiteral(
        "Deletes files for good as \"删除文件\" does, the last first: a link as the link, never a folder, a "
        "hidden or system file, or a read-only one. Nothing is deleted without --unlock.");
    remove.controls = {QStringLiteral("Check7")};
    remove.options = {
        {QStringLiteral("unlock"),
         Kind::Flag,
         QStringLiteral("Allow the deletion (勾选解锁后可删除，注意：删除后不可恢复，谨慎操作)."),
         QStringLiteral("Check7"),
         {},
         {}},
    };
    remove.usageCheck = [](const JobInputs& inputs) {
        return inputs.ticked(QStringLiteral("Check7"))
                   ? QString()
                   : QStringLiteral(
                         "delete deletes nothing without --unlock: files deleted cannot be restored");
    };
    remove.run = Command4_Click;
    return {rename, remove};
}

} // namespace filejobs

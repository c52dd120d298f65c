#pragma once

#include "app/FailureText.h"

#include <QString>

// What the file jobs (renaming, deleting) say about a file they leave as it
// was, in one place.
namespace FileJobTexts {

inline QString missing()
{
    return FailureText::missing();
}
inline QString folder()
{
    return QStringLiteral("这是文件夹");
}
inline QString systemFile()
{
    return QStringLiteral("这是系统文件，不是普通文件");
}
inline QString hiddenFile()
{
    return QStringLiteral("这是隐藏文件");
}
inline QString readOnlyFile()
{
    return QStringLiteral("文件是只读的");
}
inline QString readOnlyFolder()
{
    return QStringLiteral("所在文件夹是只读的");
}
inline QString inUse()
{
    return QStringLiteral("文件正在使用");
}
inline QString taken(const QString& name)
{
    return QStringLiteral("已有同名的文件或文件夹：") + name;
}
inline QString nameInvalidOrTooLong()
{
    return QStringLiteral("新文件名无效或太长");
}
inline QString nameTooLong()
{
    return QStringLiteral("新文件名太长");
}
inline QString nameInvalid(const QString& name)
{
    return QStringLiteral("新文件名无效：") + name;
}
inline QString nameHasForbidden(QChar c)
{
    return QStringLiteral("新文件名含有文件名中不允许的字符“%1”").arg(c);
}

} // namespace FileJobTexts

#pragma once

#include <QString>

// What a failure line says about a file or the office program, in the words a
// user acts on. The technical account goes into RuntimeError::detail and from
// there into the journal only.
namespace FailureText {

inline QString encrypted()
{
    return QStringLiteral("文件有密码保护");
}
inline QString damaged()
{
    return QStringLiteral("文件已损坏");
}
inline QString missing()
{
    return QStringLiteral("文件不存在");
}
inline QString notWordDocument()
{
    return QStringLiteral("不是 Word 文档");
}
inline QString notWorkbook()
{
    return QStringLiteral("不是工作簿");
}
// A format the office program reads but cannot write back (Word 6.0/95 ...).
inline QString cannotSaveFormat(const QString& format)
{
    return QStringLiteral("不能按原格式保存（%1）").arg(format);
}
inline QString lockedBy(const QString& who)
{
    return who.trimmed().isEmpty() ? QStringLiteral("文件被别人锁定")
                                   : QStringLiteral("文件被 %1 锁定").arg(who.trimmed());
}
// The name is so long that the lock file the office program keeps beside the
// file (the name and a few characters more) cannot be made.
inline QString nameTooLong()
{
    return QStringLiteral("文件名太长，无法加锁");
}
inline QString readOnly()
{
    return QStringLiteral("文件是只读的");
}
inline QString notResponding()
{
    return QStringLiteral("办公软件没有应答，已结束它");
}
inline QString stopped()
{
    return QStringLiteral("办公软件意外退出");
}
// Any other failure of the office program on the file.
inline QString officeFailed()
{
    return QStringLiteral("办公软件出错");
}
inline QString cannotStart()
{
    return QStringLiteral("无法启动办公软件");
}
// A save that could not write the file; it keeps its bytes.
inline QString notWritten()
{
    return QStringLiteral("无法写入文件");
}
// A saved result that did not pass its check was thrown away.
inline QString resultUnreadable()
{
    return QStringLiteral("保存结果无法打开");
}
// Another program changed or replaced the file while the job held it.
inline QString changedMeanwhile()
{
    return QStringLiteral("文件在处理期间被别的程序改动");
}
// A save would have given the file another owner or group.
inline QString ownerNotKept()
{
    return QStringLiteral("无法保留文件的所有者");
}
inline QString attributesNotKept()
{
    return QStringLiteral("无法保留文件的扩展属性");
}

} // namespace FailureText

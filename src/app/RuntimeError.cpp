#include "RuntimeError.h"

RuntimeError::RuntimeError(int number, QString description, QString detail)
    : std::runtime_error(description.toStdString())
    , m_number(number)
    , m_description(std::move(description))
    , m_detail(std::move(detail))
{}

QString RuntimeError::messageText() const
{
    return QStringLiteral("运行时错误 '%1'：\n\n%2").arg(m_number).arg(m_description);
}

QString RuntimeError::nameOf(int number)
{
    switch (number) {
    case InvalidCall:
        return QStringLiteral("无效的过程调用或参数");
    case SubscriptOutOfRange:
        return QStringLiteral("下标越界");
    case TypeMismatch:
        return QStringLiteral("类型不匹配");
    case FileNotFound:
        return QStringLiteral("文件未找到");
    case FileAlreadyExists:
        return QStringLiteral("文件已存在");
    case PermissionDenied:
        return QStringLiteral("没有权限");
    case PathFileAccess:
        return QStringLiteral("路径/文件访问错误");
    case PathNotFound:
        return QStringLiteral("路径未找到");
    case ObjectNotSet:
        return QStringLiteral("要使用的对象不存在：它没有创建，或已经关闭");
    case ResourceNotFound:
        return QStringLiteral("找不到资源");
    case CannotCreateObject:
        return QStringLiteral("ActiveX 部件不能创建对象");
    case NotSupported:
        return QStringLiteral("对象不支持该属性或方法");
    case Automation:
        return QStringLiteral("自动化错误");
    case ApplicationDefined:
        return QStringLiteral("应用程序定义或对象定义错误");
    case CommandFailed:
        return QStringLiteral("命令失败");
    case NoDocumentOpen:
        return QStringLiteral("没有打开的文档");
    default:
        return {};
    }
}

RuntimeError RuntimeError::pathFileAccess(const QString& path, const QString& detail)
{
    QString text = QStringLiteral("路径/文件访问错误：") + path;
    if (!detail.isEmpty())
        text += QStringLiteral("（") + detail + QStringLiteral("）");
    return {PathFileAccess, text};
}

RuntimeError RuntimeError::fromStd(const std::exception& error)
{
    return {Automation, nameOf(Automation), QString::fromLocal8Bit(error.what())};
}

RuntimeError RuntimeError::unknown()
{
    return {Automation, nameOf(Automation), QStringLiteral("unknown exception")};
}

#pragma once

#include <QString>
#include <stdexcept>

// A failure with a number and a description. Nothing below the top level
// handles it; the jobs report it per file, start-up shows it in one message box
// before the tool ends.
//
// The description is what a user reads: a short phrase saying what is wrong.
// The detail, when there is one, is the technical account (the office
// program's own message) and goes to the journal only.
class RuntimeError final : public std::runtime_error
{
public:
    // Every number the tool raises, named by what the user is told.
    enum Number : int {
        InvalidCall = 5,           // 无效的过程调用或参数
        SubscriptOutOfRange = 9,   // 下标越界
        TypeMismatch = 13,         // 类型不匹配
        FileNotFound = 53,         // 文件未找到
        FileAlreadyExists = 58,    // 文件已存在
        PermissionDenied = 70,     // 没有权限
        PathFileAccess = 75,       // 路径/文件访问错误
        PathNotFound = 76,         // 路径未找到
        ObjectNotSet = 91,         // 要使用的对象不存在：它没有创建，或已经关闭
        ResourceNotFound = 326,    // 找不到资源
        CannotCreateObject = 429,  // ActiveX 部件不能创建对象
        NotSupported = 438,        // 对象不支持该属性或方法
        Automation = 440,          // 自动化错误
        ApplicationDefined = 1004, // 应用程序定义或对象定义错误
        CommandFailed = 4198,      // 命令失败
        NoDocumentOpen = 4248,     // 没有打开的文档
    };

    RuntimeError(int number, QString description, QString detail = {});

    int number() const { return m_number; }
    const QString& description() const { return m_description; }
    const QString& detail() const { return m_detail; }

    // "运行时错误 '75'：" followed by the description, as the message box shows it.
    QString messageText() const;

    // The name users see for a number ("ActiveX 部件不能创建对象" for 429); empty
    // for a number the tool does not raise itself.
    static QString nameOf(int number);

    static RuntimeError pathFileAccess(const QString& path, const QString& detail);
    // A standard exception that escaped a lower layer, as an automation error.
    static RuntimeError fromStd(const std::exception& error);
    // Anything else that escaped (an exception of a foreign library).
    static RuntimeError unknown();

private:
    int m_number;
    QString m_description;
    QString m_detail;
};

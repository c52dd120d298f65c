#pragma once

#include <QString>
#include <stdexcept>

// A failure that nothing below the top level handles. It carries a number and a
// description, which the top level shows in one message box before the tool ends.
class RuntimeError final : public std::runtime_error
{
public:
    // Numbers follow the classic run-time error numbers users know from this tool.
    enum Number : int {
        FileNotFound = 53,
        PathFileAccess = 75,
        PathNotFound = 76,
        ResourceNotFound = 326,
    };

    RuntimeError(int number, QString description);

    int number() const { return m_number; }
    const QString& description() const { return m_description; }

    // "运行时错误 '75'：" followed by the description, as the message box shows it.
    QString messageText() const;

    static RuntimeError pathFileAccess(const QString& path, const QString& detail);

private:
    int m_number;
    QString m_description;
};

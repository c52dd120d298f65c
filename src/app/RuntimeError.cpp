#include "RuntimeError.h"

RuntimeError::RuntimeError(int number, QString description)
    : std::runtime_error(description.toStdString())
    , m_number(number)
    , m_description(std::move(description))
{}

QString RuntimeError::messageText() const
{
    return QStringLiteral("运行时错误 '%1'：\n\n%2").arg(m_number).arg(m_description);
}

RuntimeError RuntimeError::pathFileAccess(const QString& path, const QString& detail)
{
    QString text = QStringLiteral("路径/文件访问错误：") + path;
    if (!detail.isEmpty())
        text += QStringLiteral("（") + detail + QStringLiteral("）");
    return {PathFileAccess, text};
}

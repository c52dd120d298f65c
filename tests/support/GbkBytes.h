#pragma once

#include <QByteArray>
#include <QString>
#include <QStringEncoder>

#ifdef Q_OS_WIN
#include <string>
#include <windows.h>
#endif

// A text in GBK, as a Chinese web server sends it. Qt for Windows has no GBK
// encoder of its own (it is built without ICU): there Windows' code page 936 makes the bytes.
inline QByteArray gbkBytes(const QString& text)
{
    QStringEncoder gbk("GBK");
    if (gbk.isValid())
        return gbk.encode(text);
#ifdef Q_OS_WIN
    const std::wstring wide = text.toStdWString();
    const int size = WideCharToMultiByte(936, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    QByteArray bytes(size, '\0');
    WideCharToMultiByte(936, 0, wide.data(), int(wide.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
#else
    return {};
#endif
}

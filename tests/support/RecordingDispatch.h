#pragma once

#include "office/com/Dispatch.h"

#include <QMap>
#include <QStringList>
#include <functional>

// A COM object model that records what is asked of it. Every object is named by
// the member path that reached it ("Word.Application.Documents.Open(...)");
// method calls and property writes are recorded with their arguments and types
// ("Replace:=2 As Integer"). Results come from `answers` by path; a member
// without an answer gives a new object; a collection has `counts[path]` items.
class RecordingDispatch
{
public:
    QStringList calls;
    QMap<QString, QVariant> answers;
    QMap<QString, int> counts;

    comseam::ObjectPtr object(const QString& path);
    static QString format(const QVariant& value);
};

class RecordingObject final : public comseam::Object
{
public:
    RecordingObject(RecordingDispatch& recorder, QString path)
        : m_recorder(recorder)
        , m_path(std::move(path))
    {}
    const QString& path() const { return m_path; }

    QVariant invoke(const QString& member, const QVariantList& arguments,
                    const QList<comseam::Named>& named) override
    {
        QStringList parts;
        for (const QVariant& argument : arguments)
            parts << RecordingDispatch::format(argument);
        for (const comseam::Named& argument : named)
            parts << argument.name + ":=" + RecordingDispatch::format(argument.value);
        const QString call = m_path + "." + member + "(" + parts.join(", ") + ")";
        m_recorder.calls << call;
        return result(call);
    }
    QVariant get(const QString& member, const QVariantList& arguments) override
    {
        return result(property(member, arguments));
    }
    void put(const QString& member, const QVariant& value, const QVariantList& arguments) override
    {
        m_recorder.calls << property(member, arguments) + " = " + RecordingDispatch::format(value);
    }
    QList<comseam::ObjectPtr> items() override
    {
        QList<comseam::ObjectPtr> list;
        for (int i = 1; i <= m_recorder.counts.value(m_path); ++i)
            list << m_recorder.object(QString("%1[%2]").arg(m_path).arg(i));
        return list;
    }

private:
    // "path.Member(1 As Long, ...)"; the default member adds nothing.
    QString property(const QString& member, const QVariantList& arguments) const
    {
        QString path = m_path + (member.isEmpty() ? QString() : "." + member);
        if (!arguments.isEmpty()) {
            QStringList parts;
            for (const QVariant& argument : arguments)
                parts << RecordingDispatch::format(argument);
            path += "(" + parts.join(", ") + ")";
        }
        return path;
    }

    QVariant result(const QString& path)
    {
        const auto it = m_recorder.answers.constFind(path);
        if (it != m_recorder.answers.constEnd())
            return *it;
        return QVariant::fromValue(m_recorder.object(path));
    }

    RecordingDispatch& m_recorder;
    QString m_path;
};

inline comseam::ObjectPtr RecordingDispatch::object(const QString& path)
{
    return std::make_shared<RecordingObject>(*this, path);
}

inline QString RecordingDispatch::format(const QVariant& value)
{
    if (!value.isValid())
        return "Empty";
    if (comseam::holdsObject(value))
        return "<" + static_cast<RecordingObject*>(value.value<comseam::ObjectPtr>().get())->path() + ">";
    switch (value.metaType().id()) {
    case QMetaType::Short:
        return QString::number(value.value<qint16>()) + " As Integer";
    case QMetaType::Int:
        return QString::number(value.toInt()) + " As Long";
    case QMetaType::Bool:
        return value.toBool() ? "True" : "False";
    default:
        return "\"" + value.toString() + "\"";
    }
}

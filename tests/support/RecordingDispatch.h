#pragma once

#include "app/RuntimeError.h"
#include "office/com/Dispatch.h"

#include <QMap>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

// A COM object model that records what is asked of it. Every object is named by
// the member path that reached it ("Word.Application.Documents.Open(...)");
// method calls and property writes are recorded with their arguments and types
// ("Replace:=2 As Integer"). Results come from `answers` by path; a member
// without an answer gives a new object; a collection has `counts[path]` items.
// A call or property read listed in `hangs` does not return until its process
// is ended (end()); it then fails as a call into an ended process does.
class RecordingDispatch
{
public:
    QStringList calls;
    QMap<QString, QVariant> answers;
    QMap<QString, int> counts;
    QStringList hangs;

    comseam::ObjectPtr object(const QString& path);
    static QString format(const QVariant& value);

    void hangIf(const QString& call)
    {
        if (!hangs.contains(call))
            return;
        std::unique_lock lock(m_mutex);
        m_ended.wait(lock, [this] { return m_end; });
        m_end = false;
        throw RuntimeError(RuntimeError::Automation, RuntimeError::nameOf(RuntimeError::Automation),
                           "The RPC server is unavailable.");
    }
    // From any thread.
    void end()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_end = true;
        }
        m_ended.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_end = false;
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
        m_recorder.hangIf(call);
        return result(call);
    }
    QVariant get(const QString& member, const QVariantList& arguments) override
    {
        const QString read = property(member, arguments);
        m_recorder.hangIf(read);
        return result(read);
    }
    void put(const QString& member, const QVariant& value, const QVariantList& arguments) override
    {
        const QString write = property(member, arguments) + " = " + RecordingDispatch::format(value);
        m_recorder.calls << write;
        m_recorder.hangIf(write);
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

// The COM runtime over a recording dispatch: every identifier is registered;
// each created instance is served by a process of its own (1001, 1002 ...);
// `running` lists the identifiers of the user's running instances (attach).
// Ending a process releases the call that hangs in it. CPU time grows while
// `busyLooks` lasts, then stands still.
class RecordingRuntime final : public comseam::Runtime
{
public:
    explicit RecordingRuntime(RecordingDispatch& recorder)
        : m_recorder(recorder)
    {}
    bool isRegistered(const QString&) override { return true; }
    comseam::ObjectPtr create(const QString& progId) override
    {
        const comseam::ObjectPtr instance = m_recorder.object(progId);
        const std::lock_guard lock(m_mutex);
        m_pids[instance.get()] = 1001 + created++;
        return instance;
    }
    comseam::ObjectPtr attach(const QString& progId) override
    {
        return running.contains(progId) ? m_recorder.object("running " + progId) : nullptr;
    }
    comseam::ObjectPtr getObject(const QString& moniker) override { return m_recorder.object(moniker); }
    qint64 serverProcess(const comseam::ObjectPtr& instance) override
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_pids.find(instance.get());
        return it == m_pids.end() ? 0 : it->second;
    }
    std::optional<qint64> cpuTime(qint64) override
    {
        const std::lock_guard lock(m_mutex);
        ++cpuLooks;
        if (busyLooks > 0) {
            --busyLooks;
            m_cpu += 10000;
        }
        return m_cpu;
    }
    void endProcess(qint64 pid) override
    {
        {
            const std::lock_guard lock(m_mutex);
            ended << pid;
        }
        m_recorder.end();
    }
    QList<qint64> endedProcesses()
    {
        const std::lock_guard lock(m_mutex);
        return ended;
    }

    QStringList running;
    int created = 0;
    int busyLooks = 0;
    int cpuLooks = 0;

private:
    RecordingDispatch& m_recorder;
    std::mutex m_mutex;
    std::map<const comseam::Object*, qint64> m_pids;
    QList<qint64> ended;
    qint64 m_cpu = 0;
};

#pragma once

#include "app/Job.h"

#include <utility>

namespace jobs {

// The member a chain of member pointers reaches in object.
template <auto M, auto... Ms, class T> auto& reach(T& object)
{
    if constexpr (sizeof...(Ms) == 0)
        return object.*M;
    else
        return reach<Ms...>(object.*M);
}

// A member of an inputs struct for the builders below: at<&Inputs::header, &Row::text>().
template <auto M, auto... Ms> auto at()
{
    return [](auto& object) -> auto&
    {
        return reach<M, Ms...>(object);
    };
}

// Builds a row of the job table over a job's own inputs struct In. Each option
// builder names an option of the command and the member of In it fills; the
// member becomes a field of the row under the option's name, which is how a
// run tells its workers the inputs and how its backups record them.
template <class In> class CommandRow
{
public:
    template <class T> using Member = std::function<T&(In&)>;
    using Run = std::function<Batch::Result(JobContext&, const std::function<In()>&)>;

    CommandRow(const QString& command, const QString& button, const QString& summary, const QString& help)
    {
        m_row.command = command;
        m_row.button = button;
        m_row.summary = summary;
        m_row.help = help;
    }

    // --name VALUE: a text; without the option, defaultValue.
    CommandRow& text(const QString& name, const QString& help, Member<QString> member,
                     const QString& defaultValue = {})
    {
        textField(name, member);
        return option(name, help, QStringLiteral("value"),
                      [member, defaultValue](In& in, const std::optional<QString>& value) {
                          member(in) = value.value_or(defaultValue);
                          return QString();
                      });
    }

    // --name VALUE: a text the command cannot do without.
    CommandRow& requiredText(const QString& name, const QString& help, Member<QString> member)
    {
        text(name, help, member);
        m_row.options.last().required = true;
        return *this;
    }

    // --name: sets a flag.
    CommandRow& flag(const QString& name, const QString& help, Member<bool> member)
    {
        flagField(name, member);
        return option(name, help, {}, [member](In& in, const std::optional<QString>& value) {
            if (value)
                member(in) = true;
            return QString();
        });
    }

    // --name VALUE: a text and the flag that goes with it (a box ticked to use
    // the text), the flag a field named flagKey; without the option, neither.
    CommandRow& tickedText(const QString& name, const QString& help, Member<QString> member,
                           const QString& flagKey, Member<bool> ticked)
    {
        textField(name, member);
        flagField(flagKey, ticked);
        return option(name, help, QStringLiteral("value"),
                      [member, ticked](In& in, const std::optional<QString>& value) {
                          member(in) = value.value_or(QString());
                          if (value)
                              ticked(in) = true;
                          return QString();
                      });
    }

    // --name VALUE: one of values; without the option, defaultValue. An empty
    // value chooses none.
    template <class V>
    CommandRow& oneOf(const QString& name, const QString& help, Member<V> member,
                      const QList<std::pair<QString, V>>& values, const QString& defaultValue)
    {
        InputField field;
        field.key = name;
        field.get = [member, values](const std::any& inputs) {
            In in = std::any_cast<In>(inputs);
            for (const auto& [text, value] : values) {
                if (member(in) == value)
                    return text;
            }
            return QString();
        };
        field.set = [member, values](std::any& inputs, const QString& chosen) {
            for (const auto& [text, value] : values) {
                if (text == chosen)
                    member(*std::any_cast<In>(&inputs)) = value;
            }
        };
        m_row.fields << field;
        QStringList names;
        for (const auto& value : values)
            names << value.first;
        return option(name, help, QStringLiteral("value"), [=](In& in, const std::optional<QString>& given) {
            const QString chosen = given.value_or(defaultValue);
            if (chosen.isEmpty())
                return QString();
            for (const auto& [text, value] : values) {
                if (text.compare(chosen, Qt::CaseInsensitive) == 0) {
                    member(in) = value;
                    return QString();
                }
            }
            return unknown(name, chosen, names);
        });
    }

    // --name A,B: any of values, comma-separated, each setting its flag (a
    // field named name.value).
    CommandRow& setOf(const QString& name, const QString& help,
                      const QList<std::pair<QString, Member<bool>>>& values)
    {
        QStringList names;
        for (const auto& [value, member] : values) {
            flagField(name + QLatin1Char('.') + value, member);
            names << value;
        }
        return option(name, help, QStringLiteral("list"), [=](In& in, const std::optional<QString>& given) {
            for (const QString& chosen :
                 given.value_or(QString()).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                bool found = false;
                for (const auto& [value, member] : values) {
                    if (value.compare(chosen, Qt::CaseInsensitive) == 0) {
                        member(in) = true;
                        found = true;
                    }
                }
                if (!found)
                    return unknown(name, chosen, names);
            }
            return QString();
        });
    }

    // A flag the command line sets whatever its options, a field named key.
    CommandRow& implied(const QString& key, Member<bool> member)
    {
        flagField(key, member);
        m_implied << member;
        return *this;
    }

    // A check of the command line's inputs: a usage error's text, or empty.
    CommandRow& check(std::function<QString(const In&)> usageCheck)
    {
        m_row.usageCheck = [usageCheck](const std::any& inputs) {
            return usageCheck(std::any_cast<const In&>(inputs));
        };
        return *this;
    }

    CommandRow& takesNoFiles()
    {
        m_row.takesFiles = false;
        return *this;
    }

    CommandRow& drivesOffice()
    {
        m_row.drivesOffice = true;
        return *this;
    }

    CommandRow& runs(Run run)
    {
        m_row.run = [run](JobContext& context) {
            const ReadInputs& inputs = context.inputs;
            return run(context, [&inputs] { return std::any_cast<In>(inputs()); });
        };
        return *this;
    }

    JobRow row() const
    {
        JobRow row = m_row;
        row.blank = [] { return std::any(In{}); };
        row.commandLineStart = [implied = m_implied] {
            In in{};
            for (const Member<bool>& member : implied)
                member(in) = true;
            return std::any(in);
        };
        return row;
    }

private:
    static QString unknown(const QString& name, const QString& value, const QStringList& names)
    {
        return QStringLiteral("unknown %1 \"%2\" (%3)").arg(name, value, names.join(QStringLiteral(", ")));
    }

    CommandRow& option(const QString& name, const QString& help, const QString& valueName,
                       std::function<QString(In&, const std::optional<QString>&)> apply)
    {
        CliOption option;
        option.name = name;
        option.help = help;
        option.valueName = valueName;
        option.apply = [apply](std::any& inputs, const std::optional<QString>& value) {
            return apply(*std::any_cast<In>(&inputs), value);
        };
        m_row.options << option;
        return *this;
    }

    void textField(const QString& key, Member<QString> member)
    {
        InputField field;
        field.key = key;
        field.get = [member](const std::any& inputs) {
            In in = std::any_cast<In>(inputs);
            return member(in);
        };
        field.set = [member](std::any& inputs, const QString& value) {
            member(*std::any_cast<In>(&inputs)) = value;
        };
        m_row.fields << field;
    }

    void flagField(const QString& key, Member<bool> member)
    {
        InputField field;
        field.key = key;
        field.flag = true;
        field.get = [member](const std::any& inputs) {
            In in = std::any_cast<In>(inputs);
            return member(in) ? QStringLiteral("1") : QString();
        };
        field.set = [member](std::any& inputs, const QString& value) {
            member(*std::any_cast<In>(&inputs)) = value == QLatin1String("1");
        };
        m_row.fields << field;
    }

    JobRow m_row;
    QList<Member<bool>> m_implied;
};

} // namespace jobs

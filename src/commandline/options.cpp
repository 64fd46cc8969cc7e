#include "commandline/options.h"

#include "commandline/messages.h"

namespace {

// The option that argument names by its short name ("-j", "-j4"), if any.
const OptionSpec *shortOption(const QString &argument, std::span<const OptionSpec> options)
{
    if (argument.size() < 2 || argument.startsWith(QLatin1String("--")))
        return nullptr;
    for (const OptionSpec &option : options) {
        if (option.shortName && option.valueName && argument[1] == QLatin1Char(option.shortName))
            return &option;
    }
    return nullptr;
}

} // namespace

std::optional<ParsedOptions> ParsedOptions::parse(const QStringList &arguments, std::span<const OptionSpec> options,
                                                  QString *error, const ForeignOptions &foreign)
{
    ParsedOptions parsed;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) {
            parsed.m_operands.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (const int taken = foreign ? foreign(arguments, i) : 0; taken != 0) {
            if (taken < 0) {
                *error = QStringLiteral("option '%1' needs a value").arg(shownName(argument));
                return std::nullopt;
            }
            for (int k = 0; k < taken; ++k)
                parsed.m_foreign.push_back(i + k);
            i += taken - 1;
            continue;
        }
        if (const OptionSpec *option = shortOption(argument, options)) {
            const QString shown = argument.left(2);
            QString value = argument.mid(2);
            if (value.isEmpty() && i + 1 < arguments.size())
                value = arguments[++i];
            else if (value.isEmpty()) {
                *error = QStringLiteral("option '%1' needs a value").arg(shown);
                return std::nullopt;
            }
            parsed.m_values[QLatin1String(option->name)] = value;
            continue;
        }
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        const QString spelled = equals < 0 ? argument : argument.left(equals);
        const QString name = argument == QLatin1String("-h") ? QStringLiteral("help") : spelled.mid(2);
        const OptionSpec *known = nullptr;
        if (spelled.startsWith(QLatin1String("--")) || argument == QLatin1String("-h")) {
            for (const OptionSpec &option : options) {
                if (name == QLatin1String(option.name))
                    known = &option;
            }
        }
        if (!known) {
            *error = QStringLiteral("unknown option '%1'").arg(shownName(spelled));
            return std::nullopt;
        }
        const QString shown = QStringLiteral("--") + name;
        if (!known->valueName) {
            if (equals >= 0) {
                *error = QStringLiteral("option '%1' takes no value").arg(shown);
                return std::nullopt;
            }
            parsed.m_values[name] = QString();
            continue;
        }
        QString value;
        if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            *error = QStringLiteral("option '%1' needs a value").arg(shown);
            return std::nullopt;
        }
        if (value.isEmpty()) {
            *error = QStringLiteral("option '%1' is empty").arg(shown);
            return std::nullopt;
        }
        parsed.m_values[name] = value;
    }
    return parsed;
}

QString ParsedOptions::value(const QString &name) const
{
    const auto found = m_values.find(name);
    return found == m_values.end() ? QString() : found->second;
}

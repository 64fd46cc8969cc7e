#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <span>

namespace skintool {

// An option of a command: "--name", or "--name VALUE" (also "--name=VALUE")
// when it takes a value.
struct OptionSpec
{
    const char *name;
    const char *valueName; // null for a switch
};

// A command's arguments once parsed: the options given, and the FOLDERs.
class Arguments
{
public:
    // The command's name, for messages.
    const QString &command() const { return m_command; }

    bool isSet(const QString &name) const { return m_values.count(name) > 0; }
    // The value given last for an option, or an empty text.
    QString value(const QString &name) const;
    const QStringList &positionalArguments() const { return m_positional; }

    // Parses arguments (after the command's name) against its options;
    // "--" ends the options. On a usage error, returns nothing and says why
    // in error ("unknown option '--jsn'").
    static std::optional<Arguments> parse(const QString &command, const QStringList &arguments,
                                          std::span<const OptionSpec> options, QString *error);

private:
    QString m_command;
    std::map<QString, QString> m_values;
    QStringList m_positional;
};

// Says a usage error on standard error in the one style of them all,
// "skintool: render: option '--out' is empty", followed by the command's
// usage, and returns the exit status for it (2).
int usageError(const Arguments &arguments, const QString &message);

// The whole program: parses argv, runs the command, and returns the exit
// status.
int run(int argc, char **argv);

} // namespace skintool

#pragma once

#include "commandline/options.h"

#include <QString>
#include <QStringList>

#include <optional>

#include <utility>

namespace skintool {

// A command's arguments once parsed by the rule of commandline/options.h:
// the options given, and the FOLDERs.
class Arguments
{
public:
    Arguments(QString command, ParsedOptions parsed) : m_command(std::move(command)), m_parsed(std::move(parsed)) {}

    // The command's name, for messages.
    const QString &command() const { return m_command; }

    bool isSet(const QString &name) const { return m_parsed.isSet(name); }
    // The value given last for an option, or an empty text.
    QString value(const QString &name) const { return m_parsed.value(name); }
    const QStringList &positionalArguments() const { return m_parsed.operands(); }

private:
    QString m_command;
    ParsedOptions m_parsed;
};

// Says a usage error on standard error in the one style of them all,
// "skintool: render: option '--out' is empty", followed by the command's
// usage, and returns the exit status for it (2).
int usageError(const Arguments &arguments, const QString &message);

// The value of option name as a whole number from least to most; nothing,
// after saying the usage error, when it is none ("option '--columns' needs a
// whole number from 1 to 1000, not 'x'").
std::optional<int> wholeNumberOption(const Arguments &arguments, const QString &name, int least, int most);

// "-j N", "--jobs N": the threads that render and sheet use, from 1 to
// MostJobs; by default as many as the cores this process may use.
inline constexpr OptionSpec JobsOption{"jobs", "N", 'j'};
inline constexpr int MostJobs = 64;
// The number given, or the default; nothing after a usage error, said.
std::optional<int> jobsOption(const Arguments &arguments);

// The whole program: parses argv, runs the command, and returns the exit
// status.
int run(int argc, char **argv);

} // namespace skintool

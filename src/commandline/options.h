#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

// An option of a program or command: "--name", or "--name VALUE" (also
// "--name=VALUE") when it takes a value; with a short name, also "-n VALUE"
// or "-nVALUE".
struct OptionSpec
{
    const char *name;
    const char *valueName = nullptr; // null for a switch
    char shortName = 0;              // only for options that take a value
};

// Options that belong to another reader (Qt's own, which skinpreview passes
// on), as a test of the argument at index: how many arguments the option
// takes up, itself included; 0 when it is none of them; -1 when it is one
// whose value is missing.
using ForeignOptions = std::function<int(const QStringList &arguments, qsizetype index)>;

// A command line read by the one rule that both programs follow:
// - "--" ends the options: every argument after it is an operand (a
//   FOLDER), even one that starts with "-";
// - "-" alone is an operand;
// - "-h" means "--help"; an option with a short name "-n" takes its value
//   from the next argument or joined to it ("-n VALUE", "-nVALUE");
// - any other argument that starts with "-" is an option: "--name", or, for
//   one that takes a value, "--name VALUE" or "--name=VALUE", never empty;
//   an option that is not taken is a usage error, "unknown option '--name'";
// - options and operands may come in any order, and the last value given
//   for an option counts.
class ParsedOptions
{
public:
    // On a usage error, returns nothing and says why in error.
    static std::optional<ParsedOptions> parse(const QStringList &arguments, std::span<const OptionSpec> options,
                                              QString *error, const ForeignOptions &foreign = {});

    bool isSet(const QString &name) const { return m_values.count(name) > 0; }
    // The value given last for an option, or an empty text.
    QString value(const QString &name) const;
    const QStringList &operands() const { return m_operands; }
    // The indexes of the arguments that foreign options took up, in order.
    const std::vector<qsizetype> &foreign() const { return m_foreign; }

private:
    std::map<QString, QString> m_values;
    QStringList m_operands;
    std::vector<qsizetype> m_foreign;
};

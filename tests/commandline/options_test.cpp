// The one rule by which both programs read their command lines: how "--",
// "-", "-h", values and unknown options are taken, and options of another
// reader (Qt's) passed over as they are given.

#include "commandline/options.h"

#include <QTest>

namespace {

const OptionSpec Options[] = {{"help"}, {"json"}, {"out", "DIR"}, {"jobs", "N", 'j'}};

// Stands for Qt's own options: "-platform NAME" and the flag "-reverse".
int foreignOption(const QStringList &arguments, qsizetype index)
{
    if (arguments[index] == QLatin1String("-platform"))
        return index + 1 < arguments.size() ? 2 : -1;
    return arguments[index] == QLatin1String("-reverse") ? 1 : 0;
}

// What the rule makes of the arguments, in one line: the options set with
// their values, the operands, and the foreign arguments' indexes; or the
// usage error.
QString reading(const QStringList &arguments)
{
    QString error;
    const std::optional<ParsedOptions> parsed = ParsedOptions::parse(arguments, Options, &error, foreignOption);
    if (!parsed)
        return QStringLiteral("error: ") + error;
    QStringList parts;
    for (const OptionSpec &option : Options) {
        const QString name = QLatin1String(option.name);
        if (parsed->isSet(name))
            parts << (option.valueName ? name + QLatin1Char('=') + parsed->value(name) : name);
    }
    for (const QString &operand : parsed->operands())
        parts << QLatin1Char('[') + operand + QLatin1Char(']');
    for (const qsizetype index : parsed->foreign())
        parts << QStringLiteral("foreign %1").arg(index);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class OptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void rule_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("read");
        QTest::newRow("operands and options in any order")
            << QStringList{"a", "--json", "b"} << "json [a] [b]";
        QTest::newRow("a value in the next argument or after '='")
            << QStringList{"--out", "x", "--out=y"} << "out=y";
        QTest::newRow("a value that starts with a dash") << QStringList{"--out", "-x"} << "out=-x";
        QTest::newRow("'-' alone is an operand") << QStringList{"-"} << "[-]";
        QTest::newRow("'--' ends the options") << QStringList{"--", "--json", "-h", "-"} << "[--json] [-h] [-]";
        QTest::newRow("-h is --help") << QStringList{"x", "-h"} << "help [x]";
        QTest::newRow("an unknown option") << QStringList{"--jsn"} << "error: unknown option '--jsn'";
        QTest::newRow("an unknown option with a value")
            << QStringList{"--jsn=1"} << "error: unknown option '--jsn'";
        QTest::newRow("an unknown short option") << QStringList{"-o"} << "error: unknown option '-o'";
        QTest::newRow("a short option's value in the next argument or joined")
            << QStringList{"-j", "4", "x", "-j3"} << "jobs=3 [x]";
        QTest::newRow("a short option's joined value is taken as written") << QStringList{"-j=2"} << "jobs==2";
        QTest::newRow("a short option's value missing") << QStringList{"x", "-j"} << "error: option '-j' needs a value";
        QTest::newRow("a short option is not a long one") << QStringList{"--j", "2"} << "error: unknown option '--j'";
        QTest::newRow("a name shown safely")
            << QStringList{"--a b\x1b"} << "error: unknown option '\"--a b\\x1b\"'";
        QTest::newRow("a switch given a value") << QStringList{"--json=1"} << "error: option '--json' takes no value";
        QTest::newRow("a value missing") << QStringList{"x", "--out"} << "error: option '--out' needs a value";
        QTest::newRow("an empty value") << QStringList{"--out="} << "error: option '--out' is empty";
        QTest::newRow("foreign options pass as given")
            << QStringList{"-platform", "offscreen", "a", "-reverse"} << "[a] foreign 0 foreign 1 foreign 3";
        QTest::newRow("a foreign option's missing value")
            << QStringList{"-platform"} << "error: option '-platform' needs a value";
        QTest::newRow("after '--', foreign options are operands too")
            << QStringList{"--", "-reverse"} << "[-reverse]";
    }

    void rule()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, read);
        QCOMPARE(reading(arguments), read);
    }
};

QTEST_GUILESS_MAIN(OptionsTest)
#include "options_test.moc"

#include "tool/report.h"

#include "runtime/filename.h"
#include "tool/terminal.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

namespace skintool {

namespace {

constexpr int Columns = 80;
constexpr int SlotColumn = 24;

const char *severityName(Severity severity)
{
    return severity == Severity::Error ? "error" : "warning";
}

// Words of text wrapped to the columns left after indent; later lines
// are indented by hang.
QString wrapped(const QString &text, int indent, int hang)
{
    QString out;
    int column = indent;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > indent && column + 1 + word.size() > Columns) {
            out += QLatin1Char('\n') + QString(hang, QLatin1Char(' '));
            column = hang;
        } else if (!out.isEmpty()) {
            out += QLatin1Char(' ');
            ++column;
        }
        out += word;
        column += int(word.size());
    }
    return out;
}

QString plural(int count, const char *word)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(QLatin1String(word)).arg(count == 1 ? "" : "s");
}

} // namespace

QString textReport(const std::vector<FolderReport> &reports, bool colour)
{
    QString out;
    for (const FolderReport &report : reports) {
        const int errors = report.count(Severity::Error);
        const int warnings = report.count(Severity::Warning);
        out += coloured(report.folder, "1", colour) + QStringLiteral(": %1, %2\n")
                   .arg(plural(errors, "error"), plural(warnings, "warning"));
        for (const SlotOutcome &slot : report.outcomes) {
            const QString shows = slot.file.isEmpty()
                                      ? QStringLiteral("(none: keeps its earlier picture)")
                                      : QStringLiteral("%1  %2x%3").arg(slot.file).arg(slot.size.width()).arg(slot.size.height());
            out += QStringLiteral("  %1%2\n").arg(slot.slot.leftJustified(SlotColumn - 2), shows);
        }
        for (const Problem &problem : report.problems) {
            const QString severity = QString::fromLatin1(severityName(problem.severity));
            const QString head = QStringLiteral("  %1 %2: ").arg(severity, problem.code);
            const QString shown = coloured(severity, problem.severity == Severity::Error ? "1;31" : "33", colour);
            out += QStringLiteral("  %1 %2: ").arg(shown, problem.code)
                   + wrapped(problem.message, int(head.size()), 6) + QLatin1Char('\n');
        }
    }
    return out;
}

void printText(const std::vector<FolderReport> &reports)
{
    printOut(textReport(reports, colourWanted()));
}

QJsonDocument jsonReport(const std::vector<FolderReport> &reports)
{
    // Names that are not UTF-8 are shown as the terminal shows them, with
    // U+FFFD for each byte that is no character: JSON holds text only.
    const auto text = [](const QString &name) { return QJsonValue(displayFileName(name)); };
    const auto orNull = [&](const QString &name) { return name.isEmpty() ? QJsonValue() : text(name); };
    QJsonArray folders;
    int errors = 0;
    int warnings = 0;
    for (const FolderReport &report : reports) {
        QJsonArray slotList;
        for (const SlotOutcome &slot : report.outcomes) {
            QJsonObject entry{{QStringLiteral("slot"), slot.slot}, {QStringLiteral("file"), orNull(slot.file)}};
            if (!slot.file.isEmpty()) {
                entry.insert(QStringLiteral("width"), slot.size.width());
                entry.insert(QStringLiteral("height"), slot.size.height());
            }
            slotList.append(entry);
        }
        QJsonArray problems;
        for (const Problem &problem : report.problems) {
            problems.append(QJsonObject{
                {QStringLiteral("code"), problem.code},
                {QStringLiteral("severity"), QLatin1String(severityName(problem.severity))},
                {QStringLiteral("slot"), orNull(problem.slot)},
                {QStringLiteral("file"), orNull(problem.file)},
                {QStringLiteral("message"), text(problem.message)},
            });
        }
        errors += report.count(Severity::Error);
        warnings += report.count(Severity::Warning);
        folders.append(QJsonObject{
            {QStringLiteral("folder"), text(report.folder)},
            {QStringLiteral("errors"), report.count(Severity::Error)},
            {QStringLiteral("warnings"), report.count(Severity::Warning)},
            {QStringLiteral("slots"), slotList},
            {QStringLiteral("problems"), problems},
        });
    }
    return QJsonDocument(QJsonObject{
        {QStringLiteral("version"), 1},
        {QStringLiteral("errors"), errors},
        {QStringLiteral("warnings"), warnings},
        {QStringLiteral("folders"), folders},
    });
}

void printJson(const std::vector<FolderReport> &reports)
{
    printOut(QString::fromUtf8(jsonReport(reports).toJson(QJsonDocument::Indented)));
}

} // namespace skintool

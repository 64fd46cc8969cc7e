#include "tool/report.h"

#include "files/filename.h"
#include "tool/terminal.h"

#include <QJsonArray>
#include <QJsonObject>

namespace skintool {

namespace {

constexpr int SlotColumn = 24;
constexpr int Hang = 6;

const char *severityName(Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    case Severity::Note:
        break;
    }
    return "note";
}

// Words of text wrapped to width columns, the first line starting at
// column indent; later lines are indented by Hang. Not wrapped at all for
// a width of 0.
QString wrapped(const QString &text, int indent, int width)
{
    if (width <= 0)
        return text;
    QString out;
    int column = indent;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > indent && column + 1 + word.size() > width) {
            out += QLatin1Char('\n') + QString(Hang, QLatin1Char(' '));
            column = Hang;
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

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// The path of a problem's file, as given, for the one-line form.
QString problemPath(const FolderReport &report, const Problem &problem)
{
    if (problem.file.isEmpty())
        return report.folder;
    return report.folder.endsWith(QLatin1Char('/')) ? report.folder + problem.file
                                                    : report.folder + QLatin1Char('/') + problem.file;
}

} // namespace

QString textReport(const std::vector<FolderReport> &reports, bool colour, int width)
{
    QString out;
    for (const FolderReport &report : reports) {
        const int errors = report.count(Severity::Error);
        const int warnings = report.count(Severity::Warning);
        out += coloured(shownName(report.folder), "1", colour)
               + QStringLiteral(": %1, %2\n").arg(plural(errors, "error"), plural(warnings, "warning"));
        for (const SlotOutcome &slot : report.outcomes) {
            QString shows = QStringLiteral("(none: keeps its earlier picture)");
            if (!slot.file.isEmpty()) {
                shows = QStringLiteral("%1  %2").arg(shownName(slot.file), sizeText(slot.size));
                if (slot.shown != slot.size)
                    shows += QStringLiteral(" (%1 shown)").arg(sizeText(slot.shown));
            }
            out += QStringLiteral("  %1%2\n").arg(slot.slot.leftJustified(SlotColumn - 2), shows);
        }
        for (const Problem &problem : report.problems) {
            const QString severity = QString::fromLatin1(severityName(problem.severity));
            const QString head = QStringLiteral("  %1 %2: ").arg(severity, problem.code);
            const QString shown = coloured(severity,
                                           problem.severity == Severity::Error     ? "1;31"
                                           : problem.severity == Severity::Warning ? "33"
                                                                                   : "36",
                                           colour);
            out += QStringLiteral("  %1 %2: ").arg(shown, problem.code) + wrapped(problem.message, int(head.size()), width)
                   + QLatin1Char('\n');
            if (!problem.hint.isEmpty())
                out += QString(Hang, QLatin1Char(' ')) + wrapped(QStringLiteral("hint: ") + problem.hint, Hang, width)
                       + QLatin1Char('\n');
        }
    }
    return out;
}

QString oneLineReport(const std::vector<FolderReport> &reports)
{
    QString out;
    for (const FolderReport &report : reports) {
        for (const Problem &problem : report.problems) {
            const QString path = escapedName(problemPath(report, problem));
            out += QStringLiteral("%1: %2: %3: %4\n")
                       .arg(path, QLatin1String(severityName(problem.severity)), problem.code, problem.message);
            if (!problem.hint.isEmpty())
                out += QStringLiteral("%1: note: %2\n").arg(path, problem.hint);
        }
    }
    return out;
}

QJsonDocument jsonReport(const std::vector<FolderReport> &reports)
{
    // Names that are not UTF-8 are shown as the terminal shows them, with
    // U+FFFD for each byte that is no character: JSON holds text only. So
    // that a program can still reach such a file, its name's bytes come
    // too, in base64, as KEY_base64 beside KEY.
    const auto text = [](const QString &name) { return QJsonValue(displayFileName(name)); };
    const auto orNull = [&](const QString &name) { return name.isEmpty() ? QJsonValue() : text(name); };
    const auto insertName = [&](QJsonObject &object, const QString &key, const QString &name) {
        object.insert(key, orNull(name));
        if (displayFileName(name) != name)
            object.insert(key + QStringLiteral("_base64"), QString::fromLatin1(fileNameFromText(name).toBase64()));
    };
    const auto size = [](QSize size) {
        return QJsonObject{{QStringLiteral("width"), size.width()}, {QStringLiteral("height"), size.height()}};
    };
    QJsonArray folders;
    int errors = 0;
    int warnings = 0;
    for (const FolderReport &report : reports) {
        QJsonArray slotList;
        for (const SlotOutcome &slot : report.outcomes) {
            QJsonObject entry{{QStringLiteral("slot"), slot.slot}};
            insertName(entry, QStringLiteral("file"), slot.file);
            if (!slot.file.isEmpty()) {
                entry.insert(QStringLiteral("width"), slot.size.width());
                entry.insert(QStringLiteral("height"), slot.size.height());
                entry.insert(QStringLiteral("shown"), size(slot.shown));
            }
            slotList.append(entry);
        }
        QJsonArray problems;
        for (const Problem &problem : report.problems) {
            QJsonObject entry{
                {QStringLiteral("code"), problem.code},
                {QStringLiteral("severity"), QLatin1String(severityName(problem.severity))},
                {QStringLiteral("slot"), orNull(problem.slot)},
                {QStringLiteral("message"), text(problem.message)},
                {QStringLiteral("hint"), orNull(problem.hint)},
            };
            insertName(entry, QStringLiteral("file"), problem.file);
            problems.append(entry);
        }
        errors += report.count(Severity::Error);
        warnings += report.count(Severity::Warning);
        QJsonObject folder{
            {QStringLiteral("errors"), report.count(Severity::Error)},
            {QStringLiteral("warnings"), report.count(Severity::Warning)},
            {QStringLiteral("slots"), slotList},
            {QStringLiteral("problems"), problems},
        };
        insertName(folder, QStringLiteral("folder"), report.folder);
        folders.append(folder);
    }
    return QJsonDocument(QJsonObject{
        {QStringLiteral("version"), 1},
        {QStringLiteral("errors"), errors},
        {QStringLiteral("warnings"), warnings},
        {QStringLiteral("folders"), folders},
    });
}

void printReports(const std::vector<FolderReport> &reports, ReportForm form)
{
    switch (form) {
    case ReportForm::Text:
        printOut(textReport(reports, colourWanted(), terminalColumns()));
        break;
    case ReportForm::OneLine:
        printOut(oneLineReport(reports));
        break;
    case ReportForm::Json:
        printOut(QString::fromUtf8(jsonReport(reports).toJson(QJsonDocument::Indented)));
        break;
    }
}

} // namespace skintool

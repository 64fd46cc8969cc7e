#include "tool/check.h"

#include "runtime/filesystem.h"
#include "skin/skinfiles.h"
#include "tool/fileheader.h"
#include "tool/folders.h"
#include "tool/report.h"
#include "tool/skinslots.h"
#include "tool/watch.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSet>

#include <algorithm>

namespace skintool {

namespace {

// What one loading step read and how it ended.
struct StepRecord
{
    const SkinFile *file = nullptr;
    QString path;   // after the letter-case lookup
    bool loaded = false;
    QSize size;
    QString reason; // the loader's, when it did not load
};

// The check's slot target: it keeps a record of every step instead of
// showing anything.
class StepRecorder : public SlotTarget
{
public:
    std::vector<StepRecord> steps;

    void reading(const SkinFile &file, const QString &path) override { record(file).path = path; }
    void put(Slot, const Picture &picture) override
    {
        steps.back().loaded = true;
        steps.back().size = picture.size();
    }
    void notLoaded(const SkinFile &file, const QString &reason) override { record(file).reason = reason; }

private:
    StepRecord &record(const SkinFile &file)
    {
        if (steps.empty() || steps.back().file != &file)
            steps.push_back({&file, {}, false, {}, {}});
        return steps.back();
    }
};

// The loader's reason in a reader's words; a BMP whose header promises
// more than the file holds is truncated.
QString brokenReason(const StepRecord &step)
{
    if (step.reason == QLatin1String("not a picture")) {
        const FileHeader header = readHeader(step.path);
        if (header.width * qAbs(header.height) > MaxPicturePixels)
            return QStringLiteral("too large");
        const bool shortHeader = header.content == FileHeader::Content::Bmp && header.neededBytes == 0
                                 && header.width == 0;
        if (shortHeader || missingLines(header))
            return QStringLiteral("truncated");
        return QStringLiteral("not a picture");
    }
    if (step.reason == QLatin1String("not a file"))
        return QStringLiteral("not a regular file");
    if (step.reason == QLatin1String("file too large") || step.reason == QLatin1String("picture too large"))
        return QStringLiteral("too large");
    if (step.reason == QLatin1String("file not readable"))
        return QStringLiteral("not readable");
    return step.reason;
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

QString range(int from, int to)
{
    return from == to ? QString::number(from) : QStringLiteral("%1-%2").arg(from).arg(to);
}

// Columns and rows of a box that a picture leaves out (or that lie beyond
// the box), in the box's own pixels.
QString strips(QSize inner, QSize outer)
{
    QStringList parts;
    if (inner.width() < outer.width())
        parts.append(QStringLiteral("columns %1").arg(range(inner.width(), outer.width() - 1)));
    if (inner.height() < outer.height())
        parts.append(QStringLiteral("rows %1").arg(range(inner.height(), outer.height() - 1)));
    return parts.join(QLatin1String(" and "));
}

// The smallest number of single-character edits (insert, delete, replace,
// swap neighbours) that turn a into b.
int editDistance(const QString &a, const QString &b)
{
    const qsizetype n = a.size(), m = b.size();
    std::vector<std::vector<int>> d(std::size_t(n + 1), std::vector<int>(std::size_t(m + 1)));
    for (qsizetype i = 0; i <= n; ++i)
        d[i][0] = int(i);
    for (qsizetype j = 0; j <= m; ++j)
        d[0][j] = int(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

class FolderCheck
{
public:
    explicit FolderCheck(const QString &folder) : m_folder(folder), m_listing(folder), m_lookup(folder, &m_listing)
    {
        m_report.folder = folder;
    }

    FolderReport run()
    {
        StepRecorder recorder;
        ApplySkin(recorder, m_folder);
        for (const NamedSlot &slot : PreviewSlots) {
            std::vector<const StepRecord *> steps;
            for (const StepRecord &step : recorder.steps)
                if (step.file->slot == slot.slot)
                    steps.push_back(&step);
            checkSlot(slot, steps);
        }
        checkNames();
        return std::move(m_report);
    }

private:
    void add(const char *code, Severity severity, const char *slot, const QString &file, const QString &message)
    {
        m_report.problems.push_back({QString::fromLatin1(code), severity,
                                     slot ? QString::fromLatin1(slot) : QString(), file, message});
    }

    void checkSlot(const NamedSlot &slot, const std::vector<const StepRecord *> &steps)
    {
        const StepRecord *shown = nullptr;
        QStringList loaded;
        for (const StepRecord *step : steps) {
            const QString wanted = fileName(*step->file);
            const QString found = nameOf(step->path);
            const bool present = pathExists(step->path);
            if (present && found != wanted)
                add("letter-case", Severity::Warning, slot.name, found,
                    QStringLiteral("%1 is found for %2 only by ignoring letter case").arg(found, wanted));
            if (step->loaded) {
                shown = step;
                loaded.append(found);
                checkFormat(slot, *step, found);
            } else if (present) {
                add("broken", Severity::Error, slot.name, found,
                    QStringLiteral("%1 does not load: %2").arg(found, brokenReason(*step)));
            }
        }
        if (loaded.size() > 1) {
            for (qsizetype i = 0; i + 1 < loaded.size(); ++i)
                add("shadowed", Severity::Warning, slot.name, loaded[i],
                    QStringLiteral("%1 never shows: %2 loads after it").arg(loaded[i], loaded.last()));
        }
        if (!shown) {
            QStringList names;
            for (const StepRecord *step : steps)
                names.append(fileName(*step->file));
            add("missing", Severity::Warning, slot.name, names.last(),
                QStringLiteral("no file loads for the %1 (%2); it keeps its earlier picture")
                    .arg(QLatin1String(slot.name), names.join(QLatin1String(" or "))));
            m_report.outcomes.push_back({QString::fromLatin1(slot.name), {}, {}});
            return;
        }
        const QString file = nameOf(shown->path);
        m_report.outcomes.push_back({QString::fromLatin1(slot.name), file, shown->size});
        checkSize(slot, file, shown->size);
    }

    void checkSize(const NamedSlot &slot, const QString &file, QSize size)
    {
        const SlotSize &sizes = slotSize(slot.slot);
        if (size.width() < sizes.box.width() || size.height() < sizes.box.height())
            add("size", Severity::Warning, slot.name, file,
                QStringLiteral("%1 is %2, smaller than its %3 slot: %4 stay uncovered")
                    .arg(file, sizeText(size), sizeText(sizes.box), strips(size, sizes.box)));
        if (size.width() > sizes.designed.width() || size.height() > sizes.designed.height())
            add("size", Severity::Warning, slot.name, file,
                QStringLiteral("%1 is %2, larger than the designed %3: %4 are cut off")
                    .arg(file, sizeText(size), sizeText(sizes.designed), strips(sizes.box, size)));
    }

    void checkFormat(const NamedSlot &slot, const StepRecord &step, const QString &file)
    {
        const FileHeader header = readHeader(step.path);
        if (const auto problem = formatProblem(header))
            add("format", Severity::Warning, slot.name, file,
                QStringLiteral("%1 %2, not a 24-bit uncompressed BMP").arg(file, *problem));
        if (const auto lines = missingLines(header))
            add("format", Severity::Warning, slot.name, file,
                QStringLiteral("%1 is truncated: %2 of its %3 lines are missing and show black")
                    .arg(file).arg(*lines).arg(qAbs(header.height)));
    }

    // Names equal but for letter case, and .bmp files that no slot uses.
    void checkNames()
    {
        QSet<QString> used;
        QSet<QString> seen;
        for (const SkinFile &step : ApplySkinSteps) {
            const QString name = fileName(step);
            if (seen.contains(name))
                continue;
            seen.insert(name);
            const QStringList matches = m_lookup.matches(name);
            for (const QString &match : matches)
                used.insert(match);
            if (matches.size() > 1)
                add("ambiguous", Severity::Warning, slotName(step.slot), nameOf(m_lookup.resolve(name)),
                    QStringLiteral("%1 are equal ignoring letter case; %2 is used")
                        .arg(matches.join(QLatin1String(", ")), nameOf(m_lookup.resolve(name))));
        }
        for (const QString &name : m_listing.files(QStringLiteral("*.bmp"))) {
            if (used.contains(name))
                continue;
            QString message = QStringLiteral("%1 is not a skin file").arg(name);
            if (const QString near = nearestSkinFile(name); !near.isEmpty())
                message += QStringLiteral("; did you mean %1?").arg(near);
            add("unknown-name", Severity::Warning, nullptr, name, message);
        }
    }

    static QString nearestSkinFile(const QString &name)
    {
        QString best;
        int bestDistance = 3; // within two edits
        for (const SkinFile &step : ApplySkinSteps) {
            const QString candidate = fileName(step);
            const int distance = editDistance(name.toLower(), candidate);
            if (distance < bestDistance) {
                best = candidate;
                bestDistance = distance;
            }
        }
        return best;
    }

    QString m_folder;
    FolderListing m_listing; // read once, for every name the check looks up
    CaseInsensitiveFolder m_lookup;
    FolderReport m_report;
};

} // namespace

int FolderReport::count(Severity severity) const
{
    return int(std::count_if(problems.begin(), problems.end(),
                             [&](const Problem &problem) { return problem.severity == severity; }));
}

FolderReport checkFolder(const QString &folder)
{
    return FolderCheck(folder).run();
}

void addCheckOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("json"), QStringLiteral("One JSON document for all folders.")});
    parser.addOption({QStringLiteral("strict"), QStringLiteral("Warnings fail the check too.")});
    parser.addOption({QStringLiteral("watch"), QStringLiteral("Check again after every change.")});
}

int runCheck(const QCommandLineParser &parser)
{
    const QStringList folders = parser.positionalArguments();
    if (parser.isSet(QStringLiteral("watch")))
        return watchCheck(folders, parser.isSet(QStringLiteral("json")));
    bool allFolders = true;
    std::vector<FolderReport> reports;
    for (const QString &folder : folders) {
        if (!checkFolderArgument(folder)) {
            allFolders = false;
            continue;
        }
        reports.push_back(checkFolder(folder));
    }
    if (parser.isSet(QStringLiteral("json")))
        printJson(reports);
    else
        printText(reports);
    if (!allFolders)
        return 2;
    const bool strict = parser.isSet(QStringLiteral("strict"));
    for (const FolderReport &report : reports) {
        if (report.count(Severity::Error) > 0 || (strict && report.count(Severity::Warning) > 0))
            return 1;
    }
    return 0;
}

} // namespace skintool

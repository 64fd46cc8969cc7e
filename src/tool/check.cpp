#include "tool/check.h"

#include "files/archive.h"
#include "files/archivefolder.h"
#include "files/folder.h"
#include "files/folderlisting.h"
#include "files/places.h"
#include "pictures/pictureheader.h"
#include "skin/skinfiles.h"
#include "tool/folders.h"
#include "tool/format.h"
#include "tool/report.h"
#include "tool/skinslots.h"
#include "tool/terminal.h"
#include "tool/watch.h"

#include <QSet>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

namespace skintool {

namespace {

// What one loading step read and how it ended.
struct StepRecord
{
    const SkinFile *file = nullptr;
    QString name; // after the letter-case lookup
    bool loaded = false;
    QSize size;
    PictureHeader header; // of the bytes that loaded
    std::optional<PictureError> error;
};

// The check's slot target: it loads each file as the program does, and
// keeps a record of every step instead of showing anything.
class StepRecorder : public SlotTarget
{
public:
    std::vector<StepRecord> steps;
    std::vector<LoadedPicture> *loaded = nullptr; // kept where wanted

    void reading(const SkinFile &file, Folder &, const QString &name) override { record(file).name = name; }
    void loadFile(Slot slot, Folder &folder, const QString &name) override
    {
        // The preview window's LoadPicture, with the header of the very
        // file decoded kept.
        PictureHeader header;
        put(slot, LoadPicture(folder, name, &header));
        steps.back().header = header;
    }
    void put(Slot slot, const Picture &picture) override
    {
        steps.back().loaded = true;
        steps.back().size = picture.size();
        if (loaded)
            loaded->push_back({slot, picture});
    }
    void notLoaded(const SkinFile &file, const PictureError &error) override { record(file).error = error; }

private:
    StepRecord &record(const SkinFile &file)
    {
        if (steps.empty() || steps.back().file != &file)
            steps.push_back({&file, {}, false, {}, {}, {}});
        return steps.back();
    }
};

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// What a slot does with one dimension of a picture: the rows (or columns)
// that the picture leaves uncovered in its box, or those that lie beyond
// the designed size and are cut off, in the box's own pixels: "300 rows of
// 357: rows 300–356 stay uncovered", "601 rows of 600: row 600 is cut off".
// Empty when the dimension fits.
QString dimensionFit(int picture, int box, int designed, const char *one, const char *many)
{
    const auto counted = [&](int count) {
        return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
    };
    const auto range = [&](int from, int to) {
        return from == to ? QStringLiteral("%1 %2").arg(QLatin1String(one)).arg(from)
                          : QStringLiteral("%1 %2–%3").arg(QLatin1String(many)).arg(from).arg(to);
    };
    if (picture < box)
        return QStringLiteral("%1 of %2: %3 %4 uncovered")
            .arg(counted(picture))
            .arg(box)
            .arg(range(picture, box - 1), QLatin1String(box - picture == 1 ? "stays" : "stay"));
    if (picture > designed)
        return QStringLiteral("%1 of %2: %3 %4 cut off")
            .arg(counted(picture))
            .arg(box)
            .arg(range(box, picture - 1), QLatin1String(picture - box == 1 ? "is" : "are"));
    return {};
}

// "A", "A or B", "A, B or C", "A, B, C or one of 4 more".
QString alternatives(const QStringList &names)
{
    constexpr qsizetype Named = 3;
    if (names.size() <= 1)
        return names.value(0);
    if (names.size() <= Named)
        return names.mid(0, names.size() - 1).join(QLatin1String(", ")) + QLatin1String(" or ") + names.last();
    return names.mid(0, Named).join(QLatin1String(", "))
           + QStringLiteral(" or one of %1 more").arg(names.size() - Named);
}

// The smallest number of single-character edits (insert, delete, replace,
// swap neighbours) that turn a into b.
int editDistance(const QString &a, const QString &b)
{
    const qsizetype n = a.size(), m = b.size();
    std::vector<int> table(std::size_t((n + 1) * (m + 1)));
    const auto d = [&](qsizetype i, qsizetype j) -> int & { return table[std::size_t(i * (m + 1) + j)]; };
    for (qsizetype i = 0; i <= n; ++i)
        d(i, 0) = int(i);
    for (qsizetype j = 0; j <= m; ++j)
        d(0, j) = int(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d(i, j) = std::min({d(i - 1, j) + 1, d(i, j - 1) + 1, d(i - 1, j - 1) + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d(i, j) = std::min(d(i, j), d(i - 2, j - 2) + 1);
        }
    }
    return d(n, m);
}

QString stemOf(const QString &name)
{
    return name.left(name.indexOf(QLatin1Char('.')));
}

// The skin file that a name was most likely meant to be: the same name with
// spaces around it, the same stem with another or a second extension
// ("background.png", "backsettings.bmp.bmp"), or a name within two edits.
QString nearestSkinFile(const QString &name)
{
    const QString lower = name.trimmed().toLower();
    const QString stem = stemOf(lower);
    QString best;
    int bestDistance = 3; // within two edits
    for (const SkinFile &step : ApplySkinSteps) {
        const QString candidate = fileName(step);
        if (lower == candidate || stem == stemOf(candidate))
            return candidate;
        // Names whose lengths differ by that much are at least as far apart:
        // a folder of thousands of other files is checked without working
        // out each distance.
        if (std::abs(lower.size() - candidate.size()) >= bestDistance)
            continue;
        const int distance = editDistance(lower, candidate);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

// What reading an archive skipped or noticed, as check reports it.
struct NoticeProblem
{
    ArchiveNotice::Kind kind;
    const char *code;
    Severity severity;
};

constexpr NoticeProblem NoticeProblems[] = {
    {ArchiveNotice::Kind::Unreadable, "unreadable-archive", Severity::Error},
    {ArchiveNotice::Kind::MultiVolume, "multi-volume", Severity::Error},
    {ArchiveNotice::Kind::Encrypted, "encrypted", Severity::Warning},
    {ArchiveNotice::Kind::OutsideFolder, "outside-archive", Severity::Warning},
    {ArchiveNotice::Kind::Link, "link", Severity::Warning},
    {ArchiveNotice::Kind::Special, "special-file", Severity::Warning},
    {ArchiveNotice::Kind::Duplicate, "duplicate", Severity::Warning},
    {ArchiveNotice::Kind::Junk, "junk", Severity::Note},
    {ArchiveNotice::Kind::NestedArchive, "nested-archive", Severity::Warning},
};

const NoticeProblem &noticeProblem(ArchiveNotice::Kind kind)
{
    for (const NoticeProblem &problem : NoticeProblems)
        if (problem.kind == kind)
            return problem;
    return NoticeProblems[0];
}

class FolderCheck
{
public:
    // The skin is looked for as the program looks for it: in the folder, or
    // in its one top folder; names in the report are relative to the folder
    // as given ("Ember/background.bmp" for a skin under one top folder).
    explicit FolderCheck(const QString &folder)
        : m_path(resolvedFolder(folder)), m_folder(openSkinFolder(m_path))
    {
        m_report.folder = folder;
        if (m_folder->path() != m_path)
            m_prefix = m_folder->path().mid(m_path.size() + 1) + QLatin1Char('/');
    }

    FolderReport run(std::vector<LoadedPicture> *loaded)
    {
        StepRecorder recorder;
        recorder.loaded = loaded;
        LoadSteps(ApplySkinSteps, *m_folder, recorder);
        const bool anySkinFile = holdsSkinFile(*m_folder);
        for (const NamedSlot &slot : PreviewSlots) {
            std::vector<const StepRecord *> steps;
            for (const StepRecord &step : recorder.steps)
                if (step.file->slot == slot.slot)
                    steps.push_back(&step);
            checkSlot(slot, steps, anySkinFile);
        }
        if (!anySkinFile && !archiveUnread())
            reportNoSkin();
        checkNames();
        for (const StepRecord &step : recorder.steps)
            m_read.insert(m_prefix + step.name);
        checkArchive();
        std::stable_sort(m_report.problems.begin(), m_report.problems.end(),
                         [](const Problem &a, const Problem &b) { return a.severity > b.severity; });
        return std::move(m_report);
    }

private:
    void add(const char *code, Severity severity, const char *slot, const QString &file, const QString &message,
             const QString &hint = {})
    {
        m_report.problems.push_back({QString::fromLatin1(code), severity, slot ? QString::fromLatin1(slot) : QString(),
                                     file.isEmpty() ? file : m_prefix + file, message, hint});
    }

    // A slot with nothing to show says so, unless the folder holds no skin
    // file at all, which is said once for the folder.
    void checkSlot(const NamedSlot &slot, const std::vector<const StepRecord *> &steps, bool sayMissing)
    {
        const StepRecord *shown = nullptr;
        QStringList loaded;
        std::optional<std::size_t> lastBroken; // in the report's problems
        for (const StepRecord *step : steps) {
            const QString wanted = fileName(*step->file);
            const QString &found = step->name;
            const bool present = m_folder->contains(found);
            if (present && found != wanted)
                add("letter-case", Severity::Warning, slot.name, found,
                    QStringLiteral("%1 is found for %2 only by ignoring letter case").arg(shownName(found), wanted));
            if (step->loaded) {
                shown = step;
                loaded.append(found);
                checkFormat(slot, *step, found);
            } else if (present) {
                const QString reason = step->error ? step->error->reason() : QStringLiteral("not a picture");
                lastBroken = m_report.problems.size();
                add("broken", Severity::Error, slot.name, found,
                    QStringLiteral("%1 does not load: %2").arg(shownName(found), reason));
            }
        }
        if (loaded.size() > 1) {
            for (qsizetype i = 0; i + 1 < loaded.size(); ++i)
                add("shadowed", Severity::Warning, slot.name, loaded[i],
                    QStringLiteral("%1 never shows: %2 loads after it").arg(shownName(loaded[i]), shownName(loaded.last())));
        }
        if (!shown) {
            QStringList names;
            for (const StepRecord *step : steps)
                names.append(fileName(*step->file));
            // A file that is there but does not load says it for its slot.
            if (lastBroken)
                m_report.problems[*lastBroken].message +=
                    QStringLiteral("; the %1 keeps its earlier picture").arg(QLatin1String(slot.name));
            else if (sayMissing)
                add("missing", Severity::Warning, slot.name, names.last(),
                    QStringLiteral("no file loads for the %1 (%2); it keeps its earlier picture")
                        .arg(QLatin1String(slot.name), names.join(QLatin1String(" or "))));
            m_report.outcomes.push_back({QString::fromLatin1(slot.name), {}, {}, {}});
            return;
        }
        const QString &file = shown->name;
        const SlotSize &sizes = slotSize(slot.slot);
        m_report.outcomes.push_back(
            {QString::fromLatin1(slot.name), m_prefix + file, shown->size, shown->size.boundedTo(sizes.box)});
        checkSize(slot, file, shown->size);
    }

    // One warning for a picture that does not fit its slot, each dimension
    // saying what happens to it: a picture can be short of its box one way
    // and cut off the other.
    void checkSize(const NamedSlot &slot, const QString &file, QSize size)
    {
        const SlotSize &sizes = slotSize(slot.slot);
        QStringList fits;
        for (const QString &fit : {dimensionFit(size.height(), sizes.box.height(), sizes.designed.height(), "row", "rows"),
                                   dimensionFit(size.width(), sizes.box.width(), sizes.designed.width(), "column",
                                                "columns")})
            if (!fit.isEmpty())
                fits.append(fit);
        if (!fits.isEmpty())
            add("size", Severity::Warning, slot.name, file,
                QStringLiteral("%1 is %2; %3").arg(shownName(file), sizeText(size), fits.join(QLatin1String("; "))));
    }

    void checkFormat(const NamedSlot &slot, const StepRecord &step, const QString &file)
    {
        if (const std::optional<QString> problem = formatProblem(step.header))
            add("format", Severity::Warning, slot.name, file, shownName(file) + QLatin1Char(' ') + *problem,
                formatHint(step.header));
    }

    // An empty folder, or the collection folder above the skins: the
    // subfolders that hold skin files are named.
    void reportNoSkin()
    {
        QStringList skins;
        for (const QString &subfolder : m_folder->listing().subfolders()) {
            if (holdsSkinFile(*m_folder->subfolder(subfolder)))
                skins.append(shownName(subfolder + QLatin1Char('/')));
        }
        QString message = QStringLiteral("%1 holds no skin file").arg(shownName(m_report.folder));
        if (!skins.isEmpty())
            message += QStringLiteral("; did you mean %1?").arg(alternatives(skins));
        add("no-skin", Severity::Error, nullptr, {}, message);
    }

    // Names equal but for letter case, folders that bear a picture's name,
    // and files that no slot uses: every .bmp, and any other name that is
    // near a skin file's.
    void checkNames()
    {
        const QStringList subfolders = m_folder->listing().subfolders();
        const QSet<QString> folders(subfolders.begin(), subfolders.end());
        QSet<QString> used;
        QSet<QString> seen;
        for (const SkinFile &step : ApplySkinSteps) {
            const QString name = fileName(step);
            if (seen.contains(name))
                continue;
            seen.insert(name);
            const QString resolved = m_folder->resolve(name);
            QStringList files;
            for (const QString &match : m_folder->matches(name)) {
                used.insert(match);
                if (!folders.contains(match))
                    files.append(match);
                else if (match != resolved)
                    add("unknown-name", Severity::Warning, nullptr, match,
                        QStringLiteral("%1 is a folder where a picture is expected; %2 is used")
                            .arg(shownName(match), shownName(resolved)));
            }
            if (files.size() > 1) {
                QStringList shown;
                for (const QString &file : files)
                    shown.append(shownName(file));
                add("ambiguous", Severity::Warning, slotName(step.slot), resolved,
                    QStringLiteral("%1 are equal ignoring letter case; %2 is used")
                        .arg(shown.join(QLatin1String(", ")), shownName(resolved)));
            }
        }
        for (const QString &name : m_folder->listing().files(QStringLiteral("*"))) {
            if (used.contains(name))
                continue;
            const QString near = nearestSkinFile(name);
            if (near.isEmpty() && !name.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
                continue;
            QString message = QStringLiteral("%1 is not a skin file").arg(shownName(name));
            if (!near.isEmpty())
                message += QStringLiteral("; did you mean %1?").arg(near);
            add("unknown-name", Severity::Warning, nullptr, name, message);
        }
    }

    // What reading the archive that holds the folder skipped or noticed,
    // where it lies in the folder or concerns the whole archive; an entry
    // that a slot reads says why it does not load as its "broken" instead.
    void checkArchive()
    {
        auto *archive = dynamic_cast<ArchiveFolder *>(m_folder.get());
        const std::optional<ArchivePath> where = splitArchivePath(m_path);
        if (!archive || !where)
            return;
        const QString inner = where->inner.isEmpty() ? QString() : where->inner + QLatin1Char('/');
        for (const ArchiveNotice &notice : archive->notices()) {
            if (!notice.entry.isEmpty() && !notice.entry.startsWith(inner))
                continue;
            const QString entry = notice.entry.mid(inner.size());
            if (notice.kind == ArchiveNotice::Kind::Encrypted && m_read.contains(entry))
                continue;
            const NoticeProblem &problem = noticeProblem(notice.kind);
            const QString named = entry.isEmpty() ? nameOf(where->archive) : readableArchiveName(entry);
            m_report.problems.push_back({QString::fromLatin1(problem.code), problem.severity, {}, entry,
                                         QStringLiteral("%1: %2").arg(shownName(named), notice.reason), {}});
        }
    }

    // Whether the folder lies in an archive that could not be read at all,
    // which says so instead of "no-skin".
    bool archiveUnread() const
    {
        const auto *archive = dynamic_cast<const ArchiveFolder *>(m_folder.get());
        return archive && !archive->failure().isEmpty();
    }

    QString m_path;                   // the folder as given, resolved
    std::unique_ptr<Folder> m_folder; // listed once, for every name the check looks up
    QString m_prefix;                 // the skin's folder within the folder given, with a "/"
    QSet<QString> m_read;             // what the loading steps read, with the prefix
    FolderReport m_report;
};

const OptionSpec CheckOptionList[] = {
    {"json", nullptr},
    {"oneline", nullptr},
    {"strict", nullptr},
    {"watch", nullptr},
};

} // namespace

int FolderReport::count(Severity severity) const
{
    return int(std::count_if(problems.begin(), problems.end(),
                             [&](const Problem &problem) { return problem.severity == severity; }));
}

FolderReport checkFolder(const QString &folder, std::vector<LoadedPicture> *loaded)
{
    return FolderCheck(folder).run(loaded);
}

int checkFolders(const QStringList &folders, const CheckOptions &options)
{
    bool allFolders = true;
    std::vector<FolderReport> reports;
    for (const QString &skin : usableSkins(folders, allFolders))
        reports.push_back(checkFolder(skin));
    printReports(reports, options.form);
    if (!finishOutput() || !allFolders)
        return 2;
    for (const FolderReport &report : reports) {
        if (report.count(Severity::Error) > 0 || (options.strict && report.count(Severity::Warning) > 0))
            return 1;
    }
    return 0;
}

std::span<const OptionSpec> checkOptions()
{
    return CheckOptionList;
}

int runCheck(const Arguments &arguments)
{
    const bool json = arguments.isSet(QStringLiteral("json"));
    const bool oneLine = arguments.isSet(QStringLiteral("oneline"));
    if (json && oneLine)
        return usageError(arguments, QStringLiteral("--json and --oneline cannot be used together"));
    CheckOptions options;
    options.form = json ? ReportForm::Json : oneLine ? ReportForm::OneLine : ReportForm::Text;
    options.strict = arguments.isSet(QStringLiteral("strict"));
    if (arguments.isSet(QStringLiteral("watch")))
        return watchCheck(arguments.positionalArguments(), options);
    return checkFolders(arguments.positionalArguments(), options);
}

} // namespace skintool

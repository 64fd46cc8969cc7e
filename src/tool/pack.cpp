#include "tool/pack.h"

#include "files/error.h"
#include "files/folder.h"
#include "pictures/picture.h"
#include "skin/skinfiles.h"
#include "tool/check.h"
#include "tool/folders.h"
#include "tool/png.h"
#include "tool/report.h"
#include "tool/terminal.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <optional>
#include <vector>

namespace skintool {

namespace {

// Every entry's time: the earliest that a zip's own date field holds
// (1980-01-01 00:00:00).
constexpr time_t EntryTime = 315532800;

const OptionSpec PackOptionList[] = {
    {"out", "NAME.zip"},
    {"force", nullptr},
};

} // namespace

struct ZipWriter::Archive
{
    struct archive *archive = archive_write_new();
    Sink sink;
    std::exception_ptr sinkFailure;

    ~Archive() { archive_write_free(archive); }

    static la_ssize_t write(struct archive *, void *self, const void *buffer, size_t length)
    {
        auto *me = static_cast<Archive *>(self);
        try {
            me->sink(QByteArrayView(static_cast<const char *>(buffer), qsizetype(length)));
        } catch (...) {
            me->sinkFailure = std::current_exception();
            return -1;
        }
        return la_ssize_t(length);
    }

    // The sink's own failure if it failed, else the library's.
    void check(int status)
    {
        if (status >= ARCHIVE_WARN)
            return;
        if (sinkFailure)
            std::rethrow_exception(sinkFailure);
        throw RuntimeError(archive_error_string(archive) ? archive_error_string(archive) : "cannot write the zip");
    }
};

ZipWriter::ZipWriter(Sink sink) : m_archive(std::make_unique<Archive>())
{
    // The zip's date fields are local times: with the clock of the zone
    // that every machine has, the same files give the same bytes anywhere.
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    m_archive->sink = std::move(sink);
    struct archive *archive = m_archive->archive;
    m_archive->check(archive_write_set_format_zip(archive));
    m_archive->check(archive_write_set_options(archive, "zip:compression=deflate,zip:hdrcharset=UTF-8"));
    // Blocks only for the writes' sake: the last one is not padded.
    m_archive->check(archive_write_set_bytes_in_last_block(archive, 1));
    m_archive->check(archive_write_open2(archive, m_archive.get(), nullptr, &Archive::write, nullptr, nullptr));
}

ZipWriter::~ZipWriter() = default;

void ZipWriter::add(const QString &name, QByteArrayView content)
{
    struct archive_entry *entry = archive_entry_new();
    archive_entry_set_pathname_utf8(entry, name.toUtf8().constData());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, content.size());
    archive_entry_set_mtime(entry, EntryTime, 0);
    archive_entry_set_uid(entry, 0);
    archive_entry_set_gid(entry, 0);
    const int status = archive_write_header(m_archive->archive, entry);
    archive_entry_free(entry);
    m_archive->check(status);
    for (qsizetype done = 0; done < content.size();) {
        const la_ssize_t written =
            archive_write_data(m_archive->archive, content.data() + done, size_t(content.size() - done));
        m_archive->check(written < 0 ? int(written) : ARCHIVE_OK);
        done += written;
    }
    m_archive->check(archive_write_finish_entry(m_archive->archive));
}

void ZipWriter::finish()
{
    m_archive->check(archive_write_close(m_archive->archive));
}

std::span<const OptionSpec> packOptions()
{
    return PackOptionList;
}

int runPack(const Arguments &arguments)
{
    const QStringList &folders = arguments.positionalArguments();
    if (folders.size() > 1)
        return usageError(arguments, QStringLiteral("one FOLDER at a time"));
    if (!arguments.isSet(QStringLiteral("out")))
        return usageError(arguments, QStringLiteral("--out NAME.zip is needed"));
    const QString out = arguments.value(QStringLiteral("out"));
    const QString &folder = folders.first();
    if (!checkFolderArgument(folder))
        return 2;

    // A skin that check finds errors in is not sent on its way.
    FolderReport report = checkFolder(folder);
    if (report.count(Severity::Error) > 0 && !arguments.isSet(QStringLiteral("force"))) {
        std::erase_if(report.problems, [](const Problem &problem) { return problem.severity != Severity::Error; });
        std::fputs(oneLineReport({report}).toUtf8().constData(), stderr);
        printError(QStringLiteral("%1: check finds errors; nothing written (--force packs it anyway)")
                       .arg(shownName(folder)));
        return 1;
    }

    // Each file under the name the skin's table gives it, its content the
    // entry that the loading steps' letter-case lookup finds.
    const std::unique_ptr<Folder> skin = openSkinFolder(resolvedFolder(folder));
    OutputFile file;
    QString error;
    if (!file.open(out, &error)) {
        printError(QStringLiteral("%1: %2").arg(shownName(out), error));
        return 2;
    }
    int packed = 0;
    try {
        ZipWriter zip([&](QByteArrayView piece) {
            if (!file.append(piece, &error))
                throw RuntimeError("write failed");
        });
        for (const QString &name : skinFileNames()) {
            const QString found = skin->resolve(name);
            if (!skin->contains(found))
                continue;
            std::optional<QByteArray> content;
            try {
                InputFile input = skin->open(found, MaxPictureFileBytes);
                content = input.read(input.size());
            } catch (const InputFile::Error &failure) {
                // A folder bearing the name is no skin file; anything else
                // that cannot be read has been reported by check.
                if (failure.failure() != InputFile::Failure::Folder
                    && failure.failure() != InputFile::Failure::NotFound)
                    printError(QStringLiteral("%1: left out: %2")
                                   .arg(shownName(skin->pathOf(found)), failureReason(failure)));
                continue;
            }
            zip.add(name, *content);
            ++packed;
        }
        zip.finish();
    } catch (const RuntimeError &failure) {
        printError(QStringLiteral("%1: %2").arg(shownName(out), error.isEmpty() ? QString::fromUtf8(failure.what()) : error));
        return 2;
    }
    if (!file.commit(&error)) {
        printError(QStringLiteral("%1: %2").arg(shownName(out), error));
        return 2;
    }
    printOut(QStringLiteral("Packed %1 file%2 of %3 into %4.\n")
                 .arg(packed)
                 .arg(QLatin1String(packed == 1 ? "" : "s"), shownName(folder), shownName(out)));
    return finishOutput() ? 0 : 2;
}

} // namespace skintool

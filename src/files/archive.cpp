#include "files/archive.h"

#include "files/filename.h"

#include <archive.h>
#include <archive_entry.h>

#include <QSet>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>
#include <string_view>

namespace {

// Names longer or deeper than these are no skin's: the index keeps every
// folder on a name's way by its whole path, which a name of thousands of
// levels would make a memory bomb of.
constexpr qsizetype MaxNameBytes = 4096;
constexpr qsizetype MaxDepth = 64;

// A listing stops after this many entries, and after this much of a
// compressed stream (a .tar.gz) inflated to reach the next header: memory
// and time stay bounded whatever an archive claims. A plain tar and a zip
// reach their headers by seeking and are listed whole.
constexpr int MostEntries = 1 << 18;
constexpr qint64 MostInflatedWhileListing = qint64(1) << 30;
// Nor does the index keep more than this of names, the folders on their
// way included: a few thousand names of sixty levels, each level a new
// folder named by its whole path, would otherwise take gigabytes.
constexpr qint64 MostNameBytes = qint64(64) << 20;

// The endings of the archives the program opens, lower case.
using namespace std::string_view_literals;
constexpr std::array ArchiveEndings = {".zip"sv,     ".7z"sv,     ".rar"sv,     ".tar"sv,     ".tar.gz"sv,  ".tgz"sv,
                                       ".tar.bz2"sv, ".tbz"sv,    ".tbz2"sv,    ".tar.xz"sv,  ".txz"sv,     ".tar.zst"sv,
                                       ".tzst"sv,    ".tar.lz"sv, ".tar.lzma"sv, ".tar.lz4"sv, ".tar.z"sv};

constexpr std::size_t LongestArchiveEnding =
    std::max_element(ArchiveEndings.begin(), ArchiveEndings.end(), [](auto a, auto b) { return a.size() < b.size(); })->size();

struct ArchiveCloser
{
    void operator()(archive *a) const { archive_read_free(a); }
};
using ArchiveHandle = std::unique_ptr<archive, ArchiveCloser>;

// A reader for what a skin can come in, on the archive at fd, read from its
// start. zip is read by its central directory, the list at its end that
// every common unpacker lists from, not by the local headers before each
// entry: where a crafted zip makes the two disagree, the central directory
// counts. Only filters built into the library are taken, none that would
// start another program.
ArchiveHandle openArchive(int fd)
{
    ArchiveHandle a(archive_read_new());
    archive_read_support_format_zip_seekable(a.get());
    archive_read_support_format_7zip(a.get());
    archive_read_support_format_rar(a.get());
    archive_read_support_format_rar5(a.get());
    archive_read_support_format_tar(a.get());
    archive_read_support_filter_gzip(a.get());
    archive_read_support_filter_bzip2(a.get());
    archive_read_support_filter_xz(a.get());
    archive_read_support_filter_lzma(a.get());
    archive_read_support_filter_lzip(a.get());
    archive_read_support_filter_zstd(a.get());
    archive_read_support_filter_lz4(a.get());
    archive_read_support_filter_compress(a.get());
    if (::lseek(fd, 0, SEEK_SET) != 0 || archive_read_open_fd(a.get(), fd, 64 * 1024) != ARCHIVE_OK)
        return ArchiveHandle(a.release()); // the first header read reports why
    return a;
}

// How much of a listing that stopped early counts.
QString readSoFar(qsizetype entries)
{
    if (entries == 0)
        return QStringLiteral("no entry is read");
    if (entries == 1)
        return QStringLiteral("only the first entry is read");
    return QStringLiteral("only the first %1 entries are read").arg(entries);
}

QString libraryReason(archive *a)
{
    const char *text = archive_error_string(a);
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown error");
}

// What a zip's end records say: whether it is the last part of a split or
// spanned set (not disk 0 of 0), whose entries lie in the other parts, how
// many entries its central directory holds, and (when asked for) that
// directory with all that follows it: every entry's name, sizes, CRC and
// place. Nothing for other archives.
struct ZipEndRecord
{
    bool laterVolume = false;
    qint64 entries = 0;
    QByteArray directory;
};

ZipEndRecord zipEndRecord(int fd, bool withDirectory)
{
    struct stat status;
    if (::fstat(fd, &status) != 0 || status.st_size < 22)
        return {};
    const qint64 tail = std::min<qint64>(status.st_size, 22 + 65535);
    const qint64 tailStart = status.st_size - tail;
    QByteArray bytes(tail, Qt::Uninitialized);
    if (::pread(fd, bytes.data(), size_t(tail), tailStart) != tail)
        return {};
    const qsizetype at = bytes.lastIndexOf(QByteArrayView("PK\x05\x06", 4));
    if (at < 0 || at + 22 > bytes.size())
        return {};
    const char *end = bytes.constData() + at;
    ZipEndRecord record{qFromLittleEndian<quint16>(end + 4) != 0 || qFromLittleEndian<quint16>(end + 6) != 0,
                        qFromLittleEndian<quint16>(end + 10), {}};

    // Where the directory starts: in the end record, or in the zip64 one
    // that a locator just before it points to when the numbers are too big.
    quint64 directory = qFromLittleEndian<quint32>(end + 16);
    if ((directory == 0xFFFFFFFF || record.entries == 0xFFFF) && at >= 20 && bytes.mid(at - 20, 4) == "PK\x06\x07") {
        const qint64 zip64At = qFromLittleEndian<qint64>(end - 20 + 8);
        QByteArray zip64(56, Qt::Uninitialized);
        if (zip64At < 0 || ::pread(fd, zip64.data(), 56, zip64At) != 56 || !zip64.startsWith("PK\x06\x06"))
            return record;
        // At least 46 bytes an entry in the directory: a count beyond that
        // is a lie, and only room is taken for it.
        record.entries = qint64(std::min<quint64>(qFromLittleEndian<quint64>(zip64.constData() + 32),
                                                  quint64(status.st_size / 46)));
        directory = qFromLittleEndian<quint64>(zip64.constData() + 48);
    }
    // A directory bigger than this (some millions of entries) is never
    // kept, and its index never shared while the file is fresh.
    constexpr qint64 LargestKeptDirectory = 64 * 1024 * 1024;
    const qint64 directoryBytes = status.st_size - qint64(directory);
    if (!withDirectory || directory >= quint64(status.st_size) || directoryBytes > LargestKeptDirectory)
        return record;
    if (qint64(directory) >= tailStart) {
        bytes.remove(0, qsizetype(qint64(directory) - tailStart));
    } else {
        bytes.resize(qsizetype(directoryBytes));
        if (::pread(fd, bytes.data(), size_t(directoryBytes), qint64(directory)) != directoryBytes)
            return record;
    }
    record.directory = std::move(bytes);
    return record;
}

// Whether a "/"-separated name has a part that is empty, "." or "..", a
// single "/" at its end aside: one pass over a name, as most have none.
bool hasPartToDrop(QByteArrayView name)
{
    for (qsizetype start = 0; start < name.size();) {
        qsizetype end = name.indexOf('/', start);
        if (end < 0)
            end = name.size();
        const QByteArrayView part = name.sliced(start, end - start);
        if (part.isEmpty() || part == "." || part == "..")
            return true;
        start = end + 1;
    }
    return false;
}

// A name as a place inside the archive: backslashes as separators, "." and
// empty names between separators dropped, so that "./" (which tar writes
// for the folder it was given) is the root, ""; nothing when it leads
// outside (absolute, a drive, "..") or is empty. The place views stored or,
// when it needs cleaning, cleaned.
std::optional<QByteArrayView> placeInside(QByteArrayView stored, QByteArray &cleaned)
{
    QByteArrayView name = stored;
    if (stored.contains('\\')) {
        cleaned = stored.toByteArray().replace('\\', '/');
        name = cleaned;
    }
    if (name.startsWith('/') || (name.size() >= 2 && name[1] == ':' && std::isalpha(uchar(name[0]))))
        return std::nullopt;
    // Most names need no cleaning: only a folder's trailing "/" goes.
    if (!hasPartToDrop(name)) {
        if (name.endsWith('/'))
            name.chop(1);
        return name.isEmpty() ? std::nullopt : std::optional<QByteArrayView>(name);
    }
    QByteArray place("");
    for (const QByteArray &part : name.toByteArray().split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
            return std::nullopt;
        if (!place.isEmpty())
            place += '/';
        place += part;
    }
    cleaned = std::move(place);
    return QByteArrayView(cleaned);
}

// The shortest leading part of a place that is junk ("__MACOSX"), or empty.
QByteArrayView junkPart(QByteArrayView place)
{
    qsizetype start = 0;
    while (start <= place.size()) {
        qsizetype end = place.indexOf('/', start);
        if (end < 0)
            end = place.size();
        if (isArchiverJunk(place.sliced(start, end - start)))
            return place.first(end);
        start = end + 1;
    }
    return {};
}

// The index most recently read, so that the steps of one event (is it a
// folder, list it, read its background) read a big archive once.
struct IndexCache
{
    std::mutex mutex;
    QString path;
    std::shared_ptr<const ArchiveIndex> index;
};

IndexCache &indexCache()
{
    static IndexCache cache;
    return cache;
}

} // namespace

void nameLocalTimeZone()
{
    // The file the library reads for an unset TZ: the same zone, read when
    // a time is first converted, and then only when TZ changes.
    ::setenv("TZ", ":/etc/localtime", 0);
}

bool isArchiveName(QByteArrayView name)
{
    // Most names in a big archive end in no archive's ending: one look at
    // the dot before their last few letters turns them away.
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0 || name.size() - dot > 5)
        return false;
    // The name's last letters in lower case, as many as the longest ending has.
    char tail[LongestArchiveEnding];
    const qsizetype length = std::min<qsizetype>(name.size(), LongestArchiveEnding);
    std::transform(name.end() - length, name.end(), tail, [](char c) { return char(asciiLower(char16_t(uchar(c)))); });
    const std::string_view lowerTail(tail, std::size_t(length));
    return std::any_of(ArchiveEndings.begin(), ArchiveEndings.end(), [&](std::string_view ending) {
        return ending.back() == lowerTail.back() && name.size() > qsizetype(ending.size())
               && lowerTail.ends_with(ending);
    });
}

bool isArchiveName(const QString &name)
{
    return isArchiveName(QByteArrayView(fileNameFromText(name)));
}

bool isArchiveFile(const QString &path)
{
    struct stat status;
    return isArchiveName(path.section(QLatin1Char('/'), -1))
           && ::stat(fileNameFromText(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

std::optional<ArchivePath> splitArchivePath(const QString &path)
{
    qsizetype end = 0;
    while (end >= 0) {
        end = path.indexOf(QLatin1Char('/'), end + 1);
        const QString prefix = end < 0 ? path : path.left(end);
        if (isArchiveFile(prefix))
            return ArchivePath{prefix, end < 0 ? QString() : path.mid(end + 1)};
    }
    return std::nullopt;
}

QString readableArchiveName(const QString &name)
{
    // Code page 437's upper half; its lower half is ASCII.
    static const QString upperHalf = QString::fromUtf8(
        "ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
        "αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00a0");
    const QByteArray bytes = fileNameFromText(name);
    if (textFromFileName(bytes) == QString::fromUtf8(bytes))
        return name; // valid UTF-8
    QString shown;
    for (const char byte : bytes)
        shown += uchar(byte) < 0x80 ? QChar(QLatin1Char(byte)) : upperHalf.at(uchar(byte) - 0x80);
    return shown;
}

bool isArchiverJunk(QByteArrayView name)
{
    const auto equalIgnoringCase = [&](const char *junk) {
        const qsizetype length = qsizetype(std::strlen(junk));
        return name.size() == length && qstrnicmp(name.data(), junk, size_t(length)) == 0;
    };
    return name == "__MACOSX" || name.startsWith("._") || equalIgnoringCase("Thumbs.db")
           || equalIgnoringCase("desktop.ini") || name == ".DS_Store";
}

bool isArchiverJunk(QStringView name)
{
    return isArchiverJunk(QByteArrayView(name.toUtf8()));
}

ArchiveIndex::ArchiveIndex(int fd, const FileSignature &signature) : m_signature(signature)
{
    addFolder("");
    read(fd);
}

void ArchiveIndex::read(int fd)
{
    using Kind = ArchiveNotice::Kind;
    // Only an index of a file that may still change unseen needs the
    // directory kept to be shared.
    ZipEndRecord zip = zipEndRecord(fd, m_signature.racy);
    const ArchiveHandle a = openArchive(fd);
    QSet<QByteArray> junkSeen;
    QByteArray cleaned; // a name's place, when it is not the name as stored
    archive_entry *header = nullptr;
    int position = 0;
    const bool compressed = archive_filter_count(a.get()) > 1;
    for (;; ++position) {
        const int status = archive_read_next_header(a.get(), &header);
        // The end record found is the zip's own only where the archive reads
        // as a zip, or as nothing (a later part of a split zip): a tar may
        // well end in a zip.
        if (position == 0) {
            const bool isZip = (archive_format(a.get()) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP;
            if (zip.laterVolume && (isZip || status < ARCHIVE_WARN)) {
                m_failure = QStringLiteral("a part of a multi-volume archive, which is not read");
                notice(Kind::MultiVolume, {}, m_failure);
                return;
            }
            if (isZip) {
                m_zipDirectory = std::move(zip.directory);
                // Room for the entries it declares, so that a big zip is not
                // copied into fresh memory again and again as it is listed.
                const qint64 entries = std::min<qint64>(zip.entries, MostEntries);
                m_byName.reserve(entries);
                m_children.front().reserve(std::size_t(entries)); // most zips hold most at the root
            }
        }
        if (status == ARCHIVE_EOF)
            break;
        if (position >= MostEntries || (compressed && archive_filter_bytes(a.get(), 0) > MostInflatedWhileListing)
            || keptNameBytes() > MostNameBytes) {
            notice(Kind::Unreadable, {}, QStringLiteral("too big to list: %1").arg(readSoFar(position)));
            break;
        }
        if (status < ARCHIVE_WARN) {
            // The library can tell only once a format took the archive; an
            // archive whose list of entries is encrypted says so in words.
            const QString library = libraryReason(a.get());
            const bool encrypted = (archive_format(a.get()) != 0 && archive_read_has_encrypted_entries(a.get()) > 0)
                                   || library.contains(QLatin1String("encrypted"), Qt::CaseInsensitive);
            const QString why = encrypted ? QStringLiteral("encrypted") : library;
            if (position == 0) {
                m_failure = QStringLiteral("not an archive that can be read: %1").arg(why);
                notice(Kind::Unreadable, {}, m_failure);
            } else {
                notice(Kind::Unreadable, {}, QStringLiteral("cut short or corrupt (%1): %2").arg(readSoFar(position), why));
            }
            break;
        }
        const char *stored = archive_entry_pathname(header);
        if (!stored)
            stored = archive_entry_pathname_utf8(header);
        const QByteArrayView raw(stored ? stored : "");
        const std::optional<QByteArrayView> place = placeInside(raw, cleaned);
        if (!place) {
            notice(Kind::OutsideFolder, raw.toByteArray().replace('\\', '/'), QStringLiteral("names no place inside the archive"));
            continue;
        }
        if (place->size() > MaxNameBytes || place->count('/') >= MaxDepth) {
            notice(Kind::OutsideFolder, place->first(std::min(place->size(), MaxNameBytes)),
                   QStringLiteral("a name too long or too deep for a skin, not used"));
            continue;
        }
        if (const QByteArrayView junk = junkPart(*place); !junk.isEmpty()) {
            if (!junkSeen.contains(junk.toByteArray())) {
                junkSeen.insert(junk.toByteArray());
                notice(Kind::Junk, junk, QStringLiteral("added by an archiver, ignored"));
            }
            continue;
        }
        const mode_t type = archive_entry_filetype(header);
        if (place->isEmpty() && type == AE_IFDIR)
            continue; // the root itself
        if (place->isEmpty()) {
            notice(Kind::OutsideFolder, raw.toByteArray(), QStringLiteral("names no place inside the archive"));
            continue;
        }
        if (archive_entry_hardlink(header) || type == AE_IFLNK) {
            notice(Kind::Link, *place, QStringLiteral("a link, never followed"));
            continue;
        }
        if (type == AE_IFDIR) {
            addFolder(*place);
            continue;
        }
        if (type != AE_IFREG) {
            notice(Kind::Special, *place, QStringLiteral("not a regular file"));
            continue;
        }
        const bool encrypted = archive_entry_is_encrypted(header);
        if (encrypted)
            notice(Kind::Encrypted, *place, QStringLiteral("encrypted"));
        if (isArchiveName(place->sliced(place->lastIndexOf('/') + 1)))
            notice(Kind::NestedArchive, *place, QStringLiteral("an archive inside the archive, not opened"));
        addFile(*place, archive_entry_size_is_set(header) ? archive_entry_size(header) : -1, position, encrypted);
    }
    settleFilesNamedAsFolders();
}

void ArchiveIndex::addFile(QByteArrayView name, qint64 size, int position, bool encrypted)
{
    // One look-up: the name now gives the new entry, which counts as the
    // last of its name does for an unpacker that writes each in turn. An
    // earlier one stays in m_entries, as the listing shows its name.
    const QByteArrayView kept = keep(name);
    const qsizetype before = m_byName.size();
    m_byName.emplace(kept, qsizetype(m_entries.size()));
    m_entries.push_back({kept, size, position, encrypted});
    if (m_byName.size() == before) {
        notice(ArchiveNotice::Kind::Duplicate, kept, QStringLiteral("a later entry bears the same name and counts"));
        return;
    }
    m_children[parentOf(kept)].push_back(qint32(m_entries.size() - 1));
}

// A folder and a file of the same name ("a" beside "a/b.bmp"), in either
// order: the folder counts, as it would on disk once unpacked.
void ArchiveIndex::settleFilesNamedAsFolders()
{
    std::vector<QByteArrayView> clashes;
    for (auto folder = m_folders.cbegin(); folder != m_folders.cend(); ++folder) {
        if (m_byName.contains(folder.key()))
            clashes.push_back(folder.key());
    }
    std::sort(clashes.begin(), clashes.end()); // a hash's order differs from run to run
    for (const QByteArrayView name : clashes) {
        m_byName.remove(name);
        notice(ArchiveNotice::Kind::Duplicate, name, QStringLiteral("a folder bears the same name and counts"));
        std::erase_if(m_children[parentOf(name)],
                      [&](qint32 child) { return child >= 0 && m_entries[std::size_t(child)].name == name; });
    }
}

qsizetype ArchiveIndex::addFolder(QByteArrayView name)
{
    if (const auto found = m_folders.constFind(name); found != m_folders.cend())
        return *found;
    const QByteArrayView kept = keep(name);
    const qsizetype parent = kept.isEmpty() ? -1 : parentOf(kept);
    const qsizetype index = qsizetype(m_children.size());
    m_folders.emplace(kept, index);
    m_folderNames.push_back(kept);
    m_children.emplace_back();
    if (parent >= 0)
        m_children[std::size_t(parent)].push_back(~qint32(index));
    return index;
}

// The folder a name that the index holds lies in, made (with the folders
// on its way) when the archive lists none.
qsizetype ArchiveIndex::parentOf(QByteArrayView name)
{
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArrayView parent = slash < 0 ? QByteArrayView("") : name.first(slash);
    if (parent != m_lastParent) {
        m_lastParentIndex = addFolder(parent);
        m_lastParent = parent;
    }
    return m_lastParentIndex;
}

qint64 ArchiveIndex::keptNameBytes() const
{
    return qint64(m_nameBlocks.size()) * qint64(NameBlockBytes);
}

// A copy of name that lives as long as the index.
QByteArrayView ArchiveIndex::keep(QByteArrayView name)
{
    if (name.isEmpty())
        return QByteArrayView("");
    const std::size_t size = std::size_t(name.size());
    if (size > m_nameBlockLeft) {
        m_nameBlockLeft = std::max(NameBlockBytes, size);
        m_nameBlocks.push_back(std::make_unique_for_overwrite<char[]>(m_nameBlockLeft));
        m_nameFree = m_nameBlocks.back().get();
    }
    char *copy = m_nameFree;
    std::memcpy(copy, name.data(), size);
    m_nameFree += size;
    m_nameBlockLeft -= size;
    return {copy, name.size()};
}

void ArchiveIndex::notice(ArchiveNotice::Kind kind, QByteArrayView entry, const QString &reason)
{
    m_notices.push_back({kind, textFromFileName(entry.toByteArray()), reason});
}

const ArchiveIndex::Entry *ArchiveIndex::entry(const QByteArray &name) const
{
    const auto found = m_byName.constFind(name);
    return found == m_byName.cend() ? nullptr : &m_entries[std::size_t(*found)];
}

bool ArchiveIndex::hasFolder(const QByteArray &name) const
{
    return m_folders.contains(name);
}

const std::vector<qint32> &ArchiveIndex::childrenOf(const QByteArray &folder) const
{
    static const std::vector<qint32> none;
    const auto found = m_folders.constFind(folder);
    return found == m_folders.cend() ? none : m_children[std::size_t(*found)];
}

struct ArchiveReader::Reader
{
    ArchiveHandle archive;
    int position = -1;     // of the header last read
    bool dataRead = false; // of that entry
};

ArchiveReader::ArchiveReader(const QString &archive) : m_path(archive)
{
    using Failure = InputFile::Failure;
    m_fd.reset(::open(fileNameFromText(archive).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!m_fd.isOpen()) {
        const int error = errno;
        throw InputFile::Error(error == ENOENT || error == ENOTDIR ? Failure::NotFound : Failure::NotReadable, error);
    }
    struct stat status;
    if (::fstat(m_fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        throw InputFile::Error(Failure::NotRegularFile);
    const FileSignature signature = FileSignature::of(status);
    IndexCache &cache = indexCache();
    {
        const std::lock_guard lock(cache.mutex);
        if (cache.index && cache.path == archive && cache.index->signature() == signature)
            m_index = cache.index;
    }
    // A file written within its clock's tick may change again without its
    // signature moving: such an index is shared only when what it was read
    // from is the same, as a zip's directory (kept for this) shows. A zip
    // just downloaded or built is thus listed once by the steps of one look.
    if (m_index && (m_index->signature().racy || signature.racy)) {
        const QByteArray &directory = m_index->zipDirectory();
        if (directory.isEmpty() || zipEndRecord(m_fd.get(), true).directory != directory)
            m_index.reset();
    }
    if (!m_index) {
        m_index = std::make_shared<const ArchiveIndex>(m_fd.get(), signature);
        const std::lock_guard lock(cache.mutex);
        cache.path = archive;
        cache.index = m_index;
    }
}

// The reader goes before the descriptor it reads through (members go in
// the reverse order of their declaration).
ArchiveReader::~ArchiveReader() = default;

void ArchiveReader::rewind()
{
    m_reader = std::make_unique<Reader>();
    m_reader->archive = openArchive(m_fd.get());
}

QByteArray ArchiveReader::read(const QByteArray &name, qint64 maxBytes)
{
    using Failure = InputFile::Failure;
    const ArchiveIndex::Entry *entry = m_index->entry(name);
    if (!entry)
        throw InputFile::Error(m_index->hasFolder(name) ? Failure::Folder : Failure::NotFound, ENOENT);
    if (entry->encrypted)
        throw InputFile::Error(Failure::Encrypted);
    if (maxBytes >= 0 && entry->size > maxBytes)
        throw InputFile::Error(Failure::TooLarge, 0, entry->size);

    // Forward from where the reader is; back only by opening it anew.
    if (!m_reader || m_reader->position > entry->position
        || (m_reader->position == entry->position && m_reader->dataRead))
        rewind();
    archive *a = m_reader->archive.get();
    archive_entry *header = nullptr;
    while (m_reader->position < entry->position) {
        if (archive_read_next_header(a, &header) < ARCHIVE_WARN) {
            m_reader.reset();
            throw InputFile::Error(Failure::Damaged);
        }
        ++m_reader->position;
        m_reader->dataRead = false;
    }
    m_reader->dataRead = true;

    // The declared size may lie: what is inflated is counted, and never
    // more than one byte past the limit.
    const qint64 limit = maxBytes >= 0 ? maxBytes + 1 : std::numeric_limits<qint64>::max();
    constexpr qint64 Piece = 64 * 1024;
    // Room for the declared size and one piece more, so that a truthful
    // entry is read without the buffer growing (each growth copies it into
    // fresh memory). Reserved memory is not touched, so a size that lies
    // costs no more than the limit that reading keeps anyway.
    constexpr qint64 MostReserved = qint64(1) << 30;
    QByteArray bytes;
    bytes.reserve(qsizetype(std::min({std::max<qint64>(entry->size, 0), limit, MostReserved}) + Piece));
    while (qint64(bytes.size()) < limit) {
        const qint64 want = std::min(Piece, limit - qint64(bytes.size()));
        const qsizetype at = bytes.size();
        bytes.resize(at + qsizetype(want));
        const la_ssize_t got = archive_read_data(a, bytes.data() + at, size_t(want));
        if (got < 0) {
            m_reader.reset();
            throw InputFile::Error(Failure::Damaged);
        }
        bytes.resize(at + qsizetype(got));
        m_inflated += got;
        if (got == 0)
            break;
    }
    if (maxBytes >= 0 && qint64(bytes.size()) > maxBytes)
        throw InputFile::Error(Failure::TooLarge, 0, bytes.size());
    return bytes;
}

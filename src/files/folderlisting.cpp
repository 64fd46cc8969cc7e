#include "files/folderlisting.h"

#include "files/archive.h"
#include "files/filename.h"

#include <QDir>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// The most a folder's size reserves up front for its listing.
constexpr off_t MaxReserveBytes = 64 * 1024 * 1024;

struct DirCloser
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

bool isAscii(const char *bytes, std::size_t length)
{
    return std::all_of(bytes, bytes + length, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The same order as QString::compare(..., Qt::CaseInsensitive), which folds
// each character; for ASCII characters that is lower-casing, done here
// without the table look-ups, and Qt decides as soon as one is not ASCII.
int compareIgnoringCase(const QString &a, const QString &b)
{
    const qsizetype common = std::min(a.size(), b.size());
    const QChar *left = a.constData();
    const QChar *right = b.constData();
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t l = left[i].unicode();
        const char16_t r = right[i].unicode();
        if (l >= 0x80 || r >= 0x80)
            return a.compare(b, Qt::CaseInsensitive);
        if (l != r && asciiLower(l) != asciiLower(r))
            return asciiLower(l) < asciiLower(r) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::array<std::uint64_t, 2> asciiPrefixOf(const char *name, qsizetype length)
{
    std::array<std::uint64_t, 2> prefix{};
    for (qsizetype i = 0; i < std::min<qsizetype>(length, 16); ++i)
        prefix[std::size_t(i / 8)] |= std::uint64_t(asciiLower(char16_t(name[i]))) << (56 - 8 * (i % 8));
    return prefix;
}

// Two ASCII names ignoring letter case, as their lower-cased bytes compare.
int compareAsciiIgnoringCase(const char *a, qsizetype aLength, const char *b, qsizetype bLength)
{
    const qsizetype common = std::min(aLength, bLength);
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t l = asciiLower(char16_t(a[i]));
        const char16_t r = asciiLower(char16_t(b[i]));
        if (l != r)
            return l < r ? -1 : 1;
    }
    return aLength == bLength ? 0 : (aLength < bLength ? -1 : 1);
}

// Whether an ASCII name ends with an ASCII tail, ignoring letter case: what
// QString::endsWith(..., Qt::CaseInsensitive) says for such texts, without
// decoding the name.
bool asciiEndsWithIgnoringCase(const char *name, qsizetype length, QStringView tail)
{
    if (length < tail.size())
        return false;
    const char *start = name + (length - tail.size());
    for (qsizetype i = 0; i < tail.size(); ++i) {
        if (asciiLower(char16_t(start[i])) != asciiLower(tail[i].unicode()))
            return false;
    }
    return true;
}

// The tail of a "*.ext"-like pattern, which matches names ending in it;
// nothing for patterns that need the full wildcard match.
std::optional<QStringView> simpleSuffix(const QString &pattern)
{
    const QStringView tail = QStringView(pattern).mid(1);
    if (pattern.startsWith(QLatin1Char('*')) && !tail.contains(QLatin1Char('*'))
        && !tail.contains(QLatin1Char('?')) && !tail.contains(QLatin1Char('[')))
        return tail;
    return std::nullopt;
}

} // namespace

QStringView NameList::at(qsizetype index) const
{
    const qsizetype start = index == 0 ? 0 : m_ends[std::size_t(index) - 1];
    return QStringView(m_text.data() + start, m_ends[std::size_t(index)] - start);
}

QStringList NameList::toList() const
{
    QStringList names;
    names.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        names.append(at(i).toString());
    return names;
}

void NameList::clear()
{
    m_text.clear();
    m_ends.clear();
}

void NameList::append(QStringView name)
{
    m_text.insert(m_text.end(), name.utf16(), name.utf16() + name.size());
    m_ends.push_back(qsizetype(m_text.size()));
}

void NameList::appendLatin1(const char *name, qsizetype length)
{
    for (qsizetype i = 0; i < length; ++i)
        m_text.push_back(char16_t(static_cast<unsigned char>(name[i])));
    m_ends.push_back(qsizetype(m_text.size()));
}

// A name taken from a listing, to be sorted, small enough to move about
// cheaply: for an ASCII name the first 16 of its bytes lower-cased, as
// numbers that compare as those bytes do, which settles most comparisons
// without following a pointer; a name that is not ASCII is compared by its
// decoded text.
struct FolderListing::SortKey
{
    std::array<std::uint64_t, 2> prefix;
    const char *raw; // the name's bytes
    qsizetype length;
    qsizetype text;  // a name that is not ASCII: its text's index; -1 for ASCII
};

FolderListing::FolderListing() = default;

FolderListing::FolderListing(const QString &folder)
{
    read(folder);
}

void FolderListing::read(const QString &folder)
{
    release();
    m_folder = folder;
    if (const auto archive = splitArchivePath(folder)) {
        readArchive(*archive);
        return;
    }
    m_fd = ::open(fileNameFromText(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // The pass reads through a copy of the descriptor, which it closes;
    // the listing keeps its own to look entries up in.
    const int passFd = m_fd < 0 ? -1 : ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    std::unique_ptr<DIR, DirCloser> dir(passFd < 0 ? nullptr : ::fdopendir(passFd));
    if (!dir) {
        if (passFd >= 0)
            ::close(passFd);
        return;
    }
    // Most file systems give a folder a size that grows with its names; as
    // a hint it spares a big folder's buffers most of their regrowing.
    struct stat info;
    if (::fstat(m_fd, &info) != 0)
        info.st_size = 0;
    else
        m_signature = FileSignature::of(info);
    if (info.st_size > 0) {
        const std::size_t hint = std::size_t(std::min<off_t>(info.st_size, MaxReserveBytes));
        m_names.reserve(hint);
        m_entries.reserve(hint / 32);
    }
    // A link is looked up by what it leads to, and so is every entry where
    // the pass gave no type.
    const auto kindFromType = [](unsigned char type) {
        return type == DT_DIR ? Kind::Folder
               : type == DT_REG ? Kind::RegularFile
               : type == DT_LNK || type == DT_UNKNOWN ? Kind::Unknown
                                                      : Kind::Other;
    };
    while (const dirent *entry = ::readdir(dir.get())) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        append(name, qsizetype(std::strlen(name)), kindFromType(entry->d_type));
    }
}

FolderListing::FolderListing(QString folder, std::span<const ListedEntry> entries) : m_folder(std::move(folder))
{
    for (const ListedEntry &entry : entries) {
        const Kind kind = entry.kind == EntryKind::Folder        ? Kind::Folder
                          : entry.kind == EntryKind::RegularFile ? Kind::RegularFile
                                                                 : Kind::Other;
        append(entry.name.constData(), entry.name.size(), kind);
    }
}

FolderListing::FolderListing(QString folder, const ArchiveIndex &index, const QByteArray &inner)
    : m_folder(std::move(folder))
{
    appendArchived(index, inner);
}

void FolderListing::appendArchived(const ArchiveIndex &index, const QByteArray &inner)
{
    // Room for them all at once, so that a big folder's names are not
    // copied again and again as the lists grow.
    std::size_t entries = 0;
    std::size_t bytes = 0;
    index.visitChildren(inner, [&](QByteArrayView name, ArchiveIndex::EntryKind) {
        ++entries;
        bytes += std::size_t(name.size()) + 1;
    });
    m_names.reserve(m_names.size() + bytes);
    m_entries.reserve(m_entries.size() + entries);
    index.visitChildren(inner, [&](QByteArrayView name, ArchiveIndex::EntryKind kind) {
        append(name.data(), name.size(), kind == ArchiveIndex::EntryKind::Folder ? Kind::Folder : Kind::RegularFile);
    });
}

// The folder's entries as the archive lists them; the archive file's
// signature, taken first, tells when it was written anew. An archive that
// cannot be opened lists nothing, as a folder that cannot be read.
void FolderListing::readArchive(const ArchivePath &inside)
{
    m_signature = FileSignature::of(inside.archive);
    try {
        const ArchiveReader reader(inside.archive);
        m_archiveIndex = reader.sharedIndex();
        appendArchived(*m_archiveIndex, fileNameFromText(inside.inner));
    } catch (const InputFile::Error &) {
    }
}

void FolderListing::append(const char *name, qsizetype length, Kind kind)
{
    m_entries.push_back({qsizetype(m_names.size()), length, kind, isAscii(name, std::size_t(length))});
    m_names.insert(m_names.end(), name, name + length);
    m_names.push_back('\0');
}

FolderListing::~FolderListing()
{
    close();
}

void FolderListing::release()
{
    close();
    m_folder.clear();
    m_signature = FileSignature();
    m_archiveIndex.reset();
    m_names.clear();
    m_entries.clear();
}

void FolderListing::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

// Looked up once, relative to the open folder rather than by a path that
// the system would walk again for every entry.
FolderListing::Kind FolderListing::kindOf(const Entry &entry) const
{
    if (entry.kind == Kind::Unknown) {
        struct stat info;
        entry.kind = ::fstatat(m_fd, name(entry), &info, 0) != 0 ? Kind::Other
                     : S_ISDIR(info.st_mode)                     ? Kind::Folder
                     : S_ISREG(info.st_mode)                     ? Kind::RegularFile
                                                                 : Kind::Other;
    }
    return entry.kind;
}

// Sorts the picked entries' names into a list.
void FolderListing::sort(NameList &into) const
{
    m_texts.clear();
    m_keys.clear();
    m_keys.reserve(m_picked.size());
    for (const Entry *entry : m_picked) {
        const char *raw = name(*entry);
        if (entry->ascii) {
            m_keys.push_back({asciiPrefixOf(raw, entry->length), raw, entry->length, -1});
        } else {
            m_texts.push_back(textFromFileName(QByteArray::fromRawData(raw, entry->length)));
            m_keys.push_back({{}, raw, entry->length, qsizetype(m_texts.size()) - 1});
        }
    }
    const auto isAsciiKey = [](const SortKey &key) { return key.text < 0; };
    const auto textOf = [&](const SortKey &key) {
        return isAsciiKey(key) ? QString::fromLatin1(key.raw, key.length) : m_texts[std::size_t(key.text)];
    };
    // Ignoring letter case; names equal but for case in byte order.
    std::sort(m_keys.begin(), m_keys.end(), [&](const SortKey &a, const SortKey &b) {
        if (isAsciiKey(a) && isAsciiKey(b)) {
            // ASCII names hold no NUL, so a zero byte in the prefix only pads.
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            if (const int order = compareAsciiIgnoringCase(a.raw, a.length, b.raw, b.length); order != 0)
                return order < 0;
            return std::strcmp(a.raw, b.raw) < 0;
        }
        const QString left = textOf(a);
        const QString right = textOf(b);
        if (const int order = compareIgnoringCase(left, right); order != 0)
            return order < 0;
        return left < right;
    });
    into.clear();
    for (const SortKey &key : m_keys) {
        if (isAsciiKey(key))
            into.appendLatin1(key.raw, key.length);
        else
            into.append(m_texts[std::size_t(key.text)]);
    }
    m_texts.clear();
}

QStringList FolderListing::subfolders() const
{
    NameList names;
    subfolders(names);
    return names.toList();
}

QStringList FolderListing::files(const QString &pattern) const
{
    NameList names;
    files(pattern, names);
    return names.toList();
}

void FolderListing::subfolders(NameList &into) const
{
    m_picked.clear();
    for (const Entry &entry : m_entries) {
        if (kindOf(entry) == Kind::Folder)
            m_picked.push_back(&entry);
    }
    sort(into);
}

void FolderListing::subfoldersAndArchives(NameList &into, std::vector<bool> &isArchive) const
{
    // By the name's bytes, so that a big folder's names are not decoded.
    const auto archiveName = [&](const Entry &entry) {
        const char *raw = name(entry);
        return raw[0] != '.' && isArchiveName(QByteArrayView(raw, entry.length));
    };
    m_picked.clear();
    for (const Entry &entry : m_entries) {
        const Kind kind = kindOf(entry);
        if (kind == Kind::Folder || (kind == Kind::RegularFile && m_fd >= 0 && archiveName(entry)))
            m_picked.push_back(&entry);
    }
    sort(into);
    // The sorted names point into m_names, and the entries lie there in
    // their order.
    isArchive.clear();
    for (const SortKey &key : m_keys) {
        const qsizetype offset = key.raw - m_names.data();
        const auto entry = std::lower_bound(m_entries.begin(), m_entries.end(), offset,
                                            [](const Entry &e, qsizetype at) { return e.offset < at; });
        isArchive.push_back(entry->kind != Kind::Folder);
    }
}

std::optional<QString> FolderListing::onlySubfolder() const
{
    std::optional<QString> only;
    for (const Entry &entry : m_entries) {
        if (kindOf(entry) != Kind::Folder)
            continue;
        const QString text = textFromFileName(QByteArray::fromRawData(name(entry), entry.length));
        if (isArchiverJunk(QStringView(text)))
            continue;
        if (only)
            return std::nullopt;
        only = text;
    }
    return only;
}

void FolderListing::files(const QString &pattern, NameList &into) const
{
    // Most names in a big folder do not match; those are left undecoded.
    const std::optional<QStringView> suffix = simpleSuffix(pattern);
    const bool asciiSuffix = suffix && isAscii(*suffix);
    m_picked.clear();
    for (const Entry &entry : m_entries) {
        const char *raw = name(entry);
        if (raw[0] == '.')
            continue;
        const bool matches = asciiSuffix && entry.ascii
                                 ? asciiEndsWithIgnoringCase(raw, entry.length, *suffix)
                                 : matchesPattern(textFromFileName(raw), pattern);
        if (matches && kindOf(entry) == Kind::RegularFile)
            m_picked.push_back(&entry);
    }
    sort(into);
}

// Whether an entry's name equals name ignoring letter case, as
// QString::compare(..., Qt::CaseInsensitive) sees it; ASCII names are
// compared without decoding them.
bool FolderListing::equalIgnoringCase(const Entry &entry, const QString &text, bool textIsAscii) const
{
    const char *raw = name(entry);
    if (textIsAscii && entry.ascii) {
        if (entry.length != text.size())
            return false;
        for (qsizetype i = 0; i < entry.length; ++i) {
            if (asciiLower(char16_t(raw[i])) != asciiLower(text[i].unicode()))
                return false;
        }
        return true;
    }
    return textFromFileName(raw).compare(text, Qt::CaseInsensitive) == 0;
}

QStringList FolderListing::namesIgnoringCase(const QString &text) const
{
    const bool textIsAscii = isAscii(text);
    std::vector<const char *> found;
    for (const Entry &entry : m_entries) {
        if (equalIgnoringCase(entry, text, textIsAscii))
            found.push_back(name(entry));
    }
    std::sort(found.begin(), found.end(), [](const char *a, const char *b) { return std::strcmp(a, b) < 0; });
    QStringList names;
    for (const char *raw : found)
        names.append(textFromFileName(raw));
    return names;
}

std::optional<QString> FolderListing::nameIgnoringCase(const QString &text) const
{
    const QStringList names = namesIgnoringCase(text);
    if (names.isEmpty())
        return std::nullopt;
    return names.first();
}

bool FolderListing::holdsAnyIgnoringCase(const QStringList &names) const
{
    // An ASCII name equals an ASCII text only at the same length, so most
    // entries are passed over by their length alone.
    std::vector<bool> isAsciiName;
    std::vector<bool> asciiLengths;
    for (const QString &name : names) {
        isAsciiName.push_back(isAscii(name));
        if (isAsciiName.back()) {
            asciiLengths.resize(std::max(asciiLengths.size(), std::size_t(name.size()) + 1));
            asciiLengths[std::size_t(name.size())] = true;
        }
    }
    const bool allAscii = std::all_of(isAsciiName.begin(), isAsciiName.end(), [](bool ascii) { return ascii; });
    for (const Entry &entry : m_entries) {
        if (allAscii && entry.ascii
            && (std::size_t(entry.length) >= asciiLengths.size() || !asciiLengths[std::size_t(entry.length)]))
            continue;
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (equalIgnoringCase(entry, names[i], isAsciiName[std::size_t(i)]))
                return true;
        }
    }
    return false;
}

bool matchesPattern(const QString &name, const QString &pattern)
{
    // The common "*.ext" form without a regular expression.
    if (const std::optional<QStringView> suffix = simpleSuffix(pattern))
        return name.endsWith(*suffix, Qt::CaseInsensitive);
    return QDir::match(pattern, name); // ignores case
}

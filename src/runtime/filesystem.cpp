#include "runtime/filesystem.h"

#include "runtime/filename.h"
#include "runtime/places.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// The most a folder's size reserves up front for its listing.
constexpr off_t MaxReserveBytes = 64 * 1024 * 1024;

FileSignature signatureOf(const struct stat &info)
{
    return {true, S_ISREG(info.st_mode), quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
            qint64(info.st_mtim.tv_sec), qint64(info.st_mtim.tv_nsec)};
}

bool isFolder(const QString &path)
{
    struct stat info;
    return ::stat(fileNameFromText(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

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

char16_t asciiLower(char16_t c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
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

// A name taken from a listing, to be sorted: its text and, for an ASCII
// name, its bytes lower-cased, which compare as the texts would. The first
// 16 of those bytes are kept inline as numbers that compare as the bytes
// do, which settles most comparisons without following the pointer.
struct SortableName
{
    QString text;
    const char *folded; // null for a name that is not ASCII
    qsizetype length;
    std::array<std::uint64_t, 2> prefix;
};

std::array<std::uint64_t, 2> prefixOf(const char *folded, qsizetype length)
{
    std::array<std::uint64_t, 2> prefix{};
    for (qsizetype i = 0; i < std::min<qsizetype>(length, 16); ++i)
        prefix[std::size_t(i / 8)] |= std::uint64_t(static_cast<unsigned char>(folded[i])) << (56 - 8 * (i % 8));
    return prefix;
}

// Ignoring letter case; names equal but for case in byte order.
bool lessIgnoringCase(const SortableName &a, const SortableName &b)
{
    if (a.folded && b.folded) {
        // ASCII names hold no NUL, so a zero byte in the prefix only pads.
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const int order = std::memcmp(a.folded, b.folded, std::size_t(std::min(a.length, b.length)));
        if (order != 0 || a.length != b.length)
            return order != 0 ? order < 0 : a.length < b.length;
    } else if (const int order = compareIgnoringCase(a.text, b.text); order != 0) {
        return order < 0;
    }
    return a.text < b.text;
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

FileSignature FileSignature::of(const QString &path)
{
    struct stat info;
    if (::stat(fileNameFromText(path).constData(), &info) != 0)
        return {};
    return signatureOf(info);
}

std::optional<QString> existingFolder(const QString &text)
{
    QString path = text;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = homeFolder() + path.mid(1);
    // A NUL would cut the name short on its way to the file system.
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
        return std::nullopt;
    path = QDir::cleanPath(path);
    if (!isFolder(path))
        return std::nullopt;
    return path;
}

FolderListing::FolderListing(const QString &folder) : m_folder(folder), m_native(fileNameFromText(folder))
{
    std::unique_ptr<DIR, DirCloser> dir(::opendir(m_native.constData()));
    if (!dir)
        return;
    // Most file systems give a folder a size that grows with its names; as
    // a hint it spares a big folder's buffers most of their regrowing.
    struct stat info;
    if (::fstat(::dirfd(dir.get()), &info) != 0)
        info.st_size = 0;
    else
        m_signature = signatureOf(info);
    if (info.st_size > 0) {
        const qsizetype hint = qsizetype(std::min<off_t>(info.st_size, MaxReserveBytes));
        m_names.reserve(hint);
        m_entries.reserve(std::size_t(hint / 32));
    }
    while (const dirent *entry = ::readdir(dir.get())) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        const std::size_t length = std::strlen(name);
        m_entries.push_back({m_names.size(), qsizetype(length), entry->d_type, isAscii(name, length)});
        m_names.append(name, qsizetype(length) + 1);
    }
}

FolderListing::Kind FolderListing::kindOf(const Entry &entry) const
{
    if (entry.type == DT_DIR)
        return Kind::Folder;
    if (entry.type == DT_REG)
        return Kind::RegularFile;
    if (entry.type != DT_LNK && entry.type != DT_UNKNOWN)
        return Kind::Other;
    // Links and unknown types: look at what they lead to.
    struct stat info;
    const QByteArray path = m_native + '/' + name(entry);
    if (::stat(path.constData(), &info) != 0)
        return Kind::Other;
    if (S_ISDIR(info.st_mode))
        return Kind::Folder;
    return S_ISREG(info.st_mode) ? Kind::RegularFile : Kind::Other;
}

QStringList FolderListing::sorted(const std::vector<const Entry *> &picked) const
{
    // One buffer for the lower-cased ASCII names, at their offsets in m_names.
    QByteArray folded(m_names.size(), Qt::Uninitialized);
    std::vector<SortableName> names;
    names.reserve(picked.size());
    for (const Entry *entry : picked) {
        const char *raw = name(*entry);
        char *lower = nullptr;
        if (entry->ascii) {
            lower = folded.data() + entry->offset;
            for (qsizetype i = 0; i < entry->length; ++i)
                lower[i] = char(asciiLower(char16_t(raw[i])));
        }
        names.push_back({textFromFileName(raw), lower, entry->length,
                         lower ? prefixOf(lower, entry->length) : std::array<std::uint64_t, 2>{}});
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    QStringList texts;
    texts.reserve(qsizetype(names.size()));
    for (SortableName &sortable : names)
        texts.append(std::move(sortable.text));
    return texts;
}

QStringList FolderListing::subfolders() const
{
    std::vector<const Entry *> picked;
    for (const Entry &entry : m_entries) {
        if (kindOf(entry) == Kind::Folder)
            picked.push_back(&entry);
    }
    return sorted(picked);
}

QStringList FolderListing::files(const QString &pattern) const
{
    // Most names in a big folder do not match; those are left undecoded.
    const std::optional<QStringView> suffix = simpleSuffix(pattern);
    const bool asciiSuffix = suffix && isAscii(*suffix);
    std::vector<const Entry *> picked;
    for (const Entry &entry : m_entries) {
        const char *raw = name(entry);
        if (raw[0] == '.')
            continue;
        const bool matches = asciiSuffix && entry.ascii
                                 ? asciiEndsWithIgnoringCase(raw, entry.length, *suffix)
                                 : matchesPattern(textFromFileName(raw), pattern);
        if (matches && kindOf(entry) == Kind::RegularFile)
            picked.push_back(&entry);
    }
    return sorted(picked);
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

bool matchesPattern(const QString &name, const QString &pattern)
{
    // The common "*.ext" form without a regular expression.
    if (const std::optional<QStringView> suffix = simpleSuffix(pattern))
        return name.endsWith(*suffix, Qt::CaseInsensitive);
    return QDir::match(pattern, name); // ignores case
}

CaseInsensitiveFolder::CaseInsensitiveFolder(QString folder, const FolderListing *listing)
    : m_folder(std::move(folder)), m_listing(listing && listing->folder() == m_folder ? listing : nullptr)
{
}

CaseInsensitiveFolder::~CaseInsensitiveFolder() = default;

const FolderListing &CaseInsensitiveFolder::listing()
{
    if (!m_listing) {
        m_ownListing = std::make_unique<FolderListing>(m_folder);
        m_listing = m_ownListing.get();
    }
    return *m_listing;
}

QString CaseInsensitiveFolder::resolve(const QString &name)
{
    const QString exact = m_folder + QLatin1Char('/') + name;
    struct stat info;
    if (::lstat(fileNameFromText(exact).constData(), &info) == 0)
        return exact;
    if (const std::optional<QString> found = listing().nameIgnoringCase(name))
        return m_folder + QLatin1Char('/') + *found;
    return exact;
}

QStringList CaseInsensitiveFolder::matches(const QString &name)
{
    return listing().namesIgnoringCase(name);
}

// Bytes to an archive read as a folder: its index, every folder's listing
// and the letter-case look-up, and every entry read under a small limit.
// No entry may give more than the limit, and no read may inflate more than
// the limit and a byte.

#include "memoryfile.h"

#include "files/archive.h"
#include "files/archivefolder.h"
#include "files/filename.h"
#include "files/folderlisting.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr qint64 Limit = 64 * 1024;
constexpr int MostReads = 64;

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_archive: %s\n", what);
        std::abort();
    }
}

void walk(const std::shared_ptr<ArchiveReader> &reader, const QByteArray &folder, int &reads, int depth)
{
    const ArchiveIndex &index = reader->index();
    std::vector<std::pair<QByteArrayView, ArchiveIndex::EntryKind>> children;
    index.visitChildren(folder, [&](QByteArrayView name, ArchiveIndex::EntryKind kind) { children.emplace_back(name, kind); });
    ArchiveFolder listed(reader, folder);
    listed.listing().subfolders();
    listed.listing().nameIgnoringCase(QStringLiteral("background.bmp"));
    for (const auto &[child, kind] : children) {
        check(!child.isEmpty() && !child.contains('/') && child != ".." && child != ".", "a listed name is no single name");
        const QByteArray name = folder.isEmpty() ? child.toByteArray() : folder + '/' + child.toByteArray();
        if (kind == ArchiveIndex::EntryKind::Folder) {
            check(index.hasFolder(name), "a listed folder is not one");
            if (depth < 8)
                walk(reader, name, reads, depth + 1);
            continue;
        }
        check(index.entry(name) != nullptr, "a listed file is not found");
        if (reads++ >= MostReads)
            continue;
        const qint64 before = reader->inflatedBytes();
        try {
            const QByteArray bytes = reader->read(name, Limit);
            check(bytes.size() <= Limit, "an entry gave more than the limit");
        } catch (const InputFile::Error &) {
        }
        check(reader->inflatedBytes() - before <= Limit + 1, "a read inflated more than the limit");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MemoryFile file;
    const QString &path = file.hold(data, size);
    try {
        const auto reader = std::make_shared<ArchiveReader>(path);
        for (const ArchiveNotice &notice : reader->index().notices())
            readableArchiveName(notice.entry);
        int reads = 0;
        walk(reader, QByteArray(""), reads, 0);
    } catch (const InputFile::Error &) {
    }
    return 0;
}

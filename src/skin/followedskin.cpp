#include "skin/followedskin.h"

#include "files/error.h"
#include "files/folder.h"

#include "pictures/picture.h"

#include <QHash>

#include <algorithm>
#include <memory>

namespace {

// A digest of what a regular file holds, read before it is loaded, so
// that a write after the read shows as a change; none when it cannot be
// read.
// The digest is Qt's hash, chained over the pieces: within one run an
// accidental match is as unlikely as 2^-64, and it costs a fortieth of a
// cryptographic digest on a picture of some megabytes. Pieces of 64 KB
// come from the heap and reuse the same memory; larger ones would each get
// a fresh mapping, and its page faults would cost more than the hashing.
std::optional<size_t> contentOf(Folder &folder, const QString &name)
{
    try {
        InputFile file = folder.open(name, MaxPictureFileBytes);
        size_t digest = 0;
        for (QByteArray piece; !(piece = file.read(64 * 1024)).isEmpty();)
            digest = qHashBits(piece.constData(), size_t(piece.size()), digest);
        return digest;
    } catch (const RuntimeError &) {
        return std::nullopt;
    }
}

} // namespace

FollowedSkin::FollowedSkin(std::span<const SkinFile> steps, Watch watch)
    : m_steps(steps), m_watch(watch), m_seen(steps.size())
{
    connect(&m_watcher, &FolderWatcher::change, this, &FollowedSkin::change);
}

void FollowedSkin::start(const QString &folder, bool watched, const FolderListing *listing)
{
    m_folder = folder;
    const std::unique_ptr<Folder> files = folder.isEmpty() ? nullptr : openSkinFolder(folder, listing);
    // A skin in a top folder that is later moved out of it, or given a
    // sibling, is found again by F5 or by applying it again.
    m_watchedFolder = files && m_watch == Watch::SkinFolder ? files->path() : folder;
    m_watcher.follow(watched ? m_watchedFolder : QString());
    // By the exact names: a file found only by ignoring letter case is
    // taken for changed at the first change of its slot, and decoded once
    // more than needed, but the folder is not listed here.
    for (std::size_t i = 0; i < m_steps.size(); ++i) {
        const QString name = fileName(m_steps[i]);
        m_seen[i] = {files ? files->signature(name) : FileSignature(), std::nullopt};
        if (m_seen[i].signature.regularFile)
            m_seen[i].content = contentOf(*files, name);
    }
}

void FollowedSkin::setWatched(bool watched)
{
    const QString folder = watched ? m_watchedFolder : QString();
    if (m_watcher.folder() != folder)
        m_watcher.follow(folder);
}

void FollowedSkin::reload(SlotTarget &target, const FolderChanges &changes, const FolderListing *listing)
{
    if (m_folder.isEmpty() || changes.isEmpty())
        return;
    const std::unique_ptr<Folder> folder = openSkinFolder(m_folder, listing);
    std::vector<bool> handled(m_steps.size());
    for (std::size_t first = 0; first < m_steps.size(); ++first) {
        if (handled[first])
            continue;
        // The slot's steps, in loading order.
        const Slot slot = m_steps[first].slot;
        std::vector<std::size_t> steps;
        for (std::size_t i = first; i < m_steps.size(); ++i) {
            if (m_steps[i].slot == slot) {
                steps.push_back(i);
                handled[i] = true;
            }
        }
        if (std::none_of(steps.begin(), steps.end(), [&](std::size_t i) { return changes.touches(fileName(m_steps[i])); }))
            continue;

        std::vector<QString> names;
        std::vector<Seen> now;
        bool unchanged = true;
        for (std::size_t i : steps) {
            names.push_back(folder->resolve(fileName(m_steps[i])));
            const Seen &seen = m_seen[i];
            Seen file{folder->signature(names.back()), std::nullopt};
            if (file.signature.unchangedSince(seen.signature)) {
                file.content = seen.content;
            } else {
                // Maybe changed: what it holds tells.
                if (file.signature.regularFile)
                    file.content = contentOf(*folder, names.back());
                unchanged = unchanged && file.content && file.content == seen.content
                            && file.signature.regularFile == seen.signature.regularFile;
            }
            now.push_back(std::move(file));
        }
        if (unchanged) {
            for (std::size_t k = 0; k < steps.size(); ++k)
                m_seen[steps[k]] = now[k];
            continue;
        }

        // The last file that loads wins, as when the folder is loaded; a
        // file that was already there, as it is, and does not load is passed
        // over as then. One that changed and does not load is still being
        // written: the slot stays as it is, and the next change looks again.
        // (A target that decodes later, the selector, keeps its picture by
        // its own rule when the file does not decode.)
        bool settled = true;
        bool loaded = false;
        QString broken;
        for (std::size_t k = steps.size(); k-- > 0;) {
            if (!now[k].signature.regularFile)
                continue;
            try {
                target.loadFile(slot, *folder, names[k]);
                loaded = true;
                break;
            } catch (const RuntimeError &) {
                if (broken.isEmpty())
                    broken = folder->pathOf(names[k]);
                if (now[k].signature != m_seen[steps[k]].signature || now[k].content != m_seen[steps[k]].content) {
                    settled = false;
                    break;
                }
            }
        }
        if (!loaded)
            target.kept(slot, folder->path(), broken);
        if (settled) {
            for (std::size_t k = 0; k < steps.size(); ++k)
                m_seen[steps[k]] = now[k];
        }
    }
}

#pragma once

#include "files/filesignature.h"
#include "files/folderwatcher.h"
#include "skin/skinfiles.h"

#include <QObject>

#include <optional>
#include <span>
#include <vector>

class FolderListing;

// A skin folder that a window follows after loading it: the folder is
// watched, and after each settled change the slots whose files changed are
// loaded again, by the steps that loaded them, so that what the window
// shows stays what loading the folder anew would show. Only files that
// differ from when they were last read are decoded again: a change to a
// file that no slot uses, or one that left a file as it was, costs none.
// A file whose signature moved, or was too recent to be trusted when it
// was read (FileSignature::racy), is read and compared by what it holds.
//
// A file that changed and does not load (an editor is still writing it)
// leaves its slot as it is until the next change: a file that its writer
// made anew never shows half-written, and no other file's picture shows in
// the meantime. (A writer that overwrites in place and pauses longer than
// the quiet time is seen halfway; its last write loads the slot again.)
class FollowedSkin : public QObject
{
    Q_OBJECT

public:
    // What is watched for changes when the skin lies in the one top folder
    // of the folder followed (openSkinFolder): that inner folder, where its
    // files are saved, or the folder itself, whose lists a window shows.
    enum class Watch { SkinFolder, FolderShown };

    // steps: ApplySkinSteps for the preview window, BackgroundPreviewSteps
    // for the selector.
    explicit FollowedSkin(std::span<const SkinFile> steps, Watch watch = Watch::SkinFolder);

    const QString &folder() const { return m_folder; }

    // Follows folder from now on, watched or not (an empty folder follows
    // nothing): watches it, then notes how its files are. Call it before the
    // load that reads them, so that a change in between is not missed. A
    // listing of the folder read for the same event serves instead of
    // reading it again.
    void start(const QString &folder, bool watched, const FolderListing *listing = nullptr);
    void stop() { start({}, false); }

    // Starts or stops watching the folder followed, keeping what was noted
    // of its files: what changed meanwhile is found by reload() with
    // FolderChanges::all().
    void setWatched(bool watched);

    // Whether the kernel watches the folder itself now.
    bool isWatchingFolder() const { return m_watcher.isWatchingFolder(); }

    // The changes that the last change() reported, taken.
    FolderChanges takeChanges() { return m_watcher.takeChanges(); }

    // Loads again, into target, each slot one of whose files is among the
    // changes and differs from when it was last read. The folder is listed
    // at most once, for the letter-case look-up, and not at all when a
    // listing of it read for the same change is given.
    void reload(SlotTarget &target, const FolderChanges &changes, const FolderListing *listing = nullptr);

signals:
    // The folder settled after a change (see FolderWatcher).
    void change();

private:
    std::span<const SkinFile> m_steps;
    Watch m_watch;
    FolderWatcher m_watcher;
    QString m_folder;
    QString m_watchedFolder; // m_folder, or the skin's folder inside it
    // A file as last read: its signature, and a digest of what it held
    // when it was read, if it was.
    struct Seen
    {
        FileSignature signature;
        std::optional<size_t> content;
    };
    std::vector<Seen> m_seen; // per step
};

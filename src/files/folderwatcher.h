#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// What changed in a followed folder since the changes were last taken.
struct FolderChanges
{
    // The entries of the folder that were made, written, renamed, removed
    // or had their attributes changed, as names (files/filename.h).
    QSet<QString> names;
    // The folder itself was made again, came back or was replaced, or the
    // kernel dropped events: any entry may differ.
    bool everything = false;

    static FolderChanges all() { return {{}, true}; }
    bool isEmpty() const { return names.isEmpty() && !everything; }
    // Whether an entry of this name, ignoring letter case, may have changed.
    bool touches(const QString &name) const;
};

// Follows one folder through the kernel's notification (inotify), without
// polling: an idle folder costs no wake-up. Editors save in bursts (a file
// cut to nothing and written in pieces, a temporary file renamed over the
// old one, a file removed and made again), so change() is raised once the
// folder has been quiet for QuietMilliseconds after the last event.
//
// The folder is watched, not its files, so a file replaced by a rename is
// followed like any other. While the folder is missing (removed, renamed
// away, never made) its nearest existing ancestor is watched instead, and
// when the folder is back it is watched again and change() reports
// everything.
//
// A watch that cannot be added (the user's inotify limits are spent, a
// folder that cannot be read) leaves the watcher silent; following again
// tries anew.
class FolderWatcher : public QObject
{
    Q_OBJECT

public:
    // Long enough to take the pieces of one save together, short enough to
    // feel immediate.
    static constexpr int QuietMilliseconds = 50;

    explicit FolderWatcher(QObject *parent = nullptr);
    ~FolderWatcher() override;

    // Follows folder (an absolute path) from now on, dropping what was
    // pending; an empty folder follows nothing.
    void follow(const QString &folder);
    QString folder() const { return m_folder; }

    // Whether the kernel watches the folder itself.
    bool isWatchingFolder() const { return m_watch >= 0 && m_watched == m_native; }
    // Why nothing could be watched the last time a watch was placed (an
    // errno: EMFILE or ENOSPC for the user's inotify limits, EACCES), or 0.
    int error() const { return m_error; }

    // The changes gathered up to the last change(), taken.
    FolderChanges takeChanges();

signals:
    void change();

private:
    void readEvents();
    void watchNearest();
    void removeWatch();
    void settle();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_quiet;
    QString m_folder;
    QByteArray m_native;  // the folder's bytes
    QByteArray m_watched; // the folder, or the ancestor watched while it is missing
    int m_watch = -1;
    int m_error = 0;
    FolderChanges m_pending;
    FolderChanges m_settled;
};

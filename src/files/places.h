#pragma once

#include <QString>

#include <optional>

// The folders the program starts from, and the folder that a text names.
// Each is taken as the bytes the system gives and decoded as
// files/filename.h does, so that a path that is not UTF-8 still leads back
// to its folder.

// The working directory; empty if it cannot be read (it was removed).
QString workingDirectory();

// $HOME, or the password database's entry when it is unset or empty.
QString homeFolder();

// $XDG_DATA_HOME when it holds an absolute path, else ~/.local/share.
QString userDataFolder();

// The absolute, cleaned form of a folder text ("~" and "~/..." mean the home
// folder; no trailing "/" but for "/" itself; symbolic links kept as
// written), or nothing when the text is empty, relative or names no folder.
// A folder may lie inside an archive: "~/Downloads/Ember.zip",
// "/d/collection.7z/Ember" (files/archive.h).
std::optional<QString> existingFolder(const QString &text);

// A FOLDER given on a command line as an absolute path that leads where the
// file system leads, in both programs alike: the part up to its last ".."
// is resolved by the system (so "a/link/.." is the parent of the link's
// target, not "a"), the rest is kept as written, links and all, and only
// "." and doubled slashes go. A relative text is taken from the working
// directory.
QString resolvedFolder(const QString &folder);

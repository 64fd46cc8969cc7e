#pragma once

#include <QString>

// The folders the program starts from, taken as the bytes the system gives
// and decoded as files/filename.h does, so that a path that is not UTF-8
// still leads back to its folder.

// The working directory; empty if it cannot be read (it was removed).
QString workingDirectory();

// $HOME, or the password database's entry when it is unset or empty.
QString homeFolder();

// $XDG_DATA_HOME when it holds an absolute path, else ~/.local/share.
QString userDataFolder();

#pragma once

#include <QString>

#include <optional>
#include <string>
#include <vector>

// "skinpreview [OPTION]... [FOLDER]", read by the rule of
// commandline/options.h before any window system is chosen: --help,
// --version, a usage error and a FOLDER that is no folder are answered
// without a display. Qt's own options (-platform, -display, -style and the
// like, with their values) are kept for QApplication.
struct CommandLine
{
    // Set when the program ends at once with this status; what it had to
    // say is printed already.
    std::optional<int> exitStatus;
    // FOLDER as resolvedFolder() (files/places.h) gives it; empty without one.
    QString skinFolder;
    // The program's name and Qt's options, for QApplication, which keeps
    // both for as long as it lives.
    int qtArgc = 0;
    std::vector<char *> qtArgv;
    // The values of Qt's -platform and -display (or --platform, --display)
    // given last, which Qt takes over QT_QPA_PLATFORM and DISPLAY; empty
    // when not given.
    std::string qtPlatform;
    std::string qtDisplay;
};

CommandLine readCommandLine(int argc, char **argv);

// The program's name, first in each of its messages.
inline constexpr char ProgramName[] = "skinpreview";

// What --help prints.
extern const char SkinpreviewUsage[];

#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// How a program run by a test ended, and what it printed.
struct ProgramRun
{
    int status = -1; // -1 when it crashed or did not finish
    QString out;
    QString err; // "did not finish" when it had to be killed
};

// Runs program with arguments in directory, with extra added to the test's
// environment, and waits for it to end; one that takes longer than any run
// of a test should is killed.
ProgramRun runProgram(const QString &program, const QStringList &arguments, const QString &directory,
                      const QProcessEnvironment &extra = {});

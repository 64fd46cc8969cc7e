#include "support/programrun.h"

#include <QProcess>

namespace {

// Far more than any run of a test needs; a run that blocks on a FIFO or
// reads a huge file through would reach it.
constexpr int Patience = 120000;

} // namespace

ProgramRun runProgram(const QString &program, const QStringList &arguments, const QString &directory,
                      const QProcessEnvironment &extra)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(extra);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(directory);
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForFinished(Patience)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("did not finish");
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

#pragma once

#include "support/fixture.h"
#include "support/programrun.h"

#include <QColor>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QSize>
#include <QStringList>

// The base of the tests that run skintool as the test command builds it
// (SKINTOOL_BINARY; empty when a test runs without it), in the fixture's
// working directory.
class SkintoolFixture : public Fixture
{
protected:
    static QString binary() { return qEnvironmentVariable("SKINTOOL_BINARY"); }

    ProgramRun skintool(const QStringList &arguments, const QProcessEnvironment &extra = {}) const
    {
        return runProgram(binary(), arguments, workDir(), extra);
    }

    // A folder with every slot's plain file at its slot's size, each in a
    // colour of its own; returns its path.
    QString cleanSkin(const QString &relative) const
    {
        writeBmp(relative + QStringLiteral("/background.bmp"), QColor(0x20, 0x40, 0x90), QSize(800, 600));
        writeBmp(relative + QStringLiteral("/sticker_background.bmp"), QColor(0x30, 0xa0, 0x30), QSize(178, 357));
        writeBmp(relative + QStringLiteral("/backsettings.bmp"), QColor(0xa0, 0x30, 0x30), QSize(615, 599));
        writeBmp(relative + QStringLiteral("/backscreensaver.bmp"), QColor(0xa0, 0xa0, 0x30), QSize(615, 599));
        writeBmp(relative + QStringLiteral("/backadvanced.bmp"), QColor(0x30, 0xa0, 0xa0), QSize(615, 599));
        return path(relative);
    }

    // The JSON report of check on one folder; with status, its exit status.
    QJsonObject checkJson(const QString &folder, int *status = nullptr) const
    {
        const ProgramRun run = skintool({QStringLiteral("check"), QStringLiteral("--json"), folder});
        if (status)
            *status = run.status;
        return QJsonDocument::fromJson(run.out.toUtf8())[QStringLiteral("folders")][0].toObject();
    }
};

#pragma once

#include "support/fixture.h"
#include "support/programrun.h"

#include <QProcessEnvironment>
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
};

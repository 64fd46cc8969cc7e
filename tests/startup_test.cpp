#include "support/fixture.h"

#include <QTest>

class Startup_testPlaceholder : public Fixture
{
    Q_OBJECT
};

QTEST_MAIN(Startup_testPlaceholder)
#include "startup_test.moc"

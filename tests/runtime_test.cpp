#include "support/fixture.h"

#include <QTest>

class Runtime_testPlaceholder : public Fixture
{
    Q_OBJECT
};

QTEST_MAIN(Runtime_testPlaceholder)
#include "runtime_test.moc"

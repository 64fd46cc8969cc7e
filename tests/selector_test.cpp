#include "support/fixture.h"

#include <QTest>

class Selector_testPlaceholder : public Fixture
{
    Q_OBJECT
};

QTEST_MAIN(Selector_testPlaceholder)
#include "selector_test.moc"

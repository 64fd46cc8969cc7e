#include "support/fixture.h"

#include <QTest>

class Skin_testPlaceholder : public Fixture
{
    Q_OBJECT
};

QTEST_MAIN(Skin_testPlaceholder)
#include "skin_test.moc"

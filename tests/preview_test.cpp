#include "support/fixture.h"

#include <QTest>

class Preview_testPlaceholder : public Fixture
{
    Q_OBJECT
};

QTEST_MAIN(Preview_testPlaceholder)
#include "preview_test.moc"

#include "support/fixture.h"

#include <QTest>

class Textfile_testPlaceholder : public Fixture
{
    Q_OBJECT
};

QTEST_MAIN(Textfile_testPlaceholder)
#include "textfile_test.moc"

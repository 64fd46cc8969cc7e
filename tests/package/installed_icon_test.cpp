// The icons that `cmake --install` puts into the hicolor theme, checked
// against the icon the program's windows bear. The install tree is made by
// the install_tree test; its prefix comes in SKINPREVIEW_INSTALLED_PREFIX.

#include "app/forms.h"
#include "preview/form1.h"
#include "selector/form2.h"
#include "support/fixture.h"

#include <QIcon>
#include <QImage>
#include <QWidget>
#include <QtTest>

namespace {

const QString appId = QStringLiteral("org.skinpreview.SkinPreview");

QString installedIcon(int size)
{
    return qEnvironmentVariable("SKINPREVIEW_INSTALLED_PREFIX")
           + QStringLiteral("/share/icons/hicolor/%1x%1/apps/").arg(size) + appId
           + QStringLiteral(".png");
}

QImage windowIcon(QWidget &window)
{
    return window.windowIcon().pixmap(QSize(64, 64)).toImage().convertToFormat(QImage::Format_ARGB32);
}

QString describe(QPoint p, QRgb got, QRgb want)
{
    return QStringLiteral("at %1,%2: installed #%3 (alpha %4), window icon #%5")
        .arg(p.x())
        .arg(p.y())
        .arg(got & 0xFFFFFF, 6, 16, QLatin1Char('0'))
        .arg(qAlpha(got))
        .arg(want & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

} // namespace

class InstalledIconTest : public Fixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("SKINPREVIEW_INSTALLED_PREFIX"))
            QSKIP("SKINPREVIEW_INSTALLED_PREFIX is not set; run this through ctest");
    }

    void eachSizeIsARealIcon_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("64") << 64;
        QTest::newRow("128") << 128;
        QTest::newRow("256") << 256;
    }

    // Each file has the size of the theme folder it lies in, and it is an
    // icon, not a square picture: the corners are see-through while the
    // middle is covered.
    void eachSizeIsARealIcon()
    {
        QFETCH(int, size);
        QImage icon(installedIcon(size));
        QVERIFY2(!icon.isNull(), qPrintable(installedIcon(size) + QStringLiteral(" does not load")));
        QCOMPARE(icon.size(), QSize(size, size));
        QVERIFY(icon.hasAlphaChannel());
        icon = icon.convertToFormat(QImage::Format_ARGB32);
        for (const QPoint corner : {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1),
                                    QPoint(size - 1, size - 1)})
            QCOMPARE(qAlpha(icon.pixel(corner)), 0);
        QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255);
    }

    void matchesTheWindowIcon_data()
    {
        QTest::addColumn<int>("form");
        QTest::newRow("Form1") << 1;
        QTest::newRow("Form2") << 2;
    }

    // The installed 64 x 64 icon is the windows' icon with transparent
    // corners. The window icon has no alpha channel (its corners are white),
    // so every pixel that is opaque in the installed icon must equal the
    // window icon's pixel exactly; the see-through and half-covered pixels of
    // the rounded edge must equal the installed pixel laid over white, give
    // or take one for the rounding of the blend.
    void matchesTheWindowIcon()
    {
        QFETCH(int, form);
        const QImage installed =
            QImage(installedIcon(64)).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(installed.size(), QSize(64, 64));
        const QImage window = windowIcon(form == 1 ? form1().window() : form2().window());
        QCOMPARE(window.size(), QSize(64, 64));

        int opaque = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const QRgb got = installed.pixel(x, y);
                const QRgb want = window.pixel(x, y);
                QCOMPARE(qAlpha(want), 255);
                if (qAlpha(got) == 255) {
                    ++opaque;
                    QVERIFY2((got & 0xFFFFFF) == (want & 0xFFFFFF),
                             qPrintable(describe({x, y}, got, want)));
                    continue;
                }
                const auto overWhite = [&](int channel) {
                    return (channel * qAlpha(got) + 255 * (255 - qAlpha(got)) + 127) / 255;
                };
                QVERIFY2(qAbs(overWhite(qRed(got)) - qRed(want)) <= 1
                             && qAbs(overWhite(qGreen(got)) - qGreen(want)) <= 1
                             && qAbs(overWhite(qBlue(got)) - qBlue(want)) <= 1,
                         qPrintable(describe({x, y}, got, want)));
            }
        }
        // Only the rounded edge is see-through: nearly all of the drawing is
        // compared exactly.
        QVERIFY2(opaque > 64 * 64 * 3 / 4, qPrintable(QString::number(opaque)));
    }
};

QTEST_MAIN(InstalledIconTest)
#include "installed_icon_test.moc"

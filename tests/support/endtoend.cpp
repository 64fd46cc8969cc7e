#include "support/endtoend.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTest>

QString EndToEndFixture::screenshotPath(const QString &name) const
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name + QStringLiteral(".png");
}

void EndToEndFixture::saveScreenshot(const QString &name) const
{
    screenshot().copy(QRect(PreviewOrigin, QSize(800, 600))).save(screenshotPath(name));
}

void EndToEndFixture::start(const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataDir());
    m_program.setProcessEnvironment(env);
    m_program.setWorkingDirectory(workDir());
    // Now and then the X server refuses a new connection for a moment;
    // that is the test bench's trouble, not the program's, so try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_program.start(qEnvironmentVariable("SKINPREVIEW_BINARY"), arguments);
        QVERIFY(m_program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(findWindow(QStringLiteral("Form1")).has_value()
                                     || m_program.state() == QProcess::NotRunning,
                                 Patience);
        if (m_program.state() == QProcess::Running
            || !m_program.readAllStandardError().contains("could not connect to display"))
            break;
        QTest::qWait(500);
    }
    QVERIFY2(findWindow(QStringLiteral("Form1")).has_value(),
             qPrintable(QStringLiteral("no preview window; program %1, stderr: %2")
                            .arg(m_program.state() == QProcess::Running ? "running" : "ended")
                            .arg(QString::fromLocal8Bit(m_program.readAllStandardError()))));
    QTest::qWait(300); // first paint
}

QImage EndToEndFixture::previewOnScreen(const QImage &expected) const
{
    const QDeadlineTimer deadline(Patience);
    QImage shown;
    do {
        shown = screenshot().copy(QRect(PreviewOrigin, QSize(800, 600))).convertToFormat(QImage::Format_RGB32);
        if (differences(shown, expected).isEmpty())
            return shown;
        QTest::qWait(200);
    } while (!deadline.hasExpired());
    shown.save(screenshotPath(QStringLiteral("mismatch-") + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-')));
    return shown;
}

int EndToEndFixture::finish()
{
    if (!m_program.waitForFinished(Patience)) {
        m_program.kill();
        m_program.waitForFinished();
        return -1;
    }
    return m_program.exitStatus() == QProcess::NormalExit ? m_program.exitCode() : -1;
}

void EndToEndFixture::cleanup()
{
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished();
    }
}

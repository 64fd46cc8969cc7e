#pragma once

#include "support/fixture.h"
#include "support/xsession.h"

#include <QImage>
#include <QProcess>
#include <QStringList>

// The base of the end-to-end tests: runs the real program
// (SKINPREVIEW_BINARY) in the X server of DISPLAY, in the fixture's working
// folder and with its data folder, and stops it after each test.
class EndToEndFixture : public Fixture
{
    Q_OBJECT

protected:
    QProcess m_program;

    // Where the tests keep their screenshots: beside the test program.
    QString screenshotPath(const QString &name) const;
    void saveScreenshot(const QString &name) const;

    // Starts the program and waits for its preview window to show.
    void start(const QStringList &arguments = {});

    // The preview window's rectangle on the screen, once it shows expected
    // or the patience is spent; a failing one is kept with the screenshots.
    QImage previewOnScreen(const QImage &expected) const;

    // Waits for the program to end by itself; returns its exit status.
    int finish();

private slots:
    void cleanup();
};

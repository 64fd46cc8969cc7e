#include "support/qt_setup.h"

#include "app/forms.h"

#include <QImageReader>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>

namespace bench {

namespace {

// The offscreen platform's notes ("does not support raise()") are no
// figures; only fatal messages get through.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

void decodeEach(const QStringList &paths)
{
    for (const QString &path : paths) {
        QImageReader reader(path);
        QImage image = reader.read();
        benchmark::DoNotOptimize(image.constBits());
    }
}

QtSetup::QtSetup(int &argc, char **argv)
{
    lineBufferedOutput();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    makeFolder(m_temp / "work");
    makeFolder(m_temp / "data");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_temp / "data"));
    if (::chdir((m_temp / "work").c_str()) != 0)
        fail("cannot enter the working folder");
    qInstallMessageHandler(quietMessages);
    m_app = std::make_unique<QApplication>(argc, argv);
}

QtSetup::~QtSetup()
{
    releaseForms();
    m_app.reset();
    // Leave the folder before it is removed.
    if (::chdir("/") != 0) {
    }
}

} // namespace bench

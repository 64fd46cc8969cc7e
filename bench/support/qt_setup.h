#pragma once

#include "support/fixtures.h"

#include <QApplication>
#include <QStringList>

#include <memory>

namespace bench {

// What the in-process benchmarks share: a QApplication on the offscreen
// platform (unless the caller chose one), and a working folder and data
// folder of their own, so that nothing of the user's is read or written.
class QtSetup
{
public:
    QtSetup(int &argc, char **argv);
    ~QtSetup();

    TempFolder &temp() { return m_temp; }

private:
    TempFolder m_temp;
    std::unique_ptr<QApplication> m_app;
};

// The baseline of loading a skin: each file decoded with Qt's image
// reader, nothing else, one after the other (each picture is dropped
// before the next is read, as a slot drops its earlier picture).
void decodeEach(const QStringList &paths);

} // namespace bench

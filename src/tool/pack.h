#pragma once

#include "tool/commandline.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <memory>
#include <span>

namespace skintool {

// A zip written a file at a time, the bytes handed to a sink as they are
// made: the files at its root in the order added, deflated, each with the
// same time, owner and permissions, so that the same files always give the
// same bytes, whatever the machine, the user or the time zone. Names are
// written in UTF-8, flagged as such where they are not ASCII. Raises
// RuntimeError when the archive library fails, or when the sink does.
class ZipWriter
{
public:
    using Sink = std::function<void(QByteArrayView)>;

    explicit ZipWriter(Sink sink);
    ~ZipWriter();
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;

    void add(const QString &name, QByteArrayView content);
    // Writes the zip's directory; nothing may be added after it.
    void finish();

private:
    struct Archive;
    std::unique_ptr<Archive> m_archive;
};

// "skintool pack FOLDER --out NAME.zip [--force]"
std::span<const OptionSpec> packOptions();
int runPack(const Arguments &arguments);

} // namespace skintool

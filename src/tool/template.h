#pragma once

#include "tool/commandline.h"

#include <span>

namespace skintool {

// "skintool template [--out DIR]": a new skin to start from, the built-in
// look as five 24-bit uncompressed BMPs at their designed sizes, with a
// transparent guides picture for each in guides/ to lay over it. Writes
// nothing if any of its files exists already.
std::span<const OptionSpec> templateOptions();
int runTemplate(const Arguments &arguments);

} // namespace skintool

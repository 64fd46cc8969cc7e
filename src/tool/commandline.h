#pragma once

namespace skintool {

// Runs "skintool COMMAND [OPTION]... FOLDER..." and returns its exit
// status: 0 done, 1 the check found errors (or warnings with --strict),
// 2 a usage error, a FOLDER that is missing or not a folder, or output
// that cannot be written.
int run(int argc, char **argv);

} // namespace skintool

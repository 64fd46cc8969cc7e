#pragma once

// Test data that the benchmarks make for themselves, in a temporary folder
// that goes away with them. Plain C++ and POSIX, so that the start-up
// benchmark, which must stay small, can use it without Qt.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace bench {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it
// when the object goes, or by fail().
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &path() const { return m_path; }
    std::string operator/(const std::string &relative) const { return m_path + '/' + relative; }

private:
    std::string m_path;
};

// Makes standard output line-buffered, so that piped through tee the
// figures and the progress notes on standard error keep their order.
void lineBufferedOutput();

// Stops the benchmark program with a message; fixtures that cannot be made
// leave nothing worth measuring.
[[noreturn]] void fail(const std::string &what);

void makeFolder(const std::string &path);            // with its parents
void writeFile(const std::string &path, const std::string &bytes);
void touchFile(const std::string &path);             // an empty file

// A 24-bit BMP of the given size with a colour gradient.
void writeBmp(const std::string &path, int width, int height, uint32_t seed);
// A 24-bit BMP of a gradient with grain on it, which compresses about as
// badly as a photograph or a painted skin does.
void writeGrainyBmp(const std::string &path, int width, int height, uint32_t seed);
// A 24-bit BMP of one colour, given as 0xRRGGBB.
void writePlainBmp(const std::string &path, int width, int height, uint32_t rgb);

// The nine files of a complete skin, each at its slot's full size; the
// grainy kind for pictures that compress like real ones.
void writeFullSkin(const std::string &folder);
void writeGrainySkin(const std::string &folder, uint32_t seed);
std::vector<std::string> fullSkinFiles(); // their names
// The bytes of the pictures that a program holds with that skin applied, at
// 32 bits a pixel: one for each of the preview window's five slots, and the
// selector's background.
long long fullSkinHeldBytes();

// The entries of a folder counted with a plain readdir loop, "." and ".."
// included; what any listing of the folder has to pay at least.
long readdirCount(const std::string &folder);

// Resident memory of this process in megabytes.
double residentMegabytes();

// What a thread of a running process has used so far: CPU time, from the
// scheduler's nanosecond counts, and how often it has given up the CPU or
// been made to (voluntary and involuntary context switches): its wake-ups.
struct ThreadUsage
{
    double cpuSeconds = 0;
    long contextSwitches = 0;
};

// Each thread of a running process, by its id. A thread that has ended is
// no longer there, and neither is what it used.
std::map<int, ThreadUsage> threadUsageOf(int process);

// The CPU time that the calling thread has used so far, in seconds.
double threadCpuSeconds();

// The CPU time that a running process has used so far, all its threads
// together.
double cpuSecondsOf(int process);

} // namespace bench

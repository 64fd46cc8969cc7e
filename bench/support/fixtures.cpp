#include "support/fixtures.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace bench {

namespace {

struct SkinPicture
{
    const char *name;
    int width;
    int height;
};

// Each file at the size of the slot it fills.
constexpr SkinPicture FullSkin[] = {
    {"background_us.bmp", 800, 600},      {"background.bmp", 800, 600},
    {"sticker_background.bmp", 178, 357}, {"backsettings_us.bmp", 615, 599},
    {"backscreensaver_us.bmp", 615, 599}, {"backadvanced_us.bmp", 615, 599},
    {"backsettings.bmp", 615, 599},       {"backscreensaver.bmp", 615, 599},
    {"backadvanced.bmp", 615, 599},
};

// The temporary folders still there, for fail() to remove.
std::vector<std::string> &liveFolders()
{
    static std::vector<std::string> folders;
    return folders;
}

void putLittleEndian(std::string &out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xff);
}

} // namespace

void lineBufferedOutput()
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

void fail(const std::string &what)
{
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    for (const std::string &folder : liveFolders()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::exit(2);
}

TempFolder::TempFolder()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/skinpreview-bench-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        fail("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    m_path = pattern;
    liveFolders().push_back(m_path);
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
    std::erase(liveFolders(), m_path);
}

void makeFolder(const std::string &path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error)
        fail("cannot make " + path + ": " + error.message());
}

void writeFile(const std::string &path, const std::string &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("cannot write " + path + ": " + std::strerror(errno));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written <= 0) {
            ::close(fd);
            fail("cannot write " + path);
        }
        done += std::size_t(written);
    }
    ::close(fd);
}

void touchFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("cannot make " + path + ": " + std::strerror(errno));
    ::close(fd);
}

namespace {

// A 24-bit bottom-up BMP whose pixel at x, y is colour(x, y) as 0xRRGGBB.
template <class Colour>
void writeBmpOf(const std::string &path, int width, int height, Colour colour)
{
    const int rowBytes = (width * 3 + 3) & ~3;
    const uint32_t pixelBytes = uint32_t(rowBytes) * uint32_t(height);
    std::string out;
    out.reserve(54 + pixelBytes);
    out += "BM";
    putLittleEndian(out, 54 + pixelBytes, 4);
    putLittleEndian(out, 0, 4);
    putLittleEndian(out, 54, 4);  // where the pixels start
    putLittleEndian(out, 40, 4);  // BITMAPINFOHEADER
    putLittleEndian(out, uint32_t(width), 4);
    putLittleEndian(out, uint32_t(height), 4); // bottom-up
    putLittleEndian(out, 1, 2);
    putLittleEndian(out, 24, 2);
    putLittleEndian(out, 0, 4);   // no compression
    putLittleEndian(out, pixelBytes, 4);
    putLittleEndian(out, 2835, 4);
    putLittleEndian(out, 2835, 4);
    putLittleEndian(out, 0, 4);
    putLittleEndian(out, 0, 4);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x)
            putLittleEndian(out, colour(x, y), 3); // blue, green, red
        out.append(std::size_t(rowBytes - width * 3), '\0');
    }
    writeFile(path, out);
}

} // namespace

void writeBmp(const std::string &path, int width, int height, uint32_t seed)
{
    writeBmpOf(path, width, height, [seed](int x, int y) {
        return (uint32_t((x + y + 7 * seed) & 0xff) << 16) | (uint32_t((y + 3 * seed) & 0xff) << 8)
               | uint32_t((x + seed) & 0xff);
    });
}

void writeGrainyBmp(const std::string &path, int width, int height, uint32_t seed)
{
    uint32_t state = seed * 2654435761u + 1;
    writeBmpOf(path, width, height, [&](int x, int y) {
        state = state * 1664525u + 1013904223u; // a linear congruential generator
        const auto grain = [&](int shift) { return int((state >> shift) & 0x1f) - 16; };
        const auto channel = [](int value) { return uint32_t(std::clamp(value, 0, 255)); };
        return channel((x + 40 * int(seed)) / 4 + grain(8)) << 16 | channel(y / 3 + grain(16)) << 8
               | channel((x + y) / 6 + grain(24));
    });
}

void writePlainBmp(const std::string &path, int width, int height, uint32_t rgb)
{
    writeBmpOf(path, width, height, [rgb](int, int) { return rgb; });
}

long long fullSkinHeldBytes()
{
    // The last file of each slot's pair is the one the slot keeps; the
    // selector's background is the size of the preview window's.
    long long bytes = 0;
    for (const SkinPicture &picture : FullSkin) {
        const std::string name = picture.name;
        if (name.find("_us.bmp") == std::string::npos)
            bytes += 4LL * picture.width * picture.height;
    }
    return bytes + 4LL * 800 * 600;
}

void writeGrainySkin(const std::string &folder, uint32_t seed)
{
    makeFolder(folder);
    for (const SkinPicture &picture : FullSkin)
        writeGrainyBmp(folder + '/' + picture.name, picture.width, picture.height, seed++);
}

std::vector<std::string> fullSkinFiles()
{
    std::vector<std::string> names;
    for (const SkinPicture &picture : FullSkin)
        names.emplace_back(picture.name);
    return names;
}

void writeFullSkin(const std::string &folder)
{
    makeFolder(folder);
    uint32_t seed = 1;
    for (const SkinPicture &picture : FullSkin)
        writeBmp(folder + '/' + picture.name, picture.width, picture.height, seed++);
}

long readdirCount(const std::string &folder)
{
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return -1;
    long count = 0;
    while (const dirent *entry = ::readdir(dir))
        count += entry->d_name[0] != '\0';
    ::closedir(dir);
    return count;
}

double residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

std::map<int, ThreadUsage> threadUsageOf(int process)
{
    std::map<int, ThreadUsage> threads;
    std::error_code error;
    for (const auto &task : std::filesystem::directory_iterator("/proc/" + std::to_string(process) + "/task", error)) {
        ThreadUsage &usage = threads[std::stoi(task.path().filename().string())];
        std::ifstream schedstat(task.path() / "schedstat");
        unsigned long long nanoseconds = 0;
        if (schedstat >> nanoseconds)
            usage.cpuSeconds = double(nanoseconds) / 1e9;
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.starts_with("voluntary_ctxt_switches:") || line.starts_with("nonvoluntary_ctxt_switches:"))
                usage.contextSwitches += std::stol(line.substr(line.find(':') + 1));
        }
    }
    return threads;
}

double cpuSecondsOf(int process)
{
    double seconds = 0;
    for (const auto &[thread, usage] : threadUsageOf(process))
        seconds += usage.cpuSeconds;
    return seconds;
}

double threadCpuSeconds()
{
    timespec now = {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace bench

// libarchive, loaded when an archive is first opened rather than when a
// program starts: a start that opens no archive, the usual one, maps
// neither the library nor what it links (libxml2, nettle, acl, bzip2),
// about 0.8 MB of memory and a thousand relocations. Each function that the
// programs call is defined here, with the library's own declaration, and
// hands over to the library's function, found on its first call.

#include <archive.h>
#include <archive_entry.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

// The library's soname, which the package depends on. Without it no
// archive can be read at all: an installation that lost it ends the
// program with the loader's reason and status (127), as a start without it
// would have, which no other outcome of the programs shares.
constexpr const char *LibraryName = "libarchive.so.13";

[[noreturn]] void missing(const char *what)
{
    std::fprintf(stderr, "%s: cannot load %s: %s\n", program_invocation_short_name, LibraryName, what);
    ::_exit(127);
}

void *library()
{
    static void *const handle = [] {
        void *const opened = ::dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
        if (!opened)
            missing(::dlerror());
        return opened;
    }();
    return handle;
}

template <typename Function>
Function *found(const char *name)
{
    void *const function = ::dlsym(library(), name);
    if (!function)
        missing(::dlerror());
    return reinterpret_cast<Function *>(function);
}

} // namespace

// The compiler holds each definition to the header's declaration of the
// same name.
#define HAND_OVER(result, name, parameters, arguments)                 \
    extern "C" result name parameters                                  \
    {                                                                  \
        static auto *const real = found<decltype(name)>(#name);        \
        return real arguments;                                         \
    }

// Reading
HAND_OVER(struct archive *, archive_read_new, (void), ())
HAND_OVER(int, archive_read_free, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_filter_bzip2, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_filter_compress, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_filter_gzip, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_filter_lz4, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_filter_lzip, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_filter_lzma, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_filter_xz, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_filter_zstd, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_format_7zip, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_format_rar, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_format_rar5, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_format_tar, (struct archive *a), (a))
HAND_OVER(int, archive_read_support_format_zip_seekable, (struct archive *a), (a))
HAND_OVER(int, archive_read_open_fd, (struct archive *a, int fd, size_t blockSize), (a, fd, blockSize))
HAND_OVER(int, archive_read_next_header, (struct archive *a, struct archive_entry **entry), (a, entry))
HAND_OVER(la_ssize_t, archive_read_data, (struct archive *a, void *buffer, size_t size), (a, buffer, size))
HAND_OVER(int, archive_read_has_encrypted_entries, (struct archive *a), (a))
HAND_OVER(int, archive_format, (struct archive *a), (a))
HAND_OVER(int, archive_filter_count, (struct archive *a), (a))
HAND_OVER(la_int64_t, archive_filter_bytes, (struct archive *a, int filter), (a, filter))
HAND_OVER(const char *, archive_error_string, (struct archive *a), (a))

// Entries
HAND_OVER(struct archive_entry *, archive_entry_new, (void), ())
HAND_OVER(void, archive_entry_free, (struct archive_entry *e), (e))
HAND_OVER(const char *, archive_entry_pathname, (struct archive_entry *e), (e))
HAND_OVER(const char *, archive_entry_pathname_utf8, (struct archive_entry *e), (e))
HAND_OVER(const char *, archive_entry_hardlink, (struct archive_entry *e), (e))
HAND_OVER(__LA_MODE_T, archive_entry_filetype, (struct archive_entry *e), (e))
HAND_OVER(la_int64_t, archive_entry_size, (struct archive_entry *e), (e))
HAND_OVER(int, archive_entry_size_is_set, (struct archive_entry *e), (e))
HAND_OVER(int, archive_entry_is_encrypted, (struct archive_entry *e), (e))
HAND_OVER(void, archive_entry_set_pathname_utf8, (struct archive_entry *e, const char *name), (e, name))
HAND_OVER(void, archive_entry_set_filetype, (struct archive_entry *e, unsigned int type), (e, type))
HAND_OVER(void, archive_entry_set_perm, (struct archive_entry *e, __LA_MODE_T mode), (e, mode))
HAND_OVER(void, archive_entry_set_size, (struct archive_entry *e, la_int64_t size), (e, size))
HAND_OVER(void, archive_entry_set_mtime, (struct archive_entry *e, time_t seconds, long nanoseconds),
          (e, seconds, nanoseconds))
HAND_OVER(void, archive_entry_set_uid, (struct archive_entry *e, la_int64_t uid), (e, uid))
HAND_OVER(void, archive_entry_set_gid, (struct archive_entry *e, la_int64_t gid), (e, gid))

// Writing (skintool pack)
HAND_OVER(struct archive *, archive_write_new, (void), ())
HAND_OVER(int, archive_write_free, (struct archive *a), (a))
HAND_OVER(int, archive_write_set_format_zip, (struct archive *a), (a))
HAND_OVER(int, archive_write_set_options, (struct archive *a, const char *options), (a, options))
HAND_OVER(int, archive_write_set_bytes_in_last_block, (struct archive *a, int bytes), (a, bytes))
HAND_OVER(int, archive_write_open2,
          (struct archive *a, void *data, archive_open_callback *open, archive_write_callback *write,
           archive_close_callback *close, archive_free_callback *free),
          (a, data, open, write, close, free))
HAND_OVER(int, archive_write_header, (struct archive *a, struct archive_entry *e), (a, e))
HAND_OVER(la_ssize_t, archive_write_data, (struct archive *a, const void *buffer, size_t size), (a, buffer, size))
HAND_OVER(int, archive_write_finish_entry, (struct archive *a), (a))
HAND_OVER(int, archive_write_close, (struct archive *a), (a))

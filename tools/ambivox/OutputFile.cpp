#include "tools/ambivox/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace ambivox::cli {

namespace {

[[noreturn]] void fail(int error, std::string const& what) {
    throw std::system_error(error, std::generic_category(), what);
}

// The mode a file created with open() would have: mkstemp makes it private to its owner, and
// the collector reading it usually runs as another user.
mode_t created_mode() {
    mode_t const mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void OutputFile::replace(std::string const& path, std::string_view text) {
    std::size_t const slash = path.rfind('/');
    std::string const folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string const name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "." + name + ".XXXXXX";
    int const fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd == -1) fail(errno, "cannot create a file beside " + path);
    int failure = ::fchmod(fd, created_mode()) == 0 ? 0 : errno;
    for (std::size_t done = 0; failure == 0 && done < text.size();) {
        ssize_t const n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0)
            failure = EIO;
        else if (errno != EINTR)
            failure = errno;
    }
    if (failure == 0 && ::fsync(fd) != 0) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) == 0) return;
    if (failure == 0) failure = errno;
    ::unlink(temporary.c_str());
    fail(failure, "cannot write " + path);
}

}  // namespace ambivox::cli

#include "netsteer/control/state_file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <string>

#include "common/wide_text.h"

namespace netsteer {
namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A regular file (not a FIFO or device, and with O_NOFOLLOW no symbolic link)
// with one name, owned by this process's user or root.
bool IsTrustedFile(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return false;
    }
    return S_ISREG(info.st_mode) && info.st_nlink == 1 &&
           (info.st_uid == ::geteuid() || info.st_uid == 0);
}

}  // namespace

bool ReadFileHead(const std::wstring& path, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // O_NONBLOCK: opening a planted FIFO must not wait for a writer.
    FileDescriptor file(
        ::open(velk::WideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!file.Valid() || !IsTrustedFile(file.Get())) {
        return false;
    }
    char buffer[4096];
    while (bytes.size() < maxBytes) {
        const std::size_t want = std::min(sizeof buffer, maxBytes - bytes.size());
        const ssize_t n = ::read(file.Get(), buffer, want);
        if (n <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

bool ReplaceFileAtomically(const std::wstring& path, const std::string& bytes) {
    const std::string target = velk::WideToUtf8(path);
    // O_EXCL: a name that someone else created in the meantime (a link, say)
    // is never written through.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary =
            target + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".tmp";
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    }
    FileDescriptor file(fd);
    if (!file.Valid()) {
        return false;
    }
    const bool written = WriteAll(file.Get(), bytes) && ::fsync(file.Get()) == 0;
    bool replaced = file.Close() && written && ::rename(temporary.c_str(), target.c_str()) == 0;
    // A folder someone made at the path would otherwise refuse every state
    // for good: it is moved aside and the rename tried again.
    struct stat there {};
    if (!replaced && written && ::lstat(target.c_str(), &there) == 0 && S_ISDIR(there.st_mode) &&
        ::rename(target.c_str(), (target + "." + std::to_string(::time(nullptr))).c_str()) == 0) {
        replaced = ::rename(temporary.c_str(), target.c_str()) == 0;
    }
    if (!replaced) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable.
    FileDescriptor directory(::open(DirectoryOf(target).c_str(), O_RDONLY | O_CLOEXEC));
    if (directory.Valid()) {
        ::fsync(directory.Get());
    }
    return true;
}

void RemoveFile(const std::wstring& path) {
    ::unlink(velk::WideToUtf8(path).c_str());
}

}  // namespace netsteer

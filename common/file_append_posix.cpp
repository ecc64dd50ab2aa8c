#include "common/file_append.h"

#include <fcntl.h>
#include <unistd.h>

#include "common/log_entry.h"
#include "common/wide_text.h"

namespace velk {

extern const LineEnd kPlatformLineEnd = LineEnd::Lf;

bool AppendToFile(const std::wstring& path, const std::string& bytes) {
    const int fd =
        ::open(WideToUtf8(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return done == bytes.size();
}

}  // namespace velk

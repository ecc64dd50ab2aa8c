// A child program for the command runner tests: prints exactly the bytes a
// test asks for, on standard output or standard error, through WriteFile so
// that no C runtime translation changes them.
//   probe_child spew <count>          <count> bytes of numbered ASCII lines
//   probe_child interleave            out, err, out, err, out lines in order
//   probe_child hex <hex bytes>       those bytes on standard output
//   probe_child write-handle <value>  writes "leaked" to a handle value it
//                                     would only own by inheritance
//   probe_child <anything else>       "probe_child ran" (a copy of it named
//                                     route.exe is a decoy tool)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Write(DWORD which, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

// Line n of the spew: "%09u abcdefghijklmnopqrstuvwxyz\r\n" (37 bytes).
std::string SpewLine(unsigned n) {
    char line[64];
    std::snprintf(line, sizeof(line), "%09u abcdefghijklmnopqrstuvwxyz\r\n", n);
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    const std::string verb = argv[1];
    if (verb == "spew" && argc == 3) {
        const unsigned long total = std::strtoul(argv[2], nullptr, 10);
        std::string block;
        unsigned n = 0;
        unsigned long sent = 0;
        while (sent < total) {
            block.clear();
            while (block.size() < 65536) {
                block += SpewLine(n++);
            }
            if (block.size() > total - sent) {
                block.resize(total - sent);
            }
            Write(STD_OUTPUT_HANDLE, block);
            sent += block.size();
        }
        return 0;
    }
    if (verb == "interleave") {
        Write(STD_OUTPUT_HANDLE, "out 1\r\n");
        Write(STD_ERROR_HANDLE, "err 2\r\n");
        Write(STD_OUTPUT_HANDLE, "out 3\r\n");
        Write(STD_ERROR_HANDLE, "err 4\r\n");
        Write(STD_OUTPUT_HANDLE, "out 5\r\n");
        return 0;
    }
    if (verb == "hex" && argc == 3) {
        std::string bytes;
        for (const char* p = argv[2]; p[0] != '\0' && p[1] != '\0'; p += 2) {
            const char pair[3] = {p[0], p[1], '\0'};
            bytes += static_cast<char>(std::strtoul(pair, nullptr, 16));
        }
        Write(STD_OUTPUT_HANDLE, bytes);
        return 0;
    }
    if (verb == "write-handle" && argc == 3) {
        const auto value = static_cast<std::uintptr_t>(std::strtoull(argv[2], nullptr, 10));
        const HANDLE handle = reinterpret_cast<HANDLE>(value);
        DWORD written = 0;
        const char text[] = "leaked";
        WriteFile(handle, text, sizeof(text) - 1, &written, nullptr);
        return 0;
    }
    // Anything else: the copy of this program standing in for a tool says so.
    Write(STD_OUTPUT_HANDLE, "probe_child ran\r\n");
    return 2;
}

// Store speed of every stored form on large files, run by scripts/bench:
//   StoreBench make <folder>   writes text.dat and random.dat (256 MiB each)
//   StoreBench run <folder> [form [times]]
//                              stores both in every form (or the one named),
//                              each `times` times (default 1), and prints
//                              "store <form> <file> <seconds> <MiB/s>" lines
// Under Wine, send the output to a file: a pipe makes every call wait.
#include "bench/BenchClock.h"
#include "engine/StoredFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr size_t kFileSize = 256u << 20;

bool WriteAll(const std::string& path, bool text)
{
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    static const char* const words[] = {"backup ", "stored ", "file ",    "folder ", "restore ",
                                        "block ",  "stream ", "the ",     "of ",     "and ",
                                        "value ",  "record ", "time\r\n", "size ",   "path "};
    std::vector<char> buffer(1 << 20);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    uint32_t y = 12345;
    bool ok = true;
    for (size_t done = 0; ok && done < kFileSize; done += buffer.size())
    {
        if (text)
        {
            size_t at = 0;
            while (at < buffer.size())
            {
                y = y * 1103515245u + 12345u;
                const unsigned r = y >> 16;
                char piece[32];
                int n = snprintf(piece, sizeof(piece), "%s", words[r % 15]);
                if (r % 7 == 0)
                    n += snprintf(piece + n, sizeof(piece) - n, "%u ", r % 1000);
                const size_t take = std::min<size_t>(n, buffer.size() - at);
                memcpy(buffer.data() + at, piece, take);
                at += take;
            }
        }
        else
        {
            for (char& c : buffer)
            {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                c = char(x >> 24);
            }
        }
        DWORD written = 0;
        ok = ::WriteFile(file, buffer.data(), DWORD(buffer.size()), &written, nullptr) &&
             written == buffer.size();
    }
    ::CloseHandle(file);
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 5)
    {
        printf("usage: StoreBench make|run <folder> [form [times]]\n");
        return 2;
    }
    const std::string mode = argv[1], folder = argv[2];
    const char* files[] = {"text", "random"};
    if (mode == "make")
    {
        ::CreateDirectoryA(folder.c_str(), nullptr);
        for (const char* name : files)
        {
            if (!WriteAll(folder + "\\" + name + ".dat", strcmp(name, "text") == 0))
            {
                printf("cannot write %s\n", name);
                return 1;
            }
        }
        return 0;
    }

    struct Form
    {
        const char* name;
        int compress, encrypt;
    } forms[] = {{"plain", 0, 0}, {"rc4", 0, 1}, {"bzip2", 1, 0}, {"bzip2+rc4", 1, 1}};
    const int times = argc == 5 ? std::max(1, atoi(argv[4])) : 1;
    int status = 0;
    for (const char* name : files)
    {
        const std::string source = folder + "\\" + name + ".dat";
        const std::string target = folder + "\\stored\\" + name + ".out";
        for (const Form& form : forms)
        {
            if (argc >= 4 && strcmp(argv[3], form.name) != 0)
                continue;
            for (int run = 0; run < times; ++run)
            {
                ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(target.c_str());
                const double start = Now();
                const bool ok = TransferFile(source.c_str(), target.c_str(), form.compress,
                                             form.encrypt, "bench-password", kTransferStore);
                const double seconds = Now() - start;
                if (!ok)
                    status = 1;
                printf("store %s %s %.3f %.1f%s\n", form.name, name, seconds,
                       double(kFileSize) / (1 << 20) / seconds, ok ? "" : " FAILED");
                fflush(stdout);
            }
        }
        ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(target.c_str());
    }
    return status;
}

#include "engine/StoredFile.h"

#include "tests/support/StoredFormReference.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using reference::Bytes;
using testfiles::CTestFolder;
using testfiles::ReadBytes;
using testfiles::Ticks;
using testfiles::WriteBytes;

// Each stream object owns its files and its library state.
static_assert(!std::is_copy_constructible_v<CBackupCompress>);
static_assert(!std::is_copy_constructible_v<CBackupDecompress>);
static_assert(!std::is_copy_constructible_v<CBZ2Decompress>);

namespace
{
struct Form
{
    int compress;
    int encrypt;
    const char* name;
};
const Form kForms[] = {{0, 0, "plain"}, {0, 1, "rc4"}, {1, 0, "bz2"}, {1, 1, "bz2rc4"}};

struct Input
{
    std::string name;
    Bytes data;
    std::string password;
};

std::vector<Input> GoldenInputs()
{
    const char* passwords[] = {"secret", "a", "abcd", "0123456789abcdefghij"};
    std::vector<Input> inputs;
    int n = 0;
    for (size_t size : {0u, 1u, 16383u, 16384u, 16385u, 1048576u + 4321u})
    {
        for (bool random : {false, true})
        {
            Input in;
            in.name = std::string(random ? "random-" : "text-") + std::to_string(size);
            in.data = random ? reference::Random(size, static_cast<uint32_t>(size))
                             : reference::Text(size, static_cast<uint32_t>(size));
            in.password = passwords[n++ % 4];
            inputs.push_back(in);
        }
    }
    return inputs;
}

void ExpectSameTimes(const std::string& a, const std::string& b)
{
    const testfiles::Times ta = testfiles::GetTimes(a), tb = testfiles::GetTimes(b);
    EXPECT_EQ(Ticks(ta.written), Ticks(tb.written)) << a << " / " << b;
    EXPECT_EQ(Ticks(ta.created), Ticks(tb.created)) << a << " / " << b;
}

const testfiles::Times kOldTimes = {testfiles::MakeTime(2004, 2, 29, 23, 59, 58, 123),
                                    testfiles::MakeTime(2005, 6, 1, 12, 0, 0, 5),
                                    testfiles::MakeTime(2006, 12, 31, 8, 30, 15, 999)};
} // namespace

// The stored bytes of every form against the test's own RC4 and, for the
// compressed forms, against the native bzip2 command: with BW_GOLDEN_DIR set
// (tests/scripts/stored-forms.sh) the sources, the plain streams and the
// test-decrypted encrypted streams are left there for it to check.
TEST(StoredFileTest, EveryFormMatchesTheReferenceAndRestores)
{
    CTestFolder folder("golden");
    const char* goldenDir = std::getenv("BW_GOLDEN_DIR");
    if (goldenDir)
        ::CreateDirectoryA(goldenDir, nullptr);

    for (const Input& in : GoldenInputs())
    {
        SCOPED_TRACE(in.name + " / " + in.password);
        const std::string source = folder / (in.name + ".src");
        WriteBytes(source, in.data);
        testfiles::SetTimes(source, kOldTimes);

        Bytes stored[4];
        for (int f = 0; f < 4; ++f)
        {
            const Form& form = kForms[f];
            SCOPED_TRACE(form.name);
            const std::string target =
                folder / ("Files\\" + std::string(form.name) + "\\" + in.name);
            ASSERT_TRUE(TransferFile(source.c_str(), target.c_str(), form.compress, form.encrypt,
                                     in.password.c_str(), kTransferStore));
            stored[f] = ReadBytes(target);
            ExpectSameTimes(source, target);

            // The web-dump store writes the same bytes.
            const std::string dump = folder / ("Dump\\" + std::string(form.name) + "\\" + in.name);
            ASSERT_TRUE(StoreFile(source.c_str(), dump.c_str(), form.compress, form.encrypt,
                                  in.password.c_str()));
            EXPECT_EQ(ReadBytes(dump), stored[f]);

            const std::string restored =
                folder / ("Restored\\" + std::string(form.name) + "\\" + in.name);
            ASSERT_TRUE(TransferFile(target.c_str(), restored.c_str(), form.compress, form.encrypt,
                                     in.password.c_str(), kTransferRestore));
            EXPECT_TRUE(ReadBytes(restored) == in.data);
            ExpectSameTimes(source, restored);
        }

        EXPECT_TRUE(stored[0] == in.data);
        EXPECT_TRUE(stored[1] == reference::Blocks(in.password, in.data));
        // The encrypted stream is the plain stream with each 16,384-byte
        // chunk encrypted on its own.
        EXPECT_TRUE(reference::Blocks(in.password, stored[3]) == stored[2]);
        ASSERT_GE(stored[2].size(), 14u);
        EXPECT_EQ(reference::Hex(Bytes(stored[2].begin(), stored[2].begin() + 4)), "425a6839");
        if (in.data.size() > 1000 && in.name.rfind("text", 0) == 0)
        {
            EXPECT_LT(stored[2].size(), in.data.size() / 3);
        }

        if (goldenDir)
        {
            const std::string base = std::string(goldenDir) + "\\" + in.name;
            WriteBytes(base + ".src", in.data);
            WriteBytes(base + ".bz2", stored[2]);
            WriteBytes(base + ".bz2rc4.bz2", reference::Blocks(in.password, stored[3]));
        }
    }
}

TEST(StoredFileTest, EmptyFileStoresAsTheEmptyStreamInEveryForm)
{
    CTestFolder folder("empty");
    const std::string source = folder / "empty.txt";
    WriteBytes(source, {});
    const std::string a = folder / "a", b = folder / "b", c = folder / "c";
    ASSERT_TRUE(TransferFile(source.c_str(), a.c_str(), 1, 0, "", kTransferStore));
    EXPECT_EQ(reference::Hex(ReadBytes(a)), "425a683917724538509000000000");
    ASSERT_TRUE(TransferFile(source.c_str(), b.c_str(), 1, 1, "secret", kTransferStore));
    EXPECT_EQ(reference::Hex(ReadBytes(b)), "af6cba2595d6939e625bbbdcf3e6");

    // Restoring the 14-byte stream: the last library call yields no bytes,
    // and the restore still succeeds.
    const std::string restored = folder / "restored";
    EXPECT_TRUE(TransferFile(b.c_str(), restored.c_str(), 1, 1, "secret", kTransferRestore));
    EXPECT_TRUE(ReadBytes(restored).empty());

    // A stored file of length 0 in compressed mode restores as an empty file.
    WriteBytes(c, {});
    const std::string fromEmpty = folder / "from-empty";
    EXPECT_TRUE(TransferFile(c.c_str(), fromEmpty.c_str(), 1, 0, "", kTransferRestore));
    EXPECT_TRUE(testfiles::Exists(fromEmpty));
    EXPECT_TRUE(ReadBytes(fromEmpty).empty());
}

TEST(StoredFileTest, BlockBoundariesAndEmptyPasswords)
{
    CTestFolder folder("blocks");
    const std::string source = folder / "zeros";
    WriteBytes(source, Bytes(16385, 0));
    const std::string stored = folder / "stored";
    ASSERT_TRUE(TransferFile(source.c_str(), stored.c_str(), 0, 1, "secret", kTransferStore));
    const Bytes bytes = ReadBytes(stored);
    ASSERT_EQ(bytes.size(), 16385u);
    EXPECT_EQ(reference::Hex(Bytes(bytes.begin(), bytes.begin() + 4)), "ed36d21c");
    // The second block is one byte, encrypted with the first keystream byte.
    EXPECT_EQ(bytes[16384], 0xed);

    // Encrypt with an empty password stores the plain bytes, in both
    // uncompressed routines, and the compressed form is the plain stream.
    const Bytes text = reference::Text(40000, 11);
    WriteBytes(source, text);
    ASSERT_TRUE(TransferFile(source.c_str(), stored.c_str(), 0, 1, "", kTransferStore));
    EXPECT_TRUE(ReadBytes(stored) == text);
    ASSERT_TRUE(StoreFile(source.c_str(), stored.c_str(), 0, 1, ""));
    EXPECT_TRUE(ReadBytes(stored) == text);
    const std::string plainStream = folder / "plain.bz2";
    ASSERT_TRUE(TransferFile(source.c_str(), plainStream.c_str(), 1, 0, "x", kTransferStore));
    ASSERT_TRUE(TransferFile(source.c_str(), stored.c_str(), 1, 1, "", kTransferStore));
    EXPECT_TRUE(ReadBytes(stored) == ReadBytes(plainStream));
}

namespace
{
// A file whose reads return at most a few bytes at a time, like a redirector.
struct CShortReads
{
    const Bytes& data;
    size_t at = 0;
    int calls = 0;
    DWORD Read(void* buffer, DWORD count)
    {
        ++calls;
        const DWORD n = static_cast<DWORD>(
            std::min<size_t>({count, data.size() - at, static_cast<size_t>(calls % 5000 + 1)}));
        memcpy(buffer, data.data() + at, n);
        at += n;
        return n;
    }
};
} // namespace

TEST(StoredFileTest, ShortReadsStillFillWholeBlocks)
{
    const Bytes data = reference::Random(3 * 16384 + 77, 5);
    CShortReads file{data};
    char block[kStoredBlockSize];
    Bytes encrypted;
    for (;;)
    {
        const DWORD n = ReadFull(file, block, kStoredBlockSize);
        if (n == 0)
            break;
        EXPECT_TRUE(n == kStoredBlockSize || file.at == data.size());
        Rc4Crypt(block, n, "pw", 2);
        encrypted.insert(encrypted.end(), block, block + n);
    }
    EXPECT_GT(file.calls, 10);
    EXPECT_TRUE(encrypted == reference::Blocks("pw", data));
}

TEST(StoredFileTest, RoundTripKeepsTimesAndAttributes)
{
    CTestFolder folder("attributes");
    const std::string source = folder / "report.doc";
    const Bytes data = reference::Text(70000, 2);
    WriteBytes(source, data);
    testfiles::SetTimes(source, kOldTimes);
    ASSERT_TRUE(
        ::SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.name);
        const std::string stored = folder / ("Files\\" + std::string(form.name) + "\\report.doc");
        const std::string restored = folder / ("Back\\" + std::string(form.name) + "\\report.doc");
        ASSERT_TRUE(TransferFile(source.c_str(), stored.c_str(), form.compress, form.encrypt, "pw",
                                 kTransferStore));
        ASSERT_TRUE(TransferFile(stored.c_str(), restored.c_str(), form.compress, form.encrypt,
                                 "pw", kTransferRestore));
        EXPECT_TRUE(ReadBytes(restored) == data);
        for (const std::string& path : {stored, restored})
        {
            // Wine keeps the archive bit whatever is set, so the expectation
            // is the source's own attributes.
            EXPECT_EQ(::GetFileAttributesA(path.c_str()), ::GetFileAttributesA(source.c_str()))
                << path;
            EXPECT_TRUE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
            const testfiles::Times t = testfiles::GetTimes(path);
            EXPECT_EQ(Ticks(t.written), Ticks(kOldTimes.written)) << path;
            // Wine keeps no creation time of its own (it reports the
            // last-write time), so only the source's own value is expected.
            EXPECT_EQ(Ticks(t.created), Ticks(testfiles::GetTimes(source).created)) << path;
        }

        // Storing again over the read-only stored copy replaces it, and the
        // new copy is read-only again.
        ASSERT_TRUE(::SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL));
        WriteBytes(source, reference::Text(1000, 3));
        testfiles::SetTimes(source, kOldTimes);
        ASSERT_TRUE(
            ::SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
        ASSERT_TRUE(TransferFile(source.c_str(), stored.c_str(), form.compress, form.encrypt, "pw",
                                 kTransferStore));
        ASSERT_TRUE(TransferFile(stored.c_str(), restored.c_str(), form.compress, form.encrypt,
                                 "pw", kTransferRestore));
        EXPECT_TRUE(ReadBytes(restored) == reference::Text(1000, 3));
        EXPECT_EQ(::GetFileAttributesA(stored.c_str()), ::GetFileAttributesA(source.c_str()));
        EXPECT_TRUE(::GetFileAttributesA(stored.c_str()) & FILE_ATTRIBUTE_READONLY);
        ASSERT_TRUE(::SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL));
        WriteBytes(source, data);
        testfiles::SetTimes(source, kOldTimes);
        ASSERT_TRUE(
            ::SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    }
}

TEST(StoredFileTest, FailedRestoresLeaveTheTargetUntouched)
{
    CTestFolder folder("wrongpw");
    const std::string source = folder / "data.bin";
    const Bytes data = reference::Text(100000, 6);
    WriteBytes(source, data);
    const std::string stored = folder / "Files\\data.bin";
    ASSERT_TRUE(TransferFile(source.c_str(), stored.c_str(), 1, 1, "right", kTransferStore));
    const Bytes good = ReadBytes(stored);

    const std::string targetFolder = folder / "Target";
    const std::string target = targetFolder + "\\data.bin";
    const Bytes old = reference::FromText("the user's current file");
    ASSERT_TRUE(CreateFolderPath(target.c_str()));
    WriteBytes(target, old);
    testfiles::SetTimes(target, kOldTimes);

    auto expectUntouched = [&](const char* what)
    {
        EXPECT_TRUE(ReadBytes(target) == old) << what;
        EXPECT_EQ(Ticks(testfiles::GetTimes(target).written), Ticks(kOldTimes.written)) << what;
        EXPECT_EQ(testfiles::List(targetFolder), std::vector<std::string>{"data.bin"}) << what;
    };

    EXPECT_FALSE(TransferFile(stored.c_str(), target.c_str(), 1, 1, "wrong", kTransferRestore));
    expectUntouched("wrong password");
    EXPECT_FALSE(TransferFile(stored.c_str(), target.c_str(), 1, 0, "", kTransferRestore));
    expectUntouched("encrypted file restored without the password");

    // Truncated anywhere, or damaged in the middle: a clear failure, soon
    // (the bound tells a failure from a reader left waiting for the rest,
    // and leaves room for a busy machine).
    for (size_t cut : {size_t(0) + 1, size_t(100), good.size() / 2, good.size() - 1})
    {
        WriteBytes(stored, Bytes(good.begin(), good.begin() + cut));
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_FALSE(TransferFile(stored.c_str(), target.c_str(), 1, 1, "right", kTransferRestore))
            << "cut " << cut;
        EXPECT_LT(::GetTickCount64() - start, 30000u);
        expectUntouched("truncated");
    }
    Bytes damaged = good;
    damaged[good.size() / 2] ^= 0x01;
    WriteBytes(stored, damaged);
    EXPECT_FALSE(TransferFile(stored.c_str(), target.c_str(), 1, 1, "right", kTransferRestore));
    expectUntouched("damaged");

    // A plain stored file read as compressed is not a stream.
    WriteBytes(stored, data);
    EXPECT_FALSE(TransferFile(stored.c_str(), target.c_str(), 1, 0, "", kTransferRestore));
    expectUntouched("plain file restored as compressed");

    // The block form cannot tell a wrong password: the restore gives other
    // bytes of the same length.
    ASSERT_TRUE(TransferFile(source.c_str(), stored.c_str(), 0, 1, "right", kTransferStore));
    ASSERT_TRUE(TransferFile(stored.c_str(), target.c_str(), 0, 1, "wrong", kTransferRestore));
    const Bytes garbage = ReadBytes(target);
    EXPECT_EQ(garbage.size(), data.size());
    EXPECT_FALSE(garbage == data);
}

// A compressed store of a real-sized dump (64 MiB of dump text, which bzip2
// takes 27 s to compress under Wine) ends within the program's exit bound
// of 10 s once its stop flag is set, and leaves nothing: neither the
// destination nor a temporary file.
TEST(StoredFileTest, AStopEndsALongStoreAndLeavesNothing)
{
    CTestFolder folder("storestop");
    const std::string source = folder / "dump.sql";
    {
        std::string line = "INSERT INTO `t` VALUES ('1','text');";
        line.resize(63, ' ');
        line += '\n';
        std::string piece;
        for (int i = 0; i < 1024; ++i)
            piece += line;
        Bytes data;
        data.reserve(piece.size() * 1024);
        for (int i = 0; i < 1024; ++i)
            data.insert(data.end(), piece.begin(), piece.end());
        WriteBytes(source, data);
    }
    const std::string stored = folder / "Databases\\dump.sql";
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    bool ok = true;
    std::thread store(
        [&]
        {
            ok = StoreFile(source.c_str(), stored.c_str(), 1, 1, "pw", &stop);
            done = true;
        });
    // Stopped once it writes.
    const auto writing = [&] { return !testfiles::List(folder / "Databases").empty() || done; };
    EXPECT_TRUE(WaitUntil(writing, wait_bound::kStepMs));
    const ULONGLONG stoppedAt = GetTickCount64();
    stop = true;
    store.join();
    EXPECT_LT(GetTickCount64() - stoppedAt, 10000u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(testfiles::List(folder / "Databases"), std::vector<std::string>{});
}

TEST(StoredFileTest, FailedStoresKeepTheOldStoredCopy)
{
    CTestFolder folder("failedstore");
    const std::string source = folder / "src.txt";
    WriteBytes(source, reference::Text(50000, 1));
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.name);
        const std::string stored = folder / ("Files\\" + std::string(form.name) + "\\src.txt");
        ASSERT_TRUE(TransferFile(source.c_str(), stored.c_str(), form.compress, form.encrypt, "pw",
                                 kTransferStore));
        const Bytes good = ReadBytes(stored);

        // The source is locked by another program: nothing can be read.
        HANDLE lock =
            ::CreateFileA(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(TransferFile(source.c_str(), stored.c_str(), form.compress, form.encrypt, "pw",
                                  kTransferStore));
        EXPECT_FALSE(StoreFile(source.c_str(), stored.c_str(), form.compress, form.encrypt, "pw"));
        ::CloseHandle(lock);
        // A store that is stopped (the flag is looked at before each block).
        const std::atomic<bool> stop{true};
        EXPECT_FALSE(
            StoreFile(source.c_str(), stored.c_str(), form.compress, form.encrypt, "pw", &stop));
        EXPECT_TRUE(ReadBytes(stored) == good);
        EXPECT_EQ(testfiles::List(folder / ("Files\\" + std::string(form.name))),
                  std::vector<std::string>{"src.txt"});
    }

    // A file where a folder of the destination path should be.
    WriteBytes(folder / "blocker", {});
    for (const Form& form : kForms)
        EXPECT_FALSE(TransferFile(source.c_str(), (folder / "blocker\\x\\src.txt").c_str(),
                                  form.compress, form.encrypt, "pw", kTransferStore))
            << form.name;
}

namespace
{
// Reads of a source that fail from the third one on, as a disk that goes
// away half-way through a file would.
std::atomic<int> g_readsLeft{0};
bool FailAfterTwoReads(HANDLE)
{
    return g_readsLeft.fetch_sub(1) > 0;
}
} // namespace

// A large source whose read fails half-way is a failed store in every form
// (the plain copy of a large file is streamed, never mapped, so a failed read
// comes back as a failure instead of an in-page exception): the earlier
// stored copy stays and no temporary file is left.
TEST(StoredFileTest, ReadFailingHalfWayFailsTheStoreAndKeepsTheOldCopy)
{
    CTestFolder folder("readfault");
    const std::string source = folder / "big.bin";
    const Bytes first = reference::Random((4u << 20) + 123, 7);
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.name);
        WriteBytes(source, first);
        const std::string stored = folder / ("Files\\" + std::string(form.name) + "\\big.bin");
        ASSERT_TRUE(TransferFile(source.c_str(), stored.c_str(), form.compress, form.encrypt, "pw",
                                 kTransferStore));
        const Bytes good = ReadBytes(stored);

        WriteBytes(source, reference::Random((4u << 20) + 123, 8));
        g_readsLeft = 2;
        SetSourceReadCheck(FailAfterTwoReads);
        EXPECT_FALSE(TransferFile(source.c_str(), stored.c_str(), form.compress, form.encrypt, "pw",
                                  kTransferStore));
        SetSourceReadCheck(nullptr);
        EXPECT_LT(g_readsLeft.load(), 0) << "the read failed half-way, not before";
        EXPECT_TRUE(ReadBytes(stored) == good);
        EXPECT_EQ(testfiles::List(folder / ("Files\\" + std::string(form.name))),
                  std::vector<std::string>{"big.bin"});
    }
}

// The written file is put in place by a rename of its open handle, which
// takes the destination in the file system's own form: a relative
// destination still lands under the current folder, in every form.
TEST(StoredFileTest, ARelativeDestinationLandsUnderTheCurrentFolder)
{
    CTestFolder folder("relative");
    const std::string source = folder / "src.bin";
    const Bytes data = reference::Text(40000, 4);
    WriteBytes(source, data);
    char saved[MAX_PATH] = "";
    ASSERT_GT(::GetCurrentDirectoryA(MAX_PATH, saved), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryA(folder.Path().c_str()));
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.name);
        const std::string relative = "Files\\" + std::string(form.name) + "\\src.bin";
        EXPECT_TRUE(TransferFile(source.c_str(), relative.c_str(), form.compress, form.encrypt,
                                 "pw", kTransferStore));
        const std::string back = folder / ("Back\\" + std::string(form.name) + ".bin");
        EXPECT_TRUE(TransferFile((folder / relative).c_str(), back.c_str(), form.compress,
                                 form.encrypt, "pw", kTransferRestore));
        EXPECT_TRUE(ReadBytes(back) == data);
        EXPECT_EQ(testfiles::List(folder / ("Files\\" + std::string(form.name))),
                  std::vector<std::string>{"src.bin"});
    }
    ASSERT_TRUE(::SetCurrentDirectoryA(saved));
}

TEST(StoredFileTest, EveryFormCreatesTheDestinationFolders)
{
    CTestFolder folder("folders");
    const std::string source = folder / "single.txt";
    WriteBytes(source, reference::Text(20000, 4));
    for (const Form& form : kForms)
    {
        const std::string stored =
            folder / ("Files\\" + std::string(form.name) + "\\deep\\er\\single.txt");
        EXPECT_TRUE(TransferFile(source.c_str(), stored.c_str(), form.compress, form.encrypt, "pw",
                                 kTransferStore))
            << form.name;
        const std::string dumped = folder / ("Dump\\" + std::string(form.name) + "\\a\\b.sql");
        EXPECT_TRUE(StoreFile(source.c_str(), dumped.c_str(), form.compress, form.encrypt, "pw"))
            << form.name;
        const std::string restored =
            folder / ("Restore\\" + std::string(form.name) + "\\x\\single.txt");
        EXPECT_TRUE(TransferFile(stored.c_str(), restored.c_str(), form.compress, form.encrypt,
                                 "pw", kTransferRestore))
            << form.name;
        EXPECT_TRUE(ReadBytes(restored) == reference::Text(20000, 4)) << form.name;
    }
}

TEST(StoredFileTest, FolderOrMissingSourcesBecomeFolders)
{
    CTestFolder folder("folder-source");
    const std::string source = folder / "Docs";
    ASSERT_TRUE(::CreateDirectoryA(source.c_str(), nullptr));
    testfiles::SetTimes(source, kOldTimes);

    const std::string stored = folder / "Files\\C\\Docs";
    ASSERT_TRUE(TransferFile(source.c_str(), stored.c_str(), 1, 1, "pw", kTransferStore));
    EXPECT_TRUE(::GetFileAttributesA(stored.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(Ticks(testfiles::GetTimes(stored).written), Ticks(kOldTimes.written));

    // A source that vanished also leaves an (empty) folder and counts as done.
    const std::string gone = folder / "Files\\C\\Gone";
    EXPECT_TRUE(TransferFile((folder / "Gone").c_str(), gone.c_str(), 0, 0, "", kTransferStore));
    EXPECT_TRUE(::GetFileAttributesA(gone.c_str()) & FILE_ATTRIBUTE_DIRECTORY);

    // A file standing where the folder should go.
    WriteBytes(folder / "Files\\C\\Blocked", {});
    EXPECT_FALSE(TransferFile(source.c_str(), (folder / "Files\\C\\Blocked").c_str(), 0, 0, "",
                              kTransferStore));
}

TEST(StoredFileTest, CreateFolderPathMakesEveryLevelAndKeepsTheCurrentDirectory)
{
    CTestFolder folder("mkpath");
    char before[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, before);

    EXPECT_TRUE(CreateFolderPath((folder / "a\\b\\c\\file.txt").c_str()));
    EXPECT_TRUE(::GetFileAttributesA((folder / "a\\b\\c").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(testfiles::Exists(folder / "a\\b\\c\\file.txt")); // the name is not a folder
    EXPECT_TRUE(CreateFolderPath((folder / "d\\e\\").c_str()));
    EXPECT_TRUE(testfiles::Exists(folder / "d\\e"));
    EXPECT_TRUE(CreateFolderPath((folder.Path() + "/f//g/h").c_str()));
    EXPECT_TRUE(testfiles::Exists(folder / "f\\g"));
    EXPECT_TRUE(CreateFolderPath((folder / "a\\b\\c\\again").c_str())); // all there already
    EXPECT_TRUE(CreateFolderPath("C:\\"));
    EXPECT_TRUE(CreateFolderPath("just-a-name.txt"));

    EXPECT_FALSE(CreateFolderPath(""));
    WriteBytes(folder / "file", {});
    EXPECT_FALSE(CreateFolderPath((folder / "file\\sub\\x").c_str()));
    EXPECT_FALSE(testfiles::Exists(folder / "file\\sub"));

    char after[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, after);
    EXPECT_STREQ(before, after);
}

TEST(StoredFileTest, CreateFolderPathFromManyThreadsAtOnce)
{
    CTestFolder folder("mkpath-threads");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < 20; ++i)
                {
                    const std::string path = folder / ("s\\" + std::to_string(i) + "\\t" +
                                                       std::to_string(t % 2) + "\\f");
                    if (!CreateFolderPath(path.c_str()))
                        ++failures;
                }
            });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(testfiles::Exists(folder / "s\\19\\t1"));
}

TEST(StoredFileTest, CopyFileTimesAndAttributesReportsWhatItCouldNotDo)
{
    CTestFolder folder("times");
    const std::string a = folder / "a", b = folder / "b";
    WriteBytes(a, {1, 2, 3});
    WriteBytes(b, {});
    testfiles::SetTimes(a, kOldTimes);
    ASSERT_TRUE(::SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::SetFileAttributesA(b.c_str(), FILE_ATTRIBUTE_READONLY));
    // A read-only destination still takes the times.
    EXPECT_TRUE(CopyFileTimesAndAttributes(a.c_str(), b.c_str()));
    EXPECT_EQ(Ticks(testfiles::GetTimes(b).written), Ticks(kOldTimes.written));
    EXPECT_EQ(Ticks(testfiles::GetTimes(b).accessed), Ticks(kOldTimes.accessed));
    EXPECT_EQ(::GetFileAttributesA(b.c_str()), ::GetFileAttributesA(a.c_str()));

    // A missing source changes nothing (no attributes of 0xFFFFFFFF).
    ASSERT_TRUE(::SetFileAttributesA(b.c_str(), FILE_ATTRIBUTE_NORMAL));
    const DWORD before = ::GetFileAttributesA(b.c_str());
    EXPECT_FALSE(CopyFileTimesAndAttributes((folder / "missing").c_str(), b.c_str()));
    EXPECT_EQ(::GetFileAttributesA(b.c_str()), before);
    EXPECT_FALSE(before & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(CopyFileTimesAndAttributes(a.c_str(), (folder / "missing").c_str()));
}

TEST(StoredFileTest, LargeFilesCrossEveryWindowAndBlock)
{
    CTestFolder folder("large");
    const Bytes data = reference::Random((17u << 20) + 5, 99);
    const std::string source = folder / "big.bin";
    WriteBytes(source, data);
    const std::string plain = folder / "Files\\plain\\big.bin";
    const std::string rc4 = folder / "Files\\rc4\\big.bin";
    testfiles::SetTimes(source, kOldTimes);
    ASSERT_TRUE(TransferFile(source.c_str(), plain.c_str(), 0, 0, "", kTransferStore));
    ASSERT_TRUE(TransferFile(source.c_str(), rc4.c_str(), 0, 1, "pw", kTransferStore));
    EXPECT_TRUE(ReadBytes(plain) == data);
    EXPECT_TRUE(ReadBytes(rc4) == reference::Blocks("pw", data));
    // The mapped copy of a large source takes its times like the small ones.
    ExpectSameTimes(plain, source);
    ExpectSameTimes(rc4, source);
}

// Threads storing into one folder each get a temporary file of their own:
// every copy lands whole and none of the temporary files stays behind.
TEST(StoredFileTest, StoresIntoOneFolderFromManyThreads)
{
    CTestFolder folder("store-threads");
    constexpr int kThreads = 6, kFiles = 15;
    for (int t = 0; t < kThreads; ++t)
        WriteBytes(folder / ("source" + std::to_string(t)), reference::Random(3000 + t, t));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&, t]
            {
                const std::string source = folder / ("source" + std::to_string(t));
                for (int i = 0; i < kFiles; ++i)
                {
                    const std::string stored =
                        folder / ("Files\\" + std::to_string(t) + "-" + std::to_string(i));
                    if (!TransferFile(source.c_str(), stored.c_str(), 0, 0, "", kTransferStore))
                        ++failures;
                }
            });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    const std::vector<std::string> names = testfiles::List(folder / "Files");
    EXPECT_EQ(names.size(), static_cast<size_t>(kThreads * kFiles));
    for (const std::string& name : names)
    {
        EXPECT_NE(name.rfind("~bw", 0), 0u) << name;
        const int t = std::atoi(name.c_str());
        EXPECT_TRUE(ReadBytes(folder / ("Files\\" + name)) == reference::Random(3000 + t, t))
            << name;
    }
}

#include "engine/IpcRecords.h"

#include <gtest/gtest.h>

#include <string>

TEST(IpcRecords, CopyTextCutsAtTheFieldAndZeroFillsTheRest)
{
    IpcQueueRecord record;
    std::memset(&record, 'x', sizeof(record));

    IpcCopyText(record.text1, std::string(2000, 'r').c_str());
    EXPECT_EQ(std::string(1023, 'r'), std::string(record.text1, 1023));
    EXPECT_EQ('\0', record.text1[1023]);
    EXPECT_EQ('x', record.text2[0]) << "the next field is not touched";

    IpcCopyText(record.text2, "pw");
    EXPECT_STREQ("pw", record.text2);
    for (size_t i = 2; i < sizeof(record.text2); ++i)
        ASSERT_EQ('\0', record.text2[i]) << "byte " << i << " of the field stays from before";

    IpcCopyText(record.text3, nullptr);
    EXPECT_TRUE(std::string(record.text3, sizeof(record.text3)) ==
                std::string(sizeof(record.text3), '\0'));

    // Exactly the field's length less one still fits whole.
    IpcCopyText(record.text1, std::string(1023, 'e').c_str());
    EXPECT_EQ(1023u, std::strlen(record.text1));
}

TEST(IpcRecords, TextLengthStopsAtTheFieldWhenAPeerLeftNoNul)
{
    IpcQueueRecord record = {};
    std::memset(record.text1, 's', sizeof(record.text1));
    record.text2[0] = 'n'; // what a plain strlen would run on into
    EXPECT_EQ(1023u, IpcTextLength(record.text1));
    IpcCopyText(record.text1, "20240307123456789-32-1234");
    EXPECT_EQ(25u, IpcTextLength(record.text1));
}

TEST(IpcRecords, EachPipeHasItsOwnNameUntilTestsMoveIt)
{
    EXPECT_STREQ("\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_SETTINGS", GetIpcPipeName(IpcPipe::Settings));
    EXPECT_STREQ("\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_BACKUP", GetIpcPipeName(IpcPipe::Backup));
    EXPECT_STREQ("\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_USER", GetIpcPipeName(IpcPipe::User));

    SetIpcPipeName(IpcPipe::Backup, "\\\\.\\pipe\\elsewhere");
    EXPECT_STREQ("\\\\.\\pipe\\elsewhere", GetIpcPipeName(IpcPipe::Backup));
    EXPECT_STREQ("\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_USER", GetIpcPipeName(IpcPipe::User));
}

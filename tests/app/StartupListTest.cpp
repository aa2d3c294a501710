// Allow, Deny and Remove of the startup list's rows against a fake SETTINGS
// server: the records sent, and rows that change only when the service
// confirmed. Parked rows are removed from the real parking key of the test
// prefix, under a unique value name.
#include "app/RunEntries.h"
#include "engine/IpcRecords.h"
#include "foundation/Registry.h"
#include "skin/ApplicationsTree.h"
#include "tests/app/StartupTestSupport.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/SharedKeyLock.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
constexpr DWORD kSettingsSize = sizeof(IpcSettingsRecord);
const char* const kUserParking = "Software\\Orvanel\\Brindlewox\\Run1-Disabled";

class StartupListTest : public ::testing::Test
{
protected:
    // The test's own servers stand in for the service.
    CServiceInThisProcess m_serviceHere;

    void SetUp() override
    {
        ASSERT_TRUE(m_keys.IsHeld());
        m_pipe = UniquePipeName("startup-list");
        SetIpcPipeName(IpcPipe::Settings, m_pipe.c_str());
        m_list.SetAutoRedraw(false);
    }
    void TearDown() override { SetIpcPipeName(IpcPipe::Settings, kSettingsPipeName); }

    int Row(const char* name, DWORD kind, DWORD scope, bool checked)
    {
        const int index = m_list.AddItem(name, "", kind, 0, checked ? 1 : 0, 1, 0);
        m_list.SetItemData(index, name);
        m_list.GetItem(index)->value2 = scope;
        return index;
    }
    const CApplicationsTreeItem& At(int index) { return *m_list.GetItem(index); }

    SharedKeyLock m_keys;
    std::string m_pipe;
    CApplicationsTree m_list;
};

// What the service answers: 1, except 0 for the value name "Refused".
CFakePipeServer::Responder RefusingOne()
{
    const auto done = StatusReply(1, kSettingsSize);
    const auto refused = StatusReply(0, kSettingsSize);
    return [done, refused](const std::string& request)
    { return ReadText(request, 12, 4096) == "Refused" ? refused(request) : done(request); };
}
} // namespace

TEST_F(StartupListTest, DenySendsTheRecordOfEachCheckedActiveRow)
{
    CFakePipeServer server(m_pipe.c_str(), kSettingsSize);
    server.Answer(StatusReply(1, kSettingsSize));
    Row("Machine tool", kRunEntryActive, 1, true);
    Row("Unchecked", kRunEntryActive, 2, false);
    Row("User tool", kRunEntryActive, 2, true);
    Row("Parked already", kRunEntryParked, 2, true);

    EXPECT_EQ(2, SetCheckedRunEntriesEnabled(m_list, false));
    const auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    for (const std::string& request : requests)
    {
        EXPECT_EQ(30740u, request.size());
        EXPECT_EQ(6u, ReadU32(request, 0));
        EXPECT_EQ(0u, ReadU32(request, 18448)) << "deny";
        EXPECT_TRUE(AllZero(request, 18452, request.size() - 18452));
    }
    EXPECT_EQ(1u, ReadU32(requests[0], 4));
    EXPECT_EQ("Machine tool", ReadText(requests[0], 12, 4096));
    EXPECT_EQ(2u, ReadU32(requests[1], 4));
    EXPECT_EQ("User tool", ReadText(requests[1], 12, 4096));

    EXPECT_EQ(kRunEntryParked, At(0).state);
    EXPECT_EQ(0u, At(0).checked);
    EXPECT_EQ(kRunEntryActive, At(1).state) << "unchecked: untouched";
    EXPECT_EQ(kRunEntryParked, At(2).state);
    EXPECT_EQ(0u, At(2).checked);
    // Already parked: nothing sent, the check cleared.
    EXPECT_EQ(kRunEntryParked, At(3).state);
    EXPECT_EQ(0u, At(3).checked);
}

TEST_F(StartupListTest, RowsChangeOnlyWhenTheServiceConfirmed)
{
    CFakePipeServer server(m_pipe.c_str(), kSettingsSize);
    server.Answer(RefusingOne());
    Row("Refused", kRunEntryParked, 1, true);
    Row("Welcome", kRunEntryParked, 2, true);

    EXPECT_EQ(1, SetCheckedRunEntriesEnabled(m_list, true));
    const auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(1u, ReadU32(requests[0], 18448)) << "allow";
    EXPECT_EQ(1u, ReadU32(requests[1], 18448));
    EXPECT_EQ(kRunEntryParked, At(0).state) << "refused: as it was";
    EXPECT_EQ(1u, At(0).checked) << "refused: still checked";
    EXPECT_EQ(kRunEntryActive, At(1).state);
    EXPECT_EQ(0u, At(1).checked);

    // No service at all: nothing changes.
    const std::string absent = m_pipe + "-absent";
    SetIpcPipeName(IpcPipe::Settings, absent.c_str());
    EXPECT_EQ(0, SetCheckedRunEntriesEnabled(m_list, true));
    EXPECT_EQ(kRunEntryParked, At(0).state);
    EXPECT_EQ(1u, At(0).checked);
    m_list.GetItem(0)->checked = 0;
    m_list.GetItem(1)->checked = 1;
    EXPECT_EQ(0, RemoveCheckedRunEntries(m_list));
    EXPECT_EQ(0, SetCheckedRunEntriesEnabled(m_list, false));
    ASSERT_EQ(2, m_list.GetItemCount());
    EXPECT_EQ(kRunEntryActive, At(1).state);
    EXPECT_EQ(1u, At(1).checked);
}

TEST_F(StartupListTest, RemoveDeletesParkedRowsHereAndSendsOnlyActiveOnes)
{
    CString name;
    name.Format("BwStartupList%lu", GetCurrentProcessId());
    CRegistryKey parking;
    ASSERT_EQ(ERROR_SUCCESS, parking.Create(HKEY_CURRENT_USER, kUserParking));
    ASSERT_EQ(ERROR_SUCCESS, parking.SetStringValue("C:\\parked.exe", name));
    parking.Close();

    CFakePipeServer server(m_pipe.c_str(), kSettingsSize);
    server.Answer(RefusingOne());
    Row("Active one", kRunEntryActive, 1, true);
    Row(name, kRunEntryParked, 2, true);
    Row("Refused", kRunEntryActive, 2, true);
    Row("Kept", kRunEntryActive, 2, false);

    EXPECT_EQ(2, RemoveCheckedRunEntries(m_list));
    const auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size()) << "nothing sent for the parked row";
    EXPECT_EQ(7u, ReadU32(requests[0], 0));
    EXPECT_EQ(1u, ReadU32(requests[0], 4));
    EXPECT_EQ("Active one", ReadText(requests[0], 12, 4096));
    EXPECT_EQ(7u, ReadU32(requests[1], 0));
    EXPECT_EQ(2u, ReadU32(requests[1], 4));
    EXPECT_EQ("Refused", ReadText(requests[1], 12, 4096));
    EXPECT_FALSE(RegistryValueExists(HKEY_CURRENT_USER, kUserParking, name))
        << "the parking value is gone";

    ASSERT_EQ(2, m_list.GetItemCount());
    EXPECT_STREQ("Refused", At(0).thirdText);
    EXPECT_EQ(1u, At(0).checked);
    EXPECT_STREQ("Kept", At(1).thirdText);
}

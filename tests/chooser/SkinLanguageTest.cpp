#include "chooser/SkinLanguage.h"

#include "ChooserTestSupport.h"
#include "foundation/Dc.h"
#include "foundation/FileFind.h"
#include "resources/SkinLanguage.h"
#include "tests/support/LabelFit.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
// A deployed program folder (with Languages\) and a user folder, both
// under a temporary folder; the user folder is not made.
class ChooserFolders
{
public:
    ChooserFolders() : m_root("chooser")
    {
        m_paths.appDirectory = m_root / "Program";
        m_paths.userFolder = m_root / "User";
        MakeFolder(m_paths.appDirectory);
    }

    const ChooserPaths& Paths() const { return m_paths; }
    CString Settings() const { return m_paths.userFolder + "\\settings.ini"; }
    void AddLanguage(const char* name, const char* defaultIni = nullptr)
    {
        MakeFolder(m_paths.appDirectory + "\\Languages");
        CString folder = m_paths.appDirectory + "\\Languages\\" + name;
        MakeFolder(folder);
        if (defaultIni != nullptr)
            WriteTextFile(folder + "\\default.ini", defaultIni);
    }
    void WriteSettings(const char* text)
    {
        MakeFolder(m_paths.userFolder);
        WriteTextFile(Settings(), text);
    }
    std::string Read(const char* section, const char* key) const
    {
        char value[256] = "";
        GetPrivateProfileStringA(section, key, "<missing>", value, sizeof(value), Settings());
        return value;
    }

    TempFolder m_root;

private:
    ChooserPaths m_paths;
};

// The chooser's dialog with a hook after its initialisation.
class TestChooser : public SkinLanguage
{
public:
    explicit TestChooser(const ChooserPaths& paths) : SkinLanguage(paths) { StartFramework(); }

    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override
    {
        LRESULT result = SkinLanguage::OnInitDialog(initParam, focus);
        if (afterInit)
            afterInit(*this);
        return result;
    }

    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    std::string Text(int id) const
    {
        char text[256] = "";
        GetWindowTextA(id == 0 ? m_hWnd : Item(id), text, sizeof(text));
        return text;
    }
    std::vector<std::string> Languages() const
    {
        std::vector<std::string> names;
        LRESULT count = SendMessageA(Item(IDC_LANGUAGE_LIST), CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i)
        {
            char name[256] = "";
            SendMessageA(Item(IDC_LANGUAGE_LIST), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
            names.push_back(name);
        }
        return names;
    }
    std::string SelectedLanguage() const
    {
        LRESULT selected = SendMessageA(Item(IDC_LANGUAGE_LIST), CB_GETCURSEL, 0, 0);
        if (selected == CB_ERR)
            return "<none>";
        char name[256] = "";
        SendMessageA(Item(IDC_LANGUAGE_LIST), CB_GETLBTEXT, selected,
                     reinterpret_cast<LPARAM>(name));
        return name;
    }
    // Checks only the radio button of the index (none for -1).
    void CheckOnly(int index)
    {
        for (int i = 0; i < SkinCount; ++i)
            SendMessageA(Item(SkinButtonIds[i]), BM_SETCHECK, i == index ? BST_CHECKED : 0, 0);
    }

    std::function<void(TestChooser&)> afterInit;
};

// The sub-folders of a folder that do not start with '.', in the order the
// file system lists them.
std::vector<std::string> ListedFolders(const CString& folder)
{
    std::vector<std::string> names;
    CFileFinder finder;
    if (!finder.FindFile(folder + "\\*.*"))
        return names;
    do
    {
        CString name;
        if (finder.IsDirectory() && finder.GetFileName(name) && name[0] != '.')
            names.push_back(static_cast<const char*>(name));
    } while (finder.FindNextFile());
    return names;
}
} // namespace

TEST(SkinLanguageTest, ListsLanguageFoldersInFileSystemOrderAndMatchesCaseSensitively)
{
    ChooserFolders folders;
    folders.AddLanguage("English");
    folders.AddLanguage("Deutsch");
    folders.AddLanguage(".svn");
    WriteTextFile(folders.Paths().appDirectory + "\\Languages\\readme.txt", "not a language");
    std::vector<std::string> expected =
        ListedFolders(folders.Paths().appDirectory + "\\Languages");
    ASSERT_EQ(expected.size(), 2u);

    // Blanks around the name are trimmed: Deutsch is selected.
    folders.WriteSettings("[Language]\r\nDirectory= Deutsch \r\n");
    {
        TestChooser chooser(folders.Paths());
        ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));
        EXPECT_EQ(chooser.Languages(), expected);
        EXPECT_EQ(chooser.SelectedLanguage(), "Deutsch");
    }
    // Another letter case selects nothing.
    folders.WriteSettings("[Language]\r\nDirectory=deutsch\r\n");
    {
        TestChooser chooser(folders.Paths());
        ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));
        EXPECT_EQ(chooser.Languages(), expected);
        EXPECT_EQ(chooser.SelectedLanguage(), "<none>");
    }
    // No settings file: English.
    DeleteFileA(folders.Settings());
    {
        TestChooser chooser(folders.Paths());
        ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));
        EXPECT_EQ(chooser.SelectedLanguage(), "English");
    }
}

TEST(SkinLanguageTest, SaveChoiceWritesEachSkinAndTheLanguageOrTheirDefaults)
{
    ChooserFolders folders;
    folders.AddLanguage("English");
    folders.AddLanguage("Deutsch");
    folders.WriteSettings("[Language]\r\nDirectory=Deutsch\r\n");
    TestChooser chooser(folders.Paths());
    ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));

    for (int i = 0; i < SkinLanguage::SkinCount; ++i)
    {
        chooser.CheckOnly(i);
        chooser.SaveChoice();
        EXPECT_EQ(folders.Read("Skin", "Directory"), SkinLanguage::SkinNames[i]);
        EXPECT_EQ(folders.Read("Language", "Directory"), "Deutsch");
    }
    EXPECT_STREQ(SkinLanguage::SkinNames[4], "Metalbrown");
    EXPECT_EQ(SkinLanguage::SkinButtonIds[4], 1008u);

    // Nothing checked, nothing selected.
    chooser.CheckOnly(-1);
    SendMessageA(chooser.Item(IDC_LANGUAGE_LIST), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    chooser.SaveChoice();
    EXPECT_EQ(folders.Read("Skin", "Directory"), "Default");
    EXPECT_EQ(folders.Read("Language", "Directory"), "English");
}

TEST(SkinLanguageTest, WithoutLanguagesFolderTheListIsEmptyAndOkWritesEnglish)
{
    ChooserFolders folders;
    TestChooser chooser(folders.Paths());
    ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));
    EXPECT_TRUE(chooser.Languages().empty());
    chooser.SaveChoice();
    EXPECT_EQ(folders.Read("Language", "Directory"), "English");
}

TEST(SkinLanguageTest, OkInAFreshProfileMakesTheUserFolderAndWritesBothKeys)
{
    ChooserFolders folders;
    folders.AddLanguage("English");
    ASSERT_EQ(GetFileAttributesA(folders.Paths().userFolder), INVALID_FILE_ATTRIBUTES);

    // A modal run: Metalbrown clicked, then OK, both through the loop.
    TestChooser chooser(folders.Paths());
    chooser.afterInit = [](TestChooser& dialog) {
        PostMessageA(dialog.Item(IDC_SKIN_METALBROWN), BM_CLICK, 0, 0);
        PostMessageA(dialog.Item(IDOK), BM_CLICK, 0, 0);
    };
    EXPECT_EQ(chooser.DoModal(IDD_SKIN_LANGUAGE), IDOK);

    DWORD attributes = GetFileAttributesA(folders.Paths().userFolder);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(folders.Read("Skin", "Directory"), "Metalbrown");
    EXPECT_EQ(folders.Read("Language", "Directory"), "English");

    // An existing folder is no error: a second OK writes again.
    TestChooser again(folders.Paths());
    again.afterInit = [](TestChooser& dialog) {
        PostMessageA(dialog.Item(IDC_SKIN_DEEPSEA), BM_CLICK, 0, 0);
        PostMessageA(dialog.Item(IDOK), BM_CLICK, 0, 0);
    };
    EXPECT_EQ(again.DoModal(IDD_SKIN_LANGUAGE), IDOK);
    EXPECT_EQ(folders.Read("Skin", "Directory"), "Deepsea");
}

TEST(SkinLanguageTest, EscapeLeavesTheSettingsFileByteIdentical)
{
    ChooserFolders folders;
    folders.AddLanguage("English");
    // Odd but legal content that any rewrite would change.
    const char content[] = "; kept\r\n[Skin]\r\nDirectory = Redrose\r\n\r\n[Other]\r\nx=1";
    folders.WriteSettings(content);

    TestChooser chooser(folders.Paths());
    chooser.afterInit = [](TestChooser& dialog) {
        // Another skin is clicked first: Escape must still write nothing.
        PostMessageA(dialog.Item(IDC_SKIN_ROYALPURPLE), BM_CLICK, 0, 0);
        PostMessageA(dialog.Item(IDC_SKIN_ROYALPURPLE), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    };
    EXPECT_EQ(chooser.DoModal(IDD_SKIN_LANGUAGE), IDCANCEL);
    EXPECT_EQ(std::string(ReadTextFile(folders.Settings())), content);
}

TEST(SkinLanguageTest, OpensWithDefaultCheckedWhateverSkinIsSet)
{
    ChooserFolders folders;
    folders.WriteSettings("[Skin]\r\nDirectory=Redrose\r\n");
    TestChooser chooser(folders.Paths());
    ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));
    for (int i = 0; i < SkinLanguage::SkinCount; ++i)
    {
        EXPECT_EQ(SendMessageA(chooser.Item(SkinLanguage::SkinButtonIds[i]), BM_GETCHECK, 0, 0),
                  i == 0 ? BST_CHECKED : BST_UNCHECKED);
    }
}

TEST(SkinLanguageTest, TextsComeFromTheChosenLanguageFileWithEnglishDefaults)
{
    ChooserFolders folders;
    folders.AddLanguage("English");
    {
        TestChooser chooser(folders.Paths());
        ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));
        EXPECT_EQ(chooser.Text(0), "Orvanel Brindlewox - Skin/Languages:");
        EXPECT_EQ(chooser.Text(IDC_HEADER), "      Skin/Languages:");
        EXPECT_EQ(chooser.Text(IDC_SKIN_GROUP), "Active skin:");
        EXPECT_EQ(chooser.Text(IDC_LANGUAGE_GROUP), "Active language:");
    }
    folders.AddLanguage("Deutsch", "[Language]\r\nDL_N_101_268=Oberflaeche/Sprachen:\r\n"
                                   "DL_N_101_269=Aktive Oberflaeche:\r\n"
                                   "DL_N_101_270=Aktive Sprache:\r\n");
    folders.WriteSettings("[Language]\r\nDirectory=Deutsch\r\n");
    {
        TestChooser chooser(folders.Paths());
        ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));
        EXPECT_EQ(chooser.Text(0), "Orvanel Brindlewox - Oberflaeche/Sprachen:");
        EXPECT_EQ(chooser.Text(IDC_HEADER), "      Oberflaeche/Sprachen:");
        EXPECT_EQ(chooser.Text(IDC_SKIN_GROUP), "Aktive Oberflaeche:");
        EXPECT_EQ(chooser.Text(IDC_LANGUAGE_GROUP), "Aktive Sprache:");
    }
}

TEST(SkinLanguageTest, TheHeaderShowsItsWholeTextInTheShippedLanguage)
{
    ChooserFolders folders;
    folders.AddLanguage("English");
    ASSERT_TRUE(CopyFileA(CString(BRINDLEWOX_BINARY_DIR) + "\\Languages\\English\\default.ini",
                          folders.Paths().appDirectory + "\\Languages\\English\\default.ini",
                          FALSE));
    TestChooser chooser(folders.Paths());
    ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));
    // The chooser's one label (the groups are buttons, drawn by the system).
    HWND header = chooser.Item(IDC_HEADER);
    auto* label = dynamic_cast<chooser::CCustomStatic*>(CWindow::FromHandle(header));
    ASSERT_NE(label, nullptr);
    std::string why;
    EXPECT_TRUE(LabelTextFits(header, label->GetFont(),
                              chooser::CCustomStatic::DrawFormat(static_cast<DWORD>(
                                  GetWindowLongPtrA(header, GWL_STYLE))),
                              0, why))
        << why;
}

TEST(SkinLanguageTest, HeaderIsDarkTextOnAWhiteBand)
{
    ChooserFolders folders;
    TestChooser chooser(folders.Paths());
    ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));
    HWND header = chooser.Item(IDC_HEADER);
    CWindow* object = CWindow::FromHandle(header);
    ASSERT_NE(dynamic_cast<chooser::CCustomStatic*>(object), nullptr);
    RECT client;
    GetClientRect(header, &client);
    ASSERT_GT(client.right, 0);
    ASSERT_GT(client.bottom, 0);

    Surface picture(client.right, client.bottom, RGB(10, 200, 10));
    object->OnPaint(&picture.Object());
    EXPECT_EQ(CountColor(picture, RGB(10, 200, 10)), 0) << "the band is not filled";
    std::vector<int> rows = DarkRows(picture);
    ASSERT_FALSE(rows.empty()) << "no text drawn";
    // One line, centred vertically (SS_CENTERIMAGE).
    int middle = (rows.front() + rows.back()) / 2;
    EXPECT_NEAR(middle, client.bottom / 2, 3);
    EXPECT_LT(rows.back() - rows.front(), 20);
    // The six blanks keep the text off the left edge.
    for (int y : rows)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(picture.Pixel(x, y), RGB(255, 255, 255));
}

TEST(SkinLanguageTest, ArrowKeysMoveAmongTheSkinsOnly)
{
    ChooserFolders folders;
    folders.AddLanguage("English");
    TestChooser chooser(folders.Paths());
    ASSERT_TRUE(chooser.Create(nullptr, IDD_SKIN_LANGUAGE));
    ShowWindow(chooser.GetHwnd(), SW_SHOWNA);
    SetFocus(chooser.Item(IDC_SKIN_DEFAULT));
    auto press = [&](WPARAM key) {
        MSG message = {GetFocus(), WM_KEYDOWN, key, 0x00010001};
        EXPECT_TRUE(IsDialogMessageA(chooser.GetHwnd(), &message));
        return GetDlgCtrlID(GetFocus());
    };
    // Down walks the six skins and wraps; each one it reaches is checked.
    const int order[] = {IDC_SKIN_REDROSE,    IDC_SKIN_DEEPSEA,     IDC_SKIN_ALIENSPACE,
                         IDC_SKIN_METALBROWN, IDC_SKIN_ROYALPURPLE, IDC_SKIN_DEFAULT};
    for (int id : order)
    {
        EXPECT_EQ(press(VK_DOWN), id);
        EXPECT_EQ(SendMessageA(chooser.Item(id), BM_GETCHECK, 0, 0), BST_CHECKED) << id;
    }
    EXPECT_EQ(press(VK_UP), IDC_SKIN_ROYALPURPLE);
    // Tab leaves the group for the language list.
    EXPECT_EQ(press(VK_TAB), IDC_LANGUAGE_LIST);
}

// The skin and language files on real INI files in a private settings
// folder and program folder, and the skin-image loader on real windows
// (Wine's null display driver).
#include "skin/SkinFiles.h"

#include "foundation/Ini.h"
#include "foundation/Module.h"
#include "foundation/Utility.h"
#include "foundation/Window.h"
#include "picture/Picture.h"
#include "tests/skin/SkinTestSupport.h"
#include "tests/support/Surface.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

namespace
{

// Every test gets its own settings and program folders; the settings folder
// does not exist until a test makes it.
class SkinFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MakeFolder(m_program));
        OverrideSkinFilesFolders(m_settingsFolder, m_program);
    }
    void TearDown() override { OverrideSkinFilesFolders(nullptr, nullptr); }

    void WriteSettings(const char* text)
    {
        ASSERT_TRUE(MakeFolder(m_settingsFolder));
        ASSERT_TRUE(WriteTextFile(m_settingsFolder + "\\settings.ini", text));
    }
    CString SkinFolder(const char* name)
    {
        MakeFolder(m_program + "\\Skins");
        CString folder = m_program + "\\Skins\\" + name;
        MakeFolder(folder);
        return folder;
    }
    void WriteSkin(const char* name, const char* text)
    {
        ASSERT_TRUE(WriteTextFile(SkinFolder(name) + "\\default.ini", text));
    }
    void WriteLanguage(const char* name, const char* text)
    {
        MakeFolder(m_program + "\\Languages");
        CString folder = m_program + "\\Languages\\" + name;
        MakeFolder(folder);
        ASSERT_TRUE(WriteTextFile(folder + "\\default.ini", text));
    }

    TempFolder m_temp{"skin"};
    CString m_settingsFolder = m_temp / kProductFolderName;
    CString m_program = m_temp / "program";
};

TEST_F(SkinFilesTest, PathsFollowTheSettingsAndTheSkinFolder)
{
    EXPECT_STREQ(GetSettingsFilePath(), m_settingsFolder + "\\settings.ini");
    WriteSettings("[Skin]\r\nDirectory=Deepsea\r\n[Language]\r\nDirectory=Deutsch\r\n");
    CSkinFiles skin(CSkinFiles::WithLanguage);
    EXPECT_STREQ(skin.GetSkinFolder(), "Deepsea");
    EXPECT_STREQ(skin.GetLanguageFolder(), "Deutsch");
    EXPECT_STREQ(skin.GetSkin().GetPathName(), m_program + "\\Skins\\Deepsea\\default.ini");
    EXPECT_STREQ(skin.GetLanguage().GetPathName(),
                 m_program + "\\Languages\\Deutsch\\default.ini");

    WriteSkin("Deepsea", "[Image]\r\nBUTTON=buttons\\wide.png\r\n");
    CSkinFiles again;
    EXPECT_STREQ(again.GetImagePath("BUTTON", "button.png"),
                 m_program + "\\Skins\\Deepsea\\buttons\\wide.png");
    EXPECT_STREQ(again.GetImagePath("BUTTON_LARGE", "button_large.png"),
                 m_program + "\\Skins\\Deepsea\\button_large.png");
    // Without the language option no language file is read.
    EXPECT_STREQ(again.GetLanguage().GetPathName(), "");
}

TEST(SkinFilesFolders, TheRealSettingsFolderIsUnderApplicationData)
{
    char appData[MAX_PATH] = "";
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE));
    EXPECT_STREQ(GetSettingsFolder(), CString(appData) + "\\ORVANEL Brindlewox");
    CString program;
    ASSERT_TRUE(GetAppDirectory(program));
    EXPECT_STREQ(GetProgramFolder(), program);
}

TEST_F(SkinFilesTest, ColoursFallBackPerComponentAndKeepTheLowByte)
{
    WriteSettings("[Skin]\r\nDirectory=Default\r\n");
    WriteSkin("Default", "[Color]\r\n"
                         "COLOR_FRAME_3_R=10\r\nCOLOR_FRAME_3_B=30\r\n"
                         "WIDE_R=256\r\nWIDE_G=12abc\r\nWIDE_B=-1\r\n"
                         "WORDS_R=red\r\nWORDS_G=\r\nWORDS_B= 7\r\n");
    CSkinFiles skin;
    // A missing green gives the reader's 173 beside the stored red and blue.
    EXPECT_EQ(skin.ReadColor("COLOR_FRAME_3", RGB(255, 173, 27)), RGB(10, 173, 30));
    EXPECT_EQ(skin.ReadColor("WIDE", RGB(1, 2, 3)), RGB(0, 12, 255));
    // No digits read 0; an empty value is missing.
    EXPECT_EQ(skin.ReadColor("WORDS", RGB(1, 2, 3)), RGB(0, 2, 7));
    // A colour the file lacks, and a missing section in another skin.
    EXPECT_EQ(skin.ReadColor("COLOR_FRAME_1", RGB(168, 168, 168)), RGB(168, 168, 168));
    WriteSkin("Bare", "[Image]\r\nBUTTON=b.png\r\n");
    WriteSettings("[Skin]\r\nDirectory=Bare\r\n");
    CSkinFiles bare;
    EXPECT_EQ(bare.ReadColor("COLOR_FRAME_3", RGB(255, 173, 27)), RGB(255, 173, 27));
    EXPECT_EQ(bare.ReadColor("GRADIENT_LEFT", RGB(232, 237, 242)), RGB(232, 237, 242));
}

TEST_F(SkinFilesTest, AFreshProfileGetsTheFolderAndBothEntries)
{
    ASSERT_EQ(GetFileAttributesA(m_settingsFolder), INVALID_FILE_ATTRIBUTES);
    CSkinFiles plain;
    // A reader that only reads writes nothing.
    EXPECT_EQ(GetFileAttributesA(m_settingsFolder), INVALID_FILE_ATTRIBUTES);

    CSkinFiles skin(CSkinFiles::FirstRunDefaults);
    EXPECT_STREQ(skin.GetSkinFolder(), "Default");
    CIni settings(GetSettingsFilePath());
    CString value;
    EXPECT_STREQ(settings.GetString(value, "Skin", "Directory", "?"), "Default");
    EXPECT_STREQ(settings.GetString(value, "Language", "Directory", "?"), "English");
    // Skin first, then language.
    CString text = ReadTextFile(GetSettingsFilePath());
    int skinAt = std::string(text).find("[Skin]");
    int languageAt = std::string(text).find("[Language]");
    EXPECT_GE(skinAt, 0);
    EXPECT_GT(languageAt, skinAt);
}

TEST_F(SkinFilesTest, AnExistingSkinEntryLeavesTheFileAsItIs)
{
    const char* text = "; chosen by hand\r\n[Skin]\r\nDirectory=Redrose\r\n";
    WriteSettings(text);
    EXPECT_TRUE(WriteFirstRunDefaults());
    CSkinFiles skin(CSkinFiles::FirstRunDefaults | CSkinFiles::WithLanguage);
    EXPECT_STREQ(ReadTextFile(GetSettingsFilePath()), text);
    EXPECT_STREQ(skin.GetSkinFolder(), "Redrose");
    EXPECT_STREQ(skin.GetLanguageFolder(), "English");

    // Even an empty value counts as present.
    WriteSettings("[Skin]\r\nDirectory=\r\n");
    WriteFirstRunDefaults();
    EXPECT_STREQ(ReadTextFile(GetSettingsFilePath()), "[Skin]\r\nDirectory=\r\n");
}

TEST_F(SkinFilesTest, AMissingLanguageKeyGivesThatDefaultAlone)
{
    WriteSettings("[Skin]\r\nDirectory=Default\r\n[Language]\r\nDirectory=Pirate\r\n");
    WriteLanguage("Pirate", "[Language]\r\nDL_N_101_36=Hoist\r\nDL_N_101_41=  Belay, matey  \r\n");
    EXPECT_STREQ(LanguageText("DL_N_101_36", "Start"), "Hoist");
    EXPECT_STREQ(LanguageText("DL_N_101_259", "Stop"), "Stop");
    CSkinFiles skin(CSkinFiles::WithLanguage);
    EXPECT_STREQ(skin.GetText("DL_N_101_36", "Start"), "Hoist");
    EXPECT_STREQ(skin.GetText("DL_N_101_41", "Pause"), "Belay, matey");
    EXPECT_STREQ(skin.GetText("DL_N_101_260", "Resume"), "Resume");

    // Without any settings file the language is English, read from its file.
    DeleteFileA(GetSettingsFilePath());
    WriteLanguage("English", "[Language]\r\nDL_N_101_36=Start now\r\n");
    EXPECT_STREQ(LanguageText("DL_N_101_36", "Start"), "Start now");
}

// --- the skin-image loader ------------------------------------------------------

constexpr COLORREF kParentColour = RGB(20, 120, 200);

// A framework window that paints its client area in one colour.
class PaintedParent : public CWindow
{
public:
    LRESULT OnPaint(CDC* dc) override
    {
        ++paints;
        if (dc == nullptr)
            return NotHandled;
        CRect client = GetClientRect();
        dc->FillSolidRect(client.left, client.top, client.Width(), client.Height(),
                          kParentColour);
        return 0;
    }
    int paints = 0;
};

constexpr COLORREF kMagenta = RGB(255, 0, 255);

// The colour of a pixel of image `index` drawn over a green ground.
COLORREF ImagePixel(const CImageList& images, int index, int x, int y)
{
    Surface surface(200, 50, RGB(0, 255, 0));
    ImageList_Draw(images.GetSafeHandle(), index, surface.Dc(), 0, 0, ILD_TRANSPARENT);
    return surface.Pixel(x, y);
}

class SkinImageLoaderTest : public SkinFilesTest
{
protected:
    void SetUp() override
    {
        SkinFilesTest::SetUp();
        if (!GetModuleState()->AreClassesRegistered())
        {
            ASSERT_TRUE(GetModuleState()->Init(GetModuleHandleA(nullptr), "", SW_SHOWNORMAL));
        }
        WriteSettings("[Skin]\r\nDirectory=Test\r\n");
        WriteSkin("Test", "[Image]\r\nBUTTON=strip.bmp\r\n");
        ASSERT_TRUE(m_parent.CreateEx(0, nullptr, "parent", WS_POPUP, 0, 0, 300, 200, nullptr,
                                      nullptr));
        m_button = CreateWindowExA(0, "STATIC", "", WS_CHILD, 40, 50, 120, 30,
                                   m_parent.GetSafeHwnd(), nullptr, GetModuleHandleA(nullptr),
                                   nullptr);
        ASSERT_NE(m_button, nullptr);
    }

    PaintedParent m_parent;
    HWND m_button = nullptr;
    CPicture m_picture;
    CImageList m_images;
    int m_index[SkinStateCount] = {0, 1, 2};
    std::unique_ptr<CBufferDC> m_snapshot;
};

TEST_F(SkinImageLoaderTest, AMagentaThirdShowsTheParentsBackground)
{
    // Red, magenta, blue thirds of a 300 × 30 strip.
    ASSERT_TRUE(WriteBmp(SkinFolder("Test") + "\\strip.bmp", 300, 30, [](int x, int) {
        return x < 100 ? RGB(200, 0, 0) : x < 200 ? kMagenta : RGB(0, 0, 200);
    }));
    EXPECT_TRUE(LoadSkinImage(m_button, "BUTTON", "button.png", m_picture, m_images, m_index,
                              &m_snapshot));
    EXPECT_EQ(m_index[0], 0);
    EXPECT_EQ(m_index[1], kSkinStateParentBackground);
    EXPECT_EQ(m_index[2], 2);
    EXPECT_EQ(m_picture.GetWidth(), 360);
    EXPECT_EQ(m_picture.GetHeight(), 30);
    EXPECT_EQ(ImageList_GetImageCount(m_images.GetSafeHandle()), 3);
    int width = 0, height = 0;
    ASSERT_TRUE(ImageList_GetIconSize(m_images.GetSafeHandle(), &width, &height));
    EXPECT_EQ(width, 120);
    EXPECT_EQ(height, 30);
    EXPECT_EQ(ImagePixel(m_images, 0, 60, 15), RGB(200, 0, 0));
    EXPECT_EQ(ImagePixel(m_images, 2, 60, 15), RGB(0, 0, 200));
    // The magenta state is transparent all over.
    EXPECT_EQ(ImagePixel(m_images, 1, 60, 15), RGB(0, 255, 0));

    // The parent painted itself into the snapshot, which keeps no target.
    ASSERT_NE(m_snapshot, nullptr);
    EXPECT_EQ(m_parent.paints, 1);
    EXPECT_FALSE(m_snapshot->HasTarget());
    EXPECT_TRUE(m_snapshot->IsBuffered());
    EXPECT_EQ(GetPixel(*m_snapshot, 40 + 60, 50 + 15), kParentColour);
    EXPECT_EQ(GetPixel(*m_snapshot, 299, 199), kParentColour);

    // A second load keeps the snapshot it has.
    CBufferDC* first = m_snapshot.get();
    LoadSkinImage(m_button, "BUTTON", "button.png", m_picture, m_images, m_index, &m_snapshot);
    EXPECT_EQ(m_snapshot.get(), first);
    EXPECT_EQ(m_parent.paints, 1);
}

TEST_F(SkinImageLoaderTest, MagentaOnlyInsideAStateIsTransparentWithoutASnapshot)
{
    // Each third has a magenta block away from its sample pixel.
    ASSERT_TRUE(WriteBmp(SkinFolder("Test") + "\\strip.bmp", 300, 30, [](int x, int y) {
        if (x % 100 >= 40 && x % 100 < 80 && y >= 5 && y < 25)
            return kMagenta;
        return x < 100 ? RGB(200, 0, 0) : x < 200 ? RGB(0, 200, 0) : RGB(0, 0, 200);
    }));
    m_index[1] = kSkinStateParentBackground; // as an earlier skin's strip left it
    EXPECT_TRUE(LoadSkinImage(m_button, "BUTTON", "button.png", m_picture, m_images, m_index,
                              &m_snapshot));
    EXPECT_EQ(m_index[0], 0);
    EXPECT_EQ(m_index[1], 1);
    EXPECT_EQ(m_index[2], 2);
    EXPECT_EQ(m_snapshot, nullptr);
    EXPECT_EQ(m_parent.paints, 0);
    // The block lies at x 48-95 of each 120-pixel image, rows 5-24 of 30.
    EXPECT_EQ(ImagePixel(m_images, 0, 10, 15), RGB(200, 0, 0));
    EXPECT_EQ(ImagePixel(m_images, 0, 70, 15), RGB(0, 255, 0));
    EXPECT_EQ(ImagePixel(m_images, 2, 70, 15), RGB(0, 255, 0));
    EXPECT_EQ(ImagePixel(m_images, 2, 110, 15), RGB(0, 0, 200));

    // Without a place for a snapshot none is taken, magenta or not.
    ASSERT_TRUE(WriteBmp(SkinFolder("Test") + "\\strip.bmp", 30, 10,
                         [](int, int) { return kMagenta; }));
    EXPECT_TRUE(LoadSkinImage(m_button, "BUTTON", "button.png", m_picture, m_images, m_index,
                              nullptr));
    EXPECT_EQ(m_index[0], kSkinStateParentBackground);
    EXPECT_EQ(m_index[2], kSkinStateParentBackground);
    EXPECT_EQ(m_parent.paints, 0);
}

TEST_F(SkinImageLoaderTest, AMissingPictureGivesAnEmptyListOfTheWindowsSize)
{
    ASSERT_TRUE(WriteBmp(SkinFolder("Test") + "\\strip.bmp", 90, 10,
                         [](int, int) { return RGB(1, 2, 3); }));
    ASSERT_TRUE(LoadSkinImage(m_button, "BUTTON", "button.png", m_picture, m_images, m_index,
                              &m_snapshot));
    // The key names a file the folder lacks: the earlier picture is gone too.
    EXPECT_FALSE(LoadSkinImage(m_button, "BUTTON_DIALOG", "button_dialog.png", m_picture,
                               m_images, m_index, &m_snapshot));
    EXPECT_FALSE(m_picture.IsValid());
    ASSERT_NE(m_images.GetSafeHandle(), nullptr);
    EXPECT_EQ(ImageList_GetImageCount(m_images.GetSafeHandle()), 0);
    int width = 0, height = 0;
    ASSERT_TRUE(ImageList_GetIconSize(m_images.GetSafeHandle(), &width, &height));
    EXPECT_EQ(width, 120);
    EXPECT_EQ(height, 30);
    EXPECT_EQ(m_snapshot, nullptr);
}

TEST_F(SkinImageLoaderTest, AnUnknownSkinGivesDefaultsAndEmptyPictures)
{
    WriteSettings("[Skin]\r\nDirectory=Nowhere\r\n");
    CSkinFiles skin(CSkinFiles::FirstRunDefaults | CSkinFiles::WithLanguage);
    EXPECT_EQ(skin.ReadColor("COLOR_FRAME_1", RGB(168, 168, 168)), RGB(168, 168, 168));
    EXPECT_EQ(skin.ReadColor("COLOR_SHIELD_OFF", RGB(255, 0, 0)), RGB(255, 0, 0));
    EXPECT_STREQ(skin.GetText("DL_N_101_122", "Close"), "Close");
    // No message box: the call returns on its own, with nothing loaded.
    EXPECT_FALSE(LoadSkinImage(m_button, "BUTTON", "button.png", m_picture, m_images, m_index,
                               &m_snapshot));
    EXPECT_EQ(ImageList_GetImageCount(m_images.GetSafeHandle()), 0);
    EXPECT_EQ(m_index[1], 1);
}

} // namespace

// Helpers of the menu and tray tests: a memory canvas with ink searches,
// a one-colour image list, and the settings and program folders redirected
// into a test's own folder.
#ifndef BRINDLEWOX_TESTS_SUPPORT_MENUTESTSUPPORT_H
#define BRINDLEWOX_TESTS_SUPPORT_MENUTESTSUPPORT_H

#include "skin/SkinFiles.h"

#include "foundation/Dc.h"
#include "foundation/Gdi.h"
#include "foundation/String.h"

#include "tests/support/Surface.h"
#include "tests/support/TempFolder.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>

// The bounding box (right and bottom exclusive) of the pixels that differ
// from a background.
struct InkBox
{
    bool found = false;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A surface that starts (1, 2, 3), with searches for what was drawn.
class MenuCanvas : public Surface
{
public:
    MenuCanvas(int width, int height) : Surface(width, height, RGB(1, 2, 3)) {}

    InkBox Ink(int left, int top, int right, int bottom, COLORREF background) const
    {
        InkBox box;
        for (int y = top; y < bottom; ++y)
        {
            for (int x = left; x < right; ++x)
            {
                if (Pixel(x, y) == background)
                    continue;
                if (!box.found)
                {
                    box = {true, x, y, x + 1, y + 1};
                    continue;
                }
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
        }
        return box;
    }
    bool Contains(const InkBox& box, COLORREF colour) const
    {
        for (int y = box.top; y < box.bottom; ++y)
        {
            for (int x = box.left; x < box.right; ++x)
            {
                if (Pixel(x, y) == colour)
                    return true;
            }
        }
        return false;
    }
};

// A 16 x 16 image list holding one image of a solid colour.
inline HIMAGELIST MakeSolidImageList(COLORREF colour)
{
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
    if (images == nullptr)
        return nullptr;
    MenuCanvas canvas(16, 16);
    CDC::FromHandle(canvas.Dc())->FillSolidRect(0, 0, 16, 16, colour);
    CGetDC screen;
    CDC copy;
    copy.CreateCompatibleDC(nullptr);
    CBitmap bitmap;
    bitmap.CreateCompatibleBitmap(screen, 16, 16);
    {
        CSelectScope scope(copy, bitmap);
        BitBlt(copy, 0, 0, 16, 16, canvas.Dc(), 0, 0, SRCCOPY);
    }
    ImageList_AddMasked(images, bitmap.GetSafeHandle(), RGB(255, 0, 255));
    return images;
}

// Points the settings and program folders into a fresh folder for the
// object's life: <folder>\settings.ini, <folder>\Skins, <folder>\Languages.
class SkinFilesRedirect
{
public:
    explicit SkinFilesRedirect(const char* tag) : m_temp(tag), m_folder(m_temp.Path())
    {
        m_settings = m_folder + "\\settings.ini";
        OverrideSkinFilesFolders(m_folder, m_folder);
    }
    SkinFilesRedirect(const SkinFilesRedirect&) = delete;
    SkinFilesRedirect& operator=(const SkinFilesRedirect&) = delete;
    ~SkinFilesRedirect() { OverrideSkinFilesFolders(nullptr, nullptr); }

    const CString& SettingsFile() const { return m_settings; }
    void ChooseSkin(const char* name)
    {
        WritePrivateProfileStringA("Skin", "Directory", name, m_settings);
    }
    void ChooseLanguage(const char* name)
    {
        WritePrivateProfileStringA("Language", "Directory", name, m_settings);
    }
    void WriteSkin(const char* name, const char* text)
    {
        MakeFolder(m_folder + "\\Skins");
        MakeFolder(m_folder + "\\Skins\\" + name);
        EXPECT_TRUE(WriteTextFile(m_folder + "\\Skins\\" + name + "\\default.ini", text));
    }
    void WriteLanguage(const char* name, const char* text)
    {
        MakeFolder(m_folder + "\\Languages");
        MakeFolder(m_folder + "\\Languages\\" + name);
        EXPECT_TRUE(WriteTextFile(m_folder + "\\Languages\\" + name + "\\default.ini", text));
    }

private:
    TempFolder m_temp;
    CString m_folder;
    CString m_settings;
};

#endif

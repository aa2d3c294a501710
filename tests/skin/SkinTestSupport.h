// Helpers of the skin tests: test pictures written as BMP files; a control
// painted through WM_PRINTCLIENT into a 32-bit bitmap whose pixels the tests
// read (Wine's null display driver draws memory contexts exactly); a memory
// canvas with ink searches, a one-colour image list, and the settings and
// program folders redirected into a test's own folder.
#ifndef BRINDLEWOX_TESTS_SKIN_SKINTESTSUPPORT_H
#define BRINDLEWOX_TESTS_SKIN_SKINTESTSUPPORT_H

#include "foundation/Base.h"

#include <functional>

// A 24-bit bottom-up BMP whose pixel (x, y) (y = 0 the bottom row) is
// colour(x, y).
bool WriteBmp(const char* path, int width, int height,
              const std::function<COLORREF(int, int)>& colour);

// How many GDI objects the process made (and kept) since the gauge was set
// up: GetGuiResources(GR_GDIOBJECTS) where the system counts them, else
// (Wine 8 answers 0) the entries of the process's GDI handle table. The
// constructor checks that the gauge sees 64 objects kept.
class GdiObjectGauge
{
public:
    GdiObjectGauge();
    int Growth() const;

private:
    static int Now();
    int m_start = 0;
};

// Starts the framework (ModuleState::Init) once per test process.
void StartSkinFramework();

// The client area of a window as WM_PRINTCLIENT with PRF_CLIENT |
// PRF_ERASEBKGND paints it into a 32-bit DIB section that starts filled with
// the ground colour.
class Rendering
{
public:
    Rendering(HWND window, COLORREF ground);
    Rendering(const Rendering&) = delete;
    Rendering& operator=(const Rendering&) = delete;
    ~Rendering();

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // The pixel as a COLORREF; CLR_INVALID outside.
    COLORREF At(int x, int y) const;
    // The smallest rectangle holding every pixel that differs from the
    // colour; empty when there is none.
    RECT BoundsOfOther(COLORREF color) const;
    // How many pixels have exactly the colour.
    int Count(COLORREF color) const;

private:
    int m_width = 0;
    int m_height = 0;
    HBITMAP m_bitmap = nullptr;
    const DWORD* m_bits = nullptr;
};

#include "skin/SkinFiles.h"

#include "foundation/Dc.h"
#include "foundation/Gdi.h"
#include "foundation/String.h"

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

// A memory context over a bitmap compatible with the screen (32 bits a
// pixel under Wine's null driver: GetPixel reads exact colours).
class MenuCanvas
{
public:
    MenuCanvas(int width, int height)
    {
        CGetDC screen;
        m_dc.CreateCompatibleDC(nullptr);
        m_bitmap.CreateCompatibleBitmap(screen, width, height);
        m_selection.Select(m_dc, m_bitmap);
        RECT all = {0, 0, width, height};
        m_dc.FillSolidRect(all, RGB(1, 2, 3));
    }
    HDC Dc() const { return m_dc.GetSafeHdc(); }
    COLORREF Pixel(int x, int y) const { return GetPixel(m_dc, x, y); }

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

private:
    CDC m_dc;
    CBitmap m_bitmap;
    CSelectScope m_selection;
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

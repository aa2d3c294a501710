// Helpers of the skin tests: test pictures written as BMP files, and a
// control painted through WM_PRINTCLIENT into a 32-bit bitmap whose pixels
// the tests read (Wine's null display driver draws memory contexts exactly).
#ifndef BRINDLEWOX_TESTS_SKIN_SKINTESTSUPPORT_H
#define BRINDLEWOX_TESTS_SKIN_SKINTESTSUPPORT_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "foundation/Window.h"
#include "tests/support/BmpFile.h"
#include "tests/support/Surface.h"
#include "tests/support/TempFolder.h"

#include <functional>


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

// A skin of a test's own: a settings file naming skin "Test" and that skin's
// default.ini with the given text, in a fresh folder; the skin files read
// them (OverrideSkinFilesFolders) until the object goes.
class TestSkin
{
public:
    explicit TestSkin(const char* iniText);
    ~TestSkin();
    // The skin folder, for the pictures its default.ini names.
    const CString& Folder() const { return m_skin; }
    const CString& SettingsFolder() const { return m_settings; }

private:
    TempFolder m_temp{"skintest"};
    CString m_settings;
    CString m_program;
    CString m_skin;
};

// Makes `parent` a 400 x 300 popup and shows it (without activating it):
// hidden windows keep no update region.
bool CreateShownParent(CWindow& parent);

// The pixel (x, y) of what `draw` paints into a width x height surface that
// starts black (a context foreign to the framework).
COLORREF PixelOfDrawing(int width, int height, const std::function<void(HDC)>& draw, int x, int y);

// The client area of a window as WM_PRINTCLIENT with PRF_CLIENT |
// PRF_ERASEBKGND paints it into a surface (foreign to the framework) that
// starts filled with the ground colour.
class Rendering : public Surface
{
public:
    Rendering(HWND window, COLORREF ground);

    // The pixel as a COLORREF; CLR_INVALID outside.
    COLORREF At(int x, int y) const;
    // The smallest rectangle holding every pixel that differs from the
    // colour; empty when there is none.
    RECT BoundsOfOther(COLORREF color) const;
    // How many pixels have exactly the colour.
    int Count(COLORREF color) const;
};

#endif

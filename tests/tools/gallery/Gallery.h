// The control gallery: a test program, never part of the product, that shows
// one group of skinned controls in every state in a dialog built from a
// memory template, so that tests/scripts/gallery.sh can take a screenshot of
// it under Xvfb and check its pixels. Each group is a mode.
//
// Adding a mode (nothing else changes):
//   1. tests/tools/gallery/<mode>.cpp: a class derived from GalleryMode whose
//      Build makes the controls with host.AddChild (each named for the
//      manifest) and attaches the control objects (host.Keep owns them), and
//      the line GALLERY_MODE(<mode>, <Class>, <client width>, <client height>,
//      <flags>) at namespace scope. The build picks the file up by its glob.
//      States the mouse gives (hot, pressed) are forced through subclasses of
//      the controls that live in the mode's file only.
//   2. Optional: tests/scripts/gallery/<mode>.py <png> <manifest> <skin ini>,
//      the pixel check gallery.sh runs after each screenshot (see
//      tests/scripts/gallery/gallerycheck.py for its helpers). It runs while
//      the gallery is still on screen, so it may move the pointer with
//      xdotool and take more screenshots.
// A mode flagged GalleryInDesktop runs inside `explorer /desktop=gallery,
// 1024x768` (the tray exists only there).
//
// The program: `control_gallery --list` prints the modes, one a line, with
// " desktop" after the name of a GalleryInDesktop mode. `control_gallery
// <mode> <manifest> [seconds]` shows the mode; once everything is painted it
// writes the manifest (one line per named control: `name left top right
// bottom`, the window rectangle in screen pixels), then waits until a file
// named <manifest>.done appears (or the seconds, 120 by default, have
// passed) and ends.
#ifndef BRINDLEWOX_TESTS_TOOLS_GALLERY_GALLERY_H
#define BRINDLEWOX_TESTS_TOOLS_GALLERY_GALLERY_H

#include "foundation/Base.h"
#include "foundation/Window.h"

#include <memory>
#include <utility>
#include <vector>

class GalleryHost
{
public:
    virtual ~GalleryHost() = default;

    // The gallery's dialog.
    virtual HWND Dialog() const = 0;
    // A child window of the dialog at the position (client pixels), with the
    // dialog's font and the next control id (from 1000 on); WS_CHILD and
    // WS_VISIBLE are added. A non-null name puts it into the manifest. Null
    // when the system makes none.
    virtual HWND AddChild(const char* name, const char* className, const char* text, DWORD style,
                          int x, int y, int width, int height, DWORD exStyle = 0) = 0;
    // A small grey caption (a plain static, not in the manifest).
    virtual void AddCaption(const char* text, int x, int y, int width) = 0;
    // Puts a window made another way (a popup, a control's own window) into
    // the manifest.
    virtual void Name(const char* name, HWND window) = 0;
    // Puts a screen rectangle into the manifest: something without a window
    // of its own.
    virtual void NameRect(const char* name, const RECT& screen) = 0;
    // A rectangle of the dialog's background painted in a colour (behind
    // controls that draw white text without a picture).
    virtual void AddBackdrop(const RECT& client, COLORREF color) = 0;

    // Keeps an object (a control attached to a child) until the dialog ends;
    // objects go in reverse order, before the dialog's window.
    template <class T> T& Keep(std::unique_ptr<T> object)
    {
        T& kept = *object;
        m_kept.emplace_back(std::unique_ptr<void, void (*)(void*)>(object.release(), [](void* p)
                                                                   { delete static_cast<T*>(p); }));
        return kept;
    }
    template <class T, class... Args> T& Make(Args&&... args)
    {
        return Keep(std::make_unique<T>(std::forward<Args>(args)...));
    }

protected:
    void ReleaseKept()
    {
        while (!m_kept.empty())
            m_kept.pop_back();
    }

private:
    std::vector<std::unique_ptr<void, void (*)(void*)>> m_kept;
};

class GalleryMode
{
public:
    virtual ~GalleryMode() = default;
    // Makes the controls; the dialog exists but is not shown yet.
    virtual void Build(GalleryHost& host) = 0;
    // Runs once the dialog is shown and painted, before the manifest: the
    // place to set the focus and to force states that need the window on
    // screen.
    virtual void Shown(GalleryHost& host) {}
    // Whether what Shown began is on screen and named: the manifest waits
    // for it as well as for the dialog's thread to have nothing left to do
    // (a mode that finishes on a timer, as the menu does, says so here).
    virtual bool Ready() const { return true; }
};

enum GalleryFlags
{
    GalleryPlain = 0,
    // Runs inside `explorer /desktop=gallery,1024x768`.
    GalleryInDesktop = 1
};

struct GalleryModeEntry
{
    const char* name;
    GalleryMode* (*make)();
    int clientWidth;
    int clientHeight;
    unsigned flags;
};

// The registered modes, in no particular order.
std::vector<GalleryModeEntry>& GalleryModes();

struct GalleryRegistration
{
    explicit GalleryRegistration(const GalleryModeEntry& entry) { GalleryModes().push_back(entry); }
};

#define GALLERY_MODE(name, Class, width, height, flags)                                            \
    static GalleryRegistration g_galleryMode_##name(                                               \
        GalleryModeEntry{#name, []() -> GalleryMode* { return new Class; }, width, height, flags})

#endif

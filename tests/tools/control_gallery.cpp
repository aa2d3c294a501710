// control_gallery: shows one group of skinned controls in every state for
// tests/scripts/gallery.sh to take a screenshot of (see gallery/Gallery.h for
// the modes and the protocol).
//   control_gallery --list
//   control_gallery <mode> <manifest> [seconds]
// Exit codes: 0 shown and released; 2 bad arguments or an unknown mode; 3 the
// dialog could not be made; 4 nobody released it in time.
#include "foundation/Controls.h"
#include "foundation/Dc.h"
#include "foundation/Dialog.h"
#include "foundation/Module.h"
#include "foundation/Startup.h"
#include "tests/support/Waits.h"
#include "tests/tools/gallery/Gallery.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

std::vector<GalleryModeEntry>& GalleryModes()
{
    static std::vector<GalleryModeEntry> modes;
    return modes;
}

namespace
{
constexpr UINT kShownMessage = WM_APP + 1;
constexpr UINT_PTR kSettleTimer = 1;
constexpr UINT_PTR kReleaseTimer = 2;
// Between two looks at whether the controls' own posted work after the
// mode's Shown (first paints, focus frames) is done, and at the release.
constexpr UINT kSettlePollMs = 50;
constexpr UINT kReleasePollMs = 100;

// Whether this thread has nothing left to do: no window to paint, no posted
// or sent message waiting. Timers do not count (the tray's animation runs
// for ever).
bool ThreadIsIdle()
{
    return HIWORD(GetQueueStatus(QS_PAINT | QS_POSTMESSAGE | QS_SENDMESSAGE)) == 0;
}
constexpr int kFirstId = 1000;
// Where the dialog's client area starts on the screen: clear of the screen's
// edge, with room for a 1024 x 700 client on the 1280 x 800 screen.
constexpr int kScreenX = 16;
constexpr int kScreenY = 16;

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class GalleryDialog : public CDialog, public GalleryHost
{
public:
    GalleryDialog(const GalleryModeEntry& entry, std::string manifest, DWORD seconds)
        : m_entry(entry), m_mode(entry.make()), m_manifest(std::move(manifest)),
          m_deadline(GetTickCount() + seconds * 1000)
    {
    }

    int ExitCode() const { return m_exitCode; }

    // --- GalleryHost ---
    HWND Dialog() const override { return m_hWnd; }

    HWND AddChild(const char* name, const char* className, const char* text, DWORD style, int x,
                  int y, int width, int height, DWORD exStyle) override
    {
        HWND child = CreateWindowExA(exStyle, className, text, style | WS_CHILD | WS_VISIBLE, x, y,
                                     width, height, m_hWnd,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(m_nextId++)),
                                     GetModuleState()->GetInstanceHandle(), nullptr);
        if (child == nullptr)
        {
            std::fprintf(stderr, "control_gallery: no %s window for %s (error %lu)\n", className,
                         name != nullptr ? name : "a caption", GetLastError());
            return nullptr;
        }
        SendMessageA(child, WM_SETFONT, SendMessageA(m_hWnd, WM_GETFONT, 0, 0), FALSE);
        if (name != nullptr)
            Name(name, child);
        return child;
    }

    void AddCaption(const char* text, int x, int y, int width) override
    {
        if (HWND caption =
                AddChild(nullptr, "STATIC", text, SS_LEFT | SS_NOPREFIX, x, y, width, 14, 0))
            m_captions.push_back(caption);
    }

    void Name(const char* name, HWND window) override { m_named.push_back({name, window, {}}); }

    void NameRect(const char* name, const RECT& screen) override
    {
        m_named.push_back({name, nullptr, screen});
    }

    void AddBackdrop(const RECT& client, COLORREF color) override
    {
        m_backdrops.push_back({client, color});
    }

    // --- CDialog ---
    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override
    {
        // The client area at a fixed place of the screen, in the mode's size.
        RECT frame = {kScreenX, kScreenY, kScreenX + m_entry.clientWidth,
                      kScreenY + m_entry.clientHeight};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE)));
        SetWindowPos(m_hWnd, nullptr, frame.left, frame.top, frame.right - frame.left,
                     frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
        m_mode->Build(*this);
        PostMessageA(m_hWnd, kShownMessage, 0, 0);
        // The mode sets the focus itself (in Shown).
        return FALSE;
    }

    LRESULT OnEraseBkgnd(CDC* dc) override
    {
        if (dc == nullptr)
            return 0;
        RECT client = {};
        ::GetClientRect(m_hWnd, &client);
        dc->FillSolidRect(client, RGB(255, 255, 255));
        for (const Backdrop& backdrop : m_backdrops)
            dc->FillSolidRect(backdrop.rect, backdrop.color);
        return 1;
    }

    LRESULT OnDestroy() override
    {
        KillTimer(m_hWnd, kSettleTimer);
        KillTimer(m_hWnd, kReleaseTimer);
        // The control objects let go of their windows while these still live.
        ReleaseKept();
        return CDialog::OnDestroy();
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message)
        {
        case kShownMessage:
            m_mode->Shown(*this);
            RedrawWindow(m_hWnd, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
            m_settleEnd = GetTickCount64() + wait_bound::kStepMs;
            SetTimer(m_hWnd, kSettleTimer, kSettlePollMs, nullptr);
            return 0;
        case WM_TIMER:
            if (wParam == kSettleTimer)
            {
                // Idle at two looks in a row: work that one piece of posted
                // work posts in turn is done too.
                m_idleLooks = ThreadIsIdle() && m_mode->Ready() ? m_idleLooks + 1 : 0;
                if (m_idleLooks < 2 && GetTickCount64() < m_settleEnd)
                    return 0;
                if (m_idleLooks < 2)
                    std::fprintf(stderr, "control_gallery: %s still busy; its manifest is written\n",
                                 m_entry.name);
                KillTimer(m_hWnd, kSettleTimer);
                if (!WriteManifest())
                {
                    m_exitCode = 3;
                    EndDialog(3);
                    return 0;
                }
                SetTimer(m_hWnd, kReleaseTimer, kReleasePollMs, nullptr);
                return 0;
            }
            if (wParam == kReleaseTimer)
            {
                if (FileExists(m_manifest + ".done"))
                {
                    m_exitCode = 0;
                    EndDialog(0);
                }
                else if (static_cast<LONG>(GetTickCount() - m_deadline) > 0)
                {
                    std::fprintf(stderr, "control_gallery: nobody released %s\n",
                                 m_manifest.c_str());
                    m_exitCode = 4;
                    EndDialog(4);
                }
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC:
            for (HWND caption : m_captions)
            {
                if (reinterpret_cast<HWND>(lParam) == caption)
                {
                    HDC dc = reinterpret_cast<HDC>(wParam);
                    ::SetTextColor(dc, RGB(110, 110, 110));
                    SetBkColor(dc, RGB(255, 255, 255));
                    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
                }
            }
            break;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }

private:
    struct Named
    {
        std::string name;
        HWND window;
        RECT screen;
    };
    struct Backdrop
    {
        RECT rect;
        COLORREF color;
    };

    // Written under another name and renamed: the manifest appearing is the
    // sign that the screen is ready.
    bool WriteManifest()
    {
        std::string temporary = m_manifest + ".part";
        FILE* file = std::fopen(temporary.c_str(), "w");
        if (file == nullptr)
        {
            std::fprintf(stderr, "control_gallery: cannot write %s\n", temporary.c_str());
            return false;
        }
        for (const Named& named : m_named)
        {
            RECT rect = named.screen;
            if (named.window != nullptr && !GetWindowRect(named.window, &rect))
                continue;
            std::fprintf(file, "%s %ld %ld %ld %ld\n", named.name.c_str(), rect.left, rect.top,
                         rect.right, rect.bottom);
        }
        bool written = std::fclose(file) == 0;
        return written && MoveFileExA(temporary.c_str(), m_manifest.c_str(),
                                      MOVEFILE_REPLACE_EXISTING) != FALSE;
    }

    const GalleryModeEntry& m_entry;
    std::unique_ptr<GalleryMode> m_mode;
    std::string m_manifest;
    DWORD m_deadline;
    ULONGLONG m_settleEnd = 0;
    int m_idleLooks = 0;
    int m_nextId = kFirstId;
    int m_exitCode = 3;
    std::vector<Named> m_named;
    std::vector<Backdrop> m_backdrops;
    std::vector<HWND> m_captions;
};
} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0)
    {
        for (const GalleryModeEntry& entry : GalleryModes())
            std::printf("%s%s\n", entry.name, (entry.flags & GalleryInDesktop) ? " desktop" : "");
        return 0;
    }
    if (argc < 3 || argc > 4)
    {
        std::fprintf(stderr, "usage: control_gallery --list | <mode> <manifest> [seconds]\n");
        return 2;
    }
    const GalleryModeEntry* entry = nullptr;
    for (const GalleryModeEntry& candidate : GalleryModes())
    {
        if (std::strcmp(candidate.name, argv[1]) == 0)
            entry = &candidate;
    }
    if (entry == nullptr)
    {
        std::fprintf(stderr, "control_gallery: no mode %s\n", argv[1]);
        return 2;
    }
    const DWORD seconds = argc == 4 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 120;

    if (!GetModuleState()->Init(GetModuleHandleA(nullptr), "", SW_SHOWNORMAL))
        return 3;
    InitCommonControlsSafe(ICC_WIN95_CLASSES);

    DialogFontDescription font = {8, FW_NORMAL, 0, DEFAULT_CHARSET, "MS Shell Dlg"};
    DialogTemplateDescription description = {
        "Control gallery", WS_POPUP | WS_BORDER | DS_SETFONT, 0, 0, 0, 100, 100, &font};
    GalleryDialog dialog(*entry, argv[2], seconds == 0 ? 120 : seconds);
    if (dialog.RunModal(nullptr, nullptr, &description) < 0)
        return 3;
    return dialog.ExitCode();
}

#include "foundation/Dialog.h"

#include "foundation/FrameworkHooks.h"
#include "foundation/Module.h"

#include <cstring>

namespace
{
BOOL CALLBACK GiveFontToChild(HWND child, LPARAM font)
{
    if (SendMessageA(child, WM_GETFONT, 0, 0) == 0)
        SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}

// Characters of the text in UTF-16, terminator not counted.
int WideLength(const char* text)
{
    if (text == nullptr || *text == 0)
        return 0;
    int count = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    return count > 0 ? count - 1 : 0;
}

// Writes the text as UTF-16 with its terminator; returns the next position.
BYTE* PutWide(BYTE* at, const char* text, int length)
{
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<WCHAR*>(at), length + 1);
    return at + (length + 1) * sizeof(WCHAR);
}

template <class T> BYTE* Put(BYTE* at, T value)
{
    std::memcpy(at, &value, sizeof(value));
    return at + sizeof(value);
}

// An extended dialog template without items in a zeroed global block:
// version 1, signature 0xFFFF, help id 0, the styles (DS_SETFONT exactly
// when a font is given), no items, position and size, no menu, the default
// class, the title, then with a font its size, weight, italic, character set
// and face name. The block holds (face + title + 3) * 2 + 38 bytes, a few
// more than the template needs. The caller frees it.
HGLOBAL BuildDialogTemplate(const DialogTemplateDescription& description)
{
    const DialogFontDescription* font = description.font;
    int titleLength = WideLength(description.title);
    int faceLength = font != nullptr ? WideLength(font->faceName) : 0;
    size_t size = static_cast<size_t>(faceLength + titleLength + 3) * 2 + 38;
    HGLOBAL block = GlobalAlloc(GPTR, size);
    if (block == nullptr)
        return nullptr;

    DWORD style = description.style;
    if (font != nullptr)
        style |= DS_SETFONT;
    else
        style &= ~static_cast<DWORD>(DS_SETFONT);

    BYTE* at = static_cast<BYTE*>(block);
    at = Put<WORD>(at, 1);
    at = Put<WORD>(at, 0xFFFF);
    at = Put<DWORD>(at, 0);
    at = Put<DWORD>(at, description.exStyle);
    at = Put<DWORD>(at, style);
    at = Put<WORD>(at, 0);
    at = Put<short>(at, description.x);
    at = Put<short>(at, description.y);
    at = Put<short>(at, description.width);
    at = Put<short>(at, description.height);
    at = Put<WORD>(at, 0);
    at = Put<WORD>(at, 0);
    at = PutWide(at, description.title, titleLength);
    if (font != nullptr)
    {
        at = Put<WORD>(at, font->pointSize);
        at = Put<WORD>(at, font->weight);
        at = Put<BYTE>(at, font->italic);
        at = Put<BYTE>(at, font->charSet);
        PutWide(at, font->faceName, faceLength);
    }
    return block;
}
} // namespace

CDialog::CDialog() = default;

CDialog::~CDialog() = default;

LRESULT CDialog::OnCommand(UINT, UINT id, HWND)
{
    if (id != IDOK && id != IDCANCEL)
        return NotHandled;
    BOOL accept = id == IDOK ? OnOK() : OnCancel();
    if (accept && m_modal && GetSafeHwnd() != nullptr)
    {
        m_result = static_cast<int>(id);
        m_loop = 0;
    }
    return 0;
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return CWindow::WindowProc(message, wParam, lParam);
    LRESULT result = OnInitDialog(lParam, reinterpret_cast<HWND>(wParam));
    if (HWND window = GetSafeHwnd())
    {
        LRESULT font = SendMessageA(window, WM_GETFONT, 0, 0);
        if (font != 0)
            EnumChildWindows(window, GiveFontToChild, font);
        OnAfterInitDialog();
    }
    return result;
}

BOOL CDialog::OnOK()
{
    return TRUE;
}

BOOL CDialog::OnCancel()
{
    return TRUE;
}

LRESULT CDialog::OnInitDialog(LPARAM, HWND)
{
    return m_modal;
}

void CDialog::OnAfterInitDialog() {}

bool CDialog::Create(CWindow* parent, const char* templateName)
{
    if (GetSafeHwnd() != nullptr)
        return false;
    m_modal = 0;
    HWND parentWindow = parent != nullptr ? parent->GetSafeHwnd() : nullptr;
    HWND window = CreateDialogParamA(GetModuleState()->GetInstanceHandle(), templateName,
                                     parentWindow, reinterpret_cast<DLGPROC>(WindowProcedure),
                                     reinterpret_cast<LPARAM>(this));
    if (window != nullptr && window != m_hWnd)
        ::DestroyWindow(window);
    return window != nullptr && GetSafeHwnd() == window;
}

bool CDialog::Create(CWindow* parent, UINT templateId)
{
    return Create(parent, MAKEINTRESOURCEA(templateId));
}

int CDialog::DoModal(UINT templateId)
{
    HWND focus = GetFocus();
    int result = RunModal(nullptr, MAKEINTRESOURCEA(templateId), nullptr);
    if (focus != nullptr && IsWindow(focus))
        SetFocus(focus);
    return result;
}

bool CDialog::EndDialog(int result)
{
    if (GetSafeHwnd() == nullptr)
        return false;
    m_result = result;
    m_loop = 0;
    return true;
}

int CDialog::RunModal(CWindow* parent, const char* templateName,
                      const DialogTemplateDescription* description)
{
    // An object that still has a window (a modeless dialog) cannot take a
    // second one.
    if (GetSafeHwnd() != nullptr)
        return -1;

    // 1. A fresh run.
    m_result = -1;
    m_modal = 1;
    m_inModalRun = 1;
    m_loop = 1;

    // 2. The window; WM_INITDIALOG binds it to this object.
    HINSTANCE instance = GetModuleState()->GetInstanceHandle();
    HWND parentWindow = parent != nullptr ? parent->GetSafeHwnd() : nullptr;
    DLGPROC procedure = reinterpret_cast<DLGPROC>(WindowProcedure);
    HWND window = nullptr;
    if (description == nullptr)
    {
        window = CreateDialogParamA(instance, templateName, parentWindow, procedure,
                                    reinterpret_cast<LPARAM>(this));
    }
    else if (HGLOBAL block = BuildDialogTemplate(*description))
    {
        m_isDialog = 1;
        window =
            CreateDialogIndirectParamA(instance, static_cast<LPCDLGTEMPLATEA>(block), parentWindow,
                                       procedure, reinterpret_cast<LPARAM>(this));
        GlobalFree(block);
    }
    // A dialog that did not bind to this object has no one to end it.
    if (window != nullptr && window != m_hWnd)
        ::DestroyWindow(window);

    // 3. Nothing to run: the dialog could not be made, or it was ended
    // during WM_INITDIALOG. The hidden window of an ended run goes now, so
    // it does not outlive its run.
    if (GetSafeHwnd() == nullptr || !m_loop)
    {
        if (GetSafeHwnd() != nullptr)
            Destroy();
        m_modal = 0;
        m_inModalRun = 0;
        return m_result;
    }

    // 4. Show it, and keep the parent out of the way meanwhile.
    ShowWindow(m_hWnd, SW_SHOWNORMAL);
    UpdateWindow(m_hWnd);
    bool disabledParent = false;
    if (parentWindow != nullptr && IsWindowEnabled(parentWindow))
    {
        EnableWindow(parentWindow, FALSE);
        disabledParent = true;
    }

    // 5. The loop. It also ends when the dialog's window is gone (destroyed
    // by a handler or with its parent): nothing could end it any more.
    while (m_loop)
    {
        MSG message;
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        // A failure or a thread message (PostQuitMessage's quit among them)
        // is dropped.
        if (got != -1 && message.hwnd != nullptr)
        {
            if (message.message == WM_QUIT)
            {
                m_loop = 0;
                PostQuitMessage(static_cast<int>(message.wParam));
            }
            else
            {
                RouteMessage(message);
            }
        }
        DestroyTemporaryGdiObjects();
        DestroyTemporaryDCs();
        DestroyTemporaryMenus();
        CWindow::DestroyTemporaryWindows();
        if (GetSafeHwnd() == nullptr)
            m_loop = 0;
    }

    // 6. Give the parent back, and the window goes.
    if (disabledParent && IsWindow(parentWindow))
    {
        EnableWindow(parentWindow, TRUE);
        SetForegroundWindow(parentWindow);
    }
    Destroy();
    m_modal = 0;
    m_inModalRun = 0;
    return m_result;
}

void CDialog::RouteMessage(MSG& message)
{
    CWindow* target = g_windowList.FindWindow(message.hwnd);
    if (target == nullptr && m_hWnd != nullptr && IsChild(m_hWnd, message.hwnd))
        target = g_windowList.FindWindow(GetParent(message.hwnd));
    if (target != nullptr && target->PreTranslateMessage(&message))
        return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

#include "chooser/SkinLanguage.h"

#include "foundation/FileFind.h"
#include "foundation/Module.h"
#include "foundation/Utility.h"
#include "resources/SkinLanguage.h"

#include <shlobj.h>

namespace
{
const char kSettingsFolder[] = "\\ORVANEL Brindlewox";
const char kDefaultLanguage[] = "English";
const char kDefaultSkin[] = "Default";

// The settings file's language folder name, white space trimmed.
CString ChosenLanguage(CIni& settings)
{
    CString language;
    settings.GetString(language, "Language", "Directory", kDefaultLanguage);
    language.Trim();
    return language;
}
} // namespace

const UINT SkinLanguage::SkinButtonIds[SkinCount] = {
    IDC_SKIN_DEFAULT,    IDC_SKIN_REDROSE,    IDC_SKIN_DEEPSEA,
    IDC_SKIN_ALIENSPACE, IDC_SKIN_METALBROWN, IDC_SKIN_ROYALPURPLE,
};

const char* const SkinLanguage::SkinNames[SkinCount] = {
    "Default", "Redrose", "Deepsea", "Alienspace", "Metalbrown", "Royalpurple",
};

ChooserPaths GetChooserPaths()
{
    ChooserPaths paths;
    GetAppDirectory(paths.appDirectory);
    char appData[MAX_PATH + 1] = "";
    if (SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE))
        paths.userFolder = CString(appData) + kSettingsFolder;
    return paths;
}

SkinLanguage::SkinLanguage() : SkinLanguage(GetChooserPaths()) {}

SkinLanguage::SkinLanguage(const ChooserPaths& paths) : m_paths(paths)
{
    InitCommonControlsSafe(0xFF);
    // Without a user folder nothing can be written: the settings object
    // then has no path and reads every value as its default.
    if (!m_paths.userFolder.IsEmpty())
        m_settingsPath = m_paths.userFolder + "\\settings.ini";
    m_settings.SetPathName(m_settingsPath);
    m_languagePath =
        m_paths.appDirectory + "\\Languages\\" + ChosenLanguage(m_settings) + "\\default.ini";
    m_language.SetPathName(m_languagePath);
}

SkinLanguage::~SkinLanguage()
{
    // The window goes first, while it can still give its icon back.
    Destroy();
    if (m_hIcon != nullptr)
        DestroyIcon(m_hIcon);
}

CString SkinLanguage::LanguageText(int number, const char* english)
{
    CString key;
    key.Format("DL_N_101_%d", number);
    CString text;
    m_language.GetString(text, "Language", key, english);
    return text;
}

LRESULT SkinLanguage::OnInitDialog(LPARAM initParam, HWND focus)
{
    m_hIcon = static_cast<HICON>(LoadImageA(GetModuleState()->GetResourceHandle(),
                                            MAKEINTRESOURCEA(IDI_CHOOSER), IMAGE_ICON, 16, 16, 0));
    if (m_hIcon != nullptr)
    {
        SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
        SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    }

    CString title = LanguageText(268, "Skin/Languages:");
    SetWindowText(CString("Orvanel Brindlewox - ") + title);
    // Attached without owning: the controls belong to the dialog.
    m_header.Attach(GetDlgItem(m_hWnd, IDC_HEADER), false);
    m_header.SetWindowText(CString("      ") + title);
    PlaceHeaderPicture();

    m_skinGroup.Attach(GetDlgItem(m_hWnd, IDC_SKIN_GROUP), false);
    m_skinGroup.SetWindowText(LanguageText(269, "Active skin:"));
    for (int i = 0; i < SkinCount; ++i)
        m_skinButtons[i].Attach(GetDlgItem(m_hWnd, SkinButtonIds[i]), false);
    // Whatever skin is set, the chooser opens with "Default".
    m_skinButtons[0].SetCheck(true);

    m_languageGroup.Attach(GetDlgItem(m_hWnd, IDC_LANGUAGE_GROUP), false);
    m_languageGroup.SetWindowText(LanguageText(270, "Active language:"));
    m_languageList.Attach(GetDlgItem(m_hWnd, IDC_LANGUAGE_LIST), false);

    FillLanguageList();
    return CDialog::OnInitDialog(initParam, focus);
}

void SkinLanguage::PlaceHeaderPicture()
{
    // The picture follows the band in the template. Its bitmap keeps its
    // pixel size while dialog units follow the font: Wine 8 substitutes a
    // wider font for MS Sans Serif (1.75 pixels a unit, not 1.5), and the
    // picture would end short of the band's right end.
    HWND header = m_header.GetSafeHwnd();
    HWND picture = header != nullptr ? GetWindow(header, GW_HWNDNEXT) : nullptr;
    if (picture == nullptr)
        return;
    RECT band;
    RECT shown;
    ::GetWindowRect(header, &band);
    ::GetWindowRect(picture, &shown);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&band), 2);
    int width = shown.right - shown.left;
    int height = shown.bottom - shown.top;
    int top = band.top + (band.bottom - band.top - height) / 2;
    // On top of the band, and the band no longer paints over it: the band
    // comes first in the template, so it lies above the picture.
    SetWindowPos(picture, HWND_TOP, band.right - width, top > band.top ? top : band.top, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE);
    m_header.ModifyStyle(0, WS_CLIPSIBLINGS);
}

void SkinLanguage::FillLanguageList()
{
    CString chosen = ChosenLanguage(m_settings);
    CFileFinder finder;
    if (!finder.FindFile(m_paths.appDirectory + "\\Languages\\*.*"))
        return;
    int index = 0;
    do
    {
        CString name;
        if (!finder.IsDirectory() || !finder.GetFileName(name) || name.IsEmpty() || name[0] == '.')
            continue;
        // CB_INSERTSTRING never sorts, even in the list's sorted style: the
        // list keeps the file system's order.
        LRESULT inserted = SendMessageA(m_languageList.GetHwnd(), CB_INSERTSTRING, index,
                                        reinterpret_cast<LPARAM>(static_cast<const char*>(name)));
        if (inserted < 0)
            continue;
        if (name == chosen)
            SendMessageA(m_languageList.GetHwnd(), CB_SETCURSEL, inserted, 0);
        ++index;
    } while (finder.FindNextFile());
}

void SkinLanguage::SaveChoice()
{
    CString language = kDefaultLanguage;
    HWND list = m_languageList.GetSafeHwnd();
    LRESULT selected = list != nullptr ? SendMessageA(list, CB_GETCURSEL, 0, 0) : CB_ERR;
    if (selected != CB_ERR)
    {
        LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, selected, 0);
        if (length > 0)
        {
            CString text;
            char* buffer = text.GetBuffer(static_cast<int>(length));
            LRESULT copied =
                SendMessageA(list, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(buffer));
            text.Truncate(copied > 0 ? static_cast<int>(copied) : 0);
            if (!text.IsEmpty())
                language = text;
        }
    }

    const char* skin = kDefaultSkin;
    for (int i = 0; i < SkinCount; ++i)
    {
        if (m_skinButtons[i].GetSafeHwnd() != nullptr && m_skinButtons[i].GetCheck())
        {
            skin = SkinNames[i];
            break;
        }
    }

    // The chooser runs as a setup step, before the main program ever made
    // the per-user folder; the system's profile writer makes no folders, so
    // without this the choice was lost without a word.
    if (!m_paths.userFolder.IsEmpty())
        CreateDirectoryA(m_paths.userFolder, nullptr);
    m_settings.WriteString("Skin", "Directory", skin);
    m_settings.WriteString("Language", "Directory", language);
    EndDialog(IDOK);
}

LRESULT SkinLanguage::OnCommand(UINT code, UINT id, HWND control)
{
    if (id == IDOK)
        SaveChoice();
    return CDialog::OnCommand(code, id, control);
}

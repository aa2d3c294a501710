#include "skin/SkinFiles.h"

#include "foundation/Utility.h"
#include "foundation/Window.h"
#include "picture/Picture.h"

#include <shlobj.h>

namespace
{

// The test override (OverrideSkinFilesFolders); empty means the real folder.
CString& SettingsFolderOverride()
{
    static CString folder;
    return folder;
}

CString& ProgramFolderOverride()
{
    static CString folder;
    return folder;
}

const char kSkinSection[] = "Skin";
const char kLanguageSection[] = "Language";
const char kDirectoryKey[] = "Directory";
const char kDefaultSkin[] = "Default";
const char kDefaultLanguage[] = "English";

// The first-run writes and the opening of the settings file share this.
CString ReadFolder(CIni& settings, const char* section, const char* defaultFolder)
{
    CString folder;
    settings.GetString(folder, section, kDirectoryKey, defaultFolder);
    return folder;
}

CString LanguageFilePath(const CString& languageFolder)
{
    return GetProgramFolder() + "\\Languages\\" + languageFolder + "\\default.ini";
}

BYTE LowByte(int value)
{
    return static_cast<BYTE>(static_cast<unsigned>(value) & 0xFF);
}

bool IsMagenta(const RGBQUAD& colour)
{
    return colour.rgbRed >= 255 && colour.rgbGreen == 0 && colour.rgbBlue >= 255;
}

// The parent's client area painted by the parent into a memory context that
// outlives the device context it was made from. Null when there is no parent
// or no memory context could be made (the fallback of CBufferDC draws into
// its target, which is given back at once, so it is no snapshot).
std::unique_ptr<CBufferDC> SnapshotParent(HWND window)
{
    HWND parent = GetParent(window);
    if (parent == nullptr)
        return nullptr;
    RECT client = {};
    GetClientRect(parent, &client);
    // The client area's context: the parent paints in client coordinates,
    // and the buffer's 0,0 is the client origin.
    CGetDC parentDc(parent);
    auto buffer = std::make_unique<CBufferDC>(parentDc, client);
    // Kept beyond parentDc's release: nothing is ever copied into it.
    buffer->Discard();
    if (!buffer->IsBuffered())
        return nullptr;
    CWindow* object = CWindow::FromHandle(parent);
    if (object == nullptr || object->OnPaint(buffer.get()) == CWindow::NotHandled)
        SendMessageA(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(buffer->GetSafeHdc()),
                     PRF_ERASEBKGND | PRF_CLIENT);
    return buffer;
}

} // namespace

CString GetSettingsFolder()
{
    if (!SettingsFolderOverride().IsEmpty())
        return SettingsFolderOverride();
    char appData[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE))
        appData[0] = 0;
    return CString(appData) + "\\" + kProductFolderName;
}

CString GetSettingsFilePath()
{
    return GetSettingsFolder() + "\\settings.ini";
}

CString GetProgramFolder()
{
    if (!ProgramFolderOverride().IsEmpty())
        return ProgramFolderOverride();
    CString folder;
    GetAppDirectory(folder);
    return folder;
}

void OverrideSkinFilesFolders(const char* settingsFolder, const char* programFolder)
{
    SettingsFolderOverride() = settingsFolder;
    ProgramFolderOverride() = programFolder;
}

bool WriteFirstRunDefaults()
{
    CIni settings(GetSettingsFilePath());
    if (settings.KeyExists(kSkinSection, kDirectoryKey))
        return true;
    // An existing folder is no error; a missing one would make the writes
    // below fail (error 3, Windows and Wine alike).
    CreateDirectoryA(GetSettingsFolder(), nullptr);
    settings.WriteString(kSkinSection, kDirectoryKey, kDefaultSkin);
    settings.WriteString(kLanguageSection, kDirectoryKey, kDefaultLanguage);
    return settings.KeyExists(kSkinSection, kDirectoryKey) != FALSE;
}

CSkinFiles::CSkinFiles(int options)
{
    if (options & FirstRunDefaults)
        WriteFirstRunDefaults();
    m_settings.SetPathName(GetSettingsFilePath());
    m_skinFolder = ReadFolder(m_settings, kSkinSection, kDefaultSkin);
    m_skinPath = GetProgramFolder() + "\\Skins\\" + m_skinFolder;
    m_skin.SetPathName(m_skinPath + "\\default.ini");
    if (options & WithLanguage)
    {
        m_languageFolder = ReadFolder(m_settings, kLanguageSection, kDefaultLanguage);
        m_language.SetPathName(LanguageFilePath(m_languageFolder));
    }
}

COLORREF CSkinFiles::ReadColor(const char* name, COLORREF readerDefault)
{
    CString base(name);
    BYTE red = LowByte(m_skin.GetInt("Color", base + "_R", GetRValue(readerDefault)));
    BYTE green = LowByte(m_skin.GetInt("Color", base + "_G", GetGValue(readerDefault)));
    BYTE blue = LowByte(m_skin.GetInt("Color", base + "_B", GetBValue(readerDefault)));
    return RGB(red, green, blue);
}

CString CSkinFiles::GetImagePath(const char* key, const char* defaultFile)
{
    CString file;
    m_skin.GetString(file, "Image", key, defaultFile);
    return m_skinPath + "\\" + file;
}

CString CSkinFiles::GetText(const char* key, const char* english)
{
    CString text;
    m_language.GetString(text, kLanguageSection, key, english);
    return text;
}

CString LanguageText(const char* key, const char* english)
{
    CIni settings(GetSettingsFilePath());
    CIni language(LanguageFilePath(ReadFolder(settings, kLanguageSection, kDefaultLanguage)));
    return LanguageText(language, key, english);
}

CString LanguageText(CIni& language, const char* key, const char* english)
{
    CString text;
    language.GetString(text, kLanguageSection, key, english);
    return text;
}

bool LoadSkinImage(HWND window, const char* key, const char* defaultFile, CPicture& picture,
                   CImageList& images, int (&stateIndex)[SkinStateCount],
                   std::unique_ptr<CBufferDC>* background)
{
    CSkinFiles skin;
    picture.Destroy();
    picture.Load(skin.GetImagePath(key, defaultFile), PICTURE_DETECT);

    RECT client = {};
    GetClientRect(window, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;

    for (int state = 0; state < SkinStateCount; ++state)
        stateIndex[state] = state;
    HBITMAP strip = nullptr;
    bool loaded = picture.IsValid();
    if (loaded)
    {
        // Sampled before resampling, in the bottom row (y = 0).
        int third = picture.GetWidth() / 3;
        for (int state = 0; state < SkinStateCount; ++state)
        {
            if (IsMagenta(picture.GetPixelColor(state * third, 0, false)))
                stateIndex[state] = kSkinStateParentBackground;
        }
        if (width > 0 && height > 0 &&
            picture.Resample(width * SkinStateCount, height, INTERPOLATE_BICUBIC, OVERFLOW_REPEAT))
            strip = picture.MakeBitmap();
    }

    images.Create(width, height, ILC_COLOR32 | ILC_MASK, SkinStateCount, 0);
    if (strip != nullptr)
    {
        if (images.GetSafeHandle() != nullptr)
            ImageList_AddMasked(images.GetSafeHandle(), strip, RGB(255, 0, 255));
        DeleteObject(strip);
    }

    if (background != nullptr && *background == nullptr)
    {
        for (int state = 0; state < SkinStateCount; ++state)
        {
            if (stateIndex[state] == kSkinStateParentBackground)
            {
                *background = SnapshotParent(window);
                break;
            }
        }
    }
    InvalidateRect(window, nullptr, TRUE);
    return loaded;
}

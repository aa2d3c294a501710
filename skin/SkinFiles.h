// The skin and language files: where every window of the product finds its
// colours, pictures and words.
//
//   settings file  <application data>\ORVANEL Brindlewox\settings.ini
//                  [Skin] Directory (default "Default"),
//                  [Language] Directory (default "English")
//   skin file      <program folder>\Skins\<skin>\default.ini
//                  [Color] NAME_R/_G/_B, [Image] KEY = file in the skin folder
//   language file  <program folder>\Languages\<language>\default.ini
//                  [Language] DL_N_101_<number> = text
//
// There is no skin manager: each reader opens the files itself when it is
// made (CSkinFiles) and keeps the values it read, so a changed skin reaches
// the windows made afterwards. Texts are read where they are shown
// (LanguageText). Nothing here reports an error: a missing file, section or
// key gives the default the reader passed, a missing picture an empty image.
//
// Usage:
//   CSkinFiles skin(CSkinFiles::FirstRunDefaults);
//   COLORREF frame = skin.ReadColor("COLOR_FRAME_1", RGB(168, 168, 168));
//   CString path = skin.GetImagePath("CHECK_BUTTON", "check_button.png");
//   CString text = LanguageText("DL_N_101_36", "Start");
//
// Keys and English defaults are always written as two literal strings at the
// call, so tests/scripts/shipped-data.sh finds every one of them in the
// sources and checks it against languages/English/default.ini.
#ifndef BRINDLEWOX_SKIN_SKINFILES_H
#define BRINDLEWOX_SKIN_SKINFILES_H

#include "foundation/Base.h"
#include "foundation/Controls.h"
#include "foundation/Dc.h"
#include "foundation/Ini.h"
#include "foundation/String.h"

#include <memory>

class CPicture;

// The product's folder under the user's application data folder. Older
// texts also spell it "Orvanel Brindlewox"; the file system ignores case,
// and this one spelling is used everywhere here.
constexpr char kProductFolderName[] = "ORVANEL Brindlewox";

// <application data>\ORVANEL Brindlewox, no trailing backslash (under the
// test override: its settings folder). Without an application data folder:
// "\ORVANEL Brindlewox".
CString GetSettingsFolder();
// GetSettingsFolder() + "\settings.ini".
CString GetSettingsFilePath();
// The folder of the running program (GetAppDirectory), or the override's.
// The Skins and Languages folders lie in it.
CString GetProgramFolder();

// Tests only: the settings folder and the program folder used instead of
// the real ones by everything in this file, so tests running side by side
// never share a settings.ini or a skin. Null for either gives that real
// folder back. Process-wide; call it on the thread that reads the skin.
void OverrideSkinFilesFolders(const char* settingsFolder, const char* programFolder);

// The first-run defaults: when [Skin] Directory is missing from the settings
// file, creates the settings folder (a fresh profile has none, and the
// system writes no file into a missing folder) and writes
// [Skin] Directory=Default, then [Language] Directory=English. A file that
// has the skin entry is left as it is, even without a language entry.
// Failures are ignored (the defaults apply all the same); true when the file
// holds the skin entry afterwards.
bool WriteFirstRunDefaults();

class CSkinFiles
{
public:
    enum Options
    {
        ReadOnly = 0,
        // Writes the first-run defaults before reading (WriteFirstRunDefaults):
        // for the readers that may run first in a fresh profile.
        FirstRunDefaults = 1,
        // Also opens the language file (GetText).
        WithLanguage = 2
    };

    // Opens the settings file, reads the skin folder and opens its skin
    // file; with WithLanguage also the language folder and its file.
    explicit CSkinFiles(int options = ReadOnly);
    CSkinFiles(const CSkinFiles&) = delete;
    CSkinFiles& operator=(const CSkinFiles&) = delete;

    // The folder names as read from the settings file ("Default", "English").
    const CString& GetSkinFolder() const { return m_skinFolder; }
    const CString& GetLanguageFolder() const { return m_languageFolder; }
    // <program folder>\Skins\<skin folder>, no trailing backslash.
    const CString& GetSkinPath() const { return m_skinPath; }
    CIni& GetSettings() { return m_settings; }
    CIni& GetSkin() { return m_skin; }
    // Reads every text as its default unless opened WithLanguage.
    CIni& GetLanguage() { return m_language; }

    // The colour NAME of [Color]: NAME_R, NAME_G and NAME_B read in that
    // order in radix 10, each with the component of the reader's own
    // default when missing or empty, each cut to its low 8 bits (256 reads 0,
    // "-1" 255, "12abc" 12, text without digits 0), combined as
    // R | G << 8 | B << 16.
    COLORREF ReadColor(const char* name, COLORREF readerDefault);
    // <skin path>\ + the value of [Image] key (defaultFile when missing).
    CString GetImagePath(const char* key, const char* defaultFile);
    // The text of [Language] key, unchanged, or the English default.
    CString GetText(const char* key, const char* english);

private:
    CIni m_settings;
    CIni m_skin;
    CIni m_language;
    CString m_skinFolder;
    CString m_languageFolder;
    CString m_skinPath;
};

// A language text at its point of use: opens the settings and language files
// now and reads [Language] key, with the English text as default. Call it
// with two literal strings: LanguageText("DL_N_101_36", "Start").
CString LanguageText(const char* key, const char* english);
// The same from a language file already open: a window that took its
// language at its start keeps that one for every text it shows, even after
// settings.ini names another.
CString LanguageText(CIni& language, const char* key, const char* english);

// The states of a three-state strip, in strip order.
enum SkinImageState
{
    SkinStateNormal = 0,
    SkinStateHot = 1,
    SkinStatePressed = 2,
    SkinStateCount = 3
};
// A state index that means "draw the parent's background here".
constexpr int kSkinStateParentBackground = -1;

// The skin-image loader of the skinned buttons (CSkinButton::LoadSkinImage
// wraps it), usable on any window. Everything it fills belongs to the
// caller:
// 1. picture: emptied, then loaded with format detection from the skin's
//    [Image] key (defaultFile when missing); a missing or unreadable file
//    leaves it empty.
// 2. stateIndex: each state whose sample pixel in the picture's bottom row
//    (x = 0, w / 3, 2 × (w / 3)) is magenta (255, 0, 255) becomes
//    kSkinStateParentBackground, every other state its own image (0, 1, 2),
//    so loading another skin's strip also undoes an earlier marker. Without
//    a picture the indices are 0, 1, 2.
// 3. images: a new list of three W × H images (W × H = the window's client
//    size; ILC_COLOR32 | ILC_MASK), the picture resampled (bicubic, edge
//    pixels repeated) to 3W × H and added with magenta as the mask colour,
//    so magenta pixels are transparent. An empty picture gives an empty
//    list of that size. The picture keeps the resampled strip.
// 4. background (optional): when it is given and still empty and some state
//    shows the parent's background, a snapshot of the parent's client area:
//    a memory context into which the parent's window object painted itself
//    (its OnPaint; a parent without one is asked by WM_PRINTCLIENT). The
//    snapshot is never copied back into the parent's device context.
// The window is invalidated (with erase). Returns true when the picture
// held pixels.
bool LoadSkinImage(HWND window, const char* key, const char* defaultFile, CPicture& picture,
                   CImageList& images, int (&stateIndex)[SkinStateCount],
                   std::unique_ptr<CBufferDC>* background);

#endif

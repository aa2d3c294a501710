// SkinLanguage: the chooser's one dialog (template 104). The user picks one
// of the six skins the main program ships and one of the language folders
// beside the program; OK writes both into the per-user settings file, which
// the main program reads at its next start. Escape and the close box leave
// the file alone.
#ifndef BRINDLEWOX_CHOOSER_SKINLANGUAGE_H
#define BRINDLEWOX_CHOOSER_SKINLANGUAGE_H

#include "chooser/CustomStatic.h"
#include "foundation/Base.h"
#include "foundation/Controls.h"
#include "foundation/Dialog.h"
#include "foundation/Ini.h"
#include "foundation/String.h"

// Where the chooser reads and writes.
struct ChooserPaths
{
    // The folder of the programs, holding Skins\ and Languages\; no
    // trailing backslash.
    CString appDirectory;
    // The per-user folder of settings.ini ("%APPDATA%\ORVANEL Brindlewox").
    CString userFolder;
};

// The running program's folder and the user's application-data folder.
ChooserPaths GetChooserPaths();

class SkinLanguage : public CDialog
{
public:
    static constexpr int SkinCount = 6;
    // The radio buttons in the order SaveChoice asks them, and the skin
    // folder each one names.
    static const UINT SkinButtonIds[SkinCount];
    static const char* const SkinNames[SkinCount];

    // Opens the settings file and the language file it names.
    SkinLanguage();
    explicit SkinLanguage(const ChooserPaths& paths);
    ~SkinLanguage() override;

    // Icon, caption and texts from the language file, "Default" checked,
    // the language list filled.
    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override;
    // OK saves the choice first; then the dialog's own handling ends the
    // run (OK with 1, Cancel with 2).
    LRESULT OnCommand(UINT code, UINT id, HWND control) override;

    // Every folder of "Languages" beside the program whose name does not
    // start with '.', in the order the file system lists them; the one
    // named by the settings file's [Language] Directory (white space
    // trimmed, compared case-sensitively) is selected.
    void FillLanguageList();
    // Creates the per-user folder when it is missing, writes [Skin]
    // Directory (the first checked skin, "Default" when none is) and
    // [Language] Directory (the selected language, "English" when none is),
    // and ends the dialog with 1.
    void SaveChoice();

    // The language file's text of "DL_N_101_<number>", the English text
    // when it has none.
    CString LanguageText(int number, const char* english);

    const CString& GetSettingsPath() const { return m_settingsPath; }
    const CString& GetLanguagePath() const { return m_languagePath; }

private:
    // Puts the header picture at the right end of the header band.
    void PlaceHeaderPicture();

    ChooserPaths m_paths;
    CString m_settingsPath;
    CString m_languagePath;

    chooser::CCustomStatic m_header;
    CStatic m_skinGroup;
    CStatic m_languageGroup;
    CCheckBox m_skinButtons[SkinCount];
    CComboBox m_languageList;
    HICON m_hIcon = nullptr;
    CIni m_settings;
    CIni m_language;
};

#endif

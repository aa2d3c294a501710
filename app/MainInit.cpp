// MainApplicationDialog's initialisation, pages, layout and painting: the
// binding of every control of the window and its pages (OnInitDialog), the
// profile's list and settings (LoadProfile), page switching, the layout that
// follows the window's size and the skin frame around the client area.
//
// The life steps of the initialisation (title, tray icon, start state,
// timers, session notifications, the USER pipe server) run right after this
// in OnAfterInitDialog (MainApplicationDialog.cpp).
#include "app/MainApplicationDialog.h"

#include "app/EmptyFileTree.h"
#include "engine/Profile.h"
#include "engine/RestoreRun.h"
#include "engine/SqlDB.h"
#include "foundation/Dc.h"
#include "foundation/Module.h"
#include "resources/Icons.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "skin/ApplicationsTree.h"
#include "skin/CustomFileDirTree.h"
#include "skin/CustomStatic.h"
#include "skin/FrameBar.h"
#include "skin/SkinComboBox.h"
#include "skin/SkinFiles.h"
#include "skin/SkinPaint.h"

#include <commctrl.h>

namespace
{
// What a control of a page is bound as.
enum class Kind
{
    Title,        // CCustomGradientStatic
    Label,        // CCustomStatic
    Group,        // CCustomGroup
    Button,       // CSkinButton with a skin picture
    Check,        // CSkinCheckBox
    Field,        // CFrameBar with its two-pixel frame
    FieldNoFrame, // CFrameBar without frame
    Combo,        // CSkinComboBox
    Edit,         // CSkinEdit, bound with frame update
    List,         // CApplicationsTree, bound with frame update, no expander column
    Progress,     // CProgressBar, bound with frame update
    Tree,         // EmptyFileTree, the restore tree
};

// One row of the control tables. The text is the language file's text of
// `key` with `english` as default; without a key `english` is set as it is;
// without either the control keeps its text.
struct ControlEntry
{
    Page page;
    UINT id;
    Kind kind;
    const char* picture; // BUTTON, BUTTON_MEDIUM or BUTTON_LARGE for buttons
    const char* key;
    const char* english;
};

constexpr const char* kButton = "BUTTON";
constexpr const char* kButtonMedium = "BUTTON_MEDIUM";
constexpr const char* kButtonLarge = "BUTTON_LARGE";

// The pages' controls in the order they are bound: Optimize first, then
// Backup, Restore, the two options pages, Startup, Uninstall and Support.
const ControlEntry kControls[] = {
    // Optimize.
    {Page::Optimize, IDC_PAGE_TITLE, Kind::Title, nullptr, "DL_N_101_536", "Optimize"},
    {Page::Optimize, IDC_OPTIMIZE_TOOLS_GROUP, Kind::Group, nullptr, nullptr, nullptr},
    {Page::Optimize, IDC_OPTIMIZE_STATUS_GROUP, Kind::Group, nullptr, nullptr, nullptr},
    {Page::Optimize, IDC_OPTIMIZE_BACKUP_NOW, Kind::Button, kButtonMedium, "DL_N_101_445", "Backup Now"},
    {Page::Optimize, IDC_OPTIMIZE_RESET, Kind::Button, kButton, "DL_N_101_446", "Reset"},
    {Page::Optimize, IDC_OPTIMIZE_SHOW, Kind::Button, kButton, "DL_N_101_447", "Show"},
    {Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT, Kind::Button, kButtonLarge, "DL_N_101_537", "Defragment Registry"},
    {Page::Optimize, IDC_OPTIMIZE_VIEW_LOGS, Kind::Button, kButtonMedium, "DL_N_101_449", "View logs"},
    {Page::Optimize, IDC_OPTIMIZE_BACKUP_REGISTRY, Kind::Button, kButtonLarge, "DL_N_101_538", "Backup Registry"},
    {Page::Optimize, IDC_OPTIMIZE_RESTORE_REGISTRY, Kind::Button, kButtonLarge, "DL_N_101_539", "Restore Registry"},
    {Page::Optimize, IDC_OPTIMIZE_STATUS_LABEL, Kind::Label, nullptr, "DL_N_101_425", "System Status:"},
    {Page::Optimize, IDC_OPTIMIZE_TOOLS_LABEL, Kind::Label, nullptr, "DL_N_101_540", "Optimization:"},
    {Page::Optimize, IDC_OPTIMIZE_LAST_BACKUP_LABEL, Kind::Label, nullptr, "DL_N_101_437", "Last performed backup:"},
    {Page::Optimize, IDC_OPTIMIZE_ERRORS_LABEL, Kind::Label, nullptr, "DL_N_101_439", "Total errors detected:"},
    {Page::Optimize, IDC_OPTIMIZE_FILES_LABEL, Kind::Label, nullptr, "DL_N_101_440", "Files in the backup:"},
    {Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT_STATUS, Kind::FieldNoFrame, nullptr, "DL_N_101_541", "Idle"},
    {Page::Optimize, IDC_OPTIMIZE_BACKUP_STATUS, Kind::FieldNoFrame, nullptr, "DL_N_101_541", "Idle"},
    {Page::Optimize, IDC_OPTIMIZE_RESTORE_STATUS, Kind::FieldNoFrame, nullptr, "DL_N_101_541", "Idle"},
    {Page::Optimize, IDC_OPTIMIZE_LAST_BACKUP, Kind::FieldNoFrame, nullptr, "DL_N_101_422", "none"},
    {Page::Optimize, IDC_OPTIMIZE_ERRORS, Kind::Field, nullptr, nullptr, "0"},
    {Page::Optimize, IDC_OPTIMIZE_FILES, Kind::Field, nullptr, nullptr, "0"},

    // Page 0, backup. The three counters' texts are set after all three are
    // bound (see BindPageControls).
    {Page::Backup, IDC_PAGE_TITLE, Kind::Title, nullptr, "DL_N_101_546", "Backup"},
    {Page::Backup, IDC_BACKUP_ELAPSED_LABEL, Kind::Label, nullptr, "DL_N_101_294", "Elapsed time:"},
    {Page::Backup, IDC_BACKUP_ELAPSED, Kind::Field, nullptr, nullptr, "00:00"},
    {Page::Backup, IDC_BACKUP_COMPRESS, Kind::Check, nullptr, "DL_N_101_564", "Compress"},
    {Page::Backup, IDC_BACKUP_ENCRYPT, Kind::Check, nullptr, "DL_N_101_565", "Encrypt..."},
    {Page::Backup, IDC_BACKUP_LIST, Kind::List, nullptr, nullptr, nullptr},
    {Page::Backup, IDC_BACKUP_DESTINATION, Kind::Field, nullptr, nullptr, nullptr},
    {Page::Backup, IDC_BACKUP_FILES, Kind::Field, nullptr, nullptr, nullptr},
    {Page::Backup, IDC_BACKUP_ERRORS, Kind::Field, nullptr, nullptr, nullptr},
    {Page::Backup, IDC_BACKUP_WHAT_LABEL, Kind::Label, nullptr, "DL_N_101_566", "What:"},
    {Page::Backup, IDC_BACKUP_WHERE_LABEL, Kind::Label, nullptr, "DL_N_101_567", "Where:"},
    {Page::Backup, IDC_BACKUP_FILES_LABEL, Kind::Label, nullptr, "DL_N_101_32", "Files:"},
    {Page::Backup, IDC_BACKUP_ERRORS_LABEL, Kind::Label, nullptr, "DL_N_101_33", "Errors:"},
    {Page::Backup, IDC_BACKUP_LOCATION_LABEL, Kind::Label, nullptr, "DL_N_101_35", "Current location:"},
    {Page::Backup, IDC_BACKUP_CURRENT_FILE, Kind::FieldNoFrame, nullptr, "DL_N_101_96", "Not active..."},
    {Page::Backup, IDC_BACKUP_ADD, Kind::Button, kButton, "DL_N_101_420", "Add..."},
    {Page::Backup, IDC_BACKUP_EDIT, Kind::Button, kButton, "DL_N_101_568", "Edit..."},
    {Page::Backup, IDC_BACKUP_DELETE, Kind::Button, kButton, "DL_N_101_421", "Delete"},
    {Page::Backup, IDC_BACKUP_SAVE_PROFILE, Kind::Button, kButtonLarge, "DL_N_101_569", "Save Profile..."},
    {Page::Backup, IDC_BACKUP_LOAD_PROFILE, Kind::Button, kButtonLarge, "DL_N_101_570", "Load Profile..."},
    {Page::Backup, IDC_BACKUP_CHOOSE_DESTINATION, Kind::Button, kButton, nullptr, nullptr},
    {Page::Backup, IDC_BACKUP_START, Kind::Button, kButton, "DL_N_101_36", "Start"},
    {Page::Backup, IDC_BACKUP_PAUSE, Kind::Button, kButton, "DL_N_101_41", "Pause"},
    {Page::Backup, IDC_BACKUP_PROGRESS, Kind::Progress, nullptr, nullptr, nullptr},

    // Page 2, restore.
    {Page::Restore, IDC_PAGE_TITLE, Kind::Title, nullptr, "DL_N_101_82", "Restore"},
    {Page::Restore, IDC_RESTORE_TREE, Kind::Tree, nullptr, nullptr, nullptr},
    {Page::Restore, IDC_RESTORE, Kind::Button, kButtonLarge, "DL_N_101_82", "Restore"},
    {Page::Restore, IDC_RESTORE_SELECT_ALL, Kind::Button, kButtonLarge, "DL_N_101_83", "Select all"},
    {Page::Restore, IDC_RESTORE_DESELECT_ALL, Kind::Button, kButtonLarge, "DL_N_101_84", "Deselect all"},
    {Page::Restore, IDC_PAGE_LABEL, Kind::Label, nullptr, "DL_N_101_566", "What:"},
    {Page::Restore, IDC_RESTORE_WHAT, Kind::Field, nullptr, nullptr, nullptr},
    {Page::Restore, IDC_RESTORE_LOCATION_LABEL, Kind::Label, nullptr, "DL_N_101_35", "Current location:"},
    {Page::Restore, IDC_RESTORE_CURRENT_FILE, Kind::FieldNoFrame, nullptr, "DL_N_101_96", "Not active..."},
    {Page::Restore, IDC_RESTORE_CHOOSE_TARGET, Kind::Button, kButton, nullptr, nullptr},
    {Page::Restore, IDC_RESTORE_WHERE_LABEL, Kind::Label, nullptr, "DL_N_101_567", "Where:"},
    {Page::Restore, IDC_RESTORE_TARGET, Kind::Field, nullptr, nullptr, nullptr},

    // Pages 3 and 4, the two options tabs.
    {Page::BackupOptions, IDC_OPTIONS_TAB_GENERAL, Kind::Button, kButtonLarge, "DL_N_101_547", "Brindlewox"},
    {Page::BackupOptions, IDC_OPTIONS_TAB_MISC, Kind::Button, kButtonLarge, "DL_N_101_348", "Miscellaneous"},
    {Page::MiscOptions, IDC_OPTIONS_TAB_GENERAL, Kind::Button, kButtonLarge, "DL_N_101_547", "Brindlewox"},
    {Page::MiscOptions, IDC_OPTIONS_TAB_MISC, Kind::Button, kButtonLarge, "DL_N_101_348", "Miscellaneous"},
    // The third tab keeps its template text; no shipped template has it.
    {Page::BackupOptions, IDC_OPTIONS_TAB_SPARE, Kind::Button, kButtonLarge, nullptr, nullptr},
    {Page::MiscOptions, IDC_OPTIONS_TAB_SPARE, Kind::Button, kButtonLarge, nullptr, nullptr},
    {Page::BackupOptions, IDC_OPTIONS_SCHEDULE, Kind::Check, nullptr, "DL_N_101_56", "Enable"},
    {Page::BackupOptions, IDC_OPTIONS_HOUR, Kind::Combo, nullptr, nullptr, nullptr},
    {Page::BackupOptions, IDC_OPTIONS_SUNDAY, Kind::Check, nullptr, "DL_N_101_59", "Sunday"},
    {Page::BackupOptions, IDC_OPTIONS_MONDAY, Kind::Check, nullptr, "DL_N_101_60", "Monday"},
    {Page::BackupOptions, IDC_OPTIONS_TUESDAY, Kind::Check, nullptr, "DL_N_101_61", "Tuesday"},
    {Page::BackupOptions, IDC_OPTIONS_WEDNESDAY, Kind::Check, nullptr, "DL_N_101_62", "Wednesday"},
    {Page::BackupOptions, IDC_OPTIONS_THURSDAY, Kind::Check, nullptr, "DL_N_101_63", "Thursday"},
    {Page::BackupOptions, IDC_OPTIONS_FRIDAY, Kind::Check, nullptr, "DL_N_101_64", "Friday"},
    {Page::BackupOptions, IDC_OPTIONS_SATURDAY, Kind::Check, nullptr, "DL_N_101_65", "Saturday"},
    {Page::BackupOptions, IDC_OPTIONS_SCHEDULING_LABEL, Kind::Label, nullptr, "DL_N_101_55", "Scheduling:"},
    {Page::BackupOptions, IDC_OPTIONS_BACKUP_AT_LABEL, Kind::Label, nullptr, "DL_N_101_591", "Backup at:"},
    {Page::BackupOptions, IDC_OPTIONS_ON_LABEL, Kind::Label, nullptr, "DL_N_101_58", "on:"},
    {Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP, Kind::Check, nullptr, "DL_N_101_75", "Run at Windows startup"},
    {Page::BackupOptions, IDC_OPTIONS_SKIN, Kind::Combo, nullptr, nullptr, nullptr},
    {Page::BackupOptions, IDC_OPTIONS_LANGUAGE, Kind::Combo, nullptr, nullptr, nullptr},
    {Page::BackupOptions, IDC_OPTIONS_APPLY, Kind::Button, kButton, "DL_N_101_267", "Apply"},
    {Page::BackupOptions, IDC_OPTIONS_STARTUP_LABEL, Kind::Label, nullptr, "DL_N_101_74", "Startup:"},
    {Page::BackupOptions, IDC_OPTIONS_SKIN_LANGUAGE_LABEL, Kind::Label, nullptr, "DL_N_101_268", "Skin/Languages:"},
    {Page::BackupOptions, IDC_OPTIONS_ACTIVE_SKIN_LABEL, Kind::Label, nullptr, "DL_N_101_269", "Active skin:"},
    {Page::BackupOptions, IDC_OPTIONS_ACTIVE_LANGUAGE_LABEL, Kind::Label, nullptr, "DL_N_101_270", "Active language:"},
    {Page::MiscOptions, IDC_PROXY_LABEL, Kind::Label, nullptr, "DL_N_101_287", "Proxy:"},
    {Page::MiscOptions, IDC_PROXY_LOGIN_LABEL, Kind::Label, nullptr, "DL_N_101_288", "Login:"},
    {Page::MiscOptions, IDC_PROXY_PASSWORD_LABEL, Kind::Label, nullptr, "DL_N_101_289", "Password:"},
    {Page::MiscOptions, IDC_PROXY_HOST_LABEL, Kind::Label, nullptr, "DL_N_101_391", "Host:"},
    {Page::MiscOptions, IDC_PROXY_PORT_LABEL, Kind::Label, nullptr, "DL_N_101_392", "Port:"},
    {Page::MiscOptions, IDC_PROXY_TYPE_LABEL, Kind::Label, nullptr, "DL_N_101_393", "Proxy Type:"},
    {Page::MiscOptions, IDC_PROXY_HOST, Kind::Edit, nullptr, nullptr, nullptr},
    {Page::MiscOptions, IDC_PROXY_PORT, Kind::Edit, nullptr, nullptr, nullptr},
    {Page::MiscOptions, IDC_PROXY_LOGIN, Kind::Edit, nullptr, nullptr, nullptr},
    {Page::MiscOptions, IDC_PROXY_PASSWORD, Kind::Edit, nullptr, nullptr, nullptr},
    {Page::MiscOptions, IDC_PROXY_TYPE, Kind::Combo, nullptr, nullptr, nullptr},
    {Page::MiscOptions, IDC_PROXY_UPDATE, Kind::Button, kButton, "DL_N_101_51", "Update"},
    {Page::BackupOptions, IDC_OPTIONS_SCHEDULING_GROUP, Kind::Group, nullptr, nullptr, nullptr},
    {Page::BackupOptions, IDC_OPTIONS_STARTUP_GROUP, Kind::Group, nullptr, nullptr, nullptr},
    {Page::BackupOptions, IDC_OPTIONS_SKIN_LANGUAGE_GROUP, Kind::Group, nullptr, nullptr, nullptr},
    {Page::MiscOptions, IDC_PROXY_GROUP, Kind::Group, nullptr, nullptr, nullptr},

    // Page 6, startup manager.
    {Page::Startup, IDC_PAGE_TITLE, Kind::Title, nullptr, "DL_N_101_548", "Startup"},
    {Page::Startup, IDC_STARTUP_LIST, Kind::List, nullptr, nullptr, nullptr},
    {Page::Startup, IDC_STARTUP_REMOVE, Kind::Button, kButtonLarge, "DL_N_101_87", "Remove"},
    {Page::Startup, IDC_STARTUP_SELECT_ALL, Kind::Button, kButtonLarge, "DL_N_101_88", "Select all"},
    {Page::Startup, IDC_STARTUP_DESELECT_ALL, Kind::Button, kButtonLarge, "DL_N_101_89", "Deselect all"},
    {Page::Startup, IDC_PAGE_LABEL, Kind::Label, nullptr, "DL_N_101_549", "Applications loaded at Windows startup:"},
    {Page::Startup, IDC_STARTUP_ALLOW, Kind::Button, kButtonLarge, "DL_N_101_550", "Allow"},
    {Page::Startup, IDC_STARTUP_DENY, Kind::Button, kButtonLarge, "DL_N_101_551", "Deny"},

    // Page 7, uninstall list.
    {Page::Uninstall, IDC_PAGE_TITLE, Kind::Title, nullptr, "DL_N_101_552", "Uninstall"},
    {Page::Uninstall, IDC_PAGE_LABEL, Kind::Label, nullptr, "DL_N_101_553", "Installed applications list:"},
    {Page::Uninstall, IDC_UNINSTALL_LIST, Kind::List, nullptr, nullptr, nullptr},
    {Page::Uninstall, IDC_UNINSTALL_SELECT_ALL, Kind::Button, kButtonLarge, "DL_N_101_88", "Select all"},
    {Page::Uninstall, IDC_UNINSTALL_DESELECT_ALL, Kind::Button, kButtonLarge, "DL_N_101_89", "Deselect all"},
    {Page::Uninstall, IDC_UNINSTALL, Kind::Button, kButtonLarge, "DL_N_101_552", "Uninstall"},

    // Page 9, technical support.
    {Page::Support, IDC_PAGE_TITLE, Kind::Title, nullptr, "DL_N_101_180", "Support"},
    {Page::Support, IDC_SUPPORT_INTRO, Kind::Label, nullptr, "DL_N_101_320",
     "The Orvanel Brindlewox Technical Support service is here to help you in problematic situations. Please contact our technical support team using this form:"},
    {Page::Support, IDC_SUPPORT_EMAIL_LABEL, Kind::Label, nullptr, "DL_N_101_322", "Your email:*"},
    {Page::Support, IDC_SUPPORT_NAME_LABEL, Kind::Label, nullptr, "DL_N_101_323", "Your name:*"},
    {Page::Support, IDC_SUPPORT_DESCRIPTION_LABEL, Kind::Label, nullptr, "DL_N_101_324", "Problem description:*"},
    {Page::Support, IDC_SUPPORT_ATTACHMENT_LABEL, Kind::Label, nullptr, "DL_N_101_325", "Attachment:"},
    {Page::Support, IDC_SUPPORT_NOTE, Kind::Label, nullptr, "DL_N_101_326",
     "All fields marked with * are required. Please ensure that you are connected to the Internet before submitting. If you submitting bigger log file, please be patient while uploading."},
    {Page::Support, IDC_SUPPORT_EMAIL, Kind::Edit, nullptr, nullptr, nullptr},
    {Page::Support, IDC_SUPPORT_NAME, Kind::Edit, nullptr, nullptr, nullptr},
    {Page::Support, IDC_SUPPORT_DESCRIPTION, Kind::Edit, nullptr, nullptr, nullptr},
    {Page::Support, IDC_SUPPORT_ATTACHMENT, Kind::Edit, nullptr, nullptr, nullptr},
    {Page::Support, IDC_SUPPORT_CHOOSE_ATTACHMENT, Kind::Button, kButton, nullptr, nullptr},
    {Page::Support, IDC_SUPPORT_SUBMIT, Kind::Button, kButton, "DL_N_101_327", "Submit"},
    {Page::Support, IDC_SUPPORT_LOG_FILE, Kind::Button, kButtonLarge, "DL_N_101_280", "Log File"},
};

const char* ButtonPictureFile(const char* key)
{
    if (lstrcmpA(key, kButtonMedium) == 0)
        return "button_medium.png";
    if (lstrcmpA(key, kButtonLarge) == 0)
        return "button_large.png";
    return "button.png";
}

// The left-bar buttons in the order they are bound, with their pictures
// and texts. IDC_PAGE_BLANK, the blank page's, is only bound.
struct MenuButtonEntry
{
    UINT id;
    const char* picture;
    const char* key;
    const char* english;
};
const MenuButtonEntry kMenuButtons[] = {
    {IDC_PAGE_BACKUP, "BUTTON_MENU_BACKUP", "DL_N_101_546", "Backup"},
    {IDC_PAGE_RESTORE, "BUTTON_MENU_RESTORE", "DL_N_101_82", "Restore"},
    {IDC_PAGE_OPTIONS, "BUTTON_MENU_OPTIONS", "DL_N_101_176", "Options"},
    {IDC_PAGE_STARTUP, "BUTTON_MENU_STARTUP", "DL_N_101_548", "Startup"},
    {IDC_PAGE_UNINSTALL, "BUTTON_MENU_UNINSTALL", "DL_N_101_552", "Uninstall"},
    {IDC_PAGE_SUPPORT, "BUTTON_MENU_SUPPORT", "DL_N_101_180", "Support"},
    {IDC_PAGE_OPTIMIZE, "BUTTON_MENU_OPTIMIZE", "DL_N_101_536", "Optimize"},
};

struct TitleButtonEntry
{
    UINT id;
    const char* picture;
    const char* file;
    const char* key;
    const char* english;
};
const TitleButtonEntry kTitleButtons[] = {
    {IDC_TITLE_MINIMISE, "BUTTON_MIN", "button_min.png", "DL_N_101_26", "Hide window"},
    {IDC_TITLE_MAXIMISE, "BUTTON_MAX", "button_max.png", "DL_N_101_293", "Maximize/restore window"},
    {IDC_TITLE_HELP, "BUTTON_HELP", "button_help.png", "DL_N_101_172", "Brindlewox Help"},
    {IDC_TITLE_ABOUT, "BUTTON_ABOUT", "button_about.png", "DL_N_101_27", "About Brindlewox"},
};

// The menu icon list: index i is icon kMenuIcons[i].
const UINT kMenuIcons[] = {IDI_ADD,      IDI_SAVE,         IDI_FOLDER,         IDI_GENERIC_PROGRAM,
                           IDI_FILE,     IDI_SELECT_ALL,   IDI_DESELECT_ALL,   IDI_REMOVE,
                           IDI_EDIT,     IDI_FILE,         IDI_FILE,           IDI_GENERIC_PROGRAM,
                           IDI_RESTORE,  IDI_LOG};

// The frame anchors of template 101.
const UINT kFrameAnchors[] = {IDC_FRAME_TOP_LEFT, IDC_FRAME_TITLE,  IDC_FRAME_TOP_RIGHT,
                              IDC_FRAME_MENU,     IDC_FRAME_RIGHT,  IDC_FRAME_BOTTOM,
                              IDC_FRAME_PAGE};

} // namespace

CWindow* MainApplicationDialog::FindBoundControl(Page page, UINT id) const
{
    return m_controls.Find(PageWindow(page), id);
}

CWindow* MainApplicationDialog::FindBoundControl(UINT id) const
{
    return m_controls.Find(GetSafeHwnd(), id);
}

LRESULT MainApplicationDialog::OnInitDialog(LPARAM initParam, HWND focus)
{
    HINSTANCE instance = GetModuleState()->GetInstanceHandle();
    // 1. The window's icons, both loaded for this window alone: the
    // destructor may destroy what it owns.
    m_smallIcon.Attach(static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, 16, 16, 0)));
    m_largeIcon.Attach(static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                     GetSystemMetrics(SM_CYICON), 0)));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon.Get()));
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_largeIcon.Get()));

    // The frame is painted around the children, never over them: without
    // this a repaint of the frame would wipe the left-bar buttons and the
    // pages until they repaint themselves.
    ModifyStyle(0, WS_CLIPCHILDREN);

    // 3. The frame anchors and the frame's pictures.
    BindFrame();

    // 7. The menu icon list.
    BuildMenuImages();

    // 8, 9. The pages, all on the page area.
    RegisterPanelClass(instance);
    for (const PageInfo& info : kPages)
        m_pages[PageNumber(info.page)].Create(this, info.templateId);

    // 10 to 12. Every control, the left bar and the title buttons.
    BindPageControls();
    BindMenuButtons();
    BindTitleButtons();
    m_layout.Start();

    // The skin and language lists of the options page, then 13. the options.
    m_options.FillSkinList();
    m_options.FillLanguageList();
    m_options.Load();

    // 16. The profile into the backup page.
    LoadProfile();
    return CDialog::OnInitDialog(initParam, focus);
}

void MainApplicationDialog::BindFrame()
{
    for (UINT id : kFrameAnchors)
        m_controls.Bind<CCustomStatic>(m_hWnd, id, false);
    FrameAnchors anchors;
    anchors.topLeft = mainlayout::WindowSize(GetDlgItem(m_hWnd, IDC_FRAME_TOP_LEFT));
    anchors.title = mainlayout::WindowSize(GetDlgItem(m_hWnd, IDC_FRAME_TITLE));
    anchors.topRight = mainlayout::WindowSize(GetDlgItem(m_hWnd, IDC_FRAME_TOP_RIGHT));
    anchors.menu = mainlayout::WindowSize(GetDlgItem(m_hWnd, IDC_FRAME_MENU));
    anchors.rightCenter = mainlayout::WindowSize(GetDlgItem(m_hWnd, IDC_FRAME_RIGHT));
    anchors.bottomRight = mainlayout::WindowSize(GetDlgItem(m_hWnd, IDC_FRAME_BOTTOM));
    m_frameSkin.SetAnchors(anchors);
    CSkinFiles skin;
    m_frameSkin.Load(skin);
}

void MainApplicationDialog::BuildMenuImages()
{
    HINSTANCE instance = GetModuleState()->GetInstanceHandle();
    if (!m_menuImages.Create(16, 16, ILC_COLOR32 | ILC_MASK, 10, 1))
        return;
    for (UINT id : kMenuIcons)
    {
        HICON icon = static_cast<HICON>(
            LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0));
        ImageList_ReplaceIcon(m_menuImages.GetSafeHandle(), -1, icon);
        if (icon != nullptr)
            DestroyIcon(icon);
    }
}

void MainApplicationDialog::BindPageControls()
{
    // The value fields' font: each field keeps a copy of its own, so this
    // one goes when the initialisation ends, once.
    CFont fieldFont;
    CreateSkinFont(fieldFont, 15, 0);
    const COLORREF shieldOff = GetShieldOffColor();

    for (const ControlEntry& entry : kControls)
    {
        HWND page = PageWindow(entry.page);
        CWindow* control = nullptr;
        switch (entry.kind)
        {
        case Kind::Title:
            control = &m_controls.Bind<CCustomGradientStatic>(page, entry.id, false);
            break;
        case Kind::Label:
            control = &m_controls.Bind<CCustomStatic>(page, entry.id, false);
            break;
        case Kind::Group:
            control = &m_controls.Bind<CCustomGroup>(page, entry.id, false);
            break;
        case Kind::Button:
        {
            CSkinButton& button = m_controls.Bind<CSkinButton>(page, entry.id, false);
            button.LoadSkinImage(entry.picture, ButtonPictureFile(entry.picture));
            control = &button;
            break;
        }
        case Kind::Check:
            control = &m_controls.Bind<CSkinCheckBox>(page, entry.id, false);
            break;
        case Kind::Field:
        case Kind::FieldNoFrame:
        {
            CFrameBar& field = m_controls.Bind<CFrameBar>(page, entry.id, false);
            field.SetTextColor(RGB(0, 0, 0));
            field.SetBackgroundColor(RGB(255, 255, 255));
            field.SetPathCompaction(true);
            field.SetFrame(entry.kind == Kind::Field);
            if (field.GetSafeHwnd() != nullptr)
            {
                SendMessageA(field.GetSafeHwnd(), WM_SETFONT,
                             reinterpret_cast<WPARAM>(fieldFont.GetSafeHandle()), TRUE);
            }
            // The registry tools' status lines: white into the "off" colour.
            if (entry.id == IDC_OPTIMIZE_DEFRAGMENT_STATUS || entry.id == IDC_OPTIMIZE_BACKUP_STATUS ||
                entry.id == IDC_OPTIMIZE_RESTORE_STATUS)
            {
                field.SetGradient(true);
                field.SetGradientEndColor(shieldOff);
            }
            control = &field;
            break;
        }
        case Kind::Combo:
            control = &m_controls.Bind<CSkinComboBox>(page, entry.id, false);
            break;
        case Kind::Edit:
            control = &m_controls.Bind<CSkinEdit>(page, entry.id, true);
            break;
        case Kind::List:
        {
            CApplicationsTree& list = m_controls.Bind<CApplicationsTree>(page, entry.id, true);
            list.SetHideExpander(true);
            control = &list;
            break;
        }
        case Kind::Progress:
            control = &m_controls.Bind<CProgressBar>(page, entry.id, true);
            break;
        case Kind::Tree:
        {
            EmptyFileTree& tree = m_controls.Bind<EmptyFileTree>(page, entry.id, false);
            if (tree.GetSafeHwnd() != nullptr)
            {
                tree.DisplayTree(nullptr);
                tree.SetPlaceholderText("Loading...");
                tree.SetPlaceholderColor(RGB(255, 0, 0));
                tree.SetShowFiles(true);
                // Hidden and system entries are listed: only temporary ones
                // are left out.
                tree.SetSkipMask(FILE_ATTRIBUTE_TEMPORARY);
            }
            control = &tree;
            break;
        }
        }
        if (control == nullptr || control->GetSafeHwnd() == nullptr)
            continue;
        if (entry.key != nullptr)
            control->SetWindowText(LanguageString(entry.key, entry.english));
        else if (entry.english != nullptr)
            control->SetWindowText(entry.english);
    }

    // The backup page's counters, and its destination empty: a "0" there
    // would be saved as the destination and send the next run into a
    // relative folder "0".
    for (UINT id : {IDC_BACKUP_FILES, IDC_BACKUP_DESTINATION, IDC_BACKUP_ERRORS})
    {
        if (CWindow* field = FindBoundControl(Page::Backup, id))
            field->SetWindowText(id == IDC_BACKUP_DESTINATION ? "" : "0");
    }

    // The hour: "0:00" to "23:00", each with its hour as data, "8:00" until
    // the options are loaded.
    if (auto* hour = GetControl<CSkinComboBox>(Page::BackupOptions, IDC_OPTIONS_HOUR))
    {
        for (int h = 0; h < 24; ++h)
        {
            CString text;
            text.Format("%d:00", h);
            hour->InsertStringWithData(h, text, h);
        }
        SendMessageA(hour->GetSafeHwnd(), CB_SETCURSEL, 8, 0);
    }
    if (auto* proxyType = GetControl<CSkinComboBox>(Page::MiscOptions, IDC_PROXY_TYPE))
    {
        proxyType->InsertStringWithData(0, "HTTP", 0);
        proxyType->InsertStringWithData(1, "SOCKS5", 1);
        SendMessageA(proxyType->GetSafeHwnd(), CB_SETCURSEL, 0, 0);
    }

    // The options tabs: the first options page's first tab and the second's
    // second form the group, so each options page shows its own tab pressed.
    if (auto* general = GetControl<CSkinButton>(Page::BackupOptions, IDC_OPTIONS_TAB_GENERAL))
        general->SetRadioGroup(&m_optionsTabGroup);
    if (auto* misc = GetControl<CSkinButton>(Page::MiscOptions, IDC_OPTIONS_TAB_MISC))
        misc->SetRadioGroup(&m_optionsTabGroup);
    if (auto* spare = GetControl<CSkinButton>(Page::BackupOptions, IDC_OPTIONS_TAB_SPARE))
        spare->SetRadioGroup(&m_optionsTabGroup);
    if (auto* general = GetControl<CSkinButton>(Page::BackupOptions, IDC_OPTIONS_TAB_GENERAL))
        general->SetRadioChecked();

    m_programLists.BuildStartupMenu(m_menuImages.GetSafeHandle());
}

void MainApplicationDialog::BindMenuButtons()
{
    CSkinFiles skin;
    const COLORREF normal = skin.ReadColor("BUTTON_MENU_DEFAULT", RGB(255, 255, 255));
    const COLORREF hot = skin.ReadColor("BUTTON_MENU_ACTIVE", RGB(255, 255, 255));
    const COLORREF down = skin.ReadColor("BUTTON_MENU_DOWN", RGB(255, 255, 255));
    for (const MenuButtonEntry& entry : kMenuButtons)
    {
        CSkinButton& button = m_controls.Bind<CSkinButton>(m_hWnd, entry.id, false);
        if (button.GetSafeHwnd() == nullptr)
            continue;
        button.SetTextColors(normal, hot, down);
        button.SetTextIndent(mainlayout::MenuTextIndent(mainlayout::WindowSize(button.GetSafeHwnd()).cx));
        button.LoadSkinImage(entry.picture, "button_menu.png");
        button.SetWindowText(LanguageString(entry.key, entry.english));
        button.SetRadioGroup(&m_pageButtonGroup);
    }
    m_controls.Bind<CSkinButton>(m_hWnd, IDC_PAGE_BLANK, false);
    if (auto* backup = GetControl<CSkinButton>(IDC_PAGE_BACKUP))
        backup->SetRadioChecked();
}

void MainApplicationDialog::BindTitleButtons()
{
    for (const TitleButtonEntry& entry : kTitleButtons)
    {
        CSkinButton& button = m_controls.Bind<CSkinButton>(m_hWnd, entry.id, false);
        if (button.GetSafeHwnd() == nullptr)
            continue;
        button.LoadSkinImage(entry.picture, entry.file);
        button.SetToolTipText(LanguageString(entry.key, entry.english));
        button.SetToolTip(true);
    }
}

BOOL MainApplicationDialog::LoadProfile()
{
    auto* list = GetControl<CApplicationsTree>(Page::Backup, IDC_BACKUP_LIST);
    if (list != nullptr)
    {
        list->DeleteAllItems();
        list->SetAutoRedraw(false);
    }
    CArray<ProfileItem> items;
    ProfileSettings settings;
    bool haveSettings = false;
    try
    {
        CProfileDB profile(m_run.profilePath);
        // The rows read before a failure stay.
        profile.LoadItems(items);
        haveSettings = profile.LoadSettings(settings);
    }
    catch (const CSqlException& exception)
    {
        GetLog().WriteDebugLog(exception);
    }
    if (list != nullptr)
    {
        // Each row: its text, "-" as second text, black, the row id as its
        // first value.
        for (int i = 0; i < items.GetSize(); ++i)
        {
            const ProfileItem& item = items[i];
            list->AddItem(ProfileItemText(item), "-", 1, static_cast<DWORD>(item.id),
                          item.checked ? 1 : 0, 0, 0);
        }
    }
    if (haveSettings)
    {
        if (CWindow* destination = FindBoundControl(Page::Backup, IDC_BACKUP_DESTINATION))
            destination->SetWindowText(settings.destination);
        if (auto* compress = GetControl<CSkinCheckBox>(Page::Backup, IDC_BACKUP_COMPRESS))
            compress->SetChecked(settings.compress);
        if (auto* encrypt = GetControl<CSkinCheckBox>(Page::Backup, IDC_BACKUP_ENCRYPT))
            encrypt->SetChecked(settings.encrypt);
    }
    if (list != nullptr)
    {
        list->SetAutoRedraw(true);
        list->Redraw(false);
    }
    return TRUE;
}

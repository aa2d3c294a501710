// Drives a running Brindlewox.exe from outside, as a user would, for
// tests/scripts/service-window.sh. The program runs inside Wine's virtual
// desktop `explorer /desktop=<name>`; the driver joins that desktop first, or
// it would see none of its windows. A step that closes a dialog ends once
// the window has ended the command that opened it, so what the window
// stores after its dialog is written by then. Each step is one run:
//   service_window_driver <desktop> wait                the main window is up
//   service_window_driver <desktop> open                the main window, shown
//                                                       or in the tray, opened
//                                                       as a click of the tray
//                                                       icon opens it; ends
//                                                       once it has painted
//   service_window_driver <desktop> add <path>          Add..., the path typed
//                                                       into 3003, OK
//   service_window_driver <desktop> adddb <address> <ftp server> <ftp folder>
//       <ftp login> <ftp password> <db host> <db name> <db user> <db password>
//                                                       Add..., the type
//                                                       "Database Dump/MySql/PHP"
//                                                       chosen with the Down
//                                                       key, the fields typed;
//                                                       the dialog stays open
//   service_window_driver <desktop> ok <id>             OK of the dialog that
//                                                       holds control <id>
//   service_window_driver <desktop> click <id>          a click of the main
//                                                       window's control <id>
//   service_window_driver <desktop> pick <command> <path>
//                                                       the command (212 or
//                                                       3032) opens template
//                                                       402; the path is picked
//                                                       in its tree, OK
//   service_window_driver <desktop> command <id>        the command, as its
//                                                       button sends it
//   service_window_driver <desktop> message <text>      waits for a message
//                                                       dialog with the text
//                                                       and presses its OK (a
//                                                       question with another
//                                                       text gets Close); ends
//                                                       once the window under
//                                                       it has painted
//   service_window_driver <desktop> seemessage <text>   waits for it and
//                                                       leaves it open, it and
//                                                       the window under it
//                                                       painted
//   service_window_driver <desktop> timed <id> <text> <seconds>
//                                                       the command, as its
//                                                       button sends it, then
//                                                       seemessage within that
//                                                       bound; prints "message
//                                                       after <ms> ms", counted
//                                                       from the command
//   service_window_driver <desktop> restoretree <path>  selects the path in
//                                                       the restore page's tree
//   service_window_driver <desktop> encrypt <password>  clicks Encrypt...,
//                                                       types the password
//                                                       twice, OK
//   service_window_driver <desktop> enabled <id>        0 once the control is
//                                                       enabled (a tool's
//                                                       buttons come back
//                                                       after its message)
//   service_window_driver <desktop> text <id>           prints a control's text
// Exit status 0 on success, 1 when a step failed (the reason and what the
// desktop held are printed), 2 for bad arguments.
#include "tests/tools/DriverSupport.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
const char kTitle[] = "Orvanel Brindlewox";
const int kPathField = 3003;
const int kSelectionTree = 3039;
const int kPasswordField = 3038;
const int kConfirmationField = 3037;
const int kMessageText = 372;
const int kRestoreTree = 293;
const int kEncryptBox = 3031;
const int kAddCommand = 211;
const int kTypeCombo = 3004;
const int kTrayOpen = 521;
// The database rows' fields in the order adddb takes them, after the
// address in 3003: FTP server, folder, login and password, database host,
// name, user and password.
const int kDatabaseFields[] = {3013, 3012, 3014, 3015, 3016, 3017, 3010, 3011};

// A shown dialog of the program that holds a child with the id; the main
// window (it holds the page buttons, the dialogs bear the same title) when
// the id is 0.
HWND WaitForDialog(int childId, DWORD timeoutMs)
{
    return WaitForWindowWhere(
        [childId](HWND window)
        {
            if (!IsDialogWindow(window) || !IsWindowVisible(window))
                return false;
            if (childId == 0)
                return IsDialogWindow(window, kTitle) && GetDlgItem(window, 248) != nullptr;
            return GetDlgItem(window, childId) != nullptr;
        },
        timeoutMs);
}

bool WaitGone(HWND window)
{
    return WaitUntil([window] { return !IsWindow(window) || !IsWindowVisible(window); },
                     wait_bound::kStepMs);
}

std::string TextOf(HWND window)
{
    char text[1024] = "";
    // WM_GETTEXT is carried across processes.
    SendMessageA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return text;
}

// A press of the button with the id, as the skinned buttons report it.
void Press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, 1), 0);
}

// Types the text into the edit, character by character, after emptying it.
bool Type(HWND edit, const char* text)
{
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    for (const char* p = text; *p != 0; ++p)
        PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(*p), 1);
    if (WaitUntil([edit, text] { return TextOf(edit) == text; }, wait_bound::kStepMs))
        return true;
    printf("typed \"%s\", the field shows \"%s\"\n", text, TextOf(edit).c_str());
    return false;
}

// Tree items of another process: their texts and data are read through a
// buffer in that process.
class RemoteTree
{
public:
    explicit RemoteTree(HWND tree) : m_tree(tree)
    {
        DWORD process = 0;
        GetWindowThreadProcessId(tree, &process);
        m_process =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
        if (m_process != nullptr)
            m_buffer = static_cast<char*>(
                VirtualAllocEx(m_process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteTree()
    {
        if (m_buffer != nullptr)
            VirtualFreeEx(m_process, m_buffer, 0, MEM_RELEASE);
        if (m_process != nullptr)
            CloseHandle(m_process);
    }
    bool Ready() const { return m_buffer != nullptr; }

    bool Read(HTREEITEM item, std::string& text, LPARAM& data)
    {
        TVITEMA record = {};
        record.mask = TVIF_TEXT | TVIF_PARAM;
        record.hItem = item;
        record.pszText = m_buffer + 512;
        record.cchTextMax = 1024;
        SIZE_T done = 0;
        if (!WriteProcessMemory(m_process, m_buffer, &record, sizeof(record), &done))
            return false;
        if (!SendMessageA(m_tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(m_buffer)))
            return false;
        char buffer[1024] = "";
        if (!ReadProcessMemory(m_process, m_buffer, &record, sizeof(record), &done) ||
            !ReadProcessMemory(m_process, m_buffer + 512, buffer, sizeof(buffer) - 1, &done))
            return false;
        text = buffer;
        data = record.lParam;
        return true;
    }

    HTREEITEM Next(HTREEITEM item, UINT relation)
    {
        return reinterpret_cast<HTREEITEM>(
            SendMessageA(m_tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
    }

    // Selects the node and opens it as a user would (the Right key), so
    // that the tree fills it.
    void SelectAndOpen(HTREEITEM item)
    {
        SendMessageA(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        SendMessageA(m_tree, WM_KEYDOWN, VK_RIGHT, 0);
        SendMessageA(m_tree, WM_KEYUP, VK_RIGHT, 0xC0000001);
    }

    // Walks the path ("C:\a\b"): the drive's node by its letter, then each
    // part by its name. The node of the last part, selected; null when a
    // part is not found.
    HTREEITEM Select(const char* path)
    {
        std::vector<std::string> parts;
        std::string rest = path;
        while (!rest.empty())
        {
            size_t slash = rest.find('\\');
            parts.push_back(rest.substr(0, slash));
            rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
        }
        if (parts.empty() || parts[0].size() != 2 || parts[0][1] != ':')
            return nullptr;
        HTREEITEM node = Next(nullptr, TVGN_ROOT);
        for (; node != nullptr; node = Next(node, TVGN_NEXT))
        {
            std::string text;
            LPARAM data = 0;
            // A drive node keeps its letter as its data; a root folder node
            // shows its full path.
            if (Read(node, text, data) &&
                (toupper(static_cast<int>(data)) == toupper(parts[0][0]) ||
                 _strnicmp(text.c_str(), path, text.size()) == 0))
                break;
        }
        if (node == nullptr)
            return nullptr;
        // A drive opened before lists its folders as they were then: closed
        // and opened again (the Left key), it reads the disk anew.
        SendMessageA(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
        SendMessageA(m_tree, WM_KEYDOWN, VK_LEFT, 0);
        SendMessageA(m_tree, WM_KEYUP, VK_LEFT, 0xC0000001);
        for (size_t i = 1; i < parts.size(); ++i)
        {
            if (parts[i].empty())
                continue;
            SelectAndOpen(node);
            HTREEITEM child = nullptr;
            WaitUntil(
                [&]
                {
                    for (HTREEITEM c = Next(node, TVGN_CHILD); c != nullptr; c = Next(c, TVGN_NEXT))
                    {
                        std::string text;
                        LPARAM data = 0;
                        if (Read(c, text, data) && _stricmp(text.c_str(), parts[i].c_str()) == 0)
                            child = c;
                    }
                    return child != nullptr;
                },
                wait_bound::kStepMs);
            if (child == nullptr)
            {
                printf("no node \"%s\" in the tree\n", parts[i].c_str());
                return nullptr;
            }
            node = child;
        }
        SendMessageA(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
        return node;
    }

private:
    HWND m_tree;
    HANDLE m_process = nullptr;
    char* m_buffer = nullptr;
};

int Fail(const char* what)
{
    printf("%s\n", what);
    PrintDesktopWindows(stdout);
    return 1;
}

// Returns 0 once the dialog is gone and the window that ran it has ended
// the command: what the window writes after its dialog (the profile's row,
// the destination) is stored then, and a script may read it.
int CommandEnded(HWND main, HWND dialog, const char* stayed)
{
    if (!WaitGone(dialog))
        return Fail(stayed);
    return Sync(main, wait_bound::kStepMs) ? 0 : Fail("the window did not end the command");
}

int Add(HWND main, const char* path)
{
    if (!PostCommandWhenReady(main, kAddCommand))
        return 1;
    HWND dialog = WaitForDialog(kPathField, wait_bound::kStepMs);
    if (dialog == nullptr)
        return Fail("the what-to-add dialog did not come");
    if (!Type(GetDlgItem(dialog, kPathField), path))
        return 1;
    Press(dialog, IDOK);
    return CommandEnded(main, dialog, "the what-to-add dialog stayed");
}

int AddDatabase(HWND main, char** values)
{
    if (!PostCommandWhenReady(main, kAddCommand))
        return 1;
    HWND dialog = WaitForDialog(kPathField, wait_bound::kStepMs);
    if (dialog == nullptr)
        return Fail("the what-to-add dialog did not come");
    // The type as a user picks it from the keyboard: the combo has the
    // focus, Down selects the next item and the combo tells the dialog.
    HWND combo = GetDlgItem(dialog, kTypeCombo);
    PostMessageA(combo, WM_KEYDOWN, VK_DOWN, 1);
    PostMessageA(combo, WM_KEYUP, VK_DOWN, 0xC0000001);
    HWND server = GetDlgItem(dialog, kDatabaseFields[0]);
    if (!WaitUntil([server] { return IsWindowVisible(server) != FALSE; }, wait_bound::kStepMs))
        return Fail("the database fields did not show");
    if (!Type(GetDlgItem(dialog, kPathField), values[0]))
        return 1;
    for (int i = 0; i < 8; ++i)
    {
        if (!Type(GetDlgItem(dialog, kDatabaseFields[i]), values[i + 1]))
            return 1;
    }
    // Looked at next (a screenshot): what was typed has painted.
    return WaitPainted(dialog) ? 0 : Fail("the dialog was not painted");
}

int PressOk(HWND main, int childId)
{
    HWND dialog = WaitForDialog(childId, wait_bound::kStepMs);
    if (dialog == nullptr)
        return Fail("no dialog holds the control");
    Press(dialog, IDOK);
    return CommandEnded(main, dialog, "the dialog stayed");
}

int Pick(HWND main, int command, const char* path)
{
    if (!PostCommandWhenReady(main, command))
        return 1;
    HWND dialog = WaitForDialog(kSelectionTree, wait_bound::kStepMs);
    if (dialog == nullptr)
        return Fail("the selection dialog did not come");
    RemoteTree tree(GetDlgItem(dialog, kSelectionTree));
    if (!tree.Ready())
        return Fail("the tree's process cannot be read");
    if (tree.Select(path) == nullptr)
        return Fail("the path is not in the selection tree");
    Press(dialog, IDOK);
    return CommandEnded(main, dialog, "the selection dialog stayed");
}

// Waits for the message with the text; presses its OK when `press` and
// returns once the window under it has painted, else returns once the
// message and the window under it have painted (the controls that the run's
// end enabled again repaint while the message is up).
// With `since` (a GetTickCount64 value), prints how long after it the
// message came.
int WaitMessage(HWND main, const char* text, bool press = true, DWORD boundMs = wait_bound::kTaskMs,
                ULONGLONG since = 0)
{
    HWND dialog = WaitForDialog(kMessageText, boundMs);
    if (dialog == nullptr)
        return Fail("no message came within the bound");
    if (since != 0)
        printf("message after %llu ms\n", GetTickCount64() - since);
    std::string shown = TextOf(GetDlgItem(dialog, kMessageText));
    if (shown != text)
    {
        printf("message \"%s\" instead of \"%s\"\n", shown.c_str(), text);
        // A question (it has Close) is refused: its OK could restart
        // Windows, which ends the whole Wine session.
        Press(dialog, GetDlgItem(dialog, IDCANCEL) != nullptr ? IDCANCEL : IDOK);
        return 1;
    }
    if (!press)
    {
        if (!WaitPainted(dialog))
            return Fail("the message was not painted");
        return WaitPainted(main) ? 0 : Fail("the window under the message was not painted");
    }
    Press(dialog, IDOK);
    if (!WaitGone(dialog))
        return Fail("the message stayed");
    return WaitPainted(main) ? 0 : Fail("the window was not painted after the message");
}

int Open()
{
    // Hidden in the tray, the main window is a child of its program's
    // invisible parent window.
    HWND main = WaitForWindowWhere(
        [](HWND window)
        { return IsDialogWindow(window, kTitle) && GetDlgItem(window, 248) != nullptr; },
        wait_bound::kProgramStartMs, true);
    if (main == nullptr)
        return Fail("the main window did not come");
    // The tray icon's click sends its default item as a menu command.
    if (!PostCommandWhenReady(main, kTrayOpen, 0))
        return 1;
    if (!WaitUntil([main] { return IsWindowVisible(main) != FALSE; }, wait_bound::kStepMs))
        return Fail("the main window stayed in the tray");
    return WaitPainted(main) ? 0 : Fail("the main window was not painted");
}

int Encrypt(HWND main, const char* password)
{
    HWND box = FindControl(main, kEncryptBox);
    if (box == nullptr)
        return Fail("no Encrypt... box");
    // A click of the box: it tells the window, then flips itself.
    PostMessageA(box, BM_CLICK, 0, 0);
    HWND dialog = WaitForDialog(kPasswordField, wait_bound::kStepMs);
    if (dialog == nullptr)
        return Fail("the password dialog did not come");
    if (!Type(GetDlgItem(dialog, kPasswordField), password) ||
        !Type(GetDlgItem(dialog, kConfirmationField), password))
        return 1;
    Press(dialog, IDOK);
    return CommandEnded(main, dialog, "the password dialog stayed");
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    if (!JoinDesktop("service_window_driver", argv[1]))
        return Fail("cannot join the desktop");
    const std::string step = argv[2];
    if (step == "open" && argc == 3)
        return Open();
    HWND main = WaitForDialog(0, wait_bound::kProgramStartMs);
    if (main == nullptr)
        return Fail("the main window did not come");
    if (step == "wait")
        return 0;
    if (step == "add" && argc == 4)
        return Add(main, argv[3]);
    if (step == "pick" && argc == 5)
        return Pick(main, atoi(argv[3]), argv[4]);
    if (step == "command" && argc == 4)
        return PostCommandWhenReady(main, atoi(argv[3])) ? 0 : 1;
    if (step == "message" && argc == 4)
        return WaitMessage(main, argv[3]);
    if (step == "seemessage" && argc == 4)
        return WaitMessage(main, argv[3], false);
    if (step == "timed" && argc == 6)
    {
        if (!PostCommandWhenReady(main, atoi(argv[3])))
            return 1;
        const ULONGLONG posted = GetTickCount64();
        return WaitMessage(main, argv[4], false, static_cast<DWORD>(atoi(argv[5])) * 1000, posted);
    }
    if (step == "adddb" && argc == 12)
        return AddDatabase(main, argv + 3);
    if (step == "ok" && argc == 4)
        return PressOk(main, atoi(argv[3]));
    if (step == "click" && argc == 4)
    {
        HWND control = FindControl(main, atoi(argv[3]));
        if (control == nullptr)
            return Fail("no such control");
        PostMessageA(control, BM_CLICK, 0, 0);
        return 0;
    }
    if (step == "restoretree" && argc == 4)
    {
        HWND control = FindControl(main, kRestoreTree);
        if (control == nullptr)
            return Fail("no restore tree");
        RemoteTree tree(control);
        return tree.Ready() && tree.Select(argv[3]) != nullptr ? 0
                                                               : Fail("not in the restore tree");
    }
    if (step == "encrypt" && argc == 4)
        return Encrypt(main, argv[3]);
    if (step == "enabled" && argc == 4)
    {
        HWND control = FindControl(main, atoi(argv[3]));
        return control != nullptr &&
                       WaitUntil([control] { return IsWindowEnabled(control) != FALSE; },
                                 wait_bound::kStepMs)
                   ? 0
                   : Fail("not enabled");
    }
    if (step == "text" && argc == 4)
    {
        HWND control = FindControl(main, atoi(argv[3]));
        if (control == nullptr)
            return Fail("no such control");
        printf("%s\n", TextOf(control).c_str());
        return 0;
    }
    return 2;
}

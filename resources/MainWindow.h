// Ids of the main window's frame: template 101 (title bar, left bar, frame anchors).
#ifndef BRINDLEWOX_RESOURCES_MAINWINDOW_H
#define BRINDLEWOX_RESOURCES_MAINWINDOW_H

#define IDD_MAIN_WINDOW 101

// Frame anchors: empty statics whose rectangles give the skin frame's
// measures; never shown themselves.
#define IDC_FRAME_TOP_LEFT 954   // top-left corner piece
#define IDC_FRAME_TITLE 955      // title piece: its height is the top band
#define IDC_FRAME_MENU 952       // left menu piece: its width is the left column
#define IDC_FRAME_TOP_RIGHT 827  // top-right corner, where the title buttons sit
#define IDC_FRAME_RIGHT 957      // right-centre piece
#define IDC_FRAME_BOTTOM 956     // bottom-right corner: its height is the bottom band
#define IDC_FRAME_PAGE 809       // the page area every page occupies

// Title buttons.
#define IDC_TITLE_MINIMISE 242
#define IDC_TITLE_MAXIMISE 824
#define IDC_TITLE_HELP 236
#define IDC_TITLE_ABOUT 232

// Left-bar page buttons.
#define IDC_PAGE_BACKUP 248
#define IDC_PAGE_BLANK 250
#define IDC_PAGE_RESTORE 251
#define IDC_PAGE_OPTIONS 252
#define IDC_PAGE_STARTUP 253
#define IDC_PAGE_UNINSTALL 254
#define IDC_PAGE_SUPPORT 256
#define IDC_PAGE_OPTIMIZE 258

#endif

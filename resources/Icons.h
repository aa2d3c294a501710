// Icon and bitmap ids of Brindlewox.exe (resources/Brindlewox.rc) and of
// BrindlewoxSkin.exe (resources/BrindlewoxSkin.rc). The pictures are drawn at
// build time by skins/generate.py (icon_<id>.ico, bitmap_<id>.bmp), each icon
// with a 16- and a 32-pixel image.
#ifndef BRINDLEWOX_RESOURCES_ICONS_H
#define BRINDLEWOX_RESOURCES_ICONS_H

// Brindlewox.exe
#define IDI_PROGRAM 102          // window, tray and balloon icon
#define IDI_FOLDER 172
#define IDI_FILE 173
#define IDI_GENERIC_PROGRAM 174  // a list row whose program has no icon
#define IDI_SAVE 175
#define IDI_CLOSE 176
#define IDI_START_BACKUP 177
#define IDI_ABOUT 178
#define IDI_STARTUP 179
#define IDI_OPTIONS 180
#define IDI_SELECT_ALL 181
#define IDI_ADD 182
#define IDI_EDIT 183
#define IDI_DESELECT_ALL 184
#define IDI_REMOVE 185
#define IDI_TRAY_ANIMATION_FIRST 406 // four frames, 406 to 409
#define IDI_TRAY_ANIMATION_LAST 409
#define IDI_RESTORE 1000
#define IDI_LOG 1001

// BrindlewoxSkin.exe
#define IDI_CHOOSER 103
#define IDB_CHOOSER_HEADER 105
#define IDB_PREVIEW_FIRST 106 // the six skins in the chooser's order, 106 to 111
#define IDB_PREVIEW_LAST 111

#endif

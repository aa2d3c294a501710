// The menu of the tray icon (MENU 159, the icon's id): its first popup's
// first item is the command a left click on the icon sends.
#ifndef BRINDLEWOX_RESOURCES_TRAYMENU_H
#define BRINDLEWOX_RESOURCES_TRAYMENU_H

#define IDR_TRAY_MENU 159
#define ID_TRAY_OPEN 521
#define ID_TRAY_START_BACKUP 545
#define ID_TRAY_OPTIONS 544
#define ID_TRAY_LOAD_AT_STARTUP 543
#define ID_TRAY_ABOUT 538
#define ID_TRAY_CLOSE 390

#endif

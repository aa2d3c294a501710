// Resource ids of the chooser, BrindlewoxSkin.exe: the SkinLanguage dialog
// (template 104 in SkinLanguage.rc), its icon and its pictures.
#ifndef BRINDLEWOX_RESOURCES_SKINLANGUAGE_H
#define BRINDLEWOX_RESOURCES_SKINLANGUAGE_H

#define IDI_CHOOSER 103
#define IDD_SKIN_LANGUAGE 104
// The header picture and the previews of the six skins, in the order of
// the radio buttons.
#define IDB_CHOOSER_HEADER 105
#define IDB_PREVIEW_DEFAULT 106
#define IDB_PREVIEW_REDROSE 107
#define IDB_PREVIEW_DEEPSEA 108
#define IDB_PREVIEW_ALIENSPACE 109
#define IDB_PREVIEW_METALBROWN 110
#define IDB_PREVIEW_ROYALPURPLE 111

#define IDC_SKIN_DEFAULT 1000
#define IDC_HEADER 1001
#define IDC_SKIN_GROUP 1002
#define IDC_LANGUAGE_GROUP 1003
#define IDC_LANGUAGE_LIST 1004
#define IDC_SKIN_REDROSE 1005
#define IDC_SKIN_DEEPSEA 1006
#define IDC_SKIN_ALIENSPACE 1007
#define IDC_SKIN_METALBROWN 1008
#define IDC_SKIN_ROYALPURPLE 1009

#endif

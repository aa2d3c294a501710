// Ids of the main window's pages (templates 104, 122, 123, 105, 413, 139,
// 140, 143, 416) and of their controls. Several ids stand on more than one
// page with the same role (the title 828, the label 353, the option tabs
// 815 and 816); 225 and 383 / 389 mean the same kind of control on pages 0
// and 2 and are named once per page. Commands are told apart by id alone:
// every page forwards its commands to the main window, so no id of a page
// control that sends commands is also a command of another meaning.
#ifndef BRINDLEWOX_RESOURCES_MAINPAGES_H
#define BRINDLEWOX_RESOURCES_MAINPAGES_H

// The window class of the self-drawn lists (284, 374, 3033) and of the
// progress bar (308): a plain window registered by the program before the
// pages are made (a STATIC answers HTTRANSPARENT and never gets a click).
#define BRINDLEWOX_PANEL_CLASS "BrindlewoxPanel"

// Page templates, by page number.
#define IDD_PAGE_BACKUP 104    // page 0
#define IDD_PAGE_BLANK 122     // page 1
#define IDD_PAGE_RESTORE 123   // page 2
#define IDD_PAGE_OPTIONS 105   // page 3, first options tab
#define IDD_PAGE_PROXY 413     // page 4, second options tab
#define IDD_PAGE_STARTUP 139   // page 6
#define IDD_PAGE_UNINSTALL 140 // page 7
#define IDD_PAGE_SUPPORT 143   // page 9
#define IDD_PAGE_OPTIMIZE 416  // page 10

// On several pages.
#define IDC_PAGE_TITLE 828 // gradient heading of pages 0, 2, 6, 7, 9, 10
#define IDC_PAGE_LABEL 353 // label over the tree or list of pages 2, 6, 7

// Page 0, backup.
#define IDC_BACKUP_ELAPSED_LABEL 392
#define IDC_BACKUP_ELAPSED 222
#define IDC_BACKUP_COMPRESS 3030
#define IDC_BACKUP_ENCRYPT 3031
#define IDC_BACKUP_LIST 284
#define IDC_BACKUP_DESTINATION 225
#define IDC_BACKUP_FILES 218
#define IDC_BACKUP_ERRORS 214
#define IDC_BACKUP_WHAT_LABEL 234
#define IDC_BACKUP_WHERE_LABEL 389
#define IDC_BACKUP_FILES_LABEL 238
#define IDC_BACKUP_ERRORS_LABEL 385
#define IDC_BACKUP_LOCATION_LABEL 383
#define IDC_BACKUP_CURRENT_FILE 223
#define IDC_BACKUP_ADD 211
#define IDC_BACKUP_EDIT 220
#define IDC_BACKUP_DELETE 215
#define IDC_BACKUP_SAVE_PROFILE 216
#define IDC_BACKUP_LOAD_PROFILE 217
#define IDC_BACKUP_CHOOSE_DESTINATION 212
#define IDC_BACKUP_START 213
#define IDC_BACKUP_PAUSE 219
#define IDC_BACKUP_PROGRESS 308

// Page 2, restore.
#define IDC_RESTORE_TREE 293
#define IDC_RESTORE 296
#define IDC_RESTORE_SELECT_ALL 299
#define IDC_RESTORE_DESELECT_ALL 302
#define IDC_RESTORE_WHAT 226
#define IDC_RESTORE_LOCATION_LABEL 383
#define IDC_RESTORE_CURRENT_FILE 314
#define IDC_RESTORE_CHOOSE_TARGET 3032
#define IDC_RESTORE_WHERE_LABEL 389
#define IDC_RESTORE_TARGET 225
// The restore command of a list menu ("Restore selected"): as Restore (296).
#define ID_RESTORE_MENU_RESTORE 534

// Pages 3 and 4, the two options tabs (815 and 816 on both). The third tab,
// 817, would show page 5, which is never made: no template carries it, and
// its command hides both options pages.
#define IDC_OPTIONS_TAB_GENERAL 815
#define IDC_OPTIONS_TAB_MISC 816
#define IDC_OPTIONS_TAB_SPARE 817
#define IDC_OPTIONS_SCHEDULE 270
#define IDC_OPTIONS_HOUR 330
#define IDC_OPTIONS_SUNDAY 318
#define IDC_OPTIONS_MONDAY 320
#define IDC_OPTIONS_TUESDAY 322
#define IDC_OPTIONS_WEDNESDAY 325
#define IDC_OPTIONS_THURSDAY 326
#define IDC_OPTIONS_FRIDAY 327
#define IDC_OPTIONS_SATURDAY 328
#define IDC_OPTIONS_SCHEDULING_LABEL 337
#define IDC_OPTIONS_BACKUP_AT_LABEL 398
#define IDC_OPTIONS_ON_LABEL 399
#define IDC_OPTIONS_RUN_AT_STARTUP 351
#define IDC_OPTIONS_SKIN 332
#define IDC_OPTIONS_LANGUAGE 334
#define IDC_OPTIONS_APPLY 801
#define IDC_OPTIONS_STARTUP_LABEL 502
#define IDC_OPTIONS_SKIN_LANGUAGE_LABEL 504
#define IDC_OPTIONS_ACTIVE_SKIN_LABEL 508
#define IDC_OPTIONS_ACTIVE_LANGUAGE_LABEL 510
#define IDC_OPTIONS_SCHEDULING_GROUP 972
#define IDC_OPTIONS_STARTUP_GROUP 973
#define IDC_OPTIONS_SKIN_LANGUAGE_GROUP 974
#define IDC_PROXY_LABEL 350
#define IDC_PROXY_LOGIN_LABEL 352
#define IDC_PROXY_PASSWORD_LABEL 355
#define IDC_PROXY_HOST_LABEL 358
#define IDC_PROXY_PORT_LABEL 360
#define IDC_PROXY_TYPE_LABEL 362
#define IDC_PROXY_HOST 822
#define IDC_PROXY_PORT 951
#define IDC_PROXY_LOGIN 820
#define IDC_PROXY_PASSWORD 821
#define IDC_PROXY_TYPE 906
#define IDC_PROXY_UPDATE 823
#define IDC_PROXY_GROUP 887

// Page 6, startup manager.
#define IDC_STARTUP_LIST 374
#define IDC_STARTUP_REMOVE 363
#define IDC_STARTUP_SELECT_ALL 359
#define IDC_STARTUP_DESELECT_ALL 361
#define IDC_STARTUP_ALLOW 3025
#define IDC_STARTUP_DENY 3026
// The startup list's pop-up menu (commands, not controls).
#define ID_STARTUP_MENU_SELECT_ALL 535
#define ID_STARTUP_MENU_DESELECT_ALL 536
#define ID_STARTUP_MENU_REMOVE 537

// Page 7, uninstall list.
#define IDC_UNINSTALL_LIST 3033
#define IDC_UNINSTALL_SELECT_ALL 3027
#define IDC_UNINSTALL_DESELECT_ALL 3028
#define IDC_UNINSTALL 3029

// Page 9, technical support.
#define IDC_SUPPORT_INTRO 503
#define IDC_SUPPORT_EMAIL_LABEL 829
#define IDC_SUPPORT_NAME_LABEL 830
#define IDC_SUPPORT_DESCRIPTION_LABEL 831
#define IDC_SUPPORT_ATTACHMENT_LABEL 832
#define IDC_SUPPORT_NOTE 833
#define IDC_SUPPORT_EMAIL 835
#define IDC_SUPPORT_NAME 836
#define IDC_SUPPORT_DESCRIPTION 837
#define IDC_SUPPORT_ATTACHMENT 838
#define IDC_SUPPORT_CHOOSE_ATTACHMENT 839
#define IDC_SUPPORT_SUBMIT 834
#define IDC_SUPPORT_LOG_FILE 814

// Page 10, optimise.
#define IDC_OPTIMIZE_STATUS_GROUP 876
#define IDC_OPTIMIZE_TOOLS_GROUP 970
#define IDC_OPTIMIZE_BACKUP_NOW 959
#define IDC_OPTIMIZE_RESET 865
#define IDC_OPTIMIZE_SHOW 885
#define IDC_OPTIMIZE_DEFRAGMENT 3022
#define IDC_OPTIMIZE_VIEW_LOGS 888
#define IDC_OPTIMIZE_BACKUP_REGISTRY 3023
#define IDC_OPTIMIZE_RESTORE_REGISTRY 3024
#define IDC_OPTIMIZE_STATUS_LABEL 866
#define IDC_OPTIMIZE_TOOLS_LABEL 867
#define IDC_OPTIMIZE_LAST_BACKUP_LABEL 239
#define IDC_OPTIMIZE_ERRORS_LABEL 243
#define IDC_OPTIMIZE_FILES_LABEL 245
#define IDC_OPTIMIZE_DEFRAGMENT_STATUS 877
#define IDC_OPTIMIZE_BACKUP_STATUS 878
#define IDC_OPTIMIZE_RESTORE_STATUS 879
#define IDC_OPTIMIZE_LAST_BACKUP 882
#define IDC_OPTIMIZE_ERRORS 883
#define IDC_OPTIMIZE_FILES 884

#endif

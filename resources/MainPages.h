// Ids of the main window's pages (templates 104, 122, 123, 105, 413, 139, 140, 143, 416).
#ifndef BRINDLEWOX_RESOURCES_MAINPAGES_H
#define BRINDLEWOX_RESOURCES_MAINPAGES_H

#endif

// Ids of the main window's frame: template 101 (title bar, left bar, frame anchors).
#ifndef BRINDLEWOX_RESOURCES_MAINWINDOW_H
#define BRINDLEWOX_RESOURCES_MAINWINDOW_H

#endif

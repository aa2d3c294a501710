// Ids of the profile-editing dialogs (templates 1002, 3034, 402).
#ifndef BRINDLEWOX_RESOURCES_PROFILEDIALOGS_H
#define BRINDLEWOX_RESOURCES_PROFILEDIALOGS_H

#endif

// Ids of the message, question and about dialogs (templates 190, 199, 1006, 157).
#ifndef BRINDLEWOX_RESOURCES_MESSAGEDIALOGS_H
#define BRINDLEWOX_RESOURCES_MESSAGEDIALOGS_H

#endif

#include "setup/messages/XilSetupRuntimeMessages.h"

#define TAVREL_CATALOGUE XilSetupRuntimeMessages
#define TAVREL_CATALOGUE_ENTRIES "setup/messages/XilSetupRuntimeMessages.inc"
#include "setup/messages/DefineCatalogue.inc"

#include "setup/messages/SetupRuntimeMessages.h"

#define TAVREL_CATALOGUE SetupRuntimeMessages
#define TAVREL_CATALOGUE_ENTRIES "setup/messages/SetupRuntimeMessages.inc"
#include "setup/messages/DefineCatalogue.inc"

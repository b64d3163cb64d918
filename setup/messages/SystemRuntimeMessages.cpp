#include "setup/messages/SystemRuntimeMessages.h"

#define TAVREL_CATALOGUE SystemRuntimeMessages
#define TAVREL_CATALOGUE_ENTRIES "setup/messages/SystemRuntimeMessages.inc"
#include "setup/messages/DefineCatalogue.inc"

#pragma once
// Catalogue "XilSetupRuntimeMessages": texts of the setup dialog and the start-up of the program.
// Each variable holds its built-in text until ApplyLocalization binds it.

#include <string>

#include "setup/messages/MessageCatalogue.h"

#define TAVREL_MESSAGE(name, text) extern std::wstring name;
#include "setup/messages/XilSetupRuntimeMessages.inc"
#undef TAVREL_MESSAGE

// The catalogue table, in binding order.
const TMessageCatalogue& XilSetupRuntimeMessagesCatalogue();

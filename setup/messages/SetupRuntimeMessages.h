#pragma once
// Catalogue "SetupRuntimeMessages": texts of the installation engine and the file services.
// Each variable holds its built-in text until ApplyLocalization binds it.

#include <string>

#include "setup/messages/MessageCatalogue.h"

#define TAVREL_MESSAGE(name, text) extern std::wstring name;
#include "setup/messages/SetupRuntimeMessages.inc"
#undef TAVREL_MESSAGE

// The catalogue table, in binding order.
const TMessageCatalogue& SetupRuntimeMessagesCatalogue();

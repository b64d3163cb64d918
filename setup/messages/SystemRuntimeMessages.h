#pragma once
// Catalogue "SystemRuntimeMessages": texts of message-box buttons and captions and a few common texts.
// Each variable holds its built-in text until ApplyLocalization binds it.

#include <string>

#include "setup/messages/MessageCatalogue.h"

#define TAVREL_MESSAGE(name, text) extern std::wstring name;
#include "setup/messages/SystemRuntimeMessages.inc"
#undef TAVREL_MESSAGE

// The catalogue table, in binding order.
const TMessageCatalogue& SystemRuntimeMessagesCatalogue();

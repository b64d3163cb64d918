#include "setup/messages/SystemRuntimeMessages.h"

using namespace std::literals;

#define TAVREL_MESSAGE(name, text) std::wstring name{text};
#include "setup/messages/SystemRuntimeMessages.inc"
#undef TAVREL_MESSAGE

namespace {

#define TAVREL_WIDEN2(x) L##x
#define TAVREL_WIDEN(x) TAVREL_WIDEN2(x)
const TCatalogueEntry Entries[] = {
#define TAVREL_MESSAGE(name, text) {&name, TAVREL_WIDEN(#name), text},
#include "setup/messages/SystemRuntimeMessages.inc"
#undef TAVREL_MESSAGE
};

const TMessageCatalogue Catalogue{L"SystemRuntimeMessages", Entries};

}  // namespace

const TMessageCatalogue& SystemRuntimeMessagesCatalogue() { return Catalogue; }

// DecodeCharCodes on arbitrary UTF-16 text: never longer than its input,
// unchanged when there is no "#".

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "setup/distribution/TextCodec.h"
#include "setup/messages/MessageCatalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = Utf16LeToWide(data, size / 2);
  const std::wstring decoded = DecodeCharCodes(text);
  if (decoded.size() > text.size()) std::abort();
  if (text.find(L'#') == std::wstring::npos && decoded != text) std::abort();
  return 0;
}

// Localization files from arbitrary bytes. The first byte chooses the form:
// even, the bytes are the file itself; odd, the rest is deflated behind the
// signature so that the item reader sees payloads of every shape.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "setup/distribution/Stream.h"
#include "setup/messages/JomLocalizationTypes.h"
#include "setup/messages/MessageCatalogue.h"

namespace {

std::vector<std::uint8_t> WrapAsFile(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> file = {'S', 'E', 'T', 'L'};
  uLongf packedSize = compressBound(static_cast<uLong>(size)) + 64;
  std::vector<std::uint8_t> packed(packedSize);
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = packed.data();
  z.avail_out = static_cast<uInt>(packed.size());
  deflate(&z, Z_FINISH);
  file.insert(file.end(), packed.begin(), packed.begin() + z.total_out);
  deflateEnd(&z);
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool wrap = data[0] & 1;
  std::vector<std::uint8_t> file = wrap ? WrapAsFile(data + 1, size - 1) : std::vector<std::uint8_t>(data + 1, data + size);
  TMemoryStream stream(std::move(file));
  TJomLocalization localization;
  if (!localization.LoadFromStream(stream)) return 0;
  localization.SelectByLcid(1031);
  if (const TJomLocalizationItem* item = localization.CurrentItem()) {
    RestoreDefaultMessages();
    for (const TMessageCatalogue* catalogue : MessageCatalogues()) {
      BindCatalogue(item, catalogue->GroupName, catalogue->Entries);
    }
  }
  return 0;
}

#include "platform/Exception.h"

#include <cstdint>

namespace {

// UTF-16 (or, where wchar_t is 32-bit, UTF-32) to UTF-8; an unpaired
// surrogate becomes U+FFFD. Self-contained so that build tools without the
// platform layer can raise these exceptions too.
std::string ToUtf8(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = static_cast<std::uint32_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && static_cast<std::uint32_t>(text[i + 1]) >= 0xDC00 &&
        static_cast<std::uint32_t>(text[i + 1]) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xDC00);
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (c >> 18));
      bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return bytes;
}

// UTF-8 to UTF-16 (UTF-32 where wchar_t is 32-bit); a malformed sequence
// becomes U+FFFD.
std::wstring FromUtf8(const char* text) {
  std::wstring result;
  const auto* p = reinterpret_cast<const unsigned char*>(text ? text : "");
  while (*p) {
    const unsigned char lead = *p++;
    int extra = 0;
    std::uint32_t c = lead;
    if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      c = lead & 0x07;
    } else if (lead >= 0xE0) {
      extra = lead <= 0xEF ? 2 : -1;
      c = lead & 0x0F;
    } else if (lead >= 0xC2) {
      extra = 1;
      c = lead & 0x1F;
    } else if (lead >= 0x80) {
      extra = -1;
    }
    for (int i = 0; i < extra; ++i) {
      if ((*p & 0xC0) != 0x80) {
        extra = -1;
        break;
      }
      c = (c << 6) | (*p++ & 0x3F);
    }
    const std::uint32_t minimum = extra == 3 ? 0x10000 : extra == 2 ? 0x800 : 0;
    if (extra < 0 || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c >= 0x10000 && sizeof(wchar_t) == 2) {
      result += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      result += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      result += static_cast<wchar_t>(c);
    }
  }
  return result;
}

}  // namespace

Exception::Exception(std::wstring message) : Text(std::move(message)), Utf8Text(ToUtf8(Text)) {}

std::wstring ExceptionMessage(const std::exception& e) {
  if (const auto* ours = dynamic_cast<const Exception*>(&e)) return ours->Message();
  return FromUtf8(e.what());
}

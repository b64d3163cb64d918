#include "setup/distribution/TextCodec.h"

#include <cstdint>

namespace {

constexpr bool WideIsUtf16 = sizeof(wchar_t) == 2;

void AppendUnit(std::string& out, std::uint32_t unit) {
  out.push_back(static_cast<char>(unit & 0xFF));
  out.push_back(static_cast<char>((unit >> 8) & 0xFF));
}

void AppendCodePoint(std::wstring& out, std::uint32_t code) {
  if (WideIsUtf16 && code > 0xFFFF) {
    code -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
    return;
  }
  out.push_back(static_cast<wchar_t>(code));
}

bool IsHigh(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Length of the UTF-8 sequence that starts with lead, 0 if lead cannot start one.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

std::string WideToUtf16Le(const std::wstring& text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    if (!WideIsUtf16 && code > 0xFFFF && code <= 0x10FFFF) {
      AppendUnit(out, 0xD800 + ((code - 0x10000) >> 10));
      AppendUnit(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
      continue;
    }
    AppendUnit(out, code & 0xFFFF);
  }
  return out;
}

std::wstring Utf16LeToWide(const void* bytes, std::size_t count) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::wstring out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t unit = p[2 * i] | (p[2 * i + 1] << 8);
    if (!WideIsUtf16 && IsHigh(unit) && i + 1 < count) {
      const std::uint32_t next = p[2 * i + 2] | (p[2 * i + 3] << 8);
      if (IsLow(next)) {
        out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
        ++i;
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(unit));
  }
  return out;
}

std::wstring Utf8ToWide(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const int length = SequenceLength(lead);
    if (length == 0 || i + length > bytes.size()) {
      out.push_back(static_cast<wchar_t>(0xFFFD));
      ++i;
      continue;
    }
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = true;
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      valid = valid && (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    const std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || code < minimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      out.push_back(static_cast<wchar_t>(0xFFFD));
      ++i;
      continue;
    }
    AppendCodePoint(out, code);
    i += length;
  }
  return out;
}

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t code = static_cast<std::uint32_t>(text[i]);
    if (WideIsUtf16 && IsHigh(code) && i + 1 < text.size() && IsLow(static_cast<std::uint32_t>(text[i + 1]))) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (IsHigh(code) || IsLow(code) || code > 0x10FFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

std::filesystem::path FileSystemPath(const std::wstring& fileName) {
#ifdef _WIN32
  return std::filesystem::path(fileName);
#else
  return std::filesystem::path(WideToUtf8(fileName));
#endif
}

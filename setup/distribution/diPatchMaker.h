#pragma once
// The producer of block patches for update files: it matches the new file
// against the old one and writes the patch that ApplyPatch reads, with the
// width of old offsets, the zero substitute and compression chosen for the
// smallest result. Platform-neutral; works on bytes in memory.

#include <functional>
#include <string>
#include <string_view>

#include "platform/Exception.h"

// A pair of files the patch format cannot describe (a file of 4 GiB or more).
class EPatchMakerError : public Exception {
public:
  using Exception::Exception;
};

// Progress of a long patch: percent 0..100.
using TPatchMakerProgress = std::function<void(int percent)>;

// The smallest block patch found that turns oldBytes into newBytes, as
// ApplyPatch reads it (the header's new date is newDate, 0 = keep the time
// as written). Raises EPatchMakerError on sizes the format cannot hold.
std::string MakeRenewPatch(std::string_view oldBytes, std::string_view newBytes, double newDate,
                           const TPatchMakerProgress& progress = {});

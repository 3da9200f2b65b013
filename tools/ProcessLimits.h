#pragma once
// Limits a drawing command sets on its own process before it reads a file it was handed: file
// managers run the thumbnailer on whatever lands in a folder, with no sandbox of their own. The page
// budget keeps every page within seconds and well under a gigabyte; these limits are the floor under
// it, for whatever the budget does not foresee.
//
// Address space about 1 GB, processor time 10 s for each page drawn, no core file. A command that
// reaches one ends with exit status 1 and a message (the temporary files it made removed). The
// environment variable QRPTOOL_LIMITS changes the figures: "memory=MB,cpu=SECONDS" (either alone).

#include "tools/CommandLine.h"

#include <cstdint>

namespace pagimo::tools {

struct TProcessLimits {
    uint64_t MemoryMB = 1024; // address space
    int CpuSeconds = 10;      // processor time per page
};

// The limits in force: the defaults with QRPTOOL_LIMITS applied; throws EUsage for a malformed value.
TProcessLimits ProcessLimits();

// Sets the limits on this process and the handlers that end it with a message when one is hit.
// Address space is not limited in sanitizer builds, which reserve far more than they use.
void ApplyProcessLimits(const char* command);

// Gives the next page its own processor time (after ApplyProcessLimits; nothing otherwise).
void RenewPageTime();

// For render, convert and text: --limits (the default) or --no-limits; applies them when on.
void LimitsOption(TArgs& args, const char* command);

// The message for running out of memory under the limits (ending in a new line); null without them.
const char* MemoryLimitMessage();

} // namespace pagimo::tools

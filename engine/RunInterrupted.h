#pragma once
// A run ended by a terminating signal of the process (see InstallTerminationRequest): the run unwinds
// like any failed one, leaving nothing behind. Every loop of a run polls the request (the pages,
// bands and records of the generation, a composite's reports, a data set's reading), so that one
// signal ends any run within a moment.

#include "platform/system/Errors.h"

#include <string>

namespace pagimo::engine {

class ERunInterrupted : public EQRError {
public:
    ERunInterrupted(int signal, int page)
        : EQRError("the run was interrupted at page " + std::to_string(page)), Signal(signal) {}
    // Interrupted outside the pages: while reading a data set, or before a composite's next report.
    ERunInterrupted(int signal, const std::string& where)
        : EQRError("the run was interrupted " + where), Signal(signal) {}
    int Signal;
};

// Throws ERunInterrupted when a terminating signal has asked the run to end; where as above.
void PollTermination(const std::string& where);

} // namespace pagimo::engine

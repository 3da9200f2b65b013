#pragma once
// What Qt's printer support does not tell about a CUPS queue: its device, its paper sources and the
// id of a job just submitted. All calls talk to the server CUPS_SERVER names (else the local one)
// and answer empty or 0 when it cannot be reached.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pagimo::printing {

// The queue's device URI ("" when unknown).
std::string CupsDeviceUri(const std::string& queue);

// The queue's paper sources as IPP keywords ("auto", "main", "manual", "by-pass-tray" ...).
std::vector<std::string> CupsMediaSources(const std::string& queue);

// Submits a PDF file to the queue with the given job options (name, value pairs); returns the job
// id. Throws EQRError with CUPS's reason when the server refuses the job.
int CupsSubmit(const std::string& queue, const std::string& fileName, const std::string& title,
               const std::vector<std::pair<std::string, std::string>>& options);

// Bin codes and paper-source keywords. A bin code maps to the first keyword of its list that the
// printer offers; keywords map back to the code of the list they appear in.
int16_t BinCodeOfSource(const std::string& keyword); // 0 when the keyword names no known bin
std::string SourceOfBinCode(int16_t code, const std::vector<std::string>& offered); // "" when none fits
// The option value that selects a source: the keyword turned into a choice name ("by-pass-tray"
// becomes "ByPassTray"), which is how CUPS names the choices of a driverless queue.
std::string SourceChoiceName(const std::string& keyword);

} // namespace pagimo::printing

#pragma once
// What "Prohlížet" and a file named on the command line open: a standard preview window on a report
// printer of its own, kept alive until that window closes.

#include <QString>

namespace pagimo::shell {

class TViewSession {
public:
    // Opens the preview and waits in a nested message loop until it closes or the program ends.
    void View();
    // The same, with a report file loaded into it.
    void View(const QString& fileName);
    // Closes what is still open when the program ends.
    void CloseAll();
};

} // namespace pagimo::shell

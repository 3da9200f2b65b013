#include "shell/HelpReport.h"

#include "controls/ControlClasses.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "platform/system/Errors.h"
#include "printer/QRPrinter.h"

namespace pagimo::shell {

THelpReport::THelpReport(const std::filesystem::path& form) {
    engine::RegisterReportClasses(FRegistry);
    engine::RegisterFormHostClasses(FRegistry);
    controls::RegisterControlClasses(FRegistry);
    FRoot = engine::ReadFormFile(form, FRegistry);
    FReport = engine::FindFirstReport(*FRoot);
    if (!FReport) throw EQRError(form.string() + ": no report in the description");
    FRunner = std::make_unique<engine::TQRReportRunner>(*FReport);
    // The preview control becomes the printer's notify window as the preview opens; its window is
    // the one a further press brings forward.
    FReport->OnStartPage = [this](engine::TCustomQRReport&) {
        if (printer::TQRPrinter* p = FRunner->QRPrinter())
            if (auto* control = qobject_cast<QWidget*>(p->NotifyWindow())) FWindow = control->window();
    };
}

THelpReport::~THelpReport() {
    Close();
    FRunner.reset();
}

std::filesystem::path THelpReport::Locate() {
    std::error_code ec;
    const auto exe = std::filesystem::canonical("/proc/self/exe", ec);
    std::vector<std::filesystem::path> candidates;
    if (!ec) candidates.push_back(exe.parent_path() / ".." / "share" / "pagimo" / "QRListForm.form");
#ifdef PAGIMO_SOURCE_DIR
    candidates.push_back(std::filesystem::path(PAGIMO_SOURCE_DIR) / "resources" / "QRListForm.form");
#endif
    for (const auto& candidate : candidates)
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
    throw EQRError("The help report QRListForm.form was not found");
}

void THelpReport::View() {
    if (FWindow) {
        FWindow->raise();
        FWindow->activateWindow();
        return;
    }
    if (FRunning) return; // still generating; the window comes up with the first page
    FRunning = true;
    struct TDone {
        bool& Running;
        ~TDone() { Running = false; }
    } done{FRunning};
    FRunner->Preview();
    FWindow = nullptr;
}

void THelpReport::Close() {
    if (QWidget* window = FWindow.data()) {
        window->close();
        delete window;
    }
}

} // namespace pagimo::shell

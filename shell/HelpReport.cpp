#include "shell/HelpReport.h"

#include "engine/Description.h"
#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "platform/system/Errors.h"
#include "platform/system/ScopeGuard.h"
#include "printer/QRPrinter.h"

namespace pagimo::shell {

THelpReport::THelpReport(const std::filesystem::path& form)
    : FDescription(std::make_unique<engine::TQRDescription>(form)) {
    if (!FDescription->Report()) throw EQRError(form.string() + ": no report in the description");
    // The preview stays open after the run, with its printer: the runner lives as long as this.
    FRunner = std::make_unique<engine::TQRReportRunner>(*FDescription->Report());
}

engine::TQRReport& THelpReport::Report() const {
    return *FDescription->Report();
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

QWidget* THelpReport::Window() const {
    // The preview control is the notify window of the report's printer while the preview is open.
    const printer::TQRPrinter* p = FRunner->QRPrinter();
    auto* control = p ? qobject_cast<QWidget*>(p->NotifyWindow()) : nullptr;
    return control ? control->window() : nullptr;
}

void THelpReport::View() {
    if (QWidget* window = Window()) {
        window->raise();
        window->activateWindow();
        return;
    }
    if (FRunning) return; // still generating; the window comes up with the first page
    FRunning = true;
    system::TScopeGuard done([this] { FRunning = false; });
    FRunner->Preview();
}

void THelpReport::Close() {
    if (QPointer<QWidget> window = Window()) {
        window->close();
        delete window.data(); // null when closing freed it already
    }
}

} // namespace pagimo::shell

#pragma once
// The program's own help report: the stored description of the form TQRListForm with its report
// QRReport1, read once at start-up. "Prohlížet" previews that report; from its preview window the
// user loads report files in its place.

#include <QPointer>
#include <QWidget>

#include <filesystem>
#include <memory>

namespace pagimo::engine {
class TQRDescription;
class TQRReport;
class TQRReportRunner;
} // namespace pagimo::engine

namespace pagimo::shell {

class THelpReport {
public:
    // Reads the description; throws when it is missing or damaged.
    explicit THelpReport(const std::filesystem::path& form);
    ~THelpReport();
    THelpReport(const THelpReport&) = delete;
    THelpReport& operator=(const THelpReport&) = delete;

    // Where the description is: installed beside the program (share/pagimo), else in the source tree.
    static std::filesystem::path Locate();

    // Runs the report into the preview window and waits until that window closes or the program
    // ends. While its preview is open, a further call brings that window to the front instead.
    void View();
    // Closes the preview still open; at program end.
    void Close();

    engine::TQRReport& Report() const;
    // The preview window open now, if any.
    QWidget* Window() const;

private:
    std::unique_ptr<engine::TQRDescription> FDescription;
    std::unique_ptr<engine::TQRReportRunner> FRunner;
    bool FRunning = false;
};

} // namespace pagimo::shell

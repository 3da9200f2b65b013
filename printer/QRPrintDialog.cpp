#include "printer/QRPrintDialog.h"

#include "platform/printing/Printer.h"
#include "platform/system/Errors.h"
#include "platform/system/ScopeGuard.h"
#include "printer/QRPrinter.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace pagimo::printer {

using printing::DmDuplexOf;
using printing::DuplexOf;

using namespace printing;

namespace {

int16_t Tenths(qreal millimetres) {
    return static_cast<int16_t>(std::lround(millimetres * 10));
}

// Re-enables what it disabled and reactivates the remembered window, whatever way the run ends.
class TDisabledWindows {
public:
    explicit TDisabledWindows(const QWidget* except) : FActive(QApplication::activeWindow()) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w == except || !w->isVisible() || !w->isEnabled()) continue;
            w->setEnabled(false);
            FDisabled.emplace_back(w);
        }
    }
    ~TDisabledWindows() {
        for (const QPointer<QWidget>& w : FDisabled)
            if (w) w->setEnabled(true);
        if (FActive) FActive->activateWindow();
    }
    TDisabledWindows(const TDisabledWindows&) = delete;
    TDisabledWindows& operator=(const TDisabledWindows&) = delete;

private:
    QPointer<QWidget> FActive;
    std::vector<QPointer<QWidget>> FDisabled;
};

} // namespace

// ---- mode hand-over ----

void ApplyModeToQt(const TDevMode& m, QPrinter& printer) {
    QPageSize size;
    if ((m.dmFields & DM_PAPERSIZE) && m.dmPaperSize > 0 && m.dmPaperSize < DMPAPER_USER) {
        const QPageSize::PageSizeId id = QPageSize::id(m.dmPaperSize);
        if (id != QPageSize::Custom) size = QPageSize(id);
    }
    if (!size.isValid() && m.dmPaperWidth > 0 && m.dmPaperLength > 0)
        size = QPageSize(QSizeF(m.dmPaperWidth / 10.0, m.dmPaperLength / 10.0), QPageSize::Millimeter, QString(),
                         QPageSize::FuzzyMatch);
    if (size.isValid()) printer.setPageSize(size);
    if (m.dmFields & DM_ORIENTATION)
        printer.setPageOrientation(m.dmOrientation == DMORIENT_LANDSCAPE ? QPageLayout::Landscape
                                                                         : QPageLayout::Portrait);
    if (m.dmFields & DM_COPIES) printer.setCopyCount(std::max<int>(1, m.dmCopies));
    if (m.dmFields & DM_COLLATE) printer.setCollateCopies(m.dmCollate != DMCOLLATE_FALSE);
    if (m.dmFields & DM_DUPLEX) printer.setDuplex(DuplexOf(m.dmDuplex));
}

TDevMode ModeFromQt(const QPrinter& printer, const TDevMode& base) {
    TDevMode m = base;
    if (!printer.printerName().isEmpty()) m.dmDeviceName = printer.printerName().toStdString();
    const QPageLayout layout = printer.pageLayout();
    const QPageSize size = layout.pageSize();
    const QSizeF mm = size.size(QPageSize::Millimeter);
    const int id = size.windowsId();
    m.dmPaperSize = id > 0 && id < DMPAPER_USER ? static_cast<int16_t>(id) : DMPAPER_USER;
    m.dmPaperWidth = Tenths(mm.width());
    m.dmPaperLength = Tenths(mm.height());
    m.dmOrientation = layout.orientation() == QPageLayout::Landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    m.dmCopies = static_cast<int16_t>(std::clamp(printer.copyCount(), 1, 32767));
    m.dmCollate = printer.collateCopies() ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
    m.dmFields |= DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_COPIES | DM_COLLATE;
    if (printer.duplex() != QPrinter::DuplexNone || (m.dmFields & DM_DUPLEX)) {
        m.dmDuplex = DmDuplexOf(printer.duplex());
        m.dmFields |= DM_DUPLEX;
    }
    return m;
}

// ---- TQRCommonDialog ----

TQRCommonDialog::TQRCommonDialog(QObject* owner) : QObject(owner) {}

bool TQRCommonDialog::TaskModal(QDialog& dialog) {
    const TDisabledWindows disabled(&dialog);
    FHandle = &dialog;
    dialog.installEventFilter(this);
    system::TScopeGuard forget([this, &dialog] {
        dialog.removeEventFilter(this);
        FHandle = nullptr;
        if (OnClose) OnClose(*this);
    });
    dialog.setWindowModality(Qt::ApplicationModal);
    return dialog.exec() == QDialog::Accepted;
}

bool TQRCommonDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FHandle && event->type() == QEvent::Show) {
        // Centred across, one third down the free height; size and stacking unchanged.
        const QScreen* screen = FHandle->screen() ? FHandle->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect s = screen->geometry();
            const QSize frame = FHandle->frameGeometry().size();
            const TDialogPlace place = DialogPlace(s.width(), s.height(), frame.width(), frame.height());
            FHandle->move(s.x() + place.Left, s.y() + place.Top);
        }
        if (OnShow) OnShow(*this);
    }
    return QObject::eventFilter(watched, event);
}

// ---- TQRBasePrintDialog ----

TQRBasePrintDialog::TQRBasePrintDialog(QObject* owner) : TQRCommonDialog(owner), TargetPrinter(&printing::Printer()) {}

// ---- TQRPrintDialog ----

TQRPrintDialog::TQRPrintDialog(QObject* owner) : TQRBasePrintDialog(owner) {}

void TQRPrintDialog::SetCopies(int32_t value) {
    FCopies = value;
    if (!TargetPrinter) return;
    std::string device, driver, port;
    TDevModeHandle mode;
    TargetPrinter->GetPrinter(device, driver, port, mode);
    if (!mode) throw EQRError("Operation not supported on selected printer");
    if (TargetPrinter->Printing()) throw EQRError("Printing in progress");
    mode->dmCopies = static_cast<int16_t>(std::clamp(value, 1, 32767));
    mode->dmFields |= DM_COPIES;
}

bool TQRPrintDialog::ShowDialog() {
    FDevice.clear();
    FDriver.clear();
    FPort.clear();
    FMode.reset();
    if (TargetPrinter) TargetPrinter->GetPrinter(FDevice, FDriver, FPort, FMode);
    const uint32_t flags = PrintDialogFlags(Options, PrintRange, Collate, PrintToFile);

    // The dialog works on a copy: a cancelled dialog leaves the printer object as it was.
    QPrinter printer(QPrinter::HighResolution);
    if (!FDevice.empty()) printer.setPrinterName(QString::fromStdString(FDevice));
    if (FMode) ApplyModeToQt(*FMode, printer);
    printer.setCollateCopies((flags & PD_COLLATE) != 0);
    printer.setFromTo(0, 0);

    // Parentless, so that disabling the program's other windows leaves the dialog itself enabled.
    QPrintDialog dialog(&printer, nullptr);
    dialog.setWindowTitle(QStringLiteral("Print"));
    dialog.setOptions(QtDialogOptions(flags));
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, CurrentPage > 0);
    // Page numbers are plain integers here: no 16-bit limit cuts a long report's range.
    dialog.setMinMax(MinPage, MaxPage);
    if (FromPage >= MinPage && ToPage <= MaxPage && FromPage <= ToPage && FromPage > 0)
        dialog.setFromTo(FromPage, ToPage);
    dialog.setPrintRange(QtPrintRange(PrintRange));
    // The file field of Qt's dialog keeps what it holds when print to file is chosen.
    if (auto* file = dialog.findChild<QLineEdit*>(QStringLiteral("filename")); file && !FileName.empty())
        file->setText(QString::fromStdString(FileName));
    if (OnPrepared) OnPrepared(dialog, printer);

    if (!TaskModal(dialog)) return false;

    PrintToFile = printer.outputFormat() == QPrinter::PdfFormat;
    FileName = PrintToFile ? printer.outputFileName().toStdString() : std::string();
    PrintRange = RangeFromQt(dialog.printRange());
    if (dialog.printRange() == QAbstractPrintDialog::CurrentPage && CurrentPage > 0) {
        PrintRange = prPageNums;
        FromPage = ToPage = CurrentPage;
    } else if (PrintRange == prPageNums) {
        FromPage = dialog.fromPage();
        ToPage = dialog.toPage();
    }
    // A file chosen where a printer was offered changes nothing of the printer.
    if (PrintToFile && (flags & PD_HIDEPRINTTOFILE) == 0) return true;

    const TDevMode chosen = ModeFromQt(printer, FMode ? *FMode : TDevMode{});
    auto handle = std::make_shared<TDevMode>(chosen);
    const std::string device = printer.printerName().isEmpty() ? FDevice : printer.printerName().toStdString();
    if (TargetPrinter) TargetPrinter->SetPrinter(device, FDriver, FPort, handle);
    Collate = printer.collateCopies();
    // Qt keeps the count it asked for; a driver that copies itself would report one and keep the count
    // in its mode.
    // Without an installed printer Qt's dialog still offers a PDF file, and there is no mode to write
    // the count into: it is only kept.
    const int32_t copies = ChosenCopies(printer.copyCount(), chosen.dmCopies);
    if (TargetPrinter && TargetPrinter->PrinterIndex() >= 0)
        SetCopies(copies);
    else
        FCopies = copies;
    return true;
}

// ---- the report's printer setup ----

namespace {

// The confirmed range as a report printer takes it: 0..0 for all pages (and for a selection).
std::pair<int32_t, int32_t> ChosenRange(const TQRPrintDialog& dialog) {
    if (dialog.PrintRange == prPageNums) return {dialog.FromPage, dialog.ToPage};
    return {0, 0};
}

} // namespace

bool ReportPrintSetup(TQRPrinterSettings& settings, TPrinterOrientation& pageOrientation,
                      const TQRPrinter* reportPrinter, QObject* owner) {
    TQRPrintDialog dialog(owner);
    printing::TPrinter& device = printing::Printer();
    // The dialog starts from the driver's default mode of the report's printer.
    RefreshDeviceMode(device);
    if (!device.Printers().empty()) {
        const int32_t n = settings.PrinterNumber();
        device.SetPrinterIndex(n >= 0 && n < static_cast<int32_t>(device.Printers().size()) ? n : -1);
    }
    dialog.MinPage = 0;
    dialog.MaxPage = 9999;
    if (reportPrinter && reportPrinter->JobState() == jsFinished) {
        dialog.MinPage = 1;
        dialog.MaxPage = reportPrinter->PageTotal();
        dialog.FromPage = 1;
        dialog.ToPage = dialog.MaxPage;
    }
    dialog.Options = {poPageNums, poWarning};
    {
        std::string dev, driver, port;
        TDevModeHandle mode;
        device.GetPrinter(dev, driver, port, mode);
        if (mode) {
            mode->dmOrientation = pageOrientation == poLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
            mode->dmFields |= DM_ORIENTATION;
        }
    }
    dialog.SetCopies(settings.Copies());
    if (!dialog.ShowDialog()) return false;

    settings.SetCopies(dialog.Copies());
    settings.SetPrinterNumber(device.PrinterIndex());
    std::string dev, driver, port;
    TDevModeHandle mode;
    device.GetPrinter(dev, driver, port, mode);
    if (mode && (mode->dmFields & DM_ORIENTATION))
        pageOrientation = mode->dmOrientation == DMORIENT_LANDSCAPE ? poLandscape : poPortrait;
    const auto [first, last] = ChosenRange(dialog);
    settings.SetFirstPage(first);
    settings.SetLastPage(last);
    return true;
}

// ---- printer setup for stored pages ----

bool StoredPagesPrintSetup(TQRPrinter& reportPrinter, QObject* owner, int32_t currentPage, TPrintToFile* toFile) {
    TQRPrintDialog dialog(owner);
    dialog.CurrentPage = currentPage;
    printing::TPrinter& device = printing::Printer();
    {
        std::string dev, driver, port;
        TDevModeHandle mode;
        reportPrinter.Device().GetPrinter(dev, driver, port, mode);
        if (!dev.empty()) device.SetPrinter(dev, driver, port, mode ? std::make_shared<TDevMode>(*mode) : nullptr);
    }
    const int32_t pages = std::max(1, reportPrinter.DeclaredPages());
    dialog.MinPage = 1;
    dialog.MaxPage = pages;
    const int32_t first = reportPrinter.FirstPage(), last = reportPrinter.LastPage();
    if (first > 0 && first <= pages) {
        dialog.PrintRange = prPageNums;
        dialog.FromPage = first;
        dialog.ToPage = last > 0 ? std::clamp(last, first, pages) : pages;
    } else {
        dialog.FromPage = 1;
        dialog.ToPage = pages;
    }
    dialog.Options = {poPageNums, poWarning};
    if (toFile) {
        dialog.Options.Include(poPrintToFile);
        dialog.FileName = toFile->FileName;
    }
    // Without a printer there is no mode to hold the copies: they are only kept.
    if (reportPrinter.HasPrinters()) dialog.SetCopies(reportPrinter.Copies());
    if (!dialog.ShowDialog()) return false;
    if (toFile && dialog.PrintToFile) {
        const auto [from, to] = ChosenRange(dialog);
        *toFile = {dialog.FileName, from > 0 ? from : 1, to, true};
        return true;
    }

    std::string dev, driver, port;
    TDevModeHandle mode;
    device.GetPrinter(dev, driver, port, mode);
    if (dev.empty()) return true; // the dialog's own PDF file without any printer: nothing to take over
    const TQRPaperSize paper = reportPrinter.PaperSize();
    const TPrinterOrientation orientation = reportPrinter.Orientation();
    reportPrinter.Device().SetPrinter(dev, driver, port, mode ? std::make_shared<TDevMode>(*mode) : nullptr);
    reportPrinter.Settings().ReadSettings();
    reportPrinter.SetPaperSize(paper);
    reportPrinter.SetOrientation(orientation);
    reportPrinter.SetCopies(dialog.Copies());
    const auto [chosenFirst, chosenLast] = ChosenRange(dialog);
    reportPrinter.SetFirstPage(chosenFirst);
    reportPrinter.SetLastPage(chosenLast);
    return true;
}

} // namespace pagimo::printer

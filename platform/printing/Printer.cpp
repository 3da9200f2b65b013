#include "platform/printing/Printer.h"

#include "platform/printing/CupsQueue.h"
#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/Termination.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pagimo::printing {

namespace {

QString ToQ(const std::string& s) {
    return QString::fromStdString(s);
}

int16_t TenthsOfMillimetre(qreal millimetres) {
    return static_cast<int16_t>(std::lround(millimetres * 10.0));
}

} // namespace

QPrinter::DuplexMode DuplexOf(int16_t dmDuplex) {
    switch (dmDuplex) {
    case DMDUP_VERTICAL:
        return QPrinter::DuplexLongSide;
    case DMDUP_HORIZONTAL:
        return QPrinter::DuplexShortSide;
    default:
        return QPrinter::DuplexNone;
    }
}

int16_t DmDuplexOf(QPrinter::DuplexMode mode) {
    switch (mode) {
    case QPrinter::DuplexLongSide:
        return DMDUP_VERTICAL;
    case QPrinter::DuplexShortSide:
        return DMDUP_HORIZONTAL;
    default:
        return DMDUP_SIMPLEX;
    }
}

TPrinter::TPrinter() {
    Refresh();
}

TPrinter::TPrinter(const std::vector<TPrinterInfo>& printers) {
    SetList(printers);
}

TPrinter::~TPrinter() {
    if (Printing()) Abort();
}

void TPrinter::Refresh() {
    std::vector<TPrinterInfo> printers;
    const QString defaultName = QPrinterInfo::defaultPrinterName();
    for (const QPrinterInfo& info : QPrinterInfo::availablePrinters()) {
        TPrinterInfo p;
        p.Name = info.printerName().toStdString();
        p.Description = info.description().toStdString();
        p.MakeAndModel = info.makeAndModel().toStdString();
        p.IsDefault = info.printerName() == defaultName;
        printers.push_back(std::move(p));
    }
    SetList(std::move(printers));
}

void TPrinter::SetList(std::vector<TPrinterInfo> printers) {
    FPrinters = std::move(printers);
    // The default printer, else the first one; -1 when there is none.
    FIndex = FPrinters.empty() ? -1 : 0;
    for (size_t i = 0; i < FPrinters.size(); ++i)
        if (FPrinters[i].IsDefault) FIndex = static_cast<int>(i);
    FMode.reset();
    FDevice.reset();
}

void TPrinter::SetPrinterIndex(int index) {
    if (index == -1) {
        int found = FPrinters.empty() ? -1 : 0;
        for (size_t i = 0; i < FPrinters.size(); ++i) {
            if (FPrinters[i].IsDefault) found = static_cast<int>(i);
        }
        index = found;
    } else if (index < 0 || index >= static_cast<int>(FPrinters.size())) {
        throw EQRError("Printer selected is not valid");
    }
    if (index != FIndex) {
        FIndex = index;
        FMode.reset();
        FDevice.reset();
    }
}

void TPrinter::GetPrinter(std::string& device, std::string& driver, std::string& port, TDevModeHandle& mode) {
    device.clear();
    driver.clear();
    port.clear();
    mode.reset();
    if (FIndex < 0) return;
    const TPrinterInfo& p = FPrinters[static_cast<size_t>(FIndex)];
    device = p.Name;
    driver = p.MakeAndModel;
    port = CupsDeviceUri(p.Name);
    EnsureMode();
    mode = FMode;
}

void TPrinter::SetPrinter(const std::string& device, const std::string&, const std::string&, TDevModeHandle mode) {
    for (size_t i = 0; i < FPrinters.size(); ++i) {
        if (FPrinters[i].Name == device) {
            if (static_cast<int>(i) != FIndex) FDevice.reset();
            FIndex = static_cast<int>(i);
            FMode = std::move(mode);
            return;
        }
    }
}

void TPrinter::EnsureMode() {
    if (FMode || FIndex < 0) return;
    const QPrinterInfo info = QPrinterInfo::printerInfo(ToQ(FPrinters[static_cast<size_t>(FIndex)].Name));
    auto mode = std::make_shared<TDevMode>();
    mode->dmDeviceName = FPrinters[static_cast<size_t>(FIndex)].Name;
    mode->dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_COLLATE;
    const QPageSize size = info.defaultPageSize();
    const QSizeF mm = size.size(QPageSize::Millimeter);
    mode->dmPaperSize =
        size.windowsId() > 0 && size.windowsId() < DMPAPER_USER ? static_cast<int16_t>(size.windowsId()) : DMPAPER_USER;
    mode->dmPaperWidth = TenthsOfMillimetre(mm.width());
    mode->dmPaperLength = TenthsOfMillimetre(mm.height());
    mode->dmOrientation = DMORIENT_PORTRAIT;
    mode->dmCopies = 1;
    mode->dmCollate = DMCOLLATE_TRUE;
    const auto duplexModes = info.supportedDuplexModes();
    if (duplexModes.contains(QPrinter::DuplexLongSide) || duplexModes.contains(QPrinter::DuplexShortSide)) {
        mode->dmFields |= DM_DUPLEX;
    }
    mode->dmDuplex = DmDuplexOf(info.defaultDuplexMode());
    const auto sources = CupsMediaSources(mode->dmDeviceName);
    if (!sources.empty()) {
        mode->dmFields |= DM_DEFAULTSOURCE;
        mode->dmDefaultSource =
            SourceOfBinCode(DMBIN_AUTO, sources).empty() ? BinCodeOfSource(sources.front()) : DMBIN_AUTO;
        if (mode->dmDefaultSource == 0) mode->dmDefaultSource = DMBIN_AUTO;
    }
    const auto resolutions = info.supportedResolutions();
    if (!resolutions.isEmpty()) {
        mode->dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
        mode->dmPrintQuality = static_cast<int16_t>(resolutions.last());
        mode->dmYResolution = static_cast<int16_t>(resolutions.last());
    }
    FMode = std::move(mode);
}

QPrinter& TPrinter::Device() {
    // While a document is open its job settings are fixed; capabilities describe that document.
    if (Printing()) return *FDevice;
    if (!FDevice) {
        FDevice = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (FIndex >= 0) FDevice->setPrinterName(ToQ(FPrinters[static_cast<size_t>(FIndex)].Name));
    }
    if (!FOutputFileName.empty()) {
        FDevice->setOutputFormat(QPrinter::PdfFormat);
        FDevice->setOutputFileName(ToQ(FOutputFileName));
    } else if (FDevice->outputFormat() == QPrinter::PdfFormat && FIndex >= 0) {
        FDevice->setOutputFormat(QPrinter::NativeFormat);
        FDevice->setPrinterName(ToQ(FPrinters[static_cast<size_t>(FIndex)].Name));
    }
    EnsureMode();
    ApplyMode(*FDevice);
    return *FDevice;
}

void TPrinter::ApplyMode(QPrinter& printer) const {
    if (!FMode) return;
    const TDevMode& m = *FMode;
    QPageSize size;
    const bool custom = (m.dmFields & DM_PAPERSIZE) == 0 || m.dmPaperSize == DMPAPER_USER || m.dmPaperSize == 0;
    if (!custom) {
        const QPageSize::PageSizeId id = QPageSize::id(m.dmPaperSize);
        if (id != QPageSize::Custom) size = QPageSize(id);
    }
    if (!size.isValid() && (m.dmFields & (DM_PAPERWIDTH | DM_PAPERLENGTH)) && m.dmPaperWidth > 0 &&
        m.dmPaperLength > 0) {
        size = QPageSize(QSizeF(m.dmPaperWidth / 10.0, m.dmPaperLength / 10.0), QPageSize::Millimeter, QString(),
                         QPageSize::FuzzyMatch);
    }
    if (size.isValid()) printer.setPageSize(size);
    if (m.dmFields & DM_ORIENTATION) {
        printer.setPageOrientation(m.dmOrientation == DMORIENT_LANDSCAPE ? QPageLayout::Landscape
                                                                         : QPageLayout::Portrait);
    }
    if (m.dmFields & DM_COPIES) printer.setCopyCount(m.dmCopies > 0 ? m.dmCopies : 1);
    if (m.dmFields & DM_COLLATE) printer.setCollateCopies(m.dmCollate != DMCOLLATE_FALSE);
    if (m.dmFields & DM_DUPLEX) printer.setDuplex(DuplexOf(m.dmDuplex));
}

int TPrinter::GetDeviceCaps(int index) {
    if (FIndex < 0 && FOutputFileName.empty()) return 0;
    QPrinter& p = Device();
    const QRectF paper = p.paperRect(QPrinter::DevicePixel);
    const QRectF page = p.pageRect(QPrinter::DevicePixel);
    switch (index) {
    case LOGPIXELSX:
        return p.logicalDpiX();
    case LOGPIXELSY:
        return p.logicalDpiY();
    case PHYSICALWIDTH:
        return static_cast<int>(std::lround(paper.width()));
    case PHYSICALHEIGHT:
        return static_cast<int>(std::lround(paper.height()));
    case PHYSICALOFFSETX:
        return static_cast<int>(std::lround(page.left() - paper.left()));
    case PHYSICALOFFSETY:
        return static_cast<int>(std::lround(page.top() - paper.top()));
    case HORZRES:
        return static_cast<int>(std::lround(page.width()));
    case VERTRES:
        return static_cast<int>(std::lround(page.height()));
    default:
        return 0;
    }
}

std::vector<int16_t> TPrinter::DeviceCapabilities(int capability) {
    std::vector<int16_t> out;
    if (FIndex < 0) return out;
    const std::string& name = FPrinters[static_cast<size_t>(FIndex)].Name;
    if (capability == DC_PAPERS) {
        for (const QPageSize& size : QPrinterInfo::printerInfo(ToQ(name)).supportedPageSizes()) {
            const int id = size.windowsId();
            if (id > 0 && id < DMPAPER_USER) out.push_back(static_cast<int16_t>(id));
        }
    } else if (capability == DC_BINS) {
        for (const std::string& source : CupsMediaSources(name)) {
            const int16_t code = BinCodeOfSource(source);
            if (code != 0 && std::find(out.begin(), out.end(), code) == out.end()) out.push_back(code);
        }
    }
    return out;
}

std::string TPrinter::Target() const {
    return FOutputFileName.empty() && FIndex >= 0 ? FPrinters[static_cast<size_t>(FIndex)].Name : FOutputFileName;
}

std::vector<std::pair<std::string, std::string>> TPrinter::JobOptions() const {
    std::vector<std::pair<std::string, std::string>> options;
    if (!FMode) return options;
    const TDevMode& m = *FMode;
    const QPageSize size = FDevice->pageLayout().pageSize();
    if (size.id() != QPageSize::Custom) {
        options.emplace_back("media", size.key().toStdString());
    } else {
        const QSizeF mm = size.size(QPageSize::Millimeter);
        options.emplace_back("media", "Custom." + std::to_string(std::lround(mm.width())) + "x" +
                                          std::to_string(std::lround(mm.height())) + "mm");
    }
    if (m.dmFields & DM_COPIES) options.emplace_back("copies", std::to_string(m.dmCopies > 0 ? m.dmCopies : 1));
    if (m.dmFields & DM_COLLATE) options.emplace_back("Collate", m.dmCollate != DMCOLLATE_FALSE ? "true" : "false");
    if (m.dmFields & DM_DUPLEX) {
        options.emplace_back("sides", m.dmDuplex == DMDUP_VERTICAL     ? "two-sided-long-edge"
                                      : m.dmDuplex == DMDUP_HORIZONTAL ? "two-sided-short-edge"
                                                                       : "one-sided");
    }
    if (m.dmFields & DM_DEFAULTSOURCE) {
        // Bit 8 marks a driver's own bins; the standard bin is the rest. A bin the printer lacks is
        // left to the printer, as a driver does. Through CUPS only the InputSlot choice reaches the job.
        const int16_t code = (m.dmDefaultSource & DMBIN_USER) ? m.dmDefaultSource : (m.dmDefaultSource & 0xff);
        const std::string source = SourceOfBinCode(code, CupsMediaSources(m.dmDeviceName));
        if (!source.empty()) options.emplace_back("InputSlot", SourceChoiceName(source));
    }
    return options;
}

namespace {

// Whether the file's last kilobyte holds "%%EOF", as every complete PDF's does.
bool EndsLikeAPdf(const std::string& path) {
    TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || st.st_size < 16) return false;
    const int64_t tail = std::min<int64_t>(1024, st.st_size);
    std::string bytes(static_cast<size_t>(tail), '\0');
    if (PReadFull(fd.Get(), bytes.data(), bytes.size(), st.st_size - tail) != tail) return false;
    return bytes.find("%%EOF") != std::string::npos;
}

} // namespace

void TPrinter::BeginDoc() {
    if (Printing()) throw EQRError("Printing in progress");
    if (FIndex < 0 && FOutputFileName.empty()) throw EQRError("There is no default printer currently selected");
    QPrinter& device = Device();
    std::string file = FOutputFileName;
    if (file.empty()) {
        std::string name;
        TUniqueFd fd = CreateTempFile(TempDirectory(), "QRP", name);
        if (!fd.Valid()) throw EQRError(FormatMessage("Cannot create file %s", TempDirectory() + "/QRP*.tmp"));
        FSpoolFile = name; // registered for signals by CreateTempFile
        file = name;
    }
    auto document = std::make_unique<QPrinter>(QPrinter::HighResolution);
    document->setOutputFormat(QPrinter::PdfFormat);
    document->setOutputFileName(ToQ(file));
    document->setResolution(device.resolution());
    document->setFullPage(false);
    document->setPageLayout(device.pageLayout());
    document->setDocName(ToQ(FTitle));
    document->setCreator(QStringLiteral("Pagimo"));
    FAborted = false;
    FLastJobId = 0;
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(document.get())) {
        ReleaseDocument();
        throw EQRError(FormatMessage("Cannot start printing on %s", Target()));
    }
    FDocument = std::move(document);
    FPainter = std::move(painter);
    FPageNumber = 1;
}

void TPrinter::NewPage() {
    if (!Printing()) throw EQRError("Printer is not currently printing");
    // The document cannot take another page when writing it has failed.
    if (!FDocument->newPage()) SpoolFailed();
    ++FPageNumber;
}

void TPrinter::SpoolFailed() {
    const std::string spool = FSpoolFile.empty() ? FOutputFileName : FSpoolFile;
    if (FPainter) FPainter->end();
    ReleaseDocument();
    throw EQRError(FormatMessage("Printing failed on %s", Target()) + ": the job could not be written to " + spool +
                   " (is the temporary folder full?)");
}

void TPrinter::EndDoc() {
    if (!Printing()) throw EQRError("Printer is not currently printing");
    const bool ok = FPainter->end() && FDocument->printerState() != QPrinter::Error;
    FPainter.reset();
    // Qt does not see write errors of the file it prints into: a full temporary folder would leave a
    // truncated document, which is not sent. A whole PDF ends with its end-of-file marker.
    if (ok && !FSpoolFile.empty() && !EndsLikeAPdf(FSpoolFile)) SpoolFailed();
    if (ok && !FSpoolFile.empty()) {
        try {
            FLastJobId = CupsSubmit(Target(), FSpoolFile, FTitle, JobOptions());
        } catch (...) {
            ReleaseDocument();
            throw;
        }
    }
    ReleaseDocument();
    if (!ok) throw EQRError(FormatMessage("Printing failed on %s", Target()));
}

void TPrinter::Abort() {
    if (!Printing()) return;
    FPainter->end();
    ReleaseDocument();
    FAborted = true;
}

void TPrinter::ReleaseDocument() {
    FPainter.reset();
    FDocument.reset();
    if (!FSpoolFile.empty()) {
        std::remove(FSpoolFile.c_str());
        UnregisterTemporary(FSpoolFile);
    }
    FSpoolFile.clear();
    FPageNumber = 0;
}

TPrinter& Printer() {
    static TPrinter printer;
    return printer;
}

int16_t LocaleDefaultPaper() {
    locale_t loc = newlocale(LC_MEASUREMENT_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc) return DMPAPER_A4;
    const char* m = nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, loc);
    const int system = m ? static_cast<unsigned char>(m[0]) : 1;
    freelocale(loc);
    return system == 2 ? DMPAPER_LETTER : DMPAPER_A4;
}

} // namespace pagimo::printing

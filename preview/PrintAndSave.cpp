#include "preview/PrintAndSave.h"

#include "platform/printing/Printer.h"
#include "platform/system/Errors.h"
#include "preview/PreviewStatusBar.h"
#include "preview/PreviewWindowRules.h"
#include "preview/QRPreview.h"
#include "printer/QRPrintDialog.h"
#include "printer/QRPrinter.h"
#include "printer/StoredPageExport.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

#include <memory>

namespace pagimo::preview {

namespace {

QString FromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string ToStd(const QString& s) {
    return s.toUtf8().toStdString();
}

// A file dialog of Qt's own kind, so that it looks and behaves the same everywhere (and can be driven).
void Prepare(QFileDialog& dialog, const QString& title) {
    dialog.setWindowTitle(title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowModality(Qt::ApplicationModal);
}

// The extension of the file type at filterIndex (1: the QRP file type).
QString ExtensionOf(int filterIndex) {
    const printer::TQRExporterEntry* entry = printer::QRExportFilterLibrary().EntryForFilterIndex(filterIndex);
    return entry ? FromStd(entry->Extension) : QStringLiteral("QRP");
}

} // namespace

QString ChooseReportFile(QWidget* parent, const QString& folder) {
    QFileDialog dialog(parent);
    Prepare(dialog, QStringLiteral("Load report"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(DialogFilters(QStringLiteral("Report file") + QStringLiteral(" (*.QRP)|*.QRP")));
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

QString ProposedSaveName(const QString& loadedFile, const QString& title, const QString& folder,
                         const QString& extension) {
    QString base = loadedFile.isEmpty() ? title.trimmed() : QFileInfo(loadedFile).completeBaseName();
    // A title may hold what a file name cannot.
    base.replace(QLatin1Char('/'), QLatin1Char('-'));
    if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String("..")) base = QStringLiteral("report");
    const QString dir = loadedFile.isEmpty() ? folder : QFileInfo(loadedFile).absolutePath();
    return QDir(dir).filePath(base + QLatin1Char('.') + extension);
}

TPrintAndSave::TPrintAndSave(QWidget& window, TQRPreview& preview, TPreviewStatusBar& status,
                             std::function<void(const QString&)> message)
    : QObject(&window), FWindow(window), FPreview(preview), FStatus(status), FMessage(std::move(message)) {}

void TPrintAndSave::Print() {
    printer::TQRPrinter* p = FPreview.ReportPrinter();
    if (!p) return;
    // A report that is generating again with another printer is left alone.
    if (const auto* report = dynamic_cast<const printer::TQRReportWindow*>(p->ReportWindow());
        report && !report->IsCompositeReport() && report->PrinterBusy())
        return;
    if (!p->LoadedFromFile()) {
        p->Print();
        return;
    }
    if (!FSetUp && !SetUpLoadedPages()) return;
    p->Print();
    if (const int job = p->Device().LastJobId(); job > 0 && FPreview.ReportPrinter() == p)
        FStatus.ShowDone(QStringLiteral("Sent to %1 as job %2").arg(FromStd(p->Settings().DeviceName())).arg(job));
}

void TPrintAndSave::PrintSetup(QObject* sender) {
    printer::TQRPrinter* p = FPreview.ReportPrinter();
    if (!p) return;
    if (!p->LoadedFromFile()) {
        p->PrintSetup(sender);
        return;
    }
    SetUpLoadedPages();
}

bool TPrintAndSave::SetUpLoadedPages() {
    printer::TQRPrinter& p = *FPreview.ReportPrinter();
    // The file offered is the document's name in its folder.
    printer::TPrintToFile file;
    file.FileName = ToStd(ProposedSaveName(FromStd(p.FileName()), QString(), QString(), QStringLiteral("pdf")));
    if (!printer::StoredPagesPrintSetup(p, &FWindow, FPreview.PageNumber(), &file)) return false;
    if (file.Chosen) {
        PrintToFile(FromStd(file.FileName), file.First, file.Last);
        return false;
    }
    if (!p.HasPrinters()) throw EQRError("No printer is installed");
    FSetUp = true;
    return true;
}

void TPrintAndSave::PrintToFile(const QString& fileName, int32_t first, int32_t last) {
    printer::TQRPrinter* p = FPreview.ReportPrinter();
    const auto document = p ? p->Document() : nullptr;
    if (!document) return;
    // The writer of qrptool convert; a page that cannot be drawn stops it before the file appears.
    printer::TQRPDFExportFilter filter(ToStd(fileName));
    printer::TStoredExportOptions options;
    options.First = first;
    options.Last = last;
    printer::ExportStoredPages(filter, *document, options);
    FStatus.ShowDone(QStringLiteral("Printed to %1").arg(fileName));
}

void TPrintAndSave::Save() {
    printer::TQRPrinter* p = FPreview.ReportPrinter();
    if (!p) return;
    if (p->PageTotal() < 1) {
        FMessage(QStringLiteral("There are no pages to save"));
        return;
    }
    QFileDialog dialog(&FWindow);
    Prepare(dialog, QStringLiteral("Save report"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const auto& library = printer::QRExportFilterLibrary();
    const QStringList filters = DialogFilters(FromStd(library.BuildSaveFilter()));
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("QRP"));
    const QString loaded = p->LoadedFromFile() ? FromStd(p->FileName()) : QString();
    const QString proposed = ProposedSaveName(loaded, FromStd(p->DocumentTitle()), QDir::currentPath(),
                                              loaded.isEmpty() ? QStringLiteral("QRP") : QFileInfo(loaded).suffix());
    dialog.setDirectory(QFileInfo(proposed).absolutePath());
    dialog.selectFile(QFileInfo(proposed).fileName());
    // The name follows the chosen file type's extension, and so does a name typed without one.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &filters](const QString& f) {
        const QString extension = ExtensionOf(static_cast<int>(filters.indexOf(f)) + 1);
        dialog.setDefaultSuffix(extension);
        if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); name && !name->text().isEmpty())
            dialog.selectFile(QFileInfo(name->text()).completeBaseName() + QLatin1Char('.') + extension);
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString fileName = dialog.selectedFiles().constFirst();
    const qsizetype filterIndex = filters.indexOf(dialog.selectedNameFilter()) + 1;
    const auto stamp = [&fileName] {
        QFileInfo info(fileName);
        info.setCaching(false);
        return info.exists() ? info.lastModified() : QDateTime();
    };
    const QDateTime before = stamp();
    if (filterIndex <= 1) {
        p->SaveReportFile(ToStd(fileName));
    } else {
        // The filter object is freed on the way out, also when the export fails.
        const std::unique_ptr<printer::TQRExporter> filter =
            library.CreateExporter(static_cast<int>(filterIndex), ToStd(fileName));
        if (!filter) return;
        p->ExportPages(*filter);
    }
    // Pages still being generated are not saved: only a file written is told.
    if (const QDateTime after = stamp(); after.isValid() && after != before)
        FStatus.ShowDone(QStringLiteral("Saved to %1").arg(fileName));
}

} // namespace pagimo::preview

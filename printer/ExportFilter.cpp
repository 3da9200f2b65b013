#include "printer/ExportFilter.h"

namespace pagimo::printer {

void TQRExportFilterLibrary::Register(TQRExporterClass exporterClass, const std::string& description,
                                      const std::string& extension) {
    FFilters.push_back({std::move(exporterClass), description, extension});
}

std::string TQRExportFilterLibrary::BuildSaveFilter() const {
    std::string filter = "Report file(*.QRP)|*.QRP";
    for (const auto& e : FFilters)
        filter += "|" + e.Description + " (*." + e.Extension + ")|*." + e.Extension;
    return filter;
}

const TQRExporterEntry* TQRExportFilterLibrary::EntryForFilterIndex(int filterIndex) const {
    if (filterIndex < 2 || static_cast<size_t>(filterIndex - 2) >= FFilters.size()) return nullptr;
    return &FFilters[static_cast<size_t>(filterIndex - 2)];
}

std::unique_ptr<TQRExporter> TQRExportFilterLibrary::CreateExporter(int filterIndex,
                                                                    const std::string& fileName) const {
    const TQRExporterEntry* entry = EntryForFilterIndex(filterIndex);
    if (!entry || !entry->ExporterClass) return nullptr;
    auto exporter = entry->ExporterClass(fileName);
    if (exporter) {
        exporter->FileName = fileName;
        exporter->Report = nullptr;
        exporter->Started = false;
    }
    return exporter;
}

TQRExportFilterLibrary& QRExportFilterLibrary() {
    static TQRExportFilterLibrary library;
    return library;
}

} // namespace pagimo::printer

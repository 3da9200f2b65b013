#pragma once
// Export filters: objects that receive a report's pages and texts while the report runs again, and
// write a file of their own format; and the process-wide registry the save dialog is built from.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace pagimo::gdi {
struct TFont;
}

namespace pagimo::emf {
class TEmfPicture;
}

namespace pagimo::printer {

class TQRPrinter;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// The base of every filter; one instance serves one export. The report sets Printer and Report when
// the export run starts and calls the operations below in this order over the run.
class TQRExporter {
public:
    explicit TQRExporter(const std::string& fileName) : FileName(fileName) {}
    virtual ~TQRExporter() = default;

    // True makes the report treat the full paper length as free: one continuous page flow.
    virtual bool IsContinuous() { return false; }
    // Once at the start of a run, unless Started. Paper in tenths of a millimetre.
    virtual void StartExport(int32_t paperWidth, int32_t paperLength, const gdi::TFont& font) = 0;
    virtual void EndExportPage() = 0;
    virtual void FinishExport() = 0;
    virtual void NewExportPage() = 0;
    // One line of text at X, Y (tenths of a millimetre); background is a COLORREF.
    virtual void ExportText(long double x, long double y, const gdi::TFont& font, uint32_t background,
                            TAlignment alignment, const std::string& text) = 0;

    // Filters that write whole pages (a PDF) take the page pictures instead of the texts: exported
    // from stored pages, such a filter gets ExportPicture between NewExportPage and EndExportPage,
    // and no ExportText.
    virtual bool TakesPictures() const { return false; }
    virtual void ExportPicture(const emf::TEmfPicture&) {}
    // A page that cannot be drawn, kept as an empty sheet of the given size (tenths of a millimetre).
    virtual void ExportBlankPicture(int32_t /*width*/, int32_t /*length*/) {}

    TQRPrinter* Printer = nullptr; // borrowed
    bool Started = false;
    std::string FileName;
    QObject* Report = nullptr; // borrowed: the report being exported
};

// The "class reference" of a filter: makes one for the given file name.
using TQRExporterClass = std::function<std::unique_ptr<TQRExporter>(const std::string& fileName)>;

struct TQRExporterEntry {
    TQRExporterClass ExporterClass;
    std::string Description;
    std::string Extension; // without the dot
};

class TQRExportFilterLibrary {
public:
    // Appends an entry; the save dialog lists entries in this order after the QRP type.
    void Register(TQRExporterClass exporterClass, const std::string& description, const std::string& extension);
    const std::vector<TQRExporterEntry>& Filters() const { return FFilters; }

    // "Report file(*.QRP)|*.QRP", then "|Description (*.ext)|*.ext" per entry.
    std::string BuildSaveFilter() const;
    // The entry behind a save dialog's file type (numbered from 1; type 1 is the QRP file): entry
    // k - 2 for type k, none for type 1 and for types beyond the list.
    const TQRExporterEntry* EntryForFilterIndex(int filterIndex) const;
    // A filter of the type's entry for fileName; none for the QRP type or an unknown type.
    std::unique_ptr<TQRExporter> CreateExporter(int filterIndex, const std::string& fileName) const;

private:
    std::vector<TQRExporterEntry> FFilters;
};

// The process-wide registry: empty at program start, freed at exit.
TQRExportFilterLibrary& QRExportFilterLibrary();

} // namespace pagimo::printer

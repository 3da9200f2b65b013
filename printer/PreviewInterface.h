#pragma once
// Which preview window a report printer opens, and how a preview control hears that its report
// printer is going away. The standard interface lives with the preview window and is installed at
// program start with SetPreviewInterfaceClass; until then the base class stands in and opens nothing.

#include <functional>
#include <memory>

class QObject;

namespace pagimo::printer {

class TQRPrinter;

class TQRPreviewInterface {
public:
    virtual ~TQRPreviewInterface() = default;
    // Opens a preview window for printer without blocking and returns it; the base opens nothing.
    virtual QObject* OpenPreview(TQRPrinter& printer);
    // Opens a preview window for printer and returns when it has closed; the base opens nothing.
    virtual void OpenPreviewModal(TQRPrinter& printer);
};

// The process-wide "class reference": a factory making an instance of the current interface class.
using TQRPreviewInterfaceClass = std::function<std::unique_ptr<TQRPreviewInterface>()>;
const TQRPreviewInterfaceClass& PreviewInterfaceClass();
// Installs the interface class (an empty function restores the base class).
void SetPreviewInterfaceClass(TQRPreviewInterfaceClass factory);

// Implemented by a NotifyWindow that holds a report printer (the preview control): the printer calls
// it from its destructor, so the window drops its reference before the printer is gone.
class TQRNotifyWindow {
public:
    virtual ~TQRNotifyWindow() = default;
    virtual void ReportPrinterDestroyed(TQRPrinter& printer) = 0;
};

} // namespace pagimo::printer

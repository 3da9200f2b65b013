#include "printer/PreviewInterface.h"

namespace pagimo::printer {

QObject* TQRPreviewInterface::OpenPreview(TQRPrinter&) {
    return nullptr;
}

void TQRPreviewInterface::OpenPreviewModal(TQRPrinter&) {}

namespace {

TQRPreviewInterfaceClass& InterfaceClass() {
    static TQRPreviewInterfaceClass factory = [] { return std::make_unique<TQRPreviewInterface>(); };
    return factory;
}

} // namespace

const TQRPreviewInterfaceClass& PreviewInterfaceClass() {
    return InterfaceClass();
}

void SetPreviewInterfaceClass(TQRPreviewInterfaceClass factory) {
    if (!factory) factory = [] { return std::make_unique<TQRPreviewInterface>(); };
    InterfaceClass() = std::move(factory);
}

} // namespace pagimo::printer

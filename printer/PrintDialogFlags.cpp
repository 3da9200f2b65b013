#include "printer/PrintDialogFlags.h"

namespace pagimo::printer {

uint32_t PrintDialogFlags(TPrintDialogOptions options, TPrintRange range, bool collate, bool printToFile) {
    uint32_t flags = PD_ENABLEPRINTHOOK | PD_ENABLESETUPHOOK;
    switch (range) {
    case prAllPages:
        flags |= PD_ALLPAGES;
        break;
    case prSelection:
        flags |= PD_SELECTION;
        break;
    case prPageNums:
        flags |= PD_PAGENUMS;
        break;
    }
    if (collate) flags |= PD_COLLATE;
    if (!options.Contains(poPrintToFile)) flags |= PD_HIDEPRINTTOFILE;
    if (!options.Contains(poPageNums)) flags |= PD_NOPAGENUMS;
    if (!options.Contains(poSelection)) flags |= PD_NOSELECTION;
    if (options.Contains(poDisablePrintToFile)) flags |= PD_DISABLEPRINTTOFILE;
    if (printToFile) flags |= PD_PRINTTOFILE;
    if (options.Contains(poHelp)) flags |= PD_SHOWHELP;
    if (!options.Contains(poWarning)) flags |= PD_NOWARNING;
    return flags;
}

QAbstractPrintDialog::PrintDialogOptions QtDialogOptions(uint32_t flags) {
    QAbstractPrintDialog::PrintDialogOptions o =
        QAbstractPrintDialog::PrintShowPageSize | QAbstractPrintDialog::PrintCollateCopies;
    if (!(flags & PD_NOPAGENUMS)) o |= QAbstractPrintDialog::PrintPageRange;
    if (!(flags & PD_NOSELECTION)) o |= QAbstractPrintDialog::PrintSelection;
    // A disabled print-to-file box is as good as a hidden one: Qt can only offer or withhold it.
    if (!(flags & (PD_HIDEPRINTTOFILE | PD_DISABLEPRINTTOFILE))) o |= QAbstractPrintDialog::PrintToFile;
    return o;
}

QAbstractPrintDialog::PrintRange QtPrintRange(TPrintRange range) {
    switch (range) {
    case prSelection:
        return QAbstractPrintDialog::Selection;
    case prPageNums:
        return QAbstractPrintDialog::PageRange;
    case prAllPages:
        break;
    }
    return QAbstractPrintDialog::AllPages;
}

TPrintRange RangeFromQt(QAbstractPrintDialog::PrintRange range) {
    switch (range) {
    case QAbstractPrintDialog::Selection:
        return prSelection;
    case QAbstractPrintDialog::PageRange:
        return prPageNums;
    default:
        return prAllPages; // all pages, and the current page, which the flags cannot say
    }
}

TDialogPlace DialogPlace(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
    return {(screenWidth - windowWidth) / 2, (screenHeight - windowHeight) / 3};
}

} // namespace pagimo::printer

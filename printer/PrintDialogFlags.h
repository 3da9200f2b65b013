#pragma once
// The print dialog's hand-over as plain values: the option and range choices become the flags of the
// system print dialog, and the flags decide what Qt's print dialog offers. Also the dialog's place on
// the screen and the copies rule. Free of widgets so that tables can check them.

#include <QAbstractPrintDialog>

#include <cstdint>

namespace pagimo::printer {

// The choices a print dialog offers.
enum TPrintDialogOption { poPrintToFile, poPageNums, poSelection, poWarning, poHelp, poDisablePrintToFile };
enum TPrintRange { prAllPages, prSelection, prPageNums };

class TPrintDialogOptions {
public:
    TPrintDialogOptions() = default;
    TPrintDialogOptions(std::initializer_list<TPrintDialogOption> options) {
        for (auto o : options)
            Include(o);
    }
    void Include(TPrintDialogOption o) { FBits |= 1u << o; }
    void Exclude(TPrintDialogOption o) { FBits &= ~(1u << o); }
    bool Contains(TPrintDialogOption o) const { return FBits & (1u << o); }
    bool operator==(const TPrintDialogOptions&) const = default;

private:
    uint32_t FBits = 0;
};

// Flags of the system print dialog record.
constexpr uint32_t PD_ALLPAGES = 0x0;
constexpr uint32_t PD_SELECTION = 0x1;
constexpr uint32_t PD_PAGENUMS = 0x2;
constexpr uint32_t PD_NOSELECTION = 0x4;
constexpr uint32_t PD_NOPAGENUMS = 0x8;
constexpr uint32_t PD_COLLATE = 0x10;
constexpr uint32_t PD_PRINTTOFILE = 0x20;
constexpr uint32_t PD_NOWARNING = 0x80;
constexpr uint32_t PD_SHOWHELP = 0x800;
constexpr uint32_t PD_ENABLEPRINTHOOK = 0x1000;
constexpr uint32_t PD_ENABLESETUPHOOK = 0x2000;
constexpr uint32_t PD_DISABLEPRINTTOFILE = 0x80000;
constexpr uint32_t PD_HIDEPRINTTOFILE = 0x100000;

uint32_t PrintDialogFlags(TPrintDialogOptions options, TPrintRange range, bool collate, bool printToFile);

// What Qt's dialog offers for the flags: page numbers, selection and print to file.
QAbstractPrintDialog::PrintDialogOptions QtDialogOptions(uint32_t flags);
QAbstractPrintDialog::PrintRange QtPrintRange(TPrintRange range);

// The range the user chose, as the flags would report it.
TPrintRange RangeFromQt(QAbstractPrintDialog::PrintRange range);

// A dialog is centred across and placed one third down the free height of the screen.
struct TDialogPlace {
    int Left = 0, Top = 0;
    bool operator==(const TDialogPlace&) const = default;
};
TDialogPlace DialogPlace(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

// A driver that makes the copies itself reports one copy and keeps the count in the printer mode.
inline int32_t ChosenCopies(int32_t returnedCopies, int32_t modeCopies) {
    return returnedCopies == 1 ? modeCopies : returnedCopies;
}

} // namespace pagimo::printer

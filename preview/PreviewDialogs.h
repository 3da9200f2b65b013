#pragma once
// The preview window's two small dialogs: the document's properties (read page by page while the
// dialog is open, so a long document shows its sheets and damaged pages when read) and About Pagimo
// (the version, the licence and the libraries the program was built with).

#include "preview/DocumentProperties.h"

#include <QDialog>

class QFormLayout;
class QTimer;

namespace pagimo::preview {

class TPropertiesDialog : public QDialog {
public:
    TPropertiesDialog(QWidget* parent, printer::TQRPrinter& printer);
    ~TPropertiesDialog() override;

private:
    void Refresh();

    printer::TQRPrinter& FPrinter;
    TDocumentSurvey FSurvey;
    QFormLayout* FForm = nullptr;
    QTimer* FTimer = nullptr;
};

// The text of the About box (rich text).
QString AboutText();
void ShowAbout(QWidget* parent);

} // namespace pagimo::preview

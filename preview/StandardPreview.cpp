#include "preview/StandardPreview.h"

#include "preview/FileWatch.h"
#include "preview/FindBar.h"
#include "preview/KeyPreview.h"
#include "preview/LiveMode.h"
#include "preview/PreviewDialogs.h"
#include "preview/PreviewStatusBar.h"
#include "preview/PreviewToolBar.h"
#include "preview/PrintAndSave.h"
#include "preview/TextSelection.h"
#include "preview/ThumbnailPanel.h"
#include "preview/ViewerMemory.h"
#include "printer/QRPrinter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>

#include <utility>

namespace pagimo::preview {

namespace {

QString FromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

TQRStandardPreview::TQRStandardPreview(QWidget* owner, printer::TQRPrinter* reportPrinter)
    : QMainWindow(owner, Qt::Window) {
    setObjectName(QStringLiteral("QRStandardPreview"));
    setWindowTitle(QStringLiteral("Print Preview"));
    resize(652, 579);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->availableGeometry();
        move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAcceptDrops(true);

    FActions = new TPreviewActions(*this);
    FToolBar = new TPreviewToolBar(this);
    addToolBar(Qt::TopToolBarArea, FToolBar);
    FToolBar->AddViewerButtons(Action(pcContinuous), FActions->RecentMenu());
    FPreview = new TQRPreview(this);
    FPreview->setFocusPolicy(Qt::StrongFocus);
    FStatusBar = new TPreviewStatusBar(this);
    setStatusBar(FStatusBar);
    FWatch = new TFileWatch(this, *FPreview, *FStatusBar, [this](const QString& f) { LoadPages(f, false); });
    FLive = new TLiveMode(this, *FPreview, *FWatch, *FStatusBar, [this](const QString& f) { LoadPages(f, false); });
    setCentralWidget(FLive);
    FFindBar = new TFindBar(this, *FPreview);
    addToolBar(Qt::BottomToolBarArea, FFindBar);
    FSelection = new TTextSelection(*FPreview);
    FThumbnails = new TThumbnailPanel(this, [this] { return FReportPrinter; });
    addDockWidget(Qt::LeftDockWidgetArea, FThumbnails);
    FThumbnails->hide();
    FPrintAndSave = new TPrintAndSave(*this, *FPreview, *FStatusBar, [this](const QString& t) { ShowMessage(t); });
    FMemory =
        new TViewerMemory(*this, *FPreview, *FToolBar, *FActions, [this](const QString& f) { LoadReportFile(f); });
    FToolBar->BindToActions(*FActions);
    BindParts();
    BindCommands();
    // Every key press reaches FormKeyDown before the focused control sees it. A key the window acts on
    // goes no further: Page Down turns the page and must not also scroll the new page down a screen.
    new TKeyPreview(*this, [this](int key, Qt::KeyboardModifiers modifiers) {
        if (PreviewKeyAction(key, modifiers) == kaNone) return false;
        FormKeyDown(key, modifiers);
        return true;
    });

    // Construction proper, once the components exist.
    FReportPrinter = reportPrinter;
    setWindowState(windowState() | Qt::WindowMaximized);
    FPreview->SetReportPrinter(reportPrinter);
    if (reportPrinter && !reportPrinter->DocumentTitle().empty())
        setWindowTitle(FromStd(reportPrinter->DocumentTitle()));
    FToolBar->Button(TPreviewToolBar::tbZoomToWidth)->setChecked(true);
    FButtonRules.Constructed(reportPrinter && reportPrinter->JobState() == printer::jsFinished);
    ApplyButtonRules();
    UpdateZoomInfo();
    FPreview->setFocus();
}

TQRStandardPreview::~TQRStandardPreview() = default;

void TQRStandardPreview::BindParts() {
    FPreview->OnPageAvailable = [this](QObject* sender, int32_t n) { QRPreviewPageAvailable(sender, n); };
    FPreview->OnProgressUpdate = [this](QObject* sender, int32_t p) { QRPreviewProgressUpdate(sender, p); };
    FPreview->OnPageProblem = [this](int32_t page, const QString& reason) { PageProblem(page, reason); };
    FPreview->OnMissingFont = [this](int32_t page, const QString& face, uint32_t glyphs) {
        FStatusBar->MissingFont(page, face, glyphs);
    };
    // A printer freed while the window stays open (a failed run) must not be reached from here.
    FPreview->OnReportPrinterGone = [this] {
        FReportPrinter = nullptr;
        ApplyButtonRules();
    };
    FPreview->OnZoomApplied = [this] { UpdateZoomInfo(); };
    FPreview->OnPageNumberChanged = [this] { UpdatePageInfo(); };
    FPreview->SetPaintMarks([this](QPainter& painter, int32_t page, QSize sheet) { PaintMarks(painter, page, sheet); });
    FThumbnails->OnPageClicked = [this](int32_t n) {
        FPreview->SetPageNumber(n);
        UpdatePageInfo();
    };
    FWatch->OnSettled = [this] { ReloadClick(); };
    FStatusBar->SetPreview(FPreview);
}

// Each command does what its button or key does.
void TQRStandardPreview::BindCommands() {
    const std::pair<TPreviewCommand, std::function<void()>> commands[] = {
        {pcOpen, [this] { LoadClick(); }},
        {pcSave, [this] { SaveClick(); }},
        {pcPrint, [this] { PrintClick(); }},
        {pcPrintSetup, [this] { PrintSetupClick(); }},
        {pcProperties, [this] { ShowProperties(); }},
        {pcReload, [this] { ReloadClick(); }},
        {pcClose, [this] { ExitClick(); }},
        {pcQuit, [] { QApplication::closeAllWindows(); }},
        {pcZoomFit, [this] { ZoomToFitClick(); }},
        {pcZoom100, [this] { ZoomTo100Click(); }},
        {pcZoomToWidth, [this] { ZoomToWidthClick(); }},
        {pcFullScreen, [this] { ToggleFullScreen(); }},
        {pcFirstPage, [this] { FirstPageClick(); }},
        {pcPreviousPage, [this] { PrevPageClick(); }},
        {pcNextPage, [this] { NextPageClick(); }},
        {pcLastPage, [this] { LastPageClick(); }},
        {pcGoToPage, [this] { FStatusBar->FocusGoToField(); }},
        {pcAbout, [this] { ShowAbout(this); }}};
    for (const auto& [command, run] : commands)
        FActions->Bind(command, run);
    FActions->BindView(*FPreview, *FThumbnails);
    FFindBar->BindCommands(*FActions);
    FSelection->BindCommands(*FActions);
}

void TQRStandardPreview::ApplyButtonRules() {
    FToolBar->Button(TPreviewToolBar::tbPrint)->setEnabled(FButtonRules.PrintEnabled());
    FToolBar->Button(TPreviewToolBar::tbPrintSetup)->setEnabled(FButtonRules.PrintSetupEnabled());
    Action(pcPrint)->setEnabled(FButtonRules.PrintEnabled());
    Action(pcPrintSetup)->setEnabled(FButtonRules.PrintSetupEnabled());
}

void TQRStandardPreview::UpdatePageInfo() {
    const int32_t total = FPreview->ReportPrinter() ? FPreview->ReportPrinter()->PageTotal() : 0;
    FStatusBar->SetPageInfo(PageInfoText(FPreview->PageNumber(), total));
    if (FThumbnails->List->model()->rowCount() != total) FThumbnails->Reset();
    FThumbnails->SetCurrent(FPreview->PageNumber());
}

void TQRStandardPreview::UpdateZoomInfo() {
    FStatusBar->SetZoom(FPreview->Zoom());
}

// The zoom buttons first let queued notifications through, so the zoom applies to the current state.
void TQRStandardPreview::ZoomToFitClick() {
    QCoreApplication::processEvents();
    FPreview->FitWholePage();
}

void TQRStandardPreview::ZoomTo100Click() {
    QCoreApplication::processEvents();
    FPreview->SetZoom(100);
}

void TQRStandardPreview::ZoomToWidthClick() {
    QCoreApplication::processEvents();
    FPreview->FitPageWidth();
}

// With facing pages a step is a spread.
void TQRStandardPreview::FirstPageClick() {
    FPreview->SetPageNumber(1);
    UpdatePageInfo();
}

void TQRStandardPreview::PrevPageClick() {
    FPreview->SetPageNumber(FPreview->PageStep(-1));
    UpdatePageInfo();
}

void TQRStandardPreview::NextPageClick() {
    FPreview->SetPageNumber(FPreview->PageStep(+1));
    UpdatePageInfo();
}

void TQRStandardPreview::LastPageClick() {
    if (FReportPrinter) FPreview->SetPageNumber(FReportPrinter->PageTotal());
    UpdatePageInfo();
}

void TQRStandardPreview::PrintClick() {
    FPrintAndSave->Print();
}

void TQRStandardPreview::PrintSetupClick() {
    FPrintAndSave->PrintSetup(FToolBar->Button(TPreviewToolBar::tbPrintSetup));
}

void TQRStandardPreview::SaveClick() {
    FPrintAndSave->Save();
}

void TQRStandardPreview::ExitClick() {
    close();
}

void TQRStandardPreview::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    const TPreviewKeyAction action = PreviewKeyAction(key, modifiers);
    // Esc first leaves full screen; pressed again it closes the window.
    if (action == kaExit && isFullScreen()) return ToggleFullScreen();
    static constexpr void (TQRStandardPreview::*clicks[])() = {nullptr,
                                                               &TQRStandardPreview::ExitClick,
                                                               &TQRStandardPreview::FirstPageClick,
                                                               &TQRStandardPreview::PrevPageClick,
                                                               &TQRStandardPreview::NextPageClick,
                                                               &TQRStandardPreview::LastPageClick};
    if (const auto click = clicks[action]) (this->*click)();
}

void TQRStandardPreview::QRPreviewPageAvailable(QObject*, int32_t) {
    UpdatePageInfo();
    const bool finished = FReportPrinter && FReportPrinter->JobState() == printer::jsFinished;
    FButtonRules.PageAvailable(finished);
    ApplyButtonRules();
    // A finished run has no progress left to show, also when it never told any.
    if (finished) FProgressPanel.Clear();
    FStatusBar->SetProgress(FProgressPanel.Text());
}

void TQRStandardPreview::QRPreviewProgressUpdate(QObject*, int32_t progress) {
    FProgressPanel.Update(progress);
    FStatusBar->SetProgress(FProgressPanel.Text());
}

void TQRStandardPreview::ShowMessage(const QString& text) {
    if (OnMessage) {
        OnMessage(text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text, QMessageBox::Ok, this);
    box.exec();
}

void TQRStandardPreview::PageProblem(int32_t, const QString& reason) {
    if (FPageProblemShown || !FReportPrinter) return;
    FPageProblemShown = true;
    ShowMessage(reason);
}

void TQRStandardPreview::PaintMarks(QPainter& painter, int32_t page, QSize sheet) const {
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    FFindBar->PaintHits(painter, page, sheet);
    FSelection->PaintSelection(painter, page, sheet);
    painter.restore();
}

void TQRStandardPreview::ShowProperties() {
    if (!FReportPrinter) return;
    TPropertiesDialog dialog(this, *FReportPrinter);
    dialog.exec();
}

void TQRStandardPreview::SetFileCaption(bool value) {
    FFileCaption = value;
    if (value && FReportPrinter && FReportPrinter->LoadedFromFile())
        setWindowTitle(QFileInfo(FromStd(FReportPrinter->FileName())).fileName() + QStringLiteral(" \u2013 Pagimo"));
}

void TQRStandardPreview::closeEvent(QCloseEvent* event) {
    event->accept();
    if (FClosed) return;
    FClosed = true;
    // The geometry saved is the normal one: the next window does not open full screen.
    if (isFullScreen()) ToggleFullScreen();
    FMemory->Leaving();
    FMemory->SaveSettings();
    // The report behind the printer learns that its preview has gone; the window then frees itself,
    // and its preview control lets go of the printer.
    // The report may free the printer while it handles the message: it is not touched afterwards.
    if (printer::TQRPrinter* p = std::exchange(FReportPrinter, nullptr)) p->PreviewClosed(this);
    setAttribute(Qt::WA_DeleteOnClose);
}

void TQRStandardPreview::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FPreview->ApplyZoom();
}

// ---- files: opened, reloaded or a live run's ----

void TQRStandardPreview::LoadClick() {
    // The folder of the document shown, if it came from a file.
    const bool loaded = FReportPrinter && FReportPrinter->LoadedFromFile();
    const QString file =
        ChooseReportFile(this, loaded ? QFileInfo(FromStd(FReportPrinter->FileName())).absolutePath() : QString());
    if (!file.isEmpty()) LoadReportFile(file);
}

void TQRStandardPreview::LoadReportFile(const QString& fileName) {
    LoadPages(fileName, true);
}

void TQRStandardPreview::LoadPages(const QString& fileName, bool open) {
    if (!QFileInfo(fileName).isFile()) {
        QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), QStringLiteral("File does not exist"),
                        QMessageBox::Ok, this);
        box.exec();
        return;
    }
    if (!FReportPrinter) return;
    if (open) FMemory->Leaving();
    const bool hadPage = FPreview->PageImage()->HasPage();
    // A file that cannot be opened raises here, before anything shown is touched.
    FReportPrinter->OpenReportFile(fileName.toUtf8().toStdString());
    FPrintAndSave->PagesLoaded();
    FPageProblemShown = false;
    FStatusBar->ForgetMissingFonts();
    // A damaged file is said so at once; its first page problem then needs no second message.
    const QString problem = FromStd(FReportPrinter->OpenProblem());
    FPreview->SetPageNumber(1);
    // Page 1 of the new file, also when page 1 of the old one was shown.
    FPreview->ShowPage(1);
    // The sheet takes the new file's paper instead of stretching the page over the old one. A window
    // that showed nothing yet fits the width, as it does when the first page of a report arrives.
    if (hadPage || FMemory->ZoomRestored())
        FPreview->ReapplyZoomMode();
    else
        FPreview->FitPageWidth();
    FProgressPanel.Clear();
    FStatusBar->SetProgress(FProgressPanel.Text());
    FButtonRules.FileLoaded();
    ApplyButtonRules();
    FThumbnails->Reset();
    // Found text and a selection belong to the pages they were found on.
    FSelection->Clear();
    FFindBar->PagesChanged();
    // A live preview keeps the caption its caller gave and watches its description, not its pages.
    if (!FLive->IsLive()) {
        SetFileCaption(FFileCaption);
        FWatch->SetFiles({fileName});
        FWatch->Rewatch();
        FMemory->Opened(fileName, open);
    }
    UpdatePageInfo();
    if (!problem.isEmpty()) {
        FPageProblemShown = true;
        ShowMessage(problem);
    }
}

void TQRStandardPreview::ReloadClick() {
    if (FLive->IsLive())
        FLive->Rerun();
    else
        FWatch->Reload();
}

// ---- the view ----

void TQRStandardPreview::ToggleFullScreen() {
    if (isFullScreen()) return setWindowState(FStateBeforeFullScreen & ~Qt::WindowFullScreen);
    FStateBeforeFullScreen = windowState();
    setWindowState(windowState() | Qt::WindowFullScreen);
}

void TQRStandardPreview::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (mime->hasUrls() && !mime->urls().isEmpty() && mime->urls().constFirst().isLocalFile())
        event->acceptProposedAction();
}

void TQRStandardPreview::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.constFirst().isLocalFile()) return;
    event->acceptProposedAction();
    LoadReportFile(urls.constFirst().toLocalFile());
}

} // namespace pagimo::preview

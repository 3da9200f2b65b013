#include "preview/StandardPreview.h"

#include "pagestore/PageList.h"
#include "preview/ToolBarGlyphs.h"
#include "printer/QRPrintDialog.h"
#include "printer/QRPrinter.h"

#include "platform/printing/Printer.h"
#include "platform/system/Errors.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHelpEvent>
#include <QIntValidator>
#include <QSettings>
#include <QStandardPaths>
#include <QToolTip>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <utility>

namespace pagimo::preview {

namespace {

QString FromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string ToStd(const QString& s) {
    return s.toUtf8().toStdString();
}

// A file dialog of Qt's own kind, so that it looks and behaves the same everywhere (and can be driven).
void PrepareFileDialog(QFileDialog& dialog, const QString& title) {
    dialog.setWindowTitle(title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowModality(Qt::ApplicationModal);
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

    for (int i = 0; i < ToolBarGlyphCount; ++i)
        Images << ToolBarGlyph(i);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setContentsMargins(2, 2, 2, 2);
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    AddDivider(QStringLiteral("ToolButton1"));
    ZoomFit =
        AddButton(QStringLiteral("ZoomFit"), QStringLiteral("Zoom to fit"), 0, &TQRStandardPreview::ZoomToFitClick);
    Zoom100 = AddButton(QStringLiteral("Zoom100"), QStringLiteral("100%"), 1, &TQRStandardPreview::ZoomTo100Click);
    ZoomToWidth = AddButton(QStringLiteral("ZoomToWidth"), QStringLiteral("Zoom to width"), 2,
                            &TQRStandardPreview::ZoomToWidthClick);
    FZoomGroup = new QButtonGroup(this);
    FZoomGroup->setExclusive(true);
    for (QToolButton* b : {ZoomFit, Zoom100, ZoomToWidth}) {
        b->setCheckable(true);
        FZoomGroup->addButton(b);
    }
    AddDivider(QStringLiteral("Separator1"));
    FirstPage =
        AddButton(QStringLiteral("FirstPage"), QStringLiteral("First page"), 3, &TQRStandardPreview::FirstPageClick);
    PreviousPage = AddButton(QStringLiteral("PreviousPage"), QStringLiteral("Previous page"), 4,
                             &TQRStandardPreview::PrevPageClick);
    ToolButton2 =
        AddButton(QStringLiteral("ToolButton2"), QStringLiteral("Next page"), 5, &TQRStandardPreview::NextPageClick);
    LastPage =
        AddButton(QStringLiteral("LastPage"), QStringLiteral("Last page"), 6, &TQRStandardPreview::LastPageClick);
    AddDivider(QStringLiteral("Separator2"));
    PrintSetup = AddButton(QStringLiteral("PrintSetup"), QStringLiteral("Printer setup"), 7,
                           &TQRStandardPreview::PrintSetupClick);
    Print = AddButton(QStringLiteral("Print"), QStringLiteral("Print"), 8, &TQRStandardPreview::PrintClick);
    AddDivider(QStringLiteral("Separator3"));
    SaveReport =
        AddButton(QStringLiteral("SaveReport"), QStringLiteral("Save Report"), 10, &TQRStandardPreview::SaveClick);
    LoadReport =
        AddButton(QStringLiteral("LoadReport"), QStringLiteral("Load Report"), 9, &TQRStandardPreview::LoadClick);
    AddDivider(QStringLiteral("Separator4"));
    ExitButton = new QPushButton(QStringLiteral("&Close"), ToolBar1);
    ExitButton->setObjectName(QStringLiteral("ExitButton"));
    ExitButton->setFlat(true);
    ExitButton->setFixedSize(40, 22);
    ExitButton->setFocusPolicy(Qt::NoFocus);
    connect(ExitButton, &QPushButton::clicked, this, [this] { ExitClick(); });
    ToolBar1->addWidget(ExitButton);

    // What comes after the fixed buttons: the recent files.
    AddDivider(QStringLiteral("Separator5"));
    ContinuousAction = new QAction(QStringLiteral("Continuous"), this);
    ContinuousAction->setObjectName(QStringLiteral("ContinuousAction"));
    ContinuousAction->setCheckable(true);
    ContinuousAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    ContinuousAction->setToolTip(QStringLiteral("Continuous pages (Ctrl+Shift+C)"));
    connect(ContinuousAction, &QAction::toggled, this, [this](bool on) { SetContinuous(on); });
    addAction(ContinuousAction);
    ContinuousButton = new QToolButton(ToolBar1);
    ContinuousButton->setObjectName(QStringLiteral("ContinuousButton"));
    ContinuousButton->setDefaultAction(ContinuousAction);
    ContinuousButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ContinuousButton->setAutoRaise(true);
    ContinuousButton->setFocusPolicy(Qt::NoFocus);
    ToolBar1->addWidget(ContinuousButton);
    RecentFiles = new QToolButton(ToolBar1);
    RecentFiles->setObjectName(QStringLiteral("RecentFiles"));
    RecentFiles->setText(QStringLiteral("Recent"));
    RecentFiles->setToolTip(QStringLiteral("Recent files"));
    RecentFiles->setToolButtonStyle(Qt::ToolButtonTextOnly);
    RecentFiles->setAutoRaise(true);
    RecentFiles->setFocusPolicy(Qt::NoFocus);
    RecentFiles->setPopupMode(QToolButton::InstantPopup);
    RecentMenu = new QMenu(RecentFiles);
    RecentMenu->setObjectName(QStringLiteral("RecentMenu"));
    RecentFiles->setMenu(RecentMenu);
    ToolBar1->addWidget(RecentFiles);
    RecentFiles->setEnabled(false);

    QRPreview = new TQRPreview(this);
    QRPreview->setFocusPolicy(Qt::StrongFocus);
    QRPreview->OnPageAvailable = [this](QObject* sender, int32_t n) { QRPreviewPageAvailable(sender, n); };
    QRPreview->OnProgressUpdate = [this](QObject* sender, int32_t p) { QRPreviewProgressUpdate(sender, p); };
    QRPreview->OnPageProblem = [this](int32_t page, const QString& reason) { PageProblem(page, reason); };
    QRPreview->OnMissingFont = [this](int32_t page, const QString& face, uint32_t glyphs) {
        MissingFont(page, face, glyphs);
    };
    // The page area: the pages, or a live preview's error in their place.
    auto* pageArea = new QWidget(this);
    pageArea->setObjectName(QStringLiteral("PageArea"));
    auto* pageLayout = new QVBoxLayout(pageArea);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    LiveErrorPanel = new QLabel(pageArea);
    LiveErrorPanel->setObjectName(QStringLiteral("LiveErrorPanel"));
    LiveErrorPanel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LiveErrorPanel->setWordWrap(true);
    LiveErrorPanel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LiveErrorPanel->setMargin(24);
    LiveErrorPanel->setAutoFillBackground(true);
    LiveErrorPanel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QPalette errorPalette = LiveErrorPanel->palette();
    errorPalette.setColor(QPalette::Window, QColor(0xff, 0xf4, 0xf2));
    errorPalette.setColor(QPalette::WindowText, QColor(0x20, 0x20, 0x20));
    LiveErrorPanel->setPalette(errorPalette);
    LiveErrorPanel->hide();
    LiveWarningPanel = new QLabel(pageArea);
    LiveWarningPanel->setObjectName(QStringLiteral("LiveWarningPanel"));
    LiveWarningPanel->setWordWrap(true);
    LiveWarningPanel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LiveWarningPanel->setMargin(6);
    LiveWarningPanel->setAutoFillBackground(true);
    QPalette warningPalette = LiveWarningPanel->palette();
    warningPalette.setColor(QPalette::Window, QColor(0xff, 0xf6, 0xd5));
    warningPalette.setColor(QPalette::WindowText, QColor(0x20, 0x20, 0x20));
    LiveWarningPanel->setPalette(warningPalette);
    LiveWarningPanel->hide();
    pageLayout->addWidget(LiveErrorPanel);
    pageLayout->addWidget(LiveWarningPanel);
    pageLayout->addWidget(QRPreview);
    setCentralWidget(pageArea);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFixedHeight(19);
    ProgressPanel = new QLabel(FProgressPanel.Text(), StatusBar);
    ProgressPanel->setObjectName(QStringLiteral("Panel0"));
    ProgressPanel->setFixedWidth(40);
    ProgressPanel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PagePanel = new QLabel(QStringLiteral("Page"), StatusBar);
    PagePanel->setObjectName(QStringLiteral("Panel1"));
    PagePanel->setMinimumWidth(50);
    for (QLabel* panel : {ProgressPanel, PagePanel})
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar->addWidget(ProgressPanel);
    StatusBar->addWidget(PagePanel, 1); // the last panel reaches the window's right edge
    LiveStatusPanel = new QLabel(StatusBar);
    LiveStatusPanel->setObjectName(QStringLiteral("LiveStatusPanel"));
    LiveStatusPanel->hide();
    StatusBar->addPermanentWidget(LiveStatusPanel);
    JobPanel = new QLabel(StatusBar);
    JobPanel->setObjectName(QStringLiteral("JobPanel"));
    JobPanel->hide();
    StatusBar->addPermanentWidget(JobPanel);
    ReloadPanel = new QLabel(StatusBar);
    ReloadPanel->setObjectName(QStringLiteral("ReloadPanel"));
    ReloadPanel->hide();
    StatusBar->addPermanentWidget(ReloadPanel);
    ZoomPanel = new QLabel(StatusBar);
    ZoomPanel->setObjectName(QStringLiteral("ZoomPanel"));
    ZoomPanel->setMinimumWidth(44);
    ZoomPanel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ZoomPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar->addPermanentWidget(ZoomPanel);
    GoToPageField = new QLineEdit(StatusBar);
    GoToPageField->setObjectName(QStringLiteral("GoToPageField"));
    GoToPageField->setPlaceholderText(QStringLiteral("Go to page"));
    GoToPageField->setToolTip(QStringLiteral("Go to page (Ctrl+G)"));
    GoToPageField->setValidator(new QIntValidator(1, 999999, GoToPageField));
    GoToPageField->setFixedWidth(80);
    GoToPageField->setFixedHeight(17);
    connect(GoToPageField, &QLineEdit::returnPressed, this, [this] { GoToPageEntered(); });
    StatusBar->addPermanentWidget(GoToPageField);
    setStatusBar(StatusBar);

    ZoomInAction = AddAction(QStringLiteral("ZoomIn"),
                             {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
                             [this] { QRPreview->ZoomStep(+1); });
    ZoomOutAction =
        AddAction(QStringLiteral("ZoomOut"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, [this] { QRPreview->ZoomStep(-1); });
    ZoomResetAction =
        AddAction(QStringLiteral("ZoomReset"), {QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { QRPreview->SetZoom(100); });
    GoToPageAction = AddAction(QStringLiteral("GoToPage"), {QKeySequence(Qt::CTRL | Qt::Key_G)}, [this] {
        GoToPageField->setFocus(Qt::ShortcutFocusReason);
        GoToPageField->selectAll();
    });
    ReloadAction = AddAction(QStringLiteral("Reload"), {QKeySequence(Qt::Key_F5)}, [this] { ReloadClick(); });
    FullScreenAction =
        AddAction(QStringLiteral("FullScreen"), {QKeySequence(Qt::Key_F11)}, [this] { ToggleFullScreen(); });
    FindBar = new QToolBar(this);
    FindBar->setObjectName(QStringLiteral("FindBar"));
    FindBar->setMovable(false);
    FindBar->setFloatable(false);
    FindBar->toggleViewAction()->setVisible(false);
    FindField = new QLineEdit(FindBar);
    FindField->setObjectName(QStringLiteral("FindField"));
    FindField->setPlaceholderText(QStringLiteral("Find"));
    FindField->setToolTip(QStringLiteral("Find: Enter next, Shift+Enter previous, Esc closes"));
    FindField->setFixedWidth(220);
    FindBar->addWidget(FindField);
    FindPreviousAction = FindBar->addAction(QStringLiteral("Previous"));
    FindPreviousAction->setObjectName(QStringLiteral("FindPrevious"));
    FindPreviousAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    FindPreviousAction->setToolTip(QStringLiteral("Previous hit (Shift+F3)"));
    connect(FindPreviousAction, &QAction::triggered, this, [this] { FindPrevious(); });
    FindNextAction = FindBar->addAction(QStringLiteral("Next"));
    FindNextAction->setObjectName(QStringLiteral("FindNext"));
    FindNextAction->setShortcut(QKeySequence(Qt::Key_F3));
    FindNextAction->setToolTip(QStringLiteral("Next hit (F3)"));
    connect(FindNextAction, &QAction::triggered, this, [this] { FindNext(); });
    addAction(FindPreviousAction);
    addAction(FindNextAction);
    MatchCase = new QCheckBox(QStringLiteral("Match case"), FindBar);
    MatchCase->setObjectName(QStringLiteral("MatchCase"));
    WholeWords = new QCheckBox(QStringLiteral("Whole words"), FindBar);
    WholeWords->setObjectName(QStringLiteral("WholeWords"));
    FindBar->addWidget(MatchCase);
    FindBar->addWidget(WholeWords);
    FindStatus = new QLabel(FindBar);
    FindStatus->setObjectName(QStringLiteral("FindStatus"));
    FindStatus->setContentsMargins(8, 0, 8, 0);
    FindBar->addWidget(FindStatus);
    addToolBar(Qt::BottomToolBarArea, FindBar);
    FindBar->hide();
    FFindTimer = new QTimer(this);
    FFindTimer->setInterval(0);
    connect(FFindTimer, &QTimer::timeout, this, [this] { FindStep(); });
    connect(FindField, &QLineEdit::textEdited, this, [this] { StartFind(); });
    connect(MatchCase, &QCheckBox::toggled, this, [this] { StartFind(); });
    connect(WholeWords, &QCheckBox::toggled, this, [this] { StartFind(); });
    FindAction = AddAction(QStringLiteral("Find"), {QKeySequence(Qt::CTRL | Qt::Key_F)}, [this] { ShowFindBar(); });
    CopyAction = AddAction(QStringLiteral("Copy"), {QKeySequence(Qt::CTRL | Qt::Key_C)}, [this] { CopySelection(); });
    SelectPageAction =
        AddAction(QStringLiteral("SelectPage"), {QKeySequence(Qt::CTRL | Qt::Key_A)}, [this] { SelectPage(); });
    Thumbnails = new TThumbnailPanel(this, [this] { return FReportPrinter; });
    addDockWidget(Qt::LeftDockWidgetArea, Thumbnails);
    Thumbnails->hide();
    Thumbnails->OnPageClicked = [this](int32_t n) {
        QRPreview->SetPageNumber(n);
        UpdatePageInfo();
    };
    ThumbnailsAction = AddAction(QStringLiteral("ThumbnailsToggle"), {QKeySequence(Qt::Key_F4)},
                                 [this] { Thumbnails->setVisible(!Thumbnails->isVisible()); });
    QRPreview->SetPaintMarks([this](QPainter& painter, int32_t page, QSize sheet) { PaintMarks(painter, page, sheet); });

    QRPreview->OnZoomApplied = [this] { UpdateZoomInfo(); };
    QRPreview->OnPageNumberChanged = [this] { UpdatePageInfo(); };
    FReloadTimer = new QTimer(this);
    FReloadTimer->setSingleShot(true);
    FReloadTimer->setInterval(300);
    connect(FReloadTimer, &QTimer::timeout, this, [this] { FileChangedOnDisk(); });
    connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, [this] { FReloadTimer->start(); });
    // An editor that deletes a file and writes it anew leaves nothing watched under the name: the
    // folder says when it is back.
    connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        const QStringList watched = FWatcher.files();
        for (const QString& file : FWatchedFiles)
            if (!watched.contains(file) && QFileInfo(file).isFile()) FReloadTimer->start();
    });

    // Every key press reaches FormKeyDown before the focused control sees it.
    qApp->installEventFilter(this);

    // Construction proper, once the components exist.
    FReportPrinter = reportPrinter;
    // A printer freed while the window stays open (a failed run) must not be reached from here.
    QRPreview->OnReportPrinterGone = [this] {
        FReportPrinter = nullptr;
        ApplyButtonRules();
    };
    setWindowState(windowState() | Qt::WindowMaximized);
    QRPreview->SetReportPrinter(reportPrinter);
    if (reportPrinter && !reportPrinter->DocumentTitle().empty())
        setWindowTitle(FromStd(reportPrinter->DocumentTitle()));
    ZoomToWidth->setChecked(true);
    FButtonRules.Constructed(reportPrinter && reportPrinter->JobState() == printer::jsFinished);
    ApplyButtonRules();
    UpdateZoomInfo();
    RebuildRecentMenu();
    QRPreview->setFocus();
}

QAction* TQRStandardPreview::AddAction(const QString& name, const QList<QKeySequence>& keys, std::function<void()> run) {
    auto* action = new QAction(this);
    action->setObjectName(name);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    addAction(action);
    return action;
}

void TQRStandardPreview::UpdateZoomInfo() {
    ZoomPanel->setText(QString::number(QRPreview->Zoom()) + QLatin1Char('%'));
}

void TQRStandardPreview::GoToPageEntered() {
    bool ok = false;
    const int n = GoToPageField->text().trimmed().toInt(&ok);
    if (ok && FReportPrinter && n >= 1 && n <= FReportPrinter->PageTotal()) QRPreview->SetPageNumber(n);
    UpdatePageInfo();
    GoToPageField->clear();
    QRPreview->setFocus();
}

void TQRStandardPreview::ReloadClick() {
    if (FLiveRerun) {
        FLiveRerun();
        return;
    }
    if (!FReportPrinter || !FReportPrinter->LoadedFromFile()) return;
    const QString fileName = FromStd(FReportPrinter->FileName());
    // A file that cannot be shown whole (caught while it is being written) leaves the pages shown,
    // and with them the reader's place, as they are.
    if (!FileWhole(fileName)) return;
    const int32_t page = QRPreview->PageNumber();
    LoadReportFile(fileName);
    if (FReportPrinter && FReportPrinter->PageTotal() > 0)
        QRPreview->SetPageNumber(std::min(page, FReportPrinter->PageTotal()));
    UpdatePageInfo();
}

bool TQRStandardPreview::FileWhole(const QString& fileName) {
    std::string problem;
    try {
        pagestore::TQRPageList pages;
        pages.OpenFile(ToStd(fileName));
        if (pages.ReachablePages(&problem) == pages.NumPages()) problem.clear();
    } catch (const std::exception& e) {
        problem = e.what();
    }
    if (problem.empty()) {
        ReloadPanel->hide();
        return true;
    }
    ReloadPanel->setText(QStringLiteral("Not reloaded: %1").arg(FromStd(problem)));
    ReloadPanel->setToolTip(ReloadPanel->text());
    ReloadPanel->show();
    return false;
}

void TQRStandardPreview::FileChangedOnDisk() {
    // A file that is gone or half written keeps the pages shown; the next change tries again.
    if (FWatchedFiles.isEmpty() || !QFileInfo(FWatchedFiles.constFirst()).isFile()) {
        WatchFile();
        return;
    }
    // A file still being written is left alone until its size and time have held still for a
    // while: it is looked at again after another interval.
    QFileInfo info(FWatchedFiles.constFirst());
    info.setCaching(false);
    const std::pair<qint64, QDateTime> stamp(info.size(), info.lastModified());
    if (stamp != FDiskStamp) {
        FDiskStamp = stamp;
        FReloadTimer->start();
        return;
    }
    FDiskStamp = {};
    if (FLiveRerun) {
        WatchFile();
        FLiveRerun();
        return;
    }
    try {
        ReloadClick();
    } catch (const std::exception&) {
    }
    WatchFile();
}

void TQRStandardPreview::WatchFile() {
    if (!FWatcher.files().isEmpty()) FWatcher.removePaths(FWatcher.files());
    if (!FWatcher.directories().isEmpty()) FWatcher.removePaths(FWatcher.directories());
    // A file replaced by renaming is a new file: it is watched again by name.
    QStringList folders;
    for (const QString& file : FWatchedFiles) {
        const QFileInfo info(file);
        if (info.isFile()) FWatcher.addPath(file);
        if (const QString folder = info.absolutePath(); !folders.contains(folder) && QFileInfo(folder).isDir())
            folders << folder;
    }
    if (!folders.isEmpty()) FWatcher.addPaths(folders);
}

void TQRStandardPreview::SetLiveSource(const QStringList& watchedFiles, std::function<void()> rerun) {
    FLiveRerun = std::move(rerun);
    SetWatchedFiles(watchedFiles);
}

void TQRStandardPreview::SetWatchedFiles(const QStringList& files) {
    QStringList absolute;
    for (const QString& file : files)
        if (!absolute.contains(QFileInfo(file).absoluteFilePath())) absolute << QFileInfo(file).absoluteFilePath();
    if (absolute == FWatchedFiles) return;
    FWatchedFiles = absolute;
    WatchFile();
}

void TQRStandardPreview::ShowLivePages(const QString& fileName) {
    if (!FReportPrinter) return;
    const int32_t page = QRPreview->PageNumber();
    LoadReportFile(fileName);
    if (FReportPrinter && FReportPrinter->PageTotal() > 0)
        QRPreview->SetPageNumber(std::clamp(page, 1, FReportPrinter->PageTotal()));
    FLiveError.clear();
    LiveErrorPanel->hide();
    LiveErrorPanel->clear();
    QRPreview->show();
    UpdatePageInfo();
}

void TQRStandardPreview::ShowLiveWarnings(const QStringList& warnings) {
    // A few lines at most, so that the pages keep the window.
    constexpr int Shown = 4;
    QStringList lines = warnings.mid(0, Shown);
    if (warnings.size() > Shown)
        lines << QStringLiteral("and %1 more (all of them on stderr)").arg(warnings.size() - Shown);
    LiveWarningPanel->setText(lines.join(QLatin1Char('\n')));
    LiveWarningPanel->setVisible(!warnings.isEmpty() && FLiveError.isEmpty());
}

void TQRStandardPreview::ShowLiveStatus(const QString& text) {
    LiveStatusPanel->setText(text);
    LiveStatusPanel->setVisible(!text.isEmpty());
}

void TQRStandardPreview::ShowLiveError(const QString& text) {
    FLiveError = text;
    LiveErrorPanel->setText(QStringLiteral("<p style='font-size:large'><b>The report could not be run</b></p>"
                                           "<pre style='white-space:pre-wrap'>%1</pre>"
                                           "<p>The pages come back when the description is saved again.</p>")
                                .arg(text.toHtmlEscaped()));
    LiveErrorPanel->show();
    LiveWarningPanel->hide();
    QRPreview->hide();
}

void TQRStandardPreview::SetContinuous(bool value) {
    if (ContinuousAction->isChecked() != value) ContinuousAction->setChecked(value); // comes back here
    QRPreview->SetContinuous(value);
    UpdatePageInfo();
}

// ---- find ----

std::shared_ptr<const emf::TEmfPicture> TQRStandardPreview::FetchForText(int32_t page) const {
    const auto document = FReportPrinter ? FReportPrinter->Document() : nullptr;
    return document && page <= FReportPrinter->PageTotal() ? document->Page(page).Picture : nullptr;
}

void TQRStandardPreview::ShowFindBar() {
    FindBar->show();
    FindField->setFocus(Qt::ShortcutFocusReason);
    FindField->selectAll();
}

void TQRStandardPreview::CloseFindBar() {
    FFinder.Cancel();
    FFindTimer->stop();
    FFinder.Start(0, 1, QString(), {}, nullptr);
    FHitPage = 0;
    FHitIndex = -1;
    FindStatus->clear();
    FindBar->hide();
    QRPreview->setFocus();
    QRPreview->viewport()->update();
    QRPreview->PageImage()->update();
}

void TQRStandardPreview::StartFind() {
    FHitPage = 0;
    FHitIndex = -1;
    const int32_t total = FReportPrinter ? FReportPrinter->PageTotal() : 0;
    FFinder.Start(total, QRPreview->PageNumber(), FindField->text(), {MatchCase->isChecked(), WholeWords->isChecked()},
                  [this](int32_t n) { return FetchForText(n); });
    if (FFinder.Running())
        FFindTimer->start();
    else
        FFindTimer->stop();
    UpdateFindStatus();
    QRPreview->viewport()->update();
    QRPreview->PageImage()->update();
}

// One slice of the search; the event loop runs between slices, so the window answers meanwhile.
void TQRStandardPreview::FindStep() {
    const bool done = FFinder.Step(15);
    if (done) FFindTimer->stop();
    // The first hit found (at or after the page shown, where the search began) is gone to at once.
    if (FHitPage == 0 && !FFinder.Hits().empty()) {
        const int32_t from = QRPreview->PageNumber();
        auto it = FFinder.Hits().lower_bound(from);
        if (it == FFinder.Hits().end()) it = FFinder.Hits().begin();
        GoToHit(it->first, 0);
    }
    UpdateFindStatus();
    QRPreview->viewport()->update();
    QRPreview->PageImage()->update();
}

void TQRStandardPreview::UpdateFindStatus() {
    if (FFinder.Needle().isEmpty()) {
        FindStatus->clear();
        return;
    }
    QString text;
    if (FHitPage > 0) {
        int ordinal = 0;
        for (const auto& [page, hits] : FFinder.Hits()) {
            if (page >= FHitPage) break;
            ordinal += static_cast<int>(hits.size());
        }
        text = QStringLiteral("%1 of %2").arg(ordinal + FHitIndex + 1).arg(FFinder.HitCount());
    } else {
        text = FFinder.Running() ? QString() : QStringLiteral("Not found");
    }
    if (FFinder.Running()) {
        const int percent = FFinder.PageCount() ? FFinder.PagesSearched() * 100 / FFinder.PageCount() : 0;
        text += (text.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("searching %1%").arg(percent);
    }
    FindStatus->setText(text);
}

void TQRStandardPreview::GoToHit(int32_t page, int index) {
    const auto& hits = FFinder.HitsOn(page);
    if (index < 0 || index >= static_cast<int>(hits.size())) return;
    FHitPage = page;
    FHitIndex = index;
    QRPreview->ShowPlace(page, hits[static_cast<size_t>(index)]);
    UpdatePageInfo();
    UpdateFindStatus();
}

void TQRStandardPreview::FindNext() {
    if (!FindBar->isVisible()) ShowFindBar();
    const auto& all = FFinder.Hits();
    if (all.empty()) return;
    if (FHitPage > 0 && FHitIndex + 1 < static_cast<int>(FFinder.HitsOn(FHitPage).size())) {
        GoToHit(FHitPage, FHitIndex + 1);
        return;
    }
    auto it = all.upper_bound(FHitPage > 0 ? FHitPage : QRPreview->PageNumber() - 1);
    if (it == all.end()) it = all.begin(); // round the end
    GoToHit(it->first, 0);
}

void TQRStandardPreview::FindPrevious() {
    if (!FindBar->isVisible()) ShowFindBar();
    const auto& all = FFinder.Hits();
    if (all.empty()) return;
    if (FHitPage > 0 && FHitIndex > 0) {
        GoToHit(FHitPage, FHitIndex - 1);
        return;
    }
    auto it = all.lower_bound(FHitPage > 0 ? FHitPage : QRPreview->PageNumber());
    if (it == all.begin()) it = all.end(); // round the start
    --it;
    GoToHit(it->first, static_cast<int>(it->second.size()) - 1);
}

void TQRStandardPreview::PaintMarks(QPainter& painter, int32_t page, QSize sheet) const {
    const auto place = [&](const QRectF& r) {
        return QRectF(r.x() * sheet.width(), r.y() * sheet.height(), r.width() * sheet.width(),
                      r.height() * sheet.height());
    };
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    const auto& hits = FFinder.HitsOn(page);
    for (size_t i = 0; i < hits.size(); ++i) {
        const bool current = page == FHitPage && static_cast<int>(i) == FHitIndex;
        painter.setBrush(current ? QColor(255, 150, 30) : QColor(255, 235, 60));
        painter.drawRect(place(hits[i]));
    }
    if (page == FSelectionPage) {
        painter.setBrush(QColor(150, 190, 255));
        for (const QRectF& r : FSelectionRects)
            painter.drawRect(place(r));
    }
    painter.restore();
}

// ---- selection ----

void TQRStandardPreview::SelectArea(int32_t page, const QRectF& area) {
    FSelectionPage = 0;
    FSelectionRects.clear();
    FSelectedText.clear();
    if (std::shared_ptr<const emf::TEmfPicture> picture = FetchForText(page)) {
        FSelectedText = TextInArea(PageTextOf(*picture), area.normalized(), &FSelectionRects);
        FSelectionPage = page;
    }
    QRPreview->viewport()->update();
    QRPreview->PageImage()->update();
}

void TQRStandardPreview::SelectPage() {
    SelectArea(QRPreview->PageNumber(), QRectF(0, 0, 1, 1));
}

void TQRStandardPreview::CopySelection() const {
    if (!FSelectedText.isEmpty()) QGuiApplication::clipboard()->setText(FSelectedText);
}

// A drag with the left button on a page selects the text in the rectangle it spans.
bool TQRStandardPreview::SelectionMouse(QEvent* event) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint at = QRPreview->viewport()->mapFromGlobal(mouse->globalPosition().toPoint());
    if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
        const auto [page, place] = QRPreview->PlaceAt(at);
        FDragPage = page;
        FDragStart = place;
        return FDragPage > 0;
    }
    if (FDragPage == 0) return false;
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease) {
        const auto [page, place] = QRPreview->PlaceAt(at);
        // A drag beyond the page it began on stays on that page.
        QPointF end = place;
        if (page != FDragPage) end.setY(page > FDragPage ? 1.0 : 0.0);
        SelectArea(FDragPage, QRectF(FDragStart, end));
        if (event->type() == QEvent::MouseButtonRelease) FDragPage = 0;
        return true;
    }
    return false;
}

void TQRStandardPreview::ToggleFullScreen() {
    if (isFullScreen()) {
        setWindowState(FStateBeforeFullScreen & ~Qt::WindowFullScreen);
        return;
    }
    FStateBeforeFullScreen = windowState();
    setWindowState(windowState() | Qt::WindowFullScreen);
}

QString TQRStandardPreview::SettingsFileName() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/pagimo/pagimo.conf");
}

QStringList TQRStandardPreview::RecentFileList() {
    QSettings settings(SettingsFileName(), QSettings::IniFormat);
    QStringList files = settings.value(QStringLiteral("recentFiles")).toStringList();
    files.removeAll(QString());
    while (files.size() > MaxRecentFiles)
        files.removeLast();
    return files;
}

void TQRStandardPreview::AddRecentFile(const QString& fileName) {
    if (!FRemembers && !FRecentFiles) return;
    const QString path = QFileInfo(fileName).absoluteFilePath();
    QStringList files = RecentFileList();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > MaxRecentFiles)
        files.removeLast();
    QSettings settings(SettingsFileName(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("recentFiles"), files);
    RebuildRecentMenu();
}

void TQRStandardPreview::RebuildRecentMenu() {
    RecentMenu->clear();
    const QStringList files = FRemembers || FRecentFiles ? RecentFileList() : QStringList();
    for (const QString& file : files) {
        QAction* a = RecentMenu->addAction(QFileInfo(file).fileName(), this, [this, file] { LoadReportFile(file); });
        a->setToolTip(file);
    }
    RecentFiles->setEnabled(!files.isEmpty());
}

void TQRStandardPreview::SetRecentFiles(bool value) {
    FRecentFiles = value;
    RebuildRecentMenu();
}

void TQRStandardPreview::SetRemembersSettings(bool value) {
    FRemembers = value;
    RebuildRecentMenu();
}

void TQRStandardPreview::RestoreSettings() {
    if (!FRemembers) return;
    QSettings settings(SettingsFileName(), QSettings::IniFormat);
    const QByteArray geometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
    SetContinuous(settings.value(QStringLiteral("view/continuous"), false).toBool());
    const QString mode = settings.value(QStringLiteral("view/zoomMode")).toString();
    if (mode == QLatin1String("fitPage")) {
        ZoomFit->setChecked(true);
        QRPreview->FitWholePage();
        FZoomRestored = true;
    } else if (mode == QLatin1String("custom")) {
        const int zoom = settings.value(QStringLiteral("view/zoom"), 100).toInt();
        if (ZoomAccepted(zoom)) {
            if (zoom == 100) Zoom100->setChecked(true);
            QRPreview->SetZoom(zoom);
            FZoomRestored = true;
        }
    } else if (mode == QLatin1String("fitWidth")) {
        ZoomToWidth->setChecked(true);
        QRPreview->FitPageWidth();
    }
}

void TQRStandardPreview::SaveSettings() const {
    if (!FRemembers) return;
    QSettings settings(SettingsFileName(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    const TZoomMode mode = QRPreview->ZoomMode();
    settings.setValue(QStringLiteral("view/zoomMode"), mode == zmFitPage    ? QStringLiteral("fitPage")
                                                       : mode == zmFitWidth ? QStringLiteral("fitWidth")
                                                                            : QStringLiteral("custom"));
    settings.setValue(QStringLiteral("view/zoom"), QRPreview->Zoom());
    settings.setValue(QStringLiteral("view/continuous"), QRPreview->Continuous());
}

QString TQRStandardPreview::ToolTipWithKeys(const QWidget* button) const {
    QString keys;
    if (button == FirstPage)
        keys = QStringLiteral("Home, Ctrl+Page Up");
    else if (button == PreviousPage)
        keys = QStringLiteral("Page Up");
    else if (button == ToolButton2)
        keys = QStringLiteral("Page Down");
    else if (button == LastPage)
        keys = QStringLiteral("End, Ctrl+Page Down");
    else if (button == Zoom100)
        keys = QStringLiteral("Ctrl+0");
    else if (button == ExitButton)
        keys = QStringLiteral("Esc");
    const QString hint = button == ExitButton ? QStringLiteral("Close") : button->toolTip();
    return keys.isEmpty() ? hint : hint + QStringLiteral(" (") + keys + QLatin1Char(')');
}

TQRStandardPreview::~TQRStandardPreview() {
    qApp->removeEventFilter(this);
}

QToolButton* TQRStandardPreview::AddButton(const QString& name, const QString& hint, int glyph,
                                           void (TQRStandardPreview::*click)()) {
    auto* b = new QToolButton(ToolBar1);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setIcon(QIcon(Images.value(glyph)));
    b->setAutoRaise(true);
    b->setFixedSize(23, 22);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QToolButton::clicked, this, [this, click] { (this->*click)(); });
    ToolBar1->addWidget(b);
    return b;
}

void TQRStandardPreview::AddDivider(const QString& name) {
    auto* line = new QFrame(ToolBar1);
    line->setObjectName(name);
    line->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    line->setFixedSize(8, 22);
    ToolBar1->addWidget(line);
}

void TQRStandardPreview::ApplyButtonRules() {
    Print->setEnabled(FButtonRules.PrintEnabled());
    PrintSetup->setEnabled(FButtonRules.PrintSetupEnabled());
}

void TQRStandardPreview::UpdatePageInfo() {
    const int32_t total = QRPreview->ReportPrinter() ? QRPreview->ReportPrinter()->PageTotal() : 0;
    PagePanel->setText(PageInfoText(QRPreview->PageNumber(), total));
    if (Thumbnails) {
        if (Thumbnails->List->model()->rowCount() != total) Thumbnails->Reset();
        Thumbnails->SetCurrent(QRPreview->PageNumber());
    }
}

// The zoom buttons first let queued notifications through, so the zoom applies to the current state.
void TQRStandardPreview::ZoomToFitClick() {
    QCoreApplication::processEvents();
    QRPreview->FitWholePage();
}

void TQRStandardPreview::ZoomTo100Click() {
    QCoreApplication::processEvents();
    QRPreview->SetZoom(100);
}

void TQRStandardPreview::ZoomToWidthClick() {
    QCoreApplication::processEvents();
    QRPreview->FitPageWidth();
}

void TQRStandardPreview::FirstPageClick() {
    QRPreview->SetPageNumber(1);
    UpdatePageInfo();
}

void TQRStandardPreview::PrevPageClick() {
    QRPreview->SetPageNumber(QRPreview->PageNumber() - 1);
    UpdatePageInfo();
}

void TQRStandardPreview::NextPageClick() {
    QRPreview->SetPageNumber(QRPreview->PageNumber() + 1);
    UpdatePageInfo();
}

void TQRStandardPreview::LastPageClick() {
    if (FReportPrinter) QRPreview->SetPageNumber(FReportPrinter->PageTotal());
    UpdatePageInfo();
}

void TQRStandardPreview::PrintClick() {
    if (!FReportPrinter) return;
    // A report that is generating again with another printer is left alone.
    if (const auto* report = dynamic_cast<const printer::TQRReportWindow*>(FReportPrinter->ReportWindow());
        report && !report->IsCompositeReport() && report->PrinterBusy())
        return;
    if (!FReportPrinter->LoadedFromFile()) {
        FReportPrinter->Print();
        return;
    }
    // Loaded pages are printed as the print dialog says; before any setup, it asks first.
    if (!FReportPrinter->HasPrinters()) throw EQRError("No printer is installed");
    if (!FStoredPrintSetUp && !SetUpStoredPagesPrint()) return;
    printer::TQRPrinter* p = FReportPrinter;
    p->Print();
    if (const int job = p->Device().LastJobId(); job > 0 && FReportPrinter == p) {
        JobPanel->setText(QStringLiteral("Sent to %1 as job %2")
                              .arg(QString::fromStdString(p->Settings().DeviceName()))
                              .arg(job));
        JobPanel->show();
        QTimer::singleShot(6000, JobPanel, [panel = JobPanel] { panel->hide(); });
    }
}

void TQRStandardPreview::PrintSetupClick() {
    if (!FReportPrinter) return;
    if (!FReportPrinter->LoadedFromFile()) {
        FReportPrinter->PrintSetup(PrintSetup);
        return;
    }
    if (!FReportPrinter->HasPrinters()) throw EQRError("No printer is installed");
    SetUpStoredPagesPrint();
}

bool TQRStandardPreview::SetUpStoredPagesPrint() {
    if (!printer::StoredPagesPrintSetup(*FReportPrinter, this)) return false;
    FStoredPrintSetUp = true;
    return true;
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

void TQRStandardPreview::MissingFont(int32_t page, const QString& face, uint32_t glyphs) {
    // Once per face and document, in the status bar: the page is drawn all the same.
    if (FMissingFontsTold.contains(face)) return;
    FMissingFontsTold.push_back(face);
    StatusBar->showMessage(QStringLiteral("Page %1 needs the font \"%2\": its text is set in that font's glyph "
                                          "numbers and the font is not installed (%3 glyphs left out)")
                               .arg(page)
                               .arg(face)
                               .arg(glyphs));
}

void TQRStandardPreview::SetFileCaption(bool value) {
    FFileCaption = value;
    if (value && FReportPrinter && FReportPrinter->LoadedFromFile())
        setWindowTitle(QFileInfo(FromStd(FReportPrinter->FileName())).fileName() + QStringLiteral(" \u2013 Pagimo"));
}

void TQRStandardPreview::SaveClick() {
    if (!FReportPrinter) return;
    if (FReportPrinter->PageTotal() < 1) {
        ShowMessage(QStringLiteral("There are no pages to save"));
        return;
    }
    QFileDialog dialog(this);
    PrepareFileDialog(dialog, QStringLiteral("Save report"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const auto& library = printer::QRExportFilterLibrary();
    const QStringList filters = DialogFilters(FromStd(library.BuildSaveFilter()));
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("QRP"));
    // A name typed without an extension gets the extension of the chosen file type, not always QRP.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &filters, &library](const QString& f) {
        const printer::TQRExporterEntry* entry = library.EntryForFilterIndex(static_cast<int>(filters.indexOf(f)) + 1);
        dialog.setDefaultSuffix(entry ? FromStd(entry->Extension) : QStringLiteral("QRP"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const std::string fileName = ToStd(dialog.selectedFiles().constFirst());
    const qsizetype filterIndex = filters.indexOf(dialog.selectedNameFilter()) + 1;
    if (filterIndex <= 1) {
        FReportPrinter->SaveReportFile(fileName);
        return;
    }
    // The filter object is freed on the way out, also when the export fails.
    const std::unique_ptr<printer::TQRExporter> filter =
        library.CreateExporter(static_cast<int>(filterIndex), fileName);
    if (filter) FReportPrinter->ExportPages(*filter);
}

void TQRStandardPreview::LoadClick() {
    QFileDialog dialog(this);
    PrepareFileDialog(dialog, QStringLiteral("Load report"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Any name may be typed: a missing file is reported by the window, not refused by the dialog.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(DialogFilters(QStringLiteral("Report file") + QStringLiteral(" (*.QRP)|*.QRP")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    LoadReportFile(dialog.selectedFiles().constFirst());
}

void TQRStandardPreview::LoadReportFile(const QString& fileName) {
    if (!QFileInfo(fileName).isFile()) {
        QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), QStringLiteral("File does not exist"),
                        QMessageBox::Ok, this);
        box.exec();
        return;
    }
    if (!FReportPrinter) return;
    const bool hadPage = QRPreview->PageImage()->HasPage();
    // A file that cannot be opened raises here, before anything shown is touched.
    FReportPrinter->OpenReportFile(ToStd(fileName));
    FStoredPrintSetUp = false;
    FPageProblemShown = false;
    FMissingFontsTold.clear();
    // A damaged file is said so at once; its first page problem then needs no second message.
    const QString problem = FromStd(FReportPrinter->OpenProblem());
    QRPreview->SetPageNumber(1);
    // Page 1 of the new file, also when page 1 of the old one was shown.
    QRPreview->ShowPage(1);
    // The sheet takes the new file's paper (which may differ in size and orientation from what was
    // shown) instead of stretching the page over the old one. A window that showed nothing yet fits
    // the width, as it does when the first page of a report arrives.
    if (hadPage || FZoomRestored)
        QRPreview->ReapplyZoomMode();
    else
        QRPreview->FitPageWidth();
    UpdatePageInfo();
    FProgressPanel.Clear();
    ProgressPanel->setText(FProgressPanel.Text());
    FButtonRules.FileLoaded();
    ApplyButtonRules();
    // A live preview keeps the caption its caller gave (the description's name).
    if (!FLiveRerun) SetFileCaption(FFileCaption);
    // A live preview watches its description, not the file its pages came in.
    if (!FLiveRerun) {
        FWatchedFiles = QStringList{QFileInfo(fileName).absoluteFilePath()};
        WatchFile();
    }
    Thumbnails->Reset();
    Thumbnails->SetCurrent(QRPreview->PageNumber());
    // Found text and a selection belong to the pages they were found on.
    FSelectionPage = 0;
    FSelectionRects.clear();
    FSelectedText.clear();
    if (!FFinder.Needle().isEmpty()) StartFind();
    if (!FLiveRerun) AddRecentFile(fileName);
    if (!problem.isEmpty()) {
        FPageProblemShown = true;
        ShowMessage(problem);
    }
}

void TQRStandardPreview::ExitClick() {
    close();
}

void TQRStandardPreview::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    switch (PreviewKeyAction(key, modifiers)) {
    case kaExit:
        // Esc first leaves full screen; pressed again it closes the window.
        if (isFullScreen())
            ToggleFullScreen();
        else
            ExitClick();
        break;
    case kaFirstPage:
        FirstPageClick();
        break;
    case kaPrevPage:
        PrevPageClick();
        break;
    case kaNextPage:
        NextPageClick();
        break;
    case kaLastPage:
        LastPageClick();
        break;
    case kaNone:
        break;
    }
}

void TQRStandardPreview::QRPreviewPageAvailable(QObject*, int32_t) {
    UpdatePageInfo();
    const bool finished = FReportPrinter && FReportPrinter->JobState() == printer::jsFinished;
    FButtonRules.PageAvailable(finished);
    ApplyButtonRules();
    // A finished run has no progress left to show, also when it never told any.
    if (finished) {
        FProgressPanel.Clear();
        ProgressPanel->setText(FProgressPanel.Text());
    }
}

void TQRStandardPreview::QRPreviewProgressUpdate(QObject*, int32_t progress) {
    FProgressPanel.Update(progress);
    ProgressPanel->setText(FProgressPanel.Text());
}

void TQRStandardPreview::closeEvent(QCloseEvent* event) {
    event->accept();
    if (FClosed) return;
    FClosed = true;
    // The geometry saved is the normal one: the next window does not open full screen.
    if (isFullScreen()) ToggleFullScreen();
    SaveSettings();
    // The report behind the printer learns that its preview has gone; the window then frees itself,
    // and its preview control lets go of the printer.
    // The report may free the printer while it handles the message: it is not touched afterwards.
    if (printer::TQRPrinter* p = std::exchange(FReportPrinter, nullptr)) p->PreviewClosed(this);
    setAttribute(Qt::WA_DeleteOnClose);
}

void TQRStandardPreview::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    QRPreview->ApplyZoom();
}

// Key preview: a key press meant for any control of this window is seen here first, once (at its
// first receiver), and then goes on to that control.
bool TQRStandardPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == QRPreview->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
         event->type() == QEvent::MouseButtonRelease))
        if (SelectionMouse(event)) return true;
    // The tool bar's hints are shown with the keys that do the same.
    if (event->type() == QEvent::ToolTip && watched->isWidgetType() && watched->parent() == ToolBar1) {
        auto* widget = static_cast<QWidget*>(watched);
        const QString text = ToolTipWithKeys(widget);
        if (!text.isEmpty()) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, widget);
            return true;
        }
    }
    // In the find field, Enter goes to the next hit and Shift+Enter to the previous one; Esc stops
    // the search and closes the bar; Home and End move the cursor.
    if (event->type() == QEvent::KeyPress && watched == FindField) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            CloseFindBar();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (FFinder.Needle() != FindField->text()) StartFind();
            if (key->modifiers() & Qt::ShiftModifier)
                FindPrevious();
            else
                FindNext();
            return true;
        }
        if (key->key() == Qt::Key_Home || key->key() == Qt::Key_End) return false;
    }
    // In the page field, Home and End move the cursor and Esc leaves the field.
    if (event->type() == QEvent::KeyPress && watched == GoToPageField) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            GoToPageField->clear();
            QRPreview->setFocus();
            return true;
        }
        if (key->key() == Qt::Key_Home || key->key() == Qt::Key_End) return false;
    }
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        QWidget* focus = QApplication::focusWidget();
        const bool firstReceiver = focus ? widget == focus : widget == this;
        if (firstReceiver && widget->window() == this) {
            const auto* key = static_cast<QKeyEvent*>(event);
            // A key the window acts on goes no further: Page Down turns the page and must not also
            // scroll the new page down a screen.
            if (PreviewKeyAction(key->key(), key->modifiers()) != kaNone) {
                FormKeyDown(key->key(), key->modifiers());
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
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

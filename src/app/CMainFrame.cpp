#include "app/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QShowEvent>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "display/CTovrinView.h"
#include "display/ElidedLabel.h"
#include "display/PositionBar.h"
#include "display/PreviewSource.h"
#include "display/WindowPlacement.h"
#include "framework/RecentFileList.h"
#include "framework/Translation.h"
#include "framework/VisibleText.h"
#include "platform/profile/Settings.h"
#include "res/CommandIds.h"
#include "res/Resources.h"

namespace lunavue {
namespace {

constexpr int kImageSize = 11;
constexpr int kButtonSize = 18;
constexpr int kFeedbackMs = 2000;

}  // namespace

// The images are drawn on light grey, the button face of the system they were made for;
// like toolbar bitmaps there, that grey becomes the face colour of the toolbar they are on.
// Larger pixel ratios repeat each pixel as a whole block, never blurred.
QPixmap CMainFrame::ButtonPixmap(int command, const QColor& face, int ratio) {
    const res::ButtonImage& rows = res::ToolbarImage(command);
    const int n = kImageSize * ratio;
    QImage img(n, n, QImage::Format_RGB32);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const char c = rows[static_cast<size_t>(y / ratio)][x / ratio];
            img.setPixel(x, y, c == '.' ? face.rgb() : 0xFF000000u | res::ImagePixel(c));
        }
    }
    QPixmap pixmap = QPixmap::fromImage(img);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

int CMainFrame::TimePaneWidth(int unit, const QFontMetrics& metrics) {
    // The widest time text up to "99:59": four of the widest digit (or the padding blank)
    // and the colon, with a pixel or two for rounding and kerning.
    QChar widest = ' ';
    for (char c = '0'; c <= '9'; ++c) {
        if (metrics.horizontalAdvance(QChar(c)) > metrics.horizontalAdvance(widest)) {
            widest = QChar(c);
        }
    }
    const QString text = QString(2, widest) + ':' + QString(2, widest);
    const int sum = 4 * metrics.horizontalAdvance(widest) + metrics.horizontalAdvance(':');
    return std::max(unit, std::max(sum, metrics.horizontalAdvance(text)) + 2);
}

int CMainFrame::WidthUnit(int fontHeight) {
    int h = fontHeight < 0 ? -fontHeight : fontHeight;
    return 5 * ((h + 1) / 2);
}

CMainFrame::CMainFrame(CTovrinView* view, Hooks hooks) : view_(view), hooks_(std::move(hooks)) {
    setWindowTitle(Text(res::kUntitled) + " - " + res::kAppTitle);
    // The picture, and the position bar in a row of its own under it (the window grows by
    // the bar, the picture keeps its size); in full screen another bar over the picture.
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(view_, 1);
    bar_ = new PositionBar(central);
    column->addWidget(bar_);
    setCentralWidget(central);
    preview_ = new PreviewSource(this);
    ConnectBar(bar_);
    ConnectBar(view_->FullScreenBar());
    connect(view_, &CTovrinView::fullScreenChanged, this,
            [this](bool fullScreen) { ShowBars(!fullScreen); });
    setContextMenuPolicy(Qt::PreventContextMenu);  // the bars cannot be hidden
    BuildMenu();
    BuildAccelerators();
    BuildStatusBar();
    BuildToolBar();
    feedbackTimer_.setSingleShot(true);
    connect(&feedbackTimer_, &QTimer::timeout, this, [this] { SetPaneText(0, QString()); });
    setMaximumSize(QWIDGETSIZE_MAX, geometry::kMaxFrameHeight);
    resize(kCreateWidth, kCreateHeight);
    placement_ = new WindowPlacement(this, [this] { view_->PlaceWindow(); });
    view_->SetPlacement(placement_);
    // The saved position is where the window's own area was (its top-left corner); without
    // one the window system places the frame. Once shown, the window is kept whole on its
    // screen.
    const int x = ReadSetting(settings::kXPosition, INT_MIN);
    const int y = ReadSetting(settings::kYPosition, INT_MIN);
    if (x != INT_MIN && y != INT_MIN) {
        setGeometry(QRect(QPoint(x, y), size()));
    }
    setAcceptDrops(true);
}

void CMainFrame::BuildMenu() {
    for (const res::Popup& popup : res::MainMenu()) {
        QMenu* menu = menuBar()->addMenu(Text(popup.title, "Menu"));
        popups_.push_back(menu);
        for (const res::MenuItem& item : popup.items) {
            if (item.id == 0) {
                QAction* sep = menu->addSeparator();
                if (popups_.size() == 1 && recentSeparator_ == nullptr) {
                    recentSeparator_ = sep;  // the File menu's first: the recent files follow
                }
                continue;
            }
            if (item.id == cmd::kRecentFirst) {
                continue;  // filled in as the menu opens
            }
            QAction* a = menu->addAction(Text(item.text, "Menu"));
            a->setData(item.id);
            a->setCheckable(false);
            actions_[item.id] = a;
            connect(a, &QAction::triggered, this,
                    [this, id = item.id] { hooks_.router->Execute(id); });
        }
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            if (hooks_.menuOpen)
                hooks_.menuOpen(true);
            UpdateMenu(menu);
        });
        connect(menu, &QMenu::aboutToHide, this, [this] {
            SetPaneText(0, QString());
            if (hooks_.menuOpen)
                hooks_.menuOpen(false);
        });
        connect(menu, &QMenu::hovered, this, &CMainFrame::ShowPrompt);
        menu->installEventFilter(this);  // grayed items send no hover: watch the pointer
    }
    FillRecentFiles(popups_[0]);
}

void CMainFrame::SetPreviewMovie(const std::string& path) {
    preview_->SetMovie(path);
}

void CMainFrame::ConnectBar(PositionBar* bar) {
    bar->SetPreview(preview_);
    bar->PassWheelTo(view_);
    connect(bar, &PositionBar::SeekStarted, this, [this] {
        if (hooks_.seekStarted)
            hooks_.seekStarted();
    });
    connect(bar, &PositionBar::SeekTo, this, [this](uint32_t ms) {
        if (hooks_.seekTo)
            hooks_.seekTo(ms);
    });
    connect(bar, &PositionBar::SeekFinished, this, [this](uint32_t ms) {
        if (hooks_.seekFinished)
            hooks_.seekFinished(ms);
    });
}

void CMainFrame::ShowPosition(uint32_t ms, uint32_t lengthMs, bool jumped) {
    // Both bars, so that the full-screen one is right the moment the mouse shows it (a
    // hidden slider does not repaint).
    bar_->SetPosition(ms, lengthMs, jumped);
    view_->FullScreenBar()->SetPosition(ms, lengthMs, jumped);
}

void CMainFrame::ShowPrompt(QAction* action) {
    feedbackTimer_.stop();
    SetPaneText(0, action == nullptr ? QString()
                                     : QString::fromStdString(res::Prompt(action->data().toInt())));
}

// The menus' one accelerator (Ctrl+O) and the player keys, each sending its command. They
// belong to the window, so that they work whatever has the focus in it, full screen too.
void CMainFrame::BuildAccelerators() {
    for (const res::Accelerator& a : res::Accelerators()) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(QString::fromLatin1(a.key)));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this,
                [this, id = a.command] { hooks_.router->Execute(id); });
        addAction(action);
    }
}

void CMainFrame::ShowFeedback(const QString& text) {
    view_->ShowOnPicture(text);
    SetPaneText(0, text);
    feedbackTimer_.start(kFeedbackMs);
}

void CMainFrame::FillRecentFiles(QMenu* menu) {
    for (QAction* a : recentActions_) {
        menu->removeAction(a);
        a->deleteLater();
    }
    recentActions_.clear();
    // The entries (or the grayed placeholder) go after the first separator.
    QAction* before = nullptr;
    const QList<QAction*> all = menu->actions();
    for (int i = 0; i + 1 < all.size(); ++i) {
        if (all[i] == recentSeparator_) {
            before = all[i + 1];
        }
    }
    const std::vector<std::string> empty;
    const auto& entries = hooks_.recent != nullptr ? hooks_.recent->Entries() : empty;
    if (entries.empty()) {
        QAction* a = new QAction(Text(res::kRecentPlaceholder), menu);
        a->setData(cmd::kRecentFirst);
        a->setEnabled(false);
        menu->insertAction(before, a);
        recentActions_.push_back(a);
        return;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const QString text = QString("&%1 %2").arg(i + 1).arg(
            VisibleName(QFile::decodeName(RecentFileList::ShortName(entries[i]).c_str()))
                .replace("&", "&&"));
        QAction* a = new QAction(text, menu);
        const int id = cmd::kRecentFirst + static_cast<int>(i);
        a->setData(id);
        connect(a, &QAction::triggered, this, [this, id] { hooks_.router->Execute(id); });
        menu->insertAction(before, a);
        recentActions_.push_back(a);
    }
}

void CMainFrame::UpdateMenu(QMenu* menu) {
    if (menu == popups_[0]) {
        FillRecentFiles(menu);
    }
    for (QAction* a : menu->actions()) {
        const int id = a->data().toInt();
        if (id == 0 || (id >= cmd::kRecentFirst && id <= cmd::kRecentLast)) {
            continue;
        }
        const CommandState s = hooks_.router->State(id);
        a->setEnabled(s.enabled);
        a->setCheckable(s.checked);
        a->setChecked(s.checked);
    }
}

// The panes' widths are those of their text areas, the sunken border drawn around them; a
// time pane is never narrower than its widest text in the font in use.
void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    const int u = WidthUnit(QFontInfo(bar->font()).pixelSize());
    for (int i = 0; i < 3; ++i) {
        panes_[i] = i == 0 ? new ElidedLabel(bar) : new QLabel(bar);
        // Opaque, so that a new text repaints the pane alone, not the bars behind it.
        panes_[i]->setAutoFillBackground(true);
        panes_[i]->setTextFormat(Qt::PlainText);
        panes_[i]->setIndent(0);
        panes_[i]->setMargin(0);
    }
    panes_[0]->setAccessibleName(Text(QT_TRANSLATE_NOOP("Lunavue", "Message")));
    panes_[1]->setAccessibleName(Text(QT_TRANSLATE_NOOP("Lunavue", "Elapsed time")));
    panes_[2]->setAccessibleName(Text(QT_TRANSLATE_NOOP("Lunavue", "Total time")));
    panes_[0]->setMinimumWidth(2 * u);
    bar->addWidget(panes_[0], 1);  // stretches, no border
    const int text = TimePaneWidth(u, panes_[1]->fontMetrics());
    for (int i = 1; i < 3; ++i) {
        panes_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panes_[i]->setFixedWidth(text + 2 * panes_[i]->frameWidth());
        panes_[i]->setText(" 0: 0");
        bar->addPermanentWidget(panes_[i]);
    }
}

void CMainFrame::BuildToolBar() {
    toolBar_ = new QToolBar(this);
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(kImageSize, kImageSize));
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // Tight enough that every button shows beside the narrowest picture (160 pixels).
    toolBar_->setContentsMargins(0, 0, 0, 0);
    toolBar_->layout()->setSpacing(0);
    toolBar_->layout()->setContentsMargins(0, 0, 0, 0);
    addToolBar(Qt::BottomToolBarArea, toolBar_);
    const QColor face = toolBar_->palette().color(QPalette::Button);
    for (int id : res::ToolbarItems()) {
        if (id == 0) {
            toolBar_->addSeparator();
            continue;
        }
        QIcon icon(ButtonPixmap(id, face, 1));
        icon.addPixmap(ButtonPixmap(id, face, 2));
        icon.addPixmap(ButtonPixmap(id, face, 3));
        QAction* a = toolBar_->addAction(icon, Text(res::ToolName(id), "Menu"));
        a->setData(id);
        toolActions_[id] = a;
        connect(a, &QAction::triggered, this, [this, id] { hooks_.router->Execute(id); });
        if (QWidget* button = toolBar_->widgetForAction(a)) {
            button->setFixedSize(kButtonSize, kButtonSize);
            // Reached with Tab (a click leaves the keys with the picture), and named for a
            // screen reader; the toolbar shows no tool tips.
            button->setFocusPolicy(Qt::TabFocus);
            button->setAccessibleName(Text(res::ToolName(id), "Menu"));
            button->setAccessibleDescription(QString::fromStdString(res::Prompt(id)));
            button->installEventFilter(this);
        }
    }
    // The toolbar's own button for what does not fit, named like the others.
    if (auto* more = toolBar_->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"))) {
        more->setAccessibleName(Text(QT_TRANSLATE_NOOP("Lunavue", "More buttons")));
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        return true;
    }
    if (event->type() == QEvent::MouseMove) {
        if (auto* menu = qobject_cast<QMenu*>(watched)) {
            // A grayed item is not hovered as far as the menu is concerned, but its prompt
            // shows all the same.
            QAction* a = menu->actionAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            if (a == nullptr || !a->isEnabled()) {
                ShowPrompt(a);
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// The menu, the toolbar, the position bar and the status bar, which full screen puts away.
void CMainFrame::ShowBars(bool show) {
    menuBar()->setVisible(show);
    toolBar_->setVisible(show);
    bar_->setVisible(show);
    statusBar()->setVisible(show);
}

void CMainFrame::UpdateToolbar() {
    for (auto& [id, a] : toolActions_) {
        const CommandState s = hooks_.router->State(id);
        if (a->isEnabled() != s.enabled)
            a->setEnabled(s.enabled);
        if (a->isCheckable() != s.checked)
            a->setCheckable(s.checked);
        if (a->isChecked() != s.checked)
            a->setChecked(s.checked);
    }
}

QAction* CMainFrame::Action(int id) const {
    auto it = actions_.find(id);
    if (it != actions_.end())
        return it->second;
    auto jt = toolActions_.find(id);
    return jt != toolActions_.end() ? jt->second : nullptr;
}

QAction* CMainFrame::ToolAction(int id) const {
    auto it = toolActions_.find(id);
    return it != toolActions_.end() ? it->second : nullptr;
}

void CMainFrame::SetPaneText(int pane, const QString& text) {
    panes_[pane]->setText(text);
    panes_[pane]->repaint();
}

void CMainFrame::SetDocumentTitle(const QString& title) {
    setWindowTitle(title + " - " + res::kAppTitle);
}

// The position is saved on every close request: that of the window in the window, also when
// it ends in full screen or maximised.
void CMainFrame::closeEvent(QCloseEvent* event) {
    const QPoint at = view_->WindowedPosition();
    WriteSetting(settings::kXPosition, at.x());
    WriteSetting(settings::kYPosition, at.y());
    event->accept();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous() && !shownOnce_) {
        shownOnce_ = true;
        view_->PlaceWindow();
        placement_->WatchForDecorations();
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    activateWindow();

    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && hooks_.openDocument) {
            hooks_.openDocument(url.toLocalFile());
        }
    }
    event->acceptProposedAction();
}

}  // namespace lunavue

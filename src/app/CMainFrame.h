// The main window: the view, the toolbar just above the status bar, the status bar with
// its message pane and the elapsed and total times, and the menu. It remembers where it
// was closed.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <QToolBar>
#include <functional>
#include <map>
#include <string>

#include "framework/Commands.h"

class QAction;
class QMenu;

namespace lunavue {

class CTovrinView;
class PositionBar;
class PreviewSource;
class RecentFileList;
class WindowPlacement;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kCreateWidth = 332;
    static constexpr int kCreateHeight = 319;

    struct Hooks {
        CommandRouter* router = nullptr;
        const RecentFileList* recent = nullptr;
        std::function<void(const QString&)> openDocument;  // dropped files
        std::function<void(bool)> menuOpen;                // a menu opened (true) or closed
        // The position bar: a click or drag began, the picture is to follow, it ended.
        std::function<void()> seekStarted;
        std::function<void(uint32_t ms)> seekTo;
        std::function<void(uint32_t ms)> seekFinished;
    };

    CMainFrame(CTovrinView* view, Hooks hooks);

    CTovrinView* View() const { return view_; }
    void SetPaneText(int pane, const QString& text);
    // Shows a short message in the message pane for two seconds.
    void ShowFeedback(const QString& text);
    QString PaneText(int pane) const { return panes_[pane]->text(); }
    int PaneWidth(int pane) const { return panes_[pane]->width(); }
    void SetDocumentTitle(const QString& title);
    // Where playback stands, for the position bars (under the picture, and over it in full
    // screen); a length of 0: no movie. Jumped: a seek, a step or a stop, shown at once.
    void ShowPosition(uint32_t ms, uint32_t lengthMs, bool jumped = false);
    PositionBar* Bar() const { return bar_; }
    // The movie the position bars' previews show pictures of (empty: none).
    void SetPreviewMovie(const std::string& path);
    // Sets enable and check states of the toolbar buttons (idle time).
    void UpdateToolbar();
    void ShowBars(bool show);
    QAction* Action(int id) const;      // the menu item, or the button without one
    QAction* ToolAction(int id) const;  // the toolbar button
    QToolBar* ToolBar() const { return toolBar_; }
    QMenu* Popup(int index) const { return popups_[static_cast<size_t>(index)]; }

    // The status bar's width unit for a font h pixels high: 5 x ((h + 1) / 2).
    static int WidthUnit(int fontHeight);
    // The width a time pane's text needs in this font: u, or the widest time text.
    static int TimePaneWidth(int unit, const QFontMetrics& metrics);
    // The toolbar image of a command in the toolbar's own colours, at a device pixel ratio.
    static QPixmap ButtonPixmap(int command, const QColor& face, int ratio);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildMenu();
    void BuildAccelerators();
    void BuildStatusBar();
    void BuildToolBar();
    void ShowPrompt(QAction* action);
    void UpdateMenu(QMenu* menu);
    void FillRecentFiles(QMenu* menu);

    CTovrinView* view_;
    Hooks hooks_;
    WindowPlacement* placement_ = nullptr;
    PositionBar* bar_ = nullptr;
    PreviewSource* preview_ = nullptr;
    void ConnectBar(PositionBar* bar);
    bool shownOnce_ = false;
    QLabel* panes_[3] = {};
    QTimer feedbackTimer_;
    QToolBar* toolBar_ = nullptr;
    std::map<int, QAction*> actions_;      // menu actions by command
    std::map<int, QAction*> toolActions_;  // toolbar actions by command
    std::vector<QMenu*> popups_;
    QAction* recentSeparator_ = nullptr;
    std::vector<QAction*> recentActions_;
};

}  // namespace lunavue

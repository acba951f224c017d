// The application object: starts the program in its fixed order, is the door through which
// dropped files, recent files, Ctrl+O and requests from other instances reach the play
// queue, hands idle time to the document, and writes its marker at exit.
#pragma once

#include <QDialog>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/ErrorTexts.h"
#include "framework/Commands.h"
#include "framework/RecentFileList.h"
#include "platform/mm/SoundOutput.h"
#include "platform/mm/Timer.h"
#include "playback/CTovrinDoc.h"

namespace lunavue {

class CMainFrame;
class DocumentEvents;
class CTovrinView;
class IdleDriver;
class IdleInhibitor;
class MediaPlayer2;
class QueueWindow;
class SingleInstance;

class CTovrinApp : public QObject,
                   public DocumentShell,
                   public CommandLineTarget,
                   public CommandTarget {
    Q_OBJECT
  public:
    // Dialog stand-ins for tests: the files chosen in the Open dialog (empty: cancelled).
    std::function<QStringList()> chooseFiles;
    std::function<QString()> chooseFile;  // Ctrl+O's single-file dialog
    std::function<void(QDialog&)> runDialog;

    CTovrinApp();
    ~CTovrinApp() override;

    // Start-up: false ends the program.
    bool InitInstance(const std::vector<std::string>& args);
    // Runs until the main window closes; returns the exit code.
    int Run();
    // Tears down in order: view settings, document, then the exit hook.
    int ExitInstance();

    void RegisterDocument(CTovrinDoc* doc) { document_ = doc; }
    CTovrinDoc* CurrentDocument() const { return document_; }
    CMainFrame* MainFrame() const { return frame_.get(); }
    CTovrinView* View() const { return view_; }
    RecentFileList& Recent() { return recent_; }
    CommandRouter& Router() { return router_; }
    // True when start-up handed the file names to a player that was already running.
    bool Forwarded() const { return forwarded_; }
    // The desktop's media controls (for tests: the bus name taken).
    const MediaPlayer2* MediaControls() const { return mpris_.get(); }
    // The queue window, once it has been shown.
    QueueWindow* Queue() const { return queueWindow_; }

    // The hooks of the framework's application object.
    bool OnIdle(int count);
    void OpenDocumentFile(const std::string& path);
    // A name from a later start; false when the queue is full.
    bool OnDDECommand(const std::string& text);

    // DocumentShell
    void SetPaneText(int pane, const std::string& text) override;
    void AddToRecentFileList(const std::string& path) override;
    void SetTitle(const std::string& title) override;
    // Notes how the view shows the movie just opened ("painter", "gpu-overlay", "gpu-blit").
    void NoteRenderer();
    void CloseMainWindow() override;
    // A refusal is a box (and a line on standard error); a sound that cannot be played, goes
    // away or comes back is a message over the picture (and a line); no memory is a box.
    void Notify(const EngineNotice& notice) override;

    // CommandLineTarget
    void AppendToQueue(const std::string& name) override;
    void SetAutoPlay() override;
    void SetCloseAtEnd() override;
    // Names from the command line never come back as shell open requests here (no shell
    // sends a file twice), so there is nothing for the flag to suppress: it is not kept.
    void SetFromCommandLine() override {}

    // CommandTarget: the application's commands (About, Ctrl+O, Exit, recent files).
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, CommandState& state) override;

    // The program's error box: no caption, the error icon, modal.
    void ShowError(const QString& text);
    // Says a short message over the picture and in the message pane.
    void Feedback(const QString& text);

    // Shows where playback stands, or that it plays or is paused, in the message pane and
    // over the picture.
    void ShowPosition();
    void ShowPlayState();

    // Runs a modal dialog with idle processing suspended, as a nested loop would.
    void RunModal(QDialog& dialog);

  private:
    class DocumentCommands;

    bool ForwardToRunningPlayer(const std::vector<std::string>& args, const std::string& door);
    void StartDesktopServices();
    // Queues a name as a full path; false when the queue is full. The message pane says
    // what was queued, once for a run of names.
    bool Queue(const std::string& name);
    void ShowQueueWindow();
    void OpenAndPlay();
    // The multi-selection Open dialog (or the test's stand-in) under the given title.
    QStringList ChooseMovies(const char* title);
    void ShowQueued();
    // Refusals beyond the first few in a row are told in one box at the end of the run.
    void ShowUnshownRefusals();
    // Brings the window to the front: out of its icon, raised, or asking for attention
    // where the window manager will not raise it.
    void ShowWindow();
    void SeekTo(int64_t ms);
    void CreateDocumentAndWindows();
    void OpenDoor(const std::string& door);
    void StartIdleProcessing();
    void FollowDocument();
    void RefreshQueueWindow();
    void ShowRefusal(const std::string& path, const OpenStatus& status);
    void ReportNoSound(const std::string& reason);
    void ReportSoundBack();

    // How often a menu or a dialog looks at a document that is not playing.
    static constexpr int kModalPollMs = 250;
    // How long a second start waits for the running player to take its names.
    static constexpr int kForwardTimeoutMs = 2000;

    FileSettings settings_;
    mm::SystemClock clock_;
    mm::ThreadTimer timer_;
    mm::SoundOutput sound_;
    RecentFileList recent_;
    int previewPages_ = 0;
    bool forwarded_ = false;
    std::unique_ptr<SingleInstance> instance_;
    CTovrinDoc* document_ = nullptr;
    std::unique_ptr<ResumePoints> resume_;  // outlives the document, which leaves its movie
    std::unique_ptr<CTovrinDoc> ownedDocument_;
    std::unique_ptr<DocumentCommands> documentCommands_;
    std::unique_ptr<CMainFrame> frame_;
    CTovrinView* view_ = nullptr;
    CommandRouter router_;
    std::unique_ptr<IdleDriver> idle_;
    bool exited_ = false;
    std::unique_ptr<IdleInhibitor> inhibitor_;
    std::unique_ptr<MediaPlayer2> mpris_;
    DocumentEvents* events_ = nullptr;    // the document's changes as signals (a child)
    uint64_t movieSerial_ = 0;            // counts the movies opened
    QueueWindow* queueWindow_ = nullptr;  // the frame's child once shown
    bool queuedShowPending_ = false;
    bool resumeAfterDrag_ = false;  // the clock ran when a drag on the position bar began
    bool quietRefusals_ = false;    // a name asked for on the bus: refusals said, not boxed
    bool showWindowPending_ = false;
    int refusalsInARow_ = 0;
    int refusalsUnshown_ = 0;
    size_t refusedNames_ = 0;            // names the full queue turned away since it was last said
    std::string moviePath_;              // the one open
    const char* lastRenderer_ = "none";  // how the last movie was shown, for the statistics
};

}  // namespace lunavue

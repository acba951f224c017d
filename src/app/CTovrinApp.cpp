#include "app/CTovrinApp.h"

#include <limits.h>
#include <unistd.h>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

#include "app/CMainFrame.h"
#include "app/Dialogs.h"
#include "app/DocumentCommands.h"
#include "app/DocumentEvents.h"
#include "app/QueueWindow.h"
#include "display/CTovrinView.h"
#include "display/TimeSlider.h"
#include "framework/IdleDriver.h"
#include "framework/IdleInhibitor.h"
#include "framework/MediaPlayer2.h"
#include "framework/SingleInstance.h"
#include "framework/Translation.h"
#include "framework/VisibleText.h"
#include "platform/profile/Settings.h"
#include "res/CommandIds.h"
#include "res/Resources.h"

namespace lunavue {
namespace {

// An Open dialog's two filters, shown with their texts exactly: the movies by their pattern,
// and every file ("*.*", which on this system must be "*" to match names without a dot).
void SetFilters(QFileDialog& dialog, const QString& movies, const char* pattern,
                const QString& all) {
    dialog.setOption(QFileDialog::HideNameFilterDetails);  // the texts carry their own
    dialog.setNameFilters({movies + " (" + pattern + ")", all + " (*)"});
}

// The running player has another working folder: hand it full paths, as the bytes the file
// system knows them by.
std::string AbsolutePath(const std::string& name) {
    if (!name.empty() && name[0] == '/') {
        return name;
    }
    std::vector<char> cwd(PATH_MAX + 1);
    return getcwd(cwd.data(), cwd.size()) != nullptr ? std::string(cwd.data()) + "/" + name : name;
}

}  // namespace

CTovrinApp::CTovrinApp() = default;

CTovrinApp::~CTovrinApp() {
    ExitInstance();
}

bool CTovrinApp::InitInstance(const std::vector<std::string>& args) {
    const std::string door = SingleInstance::DefaultPath();
    if (ForwardToRunningPlayer(args, door)) {
        forwarded_ = true;
        return false;
    }
    // The settings file must be chosen before anything reads a setting.
    SetSettingsFile(ChooseSettingsPath(ExecutablePath(), std::getenv("LUNAVUE_INI")));
    recent_.Load(SettingsFile());
    previewPages_ = ReadSetting(settings::kPreviewPages);
    QApplication::setWindowIcon(ProgramIcon());
    InstallAccessibility();
    CreateDocumentAndWindows();
    CTovrinCommandLineInfo info(*this);
    ParseCommandLine(args, info);
    // The door first: once the window shows, a later start may already be knocking.
    OpenDoor(door);
    frame_->show();
    frame_->repaint();
    StartIdleProcessing();
    StartDesktopServices();
    return true;
}

// The desktop session's services: the screen kept lit while a movie plays, and the media
// controls of the desktop (MPRIS), steering the player through its commands.
void CTovrinApp::StartDesktopServices() {
    inhibitor_ = std::make_unique<IdleInhibitor>();
    connect(events_, &DocumentEvents::stateChanged, inhibitor_.get(),
            [this](PlayState state) { inhibitor_->SetInhibited(state == PlayState::kPlaying); });
    MediaPlayer2::Hooks hooks;
    hooks.request = [this](MediaPlayer2::Request request) {
        static constexpr std::pair<MediaPlayer2::Request, int> kCommands[] = {
            {MediaPlayer2::Request::kPlayPause, cmd::kPlayPause},
            {MediaPlayer2::Request::kPlay, cmd::kPlay},
            {MediaPlayer2::Request::kPause, cmd::kPause},
            {MediaPlayer2::Request::kStop, cmd::kStop},
            {MediaPlayer2::Request::kNext, cmd::kNextMovie},
            {MediaPlayer2::Request::kPrevious, cmd::kPreviousMovie},
            {MediaPlayer2::Request::kQuit, cmd::kExit},
        };
        if (request == MediaPlayer2::Request::kRaise)
            ShowWindow();
        for (const auto& [r, id] : kCommands)
            if (r == request)
                router_.Execute(id);
    };
    hooks.setLoop = [this](MediaPlayer2::Loop loop) {
        document_->SetRepeatMovie(loop == MediaPlayer2::Loop::kTrack);
        if ((document_->GetLoop() != 0) != (loop == MediaPlayer2::Loop::kPlaylist))
            document_->OnLoop();
    };
    hooks.snapshot = [this] {
        MediaPlayer2::Snapshot s;
        const CTovrinDoc& doc = *document_;
        s.status = doc.IsPaused()    ? MediaPlayer2::Status::kPaused
                   : doc.ClockRuns() ? MediaPlayer2::Status::kPlaying
                                     : MediaPlayer2::Status::kStopped;
        s.movie = doc.IsOpen() ? movieSerial_ : 0;
        s.path = moviePath_;
        s.lengthUs = int64_t{document_->DurationMs()} * 1000;
        s.positionUs = int64_t{document_->PositionMs()} * 1000;
        s.volume = view_ == nullptr || view_->IsMuted() ? 0.0 : view_->GetVolume() / 100.0;
        s.loop = doc.GetRepeatMovie() ? MediaPlayer2::Loop::kTrack
                 : doc.GetLoop() != 0 ? MediaPlayer2::Loop::kPlaylist
                                      : MediaPlayer2::Loop::kNone;
        s.canGoNext = !doc.Queue().Empty();
        s.canGoPrevious = doc.HasPrevious();
        return s;
    };
    hooks.seekTo = [this](int64_t ms) { SeekTo(ms); };
    // A refusal asked for on the bus is said, not boxed: the caller may be a panel applet
    // with nobody at the window.
    hooks.playNow = [this](const std::string& path) {
        quietRefusals_ = true;
        document_->PlayNow({AbsolutePath(path)});
        quietRefusals_ = false;
    };
    hooks.setVolume = [this](int percent) {
        if (view_ != nullptr)
            view_->SetVolume(percent);
    };
    mpris_ = std::make_unique<MediaPlayer2>(std::move(hooks));
    // The media controls hear of every change that they show.
    auto update = [this] { mpris_->Update(); };
    connect(events_, &DocumentEvents::stateChanged, mpris_.get(), update);
    connect(events_, &DocumentEvents::movieOpened, mpris_.get(), update);
    connect(events_, &DocumentEvents::movieClosed, mpris_.get(), update);
    connect(events_, &DocumentEvents::queueChanged, mpris_.get(), update);
    connect(events_, &DocumentEvents::loopChanged, mpris_.get(), update);
    connect(events_, &DocumentEvents::volumeChanged, mpris_.get(), update);
    connect(events_, &DocumentEvents::positionJumped, mpris_.get(),
            [this](uint32_t ms) { mpris_->Jumped(int64_t{ms} * 1000); });
}

void CTovrinApp::ShowWindow() {
    if (!frame_)
        return;
    frame_->setWindowState(frame_->windowState() & ~Qt::WindowMinimized);
    frame_->show();
    frame_->raise();
    frame_->activateWindow();
    QApplication::alert(frame_.get());
}

// A seek asked for from outside the window (the desktop's media controls), shown as the
// seeking keys show theirs.
void CTovrinApp::SeekTo(int64_t ms) {
    document_->Seek(static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, UINT32_MAX)));
    ShowPosition();
}

void CTovrinApp::ShowPosition() {
    if (document_->IsOpen() && frame_)
        frame_->ShowFeedback(QString::fromStdString(document_->PositionText()));
}

void CTovrinApp::ShowPlayState() {
    if (!frame_)
        return;
    if (document_->IsPaused()) {
        frame_->ShowFeedback(Text(QT_TRANSLATE_NOOP("Lunavue", "Paused")));
    } else if (document_->ClockRuns()) {
        frame_->ShowFeedback(Text(QT_TRANSLATE_NOOP("Lunavue", "Playing")));
    }
}

// A player is running already: it takes the file names and the flags, and this start ends.
bool CTovrinApp::ForwardToRunningPlayer(const std::vector<std::string>& args,
                                        const std::string& door) {
    std::vector<SingleInstance::Request> requests;
    bool anyName = false;
    for (const std::string& a : args) {
        if (IsCommandLineFlag(a)) {
            requests.push_back({SingleInstance::kFlag, a.substr(1)});
        } else {
            requests.push_back({SingleInstance::kName, AbsolutePath(a)});
            anyName = true;
        }
    }
    if (!anyName || door.empty()) {
        return false;
    }
    const SingleInstance::Forwarded result =
        SingleInstance::Forward(door, requests, kForwardTimeoutMs);
    if (result.reached && result.taken < requests.size()) {
        std::fprintf(stderr, "lunavue: the running player took %zu of %zu; its queue is full\n",
                     result.taken, requests.size());
    }
    return result.reached;
}

// The document, then the frame whose creation makes the view, the status bar and the
// toolbar; commands go to the view, the document and the application, in that order.
void CTovrinApp::CreateDocumentAndWindows() {
    sound_ = mm::ChooseSoundOutput();
    if (!sound_.reason.empty() && sound_.reason.rfind("no sound server", 0) == 0) {
        std::fprintf(stderr, "lunavue: sound through %s: %s\n", sound_.name.c_str(),
                     sound_.reason.c_str());
    }
    ownedDocument_ = std::make_unique<CTovrinDoc>(
        DocumentPlatform{clock_, timer_, *sound_.device, settings_}, *this);
    RegisterDocument(ownedDocument_.get());
    if (ReadSetting(settings::kResume) != 0) {
        resume_ = std::make_unique<ResumePoints>(ResumeFileBeside(SettingsFile().Path()));
        document_->SetResumePoints(resume_.get());
    }
    documentCommands_ = std::make_unique<DocumentCommands>(*this);
    view_ = new CTovrinView(*document_);
    connect(view_, &CTovrinView::rendererChanged, this, &CTovrinApp::NoteRenderer);
    CMainFrame::Hooks hooks;
    hooks.router = &router_;
    hooks.recent = &recent_;
    hooks.openDocument = [this](const QString& path) {
        OpenDocumentFile(QFile::encodeName(path).toStdString());
    };
    hooks.menuOpen = [this](bool open) {
        if (idle_)
            idle_->SetModal(open);
    };
    // A drag on the position bar holds the clock; the picture follows, and the sound goes
    // on from where the bar is let go.
    hooks.seekStarted = [this] {
        resumeAfterDrag_ = document_->ClockRuns();
        if (resumeAfterDrag_)
            document_->OnPause();
    };
    hooks.seekTo = [this](uint32_t ms) { document_->Seek(ms); };
    hooks.seekFinished = [this](uint32_t ms) {
        document_->Seek(ms);
        if (resumeAfterDrag_ && document_->IsPaused())
            document_->OnPause();
        resumeAfterDrag_ = false;
        ShowPosition();
    };
    frame_ = std::make_unique<CMainFrame>(view_, hooks);
    view_->SetFeedback([this](const QString& text) {
        if (frame_)
            frame_->ShowFeedback(text);
    });
    document_->SetView(view_);
    FollowDocument();
    router_.Add(view_);
    router_.Add(documentCommands_.get());
    router_.Add(this);
}

// The window follows the document as it changes: the position bars, the queue window, and
// which picture path shows the movie.
void CTovrinApp::FollowDocument() {
    events_ = new DocumentEvents(this);
    document_->SetObserver(events_);
    connect(events_, &DocumentEvents::positionChanged, this,
            [this](uint32_t ms) { frame_->ShowPosition(ms, document_->DurationMs()); });
    connect(events_, &DocumentEvents::positionJumped, this,
            [this](uint32_t ms) { frame_->ShowPosition(ms, document_->DurationMs(), true); });
    connect(events_, &DocumentEvents::movieOpened, this, [this] {
        NoteRenderer();
        frame_->SetPreviewMovie(document_->MoviePath());
        frame_->ShowPosition(0, document_->DurationMs(), true);
        RefreshQueueWindow();
    });
    connect(events_, &DocumentEvents::movieClosed, this, [this] {
        frame_->ShowPosition(0, 0, true);
        frame_->SetPreviewMovie({});
        RefreshQueueWindow();
    });
    connect(events_, &DocumentEvents::queueChanged, this, &CTovrinApp::RefreshQueueWindow);
}

void CTovrinApp::RefreshQueueWindow() {
    if (queueWindow_ != nullptr && queueWindow_->isVisible())
        queueWindow_->Refresh(document_->IsOpen() ? moviePath_ : std::string());
}

// Requests from later starts arrive as shell open requests.
void CTovrinApp::OpenDoor(const std::string& door) {
    instance_ = std::make_unique<SingleInstance>();
    if (door.empty()) {
        std::fprintf(stderr,
                     "lunavue: later starts cannot hand their movies to this player: "
                     "no private runtime folder\n");
        return;
    }
    const bool listening = instance_->Listen(door, [this](const SingleInstance::Request& r) {
        if (r.kind == SingleInstance::kName) {
            return OnDDECommand(r.text);
        }
        // A flag of a later start acts as it does on the command line.
        CTovrinCommandLineInfo(*this).ParseParam(r.text, true);
        return true;
    });
    if (!listening) {
        std::fprintf(stderr,
                     "lunavue: later starts cannot hand their movies to this player: no door at "
                     "%s\n",
                     door.c_str());
    }
}

void CTovrinApp::StartIdleProcessing() {
    idle_ = std::make_unique<IdleDriver>(
        [this](int count) { return OnIdle(count); },
        [this] { return document_ != nullptr ? static_cast<int>(document_->IdleWaitMs()) : 1; },
        [this] {
            // Behind a menu or a dialog the picture keeps moving; nothing else happens.
            if (document_ == nullptr || !document_->ClockRuns())
                return kModalPollMs;
            document_->IdleWhileModal();
            return static_cast<int>(document_->IdleWaitMs());
        });
}

int CTovrinApp::Run() {
    const int code = QApplication::exec();
    ExitInstance();
    return code;
}

int CTovrinApp::ExitInstance() {
    if (exited_ || forwarded_) {
        return 0;
    }
    exited_ = true;
    if (document_ != nullptr)
        document_->SetObserver(nullptr);  // the windows that listened go first
    instance_.reset();
    idle_.reset();
    mpris_.reset();
    inhibitor_.reset();  // the screen may sleep again
    if (const char* stats = std::getenv("LUNAVUE_STATS");
        stats != nullptr && *stats != '\0' && document_ != nullptr) {
        PrintPlaybackStats(stdout, document_->Stats(), sound_.device->Underruns());
        std::printf("renderer: %s\nsound output: %s\n", lastRenderer_, sound_.name.c_str());
        std::fflush(stdout);
    }
    // The view's window goes first (it writes its settings), then the document (it closes
    // the movie and writes "loop").
    if (queueWindow_ != nullptr) {
        queueWindow_->SaveSettings();
        queueWindow_ = nullptr;  // goes with the frame
    }
    if (view_ != nullptr) {
        view_->SaveSettings();
        if (document_ != nullptr)
            document_->SetView(nullptr);
    }
    router_.Clear();
    frame_.reset();
    view_ = nullptr;
    ownedDocument_.reset();
    document_ = nullptr;
    // The exit hook's marker, then the framework's own settings.
    WriteSetting(settings::kType, settings::kTypeMarker);
    recent_.Save(SettingsFile());
    if (previewPages_ != 0) {
        WriteSetting(settings::kPreviewPages, previewPages_);
    }
    FlushSettings();
    return 0;
}

// The framework's own idle work (the toolbar's states, once after each burst of events),
// then the document's idle step. Everything else hears of changes as they happen.
bool CTovrinApp::OnIdle(int count) {
    const bool frameworkAnswer = count == 0;
    if (count == 0 && frame_) {
        frame_->UpdateToolbar();
    }
    return document_ != nullptr ? document_->IdleStep(frameworkAnswer) : frameworkAnswer;
}

void CTovrinApp::OpenDocumentFile(const std::string& path) {
    AppendToQueue(path);
}

// Every request is queued, also while a dialog is open: no name handed over may be lost.
// The window then shows itself, so that the person who handed it over sees it arrive.
bool CTovrinApp::OnDDECommand(const std::string& text) {
    if (!showWindowPending_) {
        showWindowPending_ = true;
        QTimer::singleShot(0, this, [this] {
            showWindowPending_ = false;
            ShowWindow();
        });
    }
    return Queue(text);
}

void CTovrinApp::SetPaneText(int pane, const std::string& text) {
    if (frame_)
        frame_->SetPaneText(pane, QString::fromStdString(text));
}

void CTovrinApp::AddToRecentFileList(const std::string& path) {
    recent_.Add(path);
    moviePath_ = path;  // the document adds each movie it opens
    ++movieSerial_;
}

void CTovrinApp::ShowUnshownRefusals() {
    refusalsInARow_ = 0;
    if (refusalsUnshown_ == 0) {
        return;
    }
    const int count = refusalsUnshown_;
    refusalsUnshown_ = 0;
    ShowError(Text(QT_TRANSLATE_NOOP("Lunavue",
                                     "%1 more movies could not be opened; the standard error "
                                     "names each and says why"))
                  .arg(count));
}

void CTovrinApp::SetTitle(const std::string& title) {
    ShowUnshownRefusals();  // a movie opened: the run of refusals has ended
    if (frame_)
        frame_->SetDocumentTitle(VisibleName(QFile::decodeName(title.c_str())));
    if (view_ != nullptr)
        view_->setAccessibleName(VisibleName(QFile::decodeName(title.c_str())));
}

void CTovrinApp::NoteRenderer() {
    if (view_ != nullptr && view_->HasRenderer()) {
        lastRenderer_ = view_->RendererName();
    }
}

void CTovrinApp::CloseMainWindow() {
    if (frame_)
        QMetaObject::invokeMethod(frame_.get(), "close", Qt::QueuedConnection);
}

void CTovrinApp::Notify(const EngineNotice& notice) {
    switch (notice.kind) {
        case EngineNotice::Kind::kRefused:
            ShowRefusal(notice.path, notice.status);
            break;
        case EngineNotice::Kind::kNoMemory:
            std::fprintf(stderr, "lunavue: %s: not enough memory\n", notice.path.c_str());
            ShowError(Text(messages::kNoMemory, "Message"));
            break;
        case EngineNotice::Kind::kNoSoundMemory:
            std::fprintf(stderr, "lunavue: not enough memory for the sound\n");
            ShowError(Text(messages::kNoSoundMemory, "Message"));
            break;
        case EngineNotice::Kind::kNoSound:
        case EngineNotice::Kind::kSoundLost:
            ReportNoSound(notice.reason);
            break;
        case EngineNotice::Kind::kSoundBack:
            ReportSoundBack();
            break;
        case EngineNotice::Kind::kResumed:
            if (frame_)
                frame_->ShowFeedback(
                    Text(QT_TRANSLATE_NOOP("Lunavue", "Resumed at %1 \u2014 Home to start over"))
                        .arg(QString::fromStdString(notice.reason)));
            break;
    }
}

// Told on standard error, and for a moment in the message pane.
void CTovrinApp::ReportNoSound(const std::string& reason) {
    std::fprintf(stderr, "lunavue: no sound: %s\n", reason.c_str());
    if (frame_)
        frame_->ShowFeedback(
            Text(QT_TRANSLATE_NOOP("Lunavue", "No sound: %1")).arg(QString::fromStdString(reason)));
}

void CTovrinApp::ReportSoundBack() {
    std::fprintf(stderr, "lunavue: the sound is back\n");
    if (frame_)
        frame_->ShowFeedback(Text(QT_TRANSLATE_NOOP("Lunavue", "The sound is back")));
}

// The box says what the player has always said first, then which file it was and why. A
// run of names that do not open gets a box for the first few and one for the rest; every
// one is told on the standard error.
void CTovrinApp::ShowRefusal(const std::string& path, const OpenStatus& status) {
    constexpr int kBoxesInARow = 3;
    const char* message = RefusalMessage(status.error);
    std::fprintf(stderr, "lunavue: %s: %s\n", path.c_str(), status.Describe().c_str());
    if (message == nullptr) {
        return;  // a picture coding this player does not read is passed over quietly
    }
    if (quietRefusals_) {
        if (frame_)
            frame_->ShowFeedback(
                Text(message, "Message") + QStringLiteral(": ") +
                VisibleName(QFile::decodeName(path.substr(path.rfind('/') + 1).c_str())));
        return;
    }
    if (++refusalsInARow_ > kBoxesInARow) {
        ++refusalsUnshown_;
        // Said in one box once the queue has ended (a movie opening says it sooner).
        QTimer::singleShot(0, this, [this] {
            if (!document_->IsOpen() && document_->Queue().Empty())
                ShowUnshownRefusals();
        });
        return;
    }
    QString reason = Text(status.Format(), "Refusal");
    if (reason.contains(QLatin1String("%1"))) {
        reason = reason.arg(QString::fromStdString(status.Argument()));
    }
    ShowError(Text(message, "Message") + "\n\n" + VisibleName(QFile::decodeName(path.c_str())) +
              "\n" + reason);
}

// Every name is kept as a full path, so that it still names the file from another folder
// (the recent-file list, a later start). While a movie is open, the message pane says that
// the name is waiting.
void CTovrinApp::AppendToQueue(const std::string& name) {
    Queue(name);
}

bool CTovrinApp::Queue(const std::string& name) {
    if (document_ == nullptr)
        return false;
    if (!document_->AppendToQueue(AbsolutePath(name))) {
        ++refusedNames_;
    } else if (!document_->IsOpen()) {
        return true;
    }
    if (!queuedShowPending_) {
        queuedShowPending_ = true;
        QTimer::singleShot(0, this, [this] { ShowQueued(); });
    }
    return refusedNames_ == 0;
}

// Once for a run of names: the last one queued and how many wait, or how many the full
// queue turned away.
void CTovrinApp::ShowQueued() {
    queuedShowPending_ = false;
    if (!frame_ || document_ == nullptr) {
        return;
    }
    if (refusedNames_ != 0) {
        std::fprintf(stderr, "lunavue: the queue is full (%zu names): %zu more not taken\n",
                     CTovrinDoc::kMaxQueue, refusedNames_);
        frame_->ShowFeedback(Text(QT_TRANSLATE_NOOP("Lunavue", "The queue is full: %1 not taken"))
                                 .arg(refusedNames_));
        refusedNames_ = 0;
        return;
    }
    if (document_->Queue().Empty()) {
        return;
    }
    const std::string& path = document_->Queue().Back();
    frame_->ShowFeedback(
        Text(QT_TRANSLATE_NOOP("Lunavue", "Queued: %1 (%2 in queue)"))
            .arg(VisibleName(QFile::decodeName(path.substr(path.rfind('/') + 1).c_str())))
            .arg(document_->Queue().Size()));
}

void CTovrinApp::SetAutoPlay() {
    if (document_ != nullptr)
        document_->SetAutoPlay(true);
}

void CTovrinApp::SetCloseAtEnd() {
    if (document_ != nullptr)
        document_->SetCloseAtEnd(true);
}

bool CTovrinApp::OnCommand(int id) {
    if (id >= cmd::kRecentFirst && id <= cmd::kRecentLast) {
        // The entry leaves the list until its movie is opened, when it returns at the top.
        const int index = id - cmd::kRecentFirst;
        if (index < static_cast<int>(recent_.Entries().size())) {
            const std::string path = recent_.Entries()[static_cast<size_t>(index)];
            recent_.Remove(index);
            OpenDocumentFile(path);
        }
        return true;
    }
    switch (id) {
        case cmd::kAbout: {
            CAboutBox box(frame_.get());
            RunModal(box);
            return true;
        }
        case cmd::kFileOpen: {
            QString file;
            if (chooseFile) {
                file = chooseFile();
            } else {
                QFileDialog dialog(frame_.get(), Text(res::kOpenDialogTitle));
                dialog.setFileMode(QFileDialog::ExistingFile);
                SetFilters(dialog, Text(res::kFilterCpk), "*.cpk", Text(res::kFilterAll));
                RunModal(dialog);
                if (dialog.result() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
                    file = dialog.selectedFiles().front();
                }
            }
            if (!file.isEmpty()) {
                OpenDocumentFile(QFile::encodeName(file).toStdString());
            }
            return true;
        }
        case cmd::kExit:
            if (frame_)
                frame_->close();
            return true;
        case cmd::kQueueWindow:
            ShowQueueWindow();
            return true;
        case cmd::kOpenAndPlay:
            OpenAndPlay();
            return true;
        default:
            return false;
    }
}

bool CTovrinApp::OnUpdateCommand(int id, CommandState&) {
    return id == cmd::kAbout || id == cmd::kFileOpen || id == cmd::kExit ||
           id == cmd::kQueueWindow || id == cmd::kOpenAndPlay ||
           (id >= cmd::kRecentFirst && id <= cmd::kRecentLast);
}

void CTovrinApp::ShowQueueWindow() {
    if (queueWindow_ == nullptr) {
        queueWindow_ = new QueueWindow(
            *document_, [this](const std::string& name) { Queue(name); }, frame_.get());
    }
    queueWindow_->Refresh(document_->IsOpen() ? moviePath_ : std::string());
    queueWindow_->show();
    queueWindow_->raise();
    queueWindow_->activateWindow();
}

// The chosen files go to the front of the queue, and the first plays at once.
void CTovrinApp::OpenAndPlay() {
    std::vector<std::string> names;
    for (const QString& f : ChooseMovies(QT_TRANSLATE_NOOP("Menu", "Open and Play"))) {
        names.push_back(AbsolutePath(QFile::encodeName(f).toStdString()));
    }
    document_->PlayNow(names);
}

// The multi-selection dialog: every chosen file, in the dialog's order. Its texts are
// English in every language.
QStringList CTovrinApp::ChooseMovies(const char* title) {
    if (chooseFiles) {
        return chooseFiles();
    }
    QFileDialog dialog(frame_.get(), Text(title, "Menu"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    SetFilters(dialog, Text(QT_TRANSLATE_NOOP("Menu", "Files (*.cpk)"), "Menu"), "*.cpk",
               Text(QT_TRANSLATE_NOOP("Menu", "All Files (*.*)"), "Menu"));
    RunModal(dialog);
    return dialog.result() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

void CTovrinApp::RunModal(QDialog& dialog) {
    if (idle_)
        idle_->SetModal(true);
    if (runDialog) {
        runDialog(dialog);
    } else {
        dialog.exec();
        // The keys belong to the player again, also where no window manager hands the
        // focus back.
        if (frame_)
            frame_->activateWindow();
    }
    if (idle_)
        idle_->SetModal(false);
}

void CTovrinApp::Feedback(const QString& text) {
    if (frame_)
        frame_->ShowFeedback(text);
}

void CTovrinApp::ShowError(const QString& text) {
    // Titled with the program's name, so that the window list says whose box it is.
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(res::kAppTitle), text,
                    QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    RunModal(box);
}

}  // namespace lunavue

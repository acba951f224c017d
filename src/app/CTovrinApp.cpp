#include "app/CTovrinApp.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>

#include "app/CMainFrame.h"
#include "app/Dialogs.h"
#include "display/CTovrinView.h"
#include "framework/IdleDriver.h"
#include "framework/SingleInstance.h"
#include "movie/MovieInfo.h"
#include "platform/profile/Settings.h"
#include "res/CommandIds.h"
#include "res/Resources.h"

namespace lunavue {

// The document's commands: Play, Stop, Pause, Open, Loop and Information. The document
// itself knows no windows; its two dialogs are shown from here.
class CTovrinApp::DocumentCommands : public CommandTarget {
  public:
    explicit DocumentCommands(CTovrinApp& app) : app_(app) {}

    bool OnCommand(int id) override {
        CTovrinDoc& doc = *app_.CurrentDocument();
        switch (id) {
            case cmd::kPlay:
                doc.Play();
                return true;
            case cmd::kStop:
                doc.OnStop();
                return true;
            case cmd::kPause:
                doc.OnPause();
                return true;
            case cmd::kLoop:
                doc.OnLoop();
                return true;
            case cmd::kOpen:
                OnOpen(doc);
                return true;
            case cmd::kInformation:
                OnInformation(doc);
                return true;
            default:
                return false;
        }
    }

    bool OnUpdateCommand(int id, CommandState& s) override {
        const CTovrinDoc& doc = *app_.CurrentDocument();
        switch (id) {
            case cmd::kPlay:
                s.enabled = doc.OnUpdatePlay();
                return true;
            case cmd::kStop:
            case cmd::kPause:
                s.enabled = doc.OnUpdateStop();
                return true;
            case cmd::kLoop:
                s.checked = doc.OnUpdateLoop();
                return true;
            case cmd::kOpen:
                return true;
            case cmd::kInformation:
                s.enabled = doc.OnUpdateInformation();
                return true;
            default:
                return false;
        }
    }

  private:
    // The multi-selection dialog: every chosen file, as a full path, in the dialog's order.
    void OnOpen(CTovrinDoc& doc) {
        QStringList files;
        if (app_.chooseFiles) {
            files = app_.chooseFiles();
        } else {
            QFileDialog dialog(app_.MainFrame(), "File Select");
            dialog.setFileMode(QFileDialog::ExistingFiles);
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setNameFilters({"Files (*.cpk)", "All Files (*)"});
            app_.RunModal(dialog);
            if (dialog.result() == QDialog::Accepted) {
                files = dialog.selectedFiles();
            }
        }
        for (const QString& f : files) {
            doc.AppendToQueue(f.toStdString());
        }
    }

    void OnInformation(CTovrinDoc& doc) {
        if (!doc.IsOpen()) {
            return;
        }
        BITMAPINFOHEADER picture{};
        doc.Reader().GetOutputFormat(&picture);
        const MovieInfo info =
            FormatMovieInfo(picture, doc.Reader().GetAudioFormat(), doc.GetPeriodCount(),
                            doc.GetPeriodTicks(), doc.GetBaseFrequency());
        CFileInfoDlg dialog(info, app_.MainFrame());
        app_.RunModal(dialog);
    }

    CTovrinApp& app_;
};

CTovrinApp::CTovrinApp() = default;

CTovrinApp::~CTovrinApp() {
    ExitInstance();
    SetMessageBoxSink(nullptr);
}

bool CTovrinApp::InitInstance(const std::vector<std::string>& args) {
    // A player is running already: it takes the file names, and this start ends here.
    QStringList names;
    for (const std::string& a : args) {
        if (!IsCommandLineFlag(a)) {
            // The running player has another working folder: hand it full paths.
            names << QFileInfo(QString::fromStdString(a)).absoluteFilePath();
        }
    }
    const QString channel = SingleInstance::DefaultName();
    if (!names.isEmpty() && SingleInstance::Forward(channel, names, 2000)) {
        forwarded_ = true;
        return false;
    }

    // The settings file must be chosen before anything reads a setting.
    SetSettingsFile(ChooseSettingsPath(ExecutablePath(), std::getenv("LUNAVUE_INI")));
    recent_.Load(SettingsFile());
    previewPages_ = ReadSetting(settings::kPreviewPages);
    SetMessageBoxSink(this);
    QApplication::setWindowIcon(ProgramIcon());

    // The document, then the frame whose creation makes the view, the status bar and the
    // toolbar.
    ownedDocument_ =
        std::make_unique<CTovrinDoc>(DocumentPlatform{clock_, timer_, waveOut_, settings_}, *this);
    RegisterDocument(ownedDocument_.get());
    documentCommands_ = std::make_unique<DocumentCommands>(*this);
    view_ = new CTovrinView(*document_);
    CMainFrame::Hooks hooks;
    hooks.router = &router_;
    hooks.recent = &recent_;
    hooks.openDocument = [this](const QString& path) { OpenDocumentFile(path.toStdString()); };
    hooks.menuOpen = [this](bool open) {
        if (idle_)
            idle_->SetModal(open);
    };
    frame_ = std::make_unique<CMainFrame>(view_, hooks);
    document_->SetView(view_);
    router_.Add(view_);
    router_.Add(documentCommands_.get());
    router_.Add(this);

    CTovrinCommandLineInfo info(*this);
    ParseCommandLine(args, info);

    frame_->show();
    frame_->repaint();
    // Requests from later starts arrive as shell open requests.
    instance_ = std::make_unique<SingleInstance>();
    instance_->Listen(channel, [this](const QString& text) { OnDDECommand(text.toStdString()); });
    idle_ = std::make_unique<IdleDriver>(
        [this](int count) { return OnIdle(count); },
        [this] { return document_ != nullptr ? static_cast<int>(document_->IdleWaitMs()) : 1; },
        [this] {
            // Behind a menu or a dialog the picture keeps moving; nothing else happens.
            if (document_ == nullptr || !document_->IsPlaying())
                return kModalPollMs;
            document_->IdleWhileModal();
            return static_cast<int>(document_->IdleWaitMs());
        });
    return true;
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
    instance_.reset();
    idle_.reset();
    if (const char* stats = std::getenv("LUNAVUE_STATS");
        stats != nullptr && *stats != '\0' && document_ != nullptr) {
        PrintPlaybackStats(stdout, document_->Stats(), waveOut_.Underruns());
        std::printf("renderer: %s\n", lastRenderer_);
        std::fflush(stdout);
    }
    // The view's window goes first (it writes its settings), then the document (it closes
    // the movie and writes "loop").
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

bool CTovrinApp::OnIdle(int count) {
    // The framework's own idle work: the toolbar's states at count 0.
    const bool frameworkAnswer = count == 0;
    if (count == 0 && frame_) {
        frame_->UpdateToolbar();
    }
    const bool more = document_ != nullptr ? document_->IdleStep(frameworkAnswer) : frameworkAnswer;
    NoteRenderer();
    return more;
}

void CTovrinApp::OpenDocumentFile(const std::string& path) {
    AppendToQueue(path);
}

// Every request is queued, also while a dialog is open: no name handed over may be lost.
bool CTovrinApp::OnDDECommand(const std::string& text) {
    AppendToQueue(text);
    return false;
}

void CTovrinApp::SetPaneText(int pane, const std::string& text) {
    if (frame_)
        frame_->SetPaneText(pane, QString::fromStdString(text));
}

void CTovrinApp::AddToRecentFileList(const std::string& path) {
    recent_.Add(path);
}

void CTovrinApp::SetTitle(const std::string& title) {
    if (frame_)
        frame_->SetDocumentTitle(QString::fromStdString(title));
}

void CTovrinApp::NoteRenderer() {
    if (view_ != nullptr && view_->HasRenderer()) {
        lastRenderer_ = !view_->UsesGpu()          ? "painter"
                        : view_->GetOverlayInUse() ? "gpu-overlay"
                                                   : "gpu-blit";
    }
}

void CTovrinApp::CloseMainWindow() {
    if (frame_)
        QMetaObject::invokeMethod(frame_.get(), "close", Qt::QueuedConnection);
}

void CTovrinApp::AppendToQueue(const std::string& name) {
    if (document_ != nullptr)
        document_->AppendToQueue(name);
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
                QFileDialog dialog(frame_.get(), QString::fromUtf8(res::kOpenDialogTitle));
                dialog.setFileMode(QFileDialog::ExistingFile);
                dialog.setNameFilters({QString::fromUtf8(res::kFilterCpk) + " (*.cpk)",
                                       QString::fromUtf8(res::kFilterAll) + " (*)"});
                RunModal(dialog);
                if (dialog.result() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
                    file = dialog.selectedFiles().front();
                }
            }
            if (!file.isEmpty()) {
                OpenDocumentFile(file.toStdString());
            }
            return true;
        }
        case cmd::kExit:
            if (frame_)
                frame_->close();
            return true;
        case cmd::kFileNew:
            return true;
        default:
            return false;
    }
}

bool CTovrinApp::OnUpdateCommand(int id, CommandState&) {
    return id == cmd::kAbout || id == cmd::kFileOpen || id == cmd::kExit || id == cmd::kFileNew ||
           (id >= cmd::kRecentFirst && id <= cmd::kRecentLast);
}

void CTovrinApp::RunModal(QDialog& dialog) {
    if (idle_)
        idle_->SetModal(true);
    if (runDialog) {
        runDialog(dialog);
    } else {
        dialog.exec();
    }
    if (idle_)
        idle_->SetModal(false);
}

void CTovrinApp::ShowError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QString(), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    RunModal(box);
}

}  // namespace lunavue

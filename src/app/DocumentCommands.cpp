#include "app/DocumentCommands.h"

#include <QFile>

#include "app/CMainFrame.h"
#include "app/Dialogs.h"
#include "movie/MovieInfo.h"
#include "res/CommandIds.h"

namespace lunavue {

bool CTovrinApp::DocumentCommands::OnCommand(int id) {
    CTovrinDoc& doc = *app_.CurrentDocument();
    switch (id) {
        case cmd::kPlay:
            doc.Play();
            app_.ShowPlayState();
            return true;
        case cmd::kStop:
            doc.OnStop();
            return true;
        case cmd::kPause:
            doc.OnPause();
            app_.ShowPlayState();
            return true;
        case cmd::kLoop:
            doc.OnLoop();
            return true;
        case cmd::kOpen:
            OnOpen();
            return true;
        case cmd::kInformation:
            OnInformation(doc);
            return true;
        case cmd::kPlayPause:
            doc.PlayPause();
            app_.ShowPlayState();
            return true;
        case cmd::kNextMovie:
            doc.NextMovie();
            return true;
        default:
            return Seek(doc, id);
    }
}

bool CTovrinApp::DocumentCommands::Seek(CTovrinDoc& doc, int id) {
    constexpr int64_t kShort = 5000;
    constexpr int64_t kLong = 60000;
    switch (id) {
        case cmd::kSeekBack:
            doc.SeekBy(-kShort);
            break;
        case cmd::kSeekForward:
            doc.SeekBy(kShort);
            break;
        case cmd::kSeekBackMore:
            doc.SeekBy(-kLong);
            break;
        case cmd::kSeekForwardMore:
            doc.SeekBy(kLong);
            break;
        case cmd::kSeekStart:
            doc.Seek(0);
            break;
        case cmd::kFrameForward:
            doc.StepFrame(+1);
            break;
        case cmd::kFrameBack:
            doc.StepFrame(-1);
            break;
        default:
            return false;
    }
    app_.ShowPosition();
    return true;
}

bool CTovrinApp::DocumentCommands::OnUpdateCommand(int id, CommandState& s) {
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
        case cmd::kPlayPause:
        case cmd::kNextMovie:
        case cmd::kSeekBack:
        case cmd::kSeekForward:
        case cmd::kSeekBackMore:
        case cmd::kSeekForwardMore:
        case cmd::kSeekStart:
        case cmd::kFrameForward:
        case cmd::kFrameBack:
            return true;
        default:
            return false;
    }
}

void CTovrinApp::DocumentCommands::OnOpen() {
    for (const QString& f : app_.ChooseMovies(QT_TRANSLATE_NOOP("Menu", "File Select"))) {
        app_.AppendToQueue(QFile::encodeName(f).toStdString());
    }
}

void CTovrinApp::DocumentCommands::OnInformation(CTovrinDoc& doc) {
    if (!doc.IsOpen()) {
        return;
    }
    BITMAPINFOHEADER picture{};
    doc.Reader().GetOutputFormat(&picture);
    const MovieInfo info = FormatMovieInfo(picture, doc.Reader().GetAudioFormat(), doc.Clock());
    CFileInfoDlg dialog(info, app_.MainFrame());
    app_.RunModal(dialog);
}

}  // namespace lunavue

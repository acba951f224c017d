#include "app/DocumentCommands.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QInputDialog>
#include <QLineEdit>
#include <QStandardPaths>
#include <cstdio>

#include "app/CMainFrame.h"
#include "app/Dialogs.h"
#include "framework/Translation.h"
#include "framework/VisibleText.h"
#include "movie/MovieClock.h"
#include "movie/MovieInfo.h"
#include "platform/Formats.h"
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
        case cmd::kPreviousMovie:
            doc.PreviousMovie();
            return true;
        case cmd::kRepeatAB:
            OnRepeat(doc);
            return true;
        case cmd::kSlower:
        case cmd::kFaster:
        case cmd::kNormalSpeed:
            OnSpeed(doc, id);
            return true;
        case cmd::kGoToTime:
            OnGoToTime(doc);
            return true;
        case cmd::kSaveFrame:
            OnSaveFrame(doc);
            return true;
        case cmd::kCopyFrame:
            if (const QImage picture = ShownPicture(doc); !picture.isNull()) {
                QGuiApplication::clipboard()->setImage(picture);
                app_.Feedback(Text(QT_TRANSLATE_NOOP("Lunavue", "Picture copied")));
            }
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
        case cmd::kGoToTime:
        case cmd::kSaveFrame:
        case cmd::kCopyFrame:
            s.enabled = doc.IsOpen();
            return true;
        case cmd::kPlayPause:
        case cmd::kNextMovie:
        case cmd::kPreviousMovie:
        case cmd::kRepeatAB:
        case cmd::kSlower:
        case cmd::kFaster:
        case cmd::kNormalSpeed:
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
    MovieInfo info = FormatMovieInfo(picture, doc.Reader().GetAudioFormat(), doc.Clock());
    DescribeCodings(doc.Reader(), info);
    const std::string& path = doc.MoviePath();
    const size_t slash = path.rfind('/');
    info.name = VisibleName(QFile::decodeName(path.substr(slash + 1).c_str())).toStdString();
    info.folder = slash == std::string::npos
                      ? std::string()
                      : VisibleName(QFile::decodeName(path.substr(0, slash).c_str())).toStdString();
    CFileInfoDlg dialog(info, app_.MainFrame());
    app_.RunModal(dialog);
}

// A small dialog taking a time as a person types it ("1:15", "75", "1:02:03"); a time past
// the end ends the movie as a seek there does.
void CTovrinApp::DocumentCommands::OnGoToTime(CTovrinDoc& doc) {
    if (!doc.IsOpen()) {
        return;
    }
    QInputDialog dialog(app_.MainFrame());
    const QString title = Text(QT_TRANSLATE_NOOP("Lunavue", "Go to Time"));
    dialog.setWindowTitle(title);
    dialog.setLabelText(Text(QT_TRANSLATE_NOOP("Lunavue", "Time (m:ss or seconds):")));
    // Wide enough that the window manager need not shorten the title; the dialog's own
    // layout sizes it to its field, with its margins.
    dialog.setInputMode(QInputDialog::TextInput);  // which makes the dialog's field now
    if (auto* field = dialog.findChild<QLineEdit*>()) {
        field->setMinimumWidth(TitleBarWidth(dialog, title) - 20);
    }
    dialog.setTextValue(QString::fromStdString(ClockTime(doc.PositionMs())));
    app_.RunModal(dialog);
    if (dialog.result() != QDialog::Accepted) {
        return;
    }
    const std::optional<uint32_t> ms = ParseClockTime(dialog.textValue().toStdString());
    if (!ms) {
        app_.Feedback(Text(QT_TRANSLATE_NOOP("Lunavue", "Not a time: %1")).arg(dialog.textValue()));
        return;
    }
    doc.Seek(*ms);
}

// The picture shown, at the movie's own size; null when none is shown.
QImage CTovrinApp::DocumentCommands::ShownPicture(CTovrinDoc& doc) {
    const uint8_t* bits = doc.CurrentFrame();
    BITMAPINFOHEADER header{};
    if (bits == nullptr) {
        return {};
    }
    doc.Reader().GetOutputFormat(&header);
    const int w = header.biWidth;
    const int h = header.biHeight;
    if (w <= 0 || h <= 0) {
        return {};
    }
    // The pictures are held bottom-up, blue-green-red, their rows padded to 4 bytes.
    const QImage bottomUp(bits, w, h,
                          static_cast<qsizetype>(PictureStride(static_cast<uint32_t>(w))),
                          QImage::Format_BGR888);
    return bottomUp.mirrored(false, true).convertToFormat(QImage::Format_RGB888);
}

// The picture shown as a PNG in the user's Pictures folder, named after the movie and the
// time ("movie 1-15.500.png"; a number added rather than a file replaced).
void CTovrinApp::DocumentCommands::OnSaveFrame(CTovrinDoc& doc) {
    const QImage picture = ShownPicture(doc);
    if (picture.isNull()) {
        return;
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty()) {
        folder = QDir::homePath();
    }
    QDir().mkpath(folder);
    const std::string& path = doc.MoviePath();
    QString stem = QFile::decodeName(path.substr(path.rfind('/') + 1).c_str());
    if (stem.endsWith(QStringLiteral(".cpk"), Qt::CaseInsensitive)) {
        stem.chop(4);
    }
    const uint32_t ms = doc.PositionMs();
    const QString at = QStringLiteral("%1-%2.%3")
                           .arg(ms / 60000)
                           .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                           .arg(ms % 1000, 3, 10, QLatin1Char('0'));
    QString file = QStringLiteral("%1/%2 %3.png").arg(folder, stem, at);
    for (int n = 2; QFile::exists(file) && n < 1000; ++n) {
        file = QStringLiteral("%1/%2 %3 (%4).png").arg(folder, stem, at).arg(n);
    }
    if (!picture.save(file, "PNG")) {
        std::fprintf(stderr, "lunavue: %s: the picture could not be saved\n",
                     QFile::encodeName(file).constData());
        app_.Feedback(Text(QT_TRANSLATE_NOOP("Lunavue", "The picture could not be saved")));
        return;
    }
    app_.Feedback(Text(QT_TRANSLATE_NOOP("Lunavue", "Saved: %1"))
                      .arg(VisibleName(QFileInfo(file).fileName())));
}

void CTovrinApp::DocumentCommands::OnRepeat(CTovrinDoc& doc) {
    const auto time = [](std::optional<uint32_t> ms) {
        return QString::fromStdString(ClockTime(ms.value_or(0)));
    };
    switch (doc.MarkRepeat()) {
        case CTovrinDoc::Repeat::kStartSet:
            app_.Feedback(Text(QT_TRANSLATE_NOOP("Lunavue", "Repeat from %1 (L again: to here)"))
                              .arg(time(doc.RepeatStart())));
            break;
        case CTovrinDoc::Repeat::kRepeating:
            app_.Feedback(Text(QT_TRANSLATE_NOOP("Lunavue", "Repeating %1 to %2"))
                              .arg(time(doc.RepeatStart()), time(doc.RepeatEnd())));
            break;
        case CTovrinDoc::Repeat::kOff:
            if (doc.IsOpen()) {
                app_.Feedback(Text(QT_TRANSLATE_NOOP("Lunavue", "Repeat off")));
            }
            break;
    }
}

// In quarter steps from half to twice the speed; Backspace back to normal.
void CTovrinApp::DocumentCommands::OnSpeed(CTovrinDoc& doc, int id) {
    constexpr uint32_t kStep = 250;
    uint32_t speed = doc.Speed();
    if (id == cmd::kSlower && speed > CTovrinDoc::kSlowest) {
        speed = (speed - 1) / kStep * kStep;
    } else if (id == cmd::kFaster && speed < CTovrinDoc::kFastest) {
        speed = speed / kStep * kStep + kStep;
    } else if (id == cmd::kNormalSpeed) {
        speed = 1000;
    }
    doc.SetSpeed(speed);
    app_.Feedback(Text(QT_TRANSLATE_NOOP("Lunavue", "Speed %1\u00D7"))
                      .arg(QString::number(doc.Speed() / 1000.0, 'g', 3)));
}

}  // namespace lunavue

#include "app/QueueWindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHideEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <optional>

#include "app/DurationProbe.h"
#include "display/WindowPlacement.h"
#include "framework/Translation.h"
#include "framework/VisibleText.h"
#include "movie/MovieClock.h"
#include "platform/profile/Settings.h"
#include "playback/CTovrinDoc.h"

namespace lunavue {
namespace {

QString NameOf(const std::string& path) {
    return VisibleName(QFile::decodeName(path.substr(path.rfind('/') + 1).c_str()));
}

}  // namespace

QueueWindow::QueueWindow(CTovrinDoc& doc, std::function<void(const std::string&)> append,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), doc_(doc), append_(std::move(append)) {
    probe_ = new DurationProbe(this);
    connect(probe_, &DurationProbe::found, this, [this] {
        if (!lengthsDue_.isActive()) {
            lengthsDue_.start();
        }
    });
    // Lengths found in the background are shown together, ten times a second at most.
    lengthsDue_.setSingleShot(true);
    lengthsDue_.setInterval(100);
    connect(&lengthsDue_, &QTimer::timeout, this, [this] { ShowLengths(); });
    ShowTitle();
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setDragDropMode(QAbstractItemView::InternalMove);
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
    list_->viewport()->setAcceptDrops(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(list_);
    connect(list_, &QListWidget::itemActivated, this, [this] { PlayChosen(); });
    connect(list_->model(), &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int start, int, const QModelIndex&, int row) {
                Moved(start, row > start ? row - 1 : row);
            });
    resize(ReadSetting(settings::kQueueWidth), ReadSetting(settings::kQueueHeight));
    const int x = ReadSetting(settings::kQueueX);
    const int y = ReadSetting(settings::kQueueY);
    if (x != INT_MIN && y != INT_MIN) {
        setGeometry(QRect(QPoint(x, y), size()));
    }
    // A saved size or place from screens that are gone (or a hand-edited one) is brought
    // onto the screens there are now, whole.
    placement_ = new WindowPlacement(this, [this] { placement_->FitInside(); });
    placement_->FitInside();
}

void QueueWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    placement_->WatchForDecorations();
    placement_->FitInside();
}

// Hidden (closed, or Esc): its place is kept, so that it comes back where it was moved to,
// also within a run (a window manager places a window anew unless told where it goes).
void QueueWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) {
        SaveSettings();
        setGeometry(geometry());
    }
}

// The name and, once known, how long the movie is.
QString QueueWindow::RowText(const std::string& path) {
    const std::optional<uint32_t> ms = probe_->Length(path);
    if (!ms || *ms == DurationProbe::kUnknown) {
        return NameOf(path);
    }
    return NameOf(path) + QStringLiteral("  ") + QString::fromStdString(ClockTime(*ms));
}

// Every row whose length was found since, and the title's count and total.
void QueueWindow::ShowLengths() {
    const int offset = playing_.empty() ? 0 : 1;
    for (size_t i = 0; i < shown_.size(); ++i) {
        QListWidgetItem* item = list_->item(offset + static_cast<int>(i));
        if (item != nullptr) {
            const QString text = RowText(shown_[i]);
            if (item->text() != text) {
                item->setText(text);
            }
        }
    }
    if (!playing_.empty() && list_->item(0) != nullptr) {
        const QString text = QStringLiteral("\u25B6 ") + RowText(playing_);
        if (list_->item(0)->text() != text) {
            list_->item(0)->setText(text);
        }
    }
    ShowTitle();
}

// "Queue: 3 waiting, 12:34 in all"; the total counts the lengths known so far.
void QueueWindow::ShowTitle() {
    uint64_t total = 0;
    for (const std::string& path : shown_) {
        const std::optional<uint32_t> ms = probe_->Length(path);
        if (ms && *ms != DurationProbe::kUnknown) {
            total += *ms;
        }
    }
    const uint32_t shownTotal = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
    setWindowTitle(Text(QT_TRANSLATE_NOOP("Lunavue", "Queue: %1 waiting, %2 in all"))
                       .arg(shown_.size())
                       .arg(QString::fromStdString(ClockTime(shownTotal))));
}

void QueueWindow::SaveSettings() {
    WriteSetting(settings::kQueueX, geometry().x());
    WriteSetting(settings::kQueueY, geometry().y());
    WriteSetting(settings::kQueueWidth, width());
    WriteSetting(settings::kQueueHeight, height());
}

// Edits the rows that changed, never all of them: the names the queue and the rows have in
// common at both ends stay as they are (a name taken out, moved or added touches only the
// rows between), so that a queue of thousands answers each edit at once.
void QueueWindow::Refresh(const std::string& playing) {
    const std::deque<std::string>& queue = doc_.Queue().Names();
    const int chosen = list_->currentRow();
    rebuilding_ = true;
    if (playing != playing_) {
        if (!playing_.empty()) {
            delete list_->takeItem(0);
        }
        playing_ = playing;
        if (!playing_.empty()) {
            auto* item = new QListWidgetItem(QStringLiteral("\u25B6 ") + RowText(playing_));
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
            item->setFlags(Qt::ItemIsEnabled);  // neither chosen nor moved
            item->setToolTip(VisibleName(QFile::decodeName(playing_.c_str())));
            list_->insertItem(0, item);
        }
    }
    size_t same = 0;  // at the start
    while (same < shown_.size() && same < queue.size() && shown_[same] == queue[same]) {
        ++same;
    }
    size_t sameEnd = 0;  // at the end
    while (sameEnd < shown_.size() - same && sameEnd < queue.size() - same &&
           shown_[shown_.size() - 1 - sameEnd] == queue[queue.size() - 1 - sameEnd]) {
        ++sameEnd;
    }
    const int offset = playing_.empty() ? 0 : 1;
    for (size_t i = shown_.size() - sameEnd; i > same; --i) {
        delete list_->takeItem(offset + static_cast<int>(i) - 1);
    }
    shown_.erase(shown_.begin() + static_cast<std::ptrdiff_t>(same),
                 shown_.end() - static_cast<std::ptrdiff_t>(sameEnd));
    for (size_t i = same; i < queue.size() - sameEnd; ++i) {
        auto* item = new QListWidgetItem(RowText(queue[i]));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
        item->setToolTip(VisibleName(QFile::decodeName(queue[i].c_str())));
        list_->insertItem(offset + static_cast<int>(i), item);
        shown_.insert(shown_.begin() + static_cast<std::ptrdiff_t>(i), queue[i]);
    }
    if (chosen >= 0) {
        list_->setCurrentRow(std::min(chosen, list_->count() - 1));
    }
    rebuilding_ = false;
    ShowTitle();
}

void QueueWindow::PlayChosen() {
    const int i = QueueIndex(list_->currentRow());
    if (i >= 0) {
        doc_.PlayQueued(static_cast<size_t>(i));
    }
}

void QueueWindow::RemoveChosen() {
    const int row = list_->currentRow();
    const int i = QueueIndex(row);
    if (i >= 0 && doc_.RemoveFromQueue(static_cast<size_t>(i))) {
        Refresh(playing_);
        list_->setCurrentRow(std::min(row, list_->count() - 1));
    }
}

void QueueWindow::MoveChosen(int by) {
    const int i = QueueIndex(list_->currentRow());
    if (i >= 0 && doc_.MoveInQueue(static_cast<size_t>(i), static_cast<size_t>(i + by))) {
        Refresh(playing_);
        list_->setCurrentRow(list_->currentRow() + by);
    }
}

// A row dragged to another place: the queue follows.
void QueueWindow::Moved(int from, int to) {
    if (rebuilding_) {
        return;
    }
    const int a = QueueIndex(from);
    const int b = std::max(0, QueueIndex(to));
    if (a >= 0 && static_cast<size_t>(a) < shown_.size() &&
        static_cast<size_t>(b) < shown_.size()) {
        // The list moved the row itself: what it shows is kept in step before the queue moves.
        std::string name = std::move(shown_[static_cast<size_t>(a)]);
        shown_.erase(shown_.begin() + a);
        shown_.insert(shown_.begin() + b, std::move(name));
        doc_.MoveInQueue(static_cast<size_t>(a), static_cast<size_t>(b));
    }
    Refresh(playing_);
}

// Files dragged in from elsewhere join the queue; rows dragged inside it move.
bool QueueWindow::TakeDrop(QEvent* event) {
    auto* drag = static_cast<QDropEvent*>(event);
    if (!drag->mimeData()->hasUrls()) {
        return false;
    }
    if (event->type() == QEvent::Drop) {
        for (const QUrl& url : drag->mimeData()->urls()) {
            if (url.isLocalFile()) {
                append_(QFile::encodeName(url.toLocalFile()).toStdString());
            }
        }
    }
    drag->acceptProposedAction();
    return true;
}

bool QueueWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            if (watched == list_->viewport() && TakeDrop(event)) {
                return true;
            }
            break;
        case QEvent::ShortcutOverride:
            // Esc is the player's key for leaving full screen; here it closes the window.
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                event->accept();
                return true;
            }
            break;
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool alt = key->modifiers() & Qt::AltModifier;
            if (key->key() == Qt::Key_Escape) {
                close();
                return true;
            }
            if (key->key() == Qt::Key_Delete) {
                RemoveChosen();
                return true;
            }
            if (alt && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
                MoveChosen(key->key() == Qt::Key_Up ? -1 : +1);
                return true;
            }
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                PlayChosen();
                return true;
            }
            break;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace lunavue

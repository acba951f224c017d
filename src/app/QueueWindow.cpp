#include "app/QueueWindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QVBoxLayout>
#include <climits>

#include "framework/Translation.h"
#include "platform/profile/Settings.h"
#include "playback/CTovrinDoc.h"

namespace lunavue {
namespace {

QString NameOf(const std::string& path) {
    return QFile::decodeName(path.substr(path.rfind('/') + 1).c_str());
}

}  // namespace

QueueWindow::QueueWindow(CTovrinDoc& doc, std::function<void(const std::string&)> append,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), doc_(doc), append_(std::move(append)) {
    setWindowTitle(Text(QT_TRANSLATE_NOOP("Lunavue", "Queue")));
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
}

void QueueWindow::SaveSettings() {
    WriteSetting(settings::kQueueX, geometry().x());
    WriteSetting(settings::kQueueY, geometry().y());
    WriteSetting(settings::kQueueWidth, width());
    WriteSetting(settings::kQueueHeight, height());
}

void QueueWindow::Refresh(const std::string& playing) {
    const auto& queue = doc_.Queue().Names();
    if (playing == playing_ && shown_.size() == queue.size() &&
        std::equal(shown_.begin(), shown_.end(), queue.begin())) {
        return;
    }
    const int chosen = list_->currentRow();
    rebuilding_ = true;
    list_->clear();
    playing_ = playing;
    shown_.assign(queue.begin(), queue.end());
    if (!playing_.empty()) {
        auto* item = new QListWidgetItem(QStringLiteral("\u25B6 ") + NameOf(playing_));
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        item->setFlags(Qt::ItemIsEnabled);  // neither chosen nor moved
        item->setToolTip(QFile::decodeName(playing_.c_str()));
        list_->addItem(item);
    }
    for (const std::string& name : shown_) {
        auto* item = new QListWidgetItem(NameOf(name));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
        item->setToolTip(QFile::decodeName(name.c_str()));
        list_->addItem(item);
    }
    list_->setCurrentRow(std::min(chosen, list_->count() - 1));
    rebuilding_ = false;
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
    if (a >= 0) {
        doc_.MoveInQueue(static_cast<size_t>(a), static_cast<size_t>(b));
    }
    shown_.clear();  // shown again from the queue itself
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
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool alt = key->modifiers() & Qt::AltModifier;
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

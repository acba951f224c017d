#include "app/Dialogs.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

#include "res/Resources.h"

namespace lunavue {
namespace {

// Dialog units to pixels: a horizontal unit is a quarter of the font's average letter width
// (measured over the alphabet, rounded up), a vertical unit an eighth of its height.
struct Units {
    double x, y;
    explicit Units(const QFont& f) {
        QFontMetrics m(f);
        const int letters =
            m.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        x = ((letters / 26 + 1) / 2) / 4.0;
        y = m.height() / 8.0;
    }
    QRect Rect(int dx, int dy, int dw, int dh) const {
        return QRect(static_cast<int>(dx * x), static_cast<int>(dy * y), static_cast<int>(dw * x),
                     static_cast<int>(dh * y));
    }
};

// A left-aligned text at its place; a text wider than its box in this font still shows whole.
QLabel* Static(QWidget* parent, const Units& u, const QString& text, int x, int y, int w, int h) {
    auto* l = new QLabel(text, parent);
    QRect r = u.Rect(x, y, w, h);
    r.setWidth(std::max(r.width(), l->sizeHint().width()));
    r.setHeight(std::max(r.height(), l->sizeHint().height()));
    l->setGeometry(r);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QPushButton* OkButton(QDialog* dlg, const Units& u, int x, int y, int w, int h) {
    auto* ok = new QPushButton("OK", dlg);
    ok->setGeometry(u.Rect(x, y, w, h));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dlg, &QDialog::accept);
    return ok;
}

}  // namespace

QFont DialogFont() {
    QFont f(QString::fromUtf8("ＭＳ Ｐゴシック"), 9);
    if (QFontInfo(f).family() != f.family()) {
        // Not installed: the Japanese UI font of this platform.
        for (const char* family : {"IPAPGothic", "IPAGothic", "Noto Sans CJK JP"}) {
            if (QFontDatabase::hasFamily(family)) {
                f = QFont(family, 9);
                break;
            }
        }
    }
    return f;
}

CFileInfoDlg::CFileInfoDlg(const MovieInfo& info, QWidget* parent) : QDialog(parent) {
    setWindowTitle("File Information");
    setFont(DialogFont());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const Units u(font());
    setFixedSize(u.Rect(0, 0, 143, 85).size());
    auto group = [&](const char* title, int x, int y, int w, int h) {
        auto* g = new QGroupBox(title, this);
        g->setGeometry(u.Rect(x, y, w, h));
    };
    group("Video", 5, 5, 60, 55);
    Static(this, u, "Size", 10, 15, 13, 8);
    values_[1003] = Static(this, u, QString::fromStdString(info.size), 35, 15, 25, 8);
    Static(this, u, "Rate", 10, 25, 15, 8);
    values_[1004] = Static(this, u, QString::fromStdString(info.frameRate), 35, 25, 25, 8);
    Static(this, u, "Frames", 10, 35, 23, 8);
    values_[1005] = Static(this, u, QString::fromStdString(info.frames), 35, 35, 25, 8);
    Static(this, u, "Time", 10, 45, 15, 8);
    values_[1009] = Static(this, u, QString::fromStdString(info.time), 35, 45, 16, 8);
    group("Audio", 70, 5, 65, 55);
    Static(this, u, "Type", 74, 15, 15, 8);
    values_[1006] = Static(this, u, QString::fromStdString(info.soundType), 105, 15, 15, 8);
    Static(this, u, "Rate", 74, 25, 15, 8);
    values_[1007] = Static(this, u, QString::fromStdString(info.soundRate), 105, 25, 26, 8);
    Static(this, u, "Channels", 74, 35, 28, 8);
    values_[1008] = Static(this, u, QString::fromStdString(info.channels), 105, 35, 19, 8);
    OkButton(this, u, 55, 65, 30, 14)->setFocus();
    // The group boxes were made first; the texts go above them.
    for (QObject* child : children()) {
        if (auto* l = qobject_cast<QLabel*>(child))
            l->raise();
    }
}

QString CFileInfoDlg::Text(int controlId) const {
    auto it = values_.find(controlId);
    return it == values_.end() ? QString() : it->second->text();
}

QIcon ProgramIcon() {
    const auto& rows = res::ProgramIcon();
    QImage img(32, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            uint32_t c = 0;
            switch (rows[static_cast<size_t>(y)][x]) {
                case 'D':
                    c = 0xFF000080u;
                    break;
                case 'B':
                    c = 0xFF0000FFu;
                    break;
                case 'Y':
                    c = 0xFFFFFF80u;
                    break;
                case 'K':
                    c = 0xFF000000u;
                    break;
                case 'W':
                    c = 0xFFFFFFFFu;
                    break;
                default:
                    c = 0;
                    break;
            }
            img.setPixel(x, y, c);
        }
    }
    QIcon icon(QPixmap::fromImage(img));
    icon.addPixmap(
        QPixmap::fromImage(img.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    return icon;
}

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Tovrin Information");
    setFont(DialogFont());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const Units u(font());
    setFixedSize(u.Rect(0, 0, 122, 59).size());
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setGeometry(u.Rect(5, 8, 20, 20));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Static(this, u, "VESPER Vizororu player", 30, 5, 80, 8);
    OkButton(this, u, 45, 40, 32, 14)->setFocus();
}

}  // namespace lunavue

#include "app/Dialogs.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "framework/Translation.h"
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

// The dialogs' texts are English in every language, through the translation system in the
// context the Japanese translation leaves as it is.
QString Tr(const char* text) {
    return lunavue::Text(text, "Menu");
}

// A left-aligned text that never wraps.
QLabel* Static(const QString& text) {
    auto* l = new QLabel(text);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QPushButton* OkButton(QDialog* dlg, const Units& u, int w, int h) {
    auto* ok = new QPushButton(Tr("OK"), dlg);
    ok->setMinimumSize(u.Rect(0, 0, w, h).size());
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dlg, &QDialog::accept);
    return ok;
}

// A group of label and value rows, spaced in dialog units: each value starts after the
// widest label, so that nothing touches in whatever font the dialog has.
QGroupBox* Group(const char* title, const Units& u,
                 const std::vector<std::pair<const char*, QLabel*>>& rows) {
    auto* box = new QGroupBox(Tr(title));
    auto* grid = new QGridLayout(box);
    const QRect gap = u.Rect(0, 0, 4, 2);
    grid->setHorizontalSpacing(gap.width());
    grid->setVerticalSpacing(gap.height());
    for (size_t i = 0; i < rows.size(); ++i) {
        grid->addWidget(Static(Tr(rows[i].first)), static_cast<int>(i), 0);
        grid->addWidget(rows[i].second, static_cast<int>(i), 1);
    }
    grid->setColumnStretch(1, 1);
    return box;
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
    setWindowTitle(Tr("File Information"));
    setFont(DialogFont());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const Units u(font());
    auto value = [&](int id, const std::string& text) {
        values_[id] = Static(QString::fromStdString(text));
        return values_[id];
    };
    QGroupBox* video = Group(
        "Video", u,
        {{"Size", value(1003, info.size == kNoPicture ? lunavue::Text(kNoPicture).toStdString()
                                                      : info.size)},
         {"Rate", value(1004, info.frameRate)},
         {"Frames", value(1005, info.frames)},
         {"Time", value(1009, info.time)}});
    QGroupBox* audio = Group("Audio", u,
                             {{"Type", value(1006, info.soundType)},
                              {"Rate", value(1007, info.soundRate)},
                              {"Channels", value(1008, info.channels)}});
    auto* groups = new QHBoxLayout;
    groups->setSpacing(u.Rect(0, 0, 5, 0).width());
    groups->addWidget(video, 0, Qt::AlignTop);
    groups->addWidget(audio, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    const QRect margin = u.Rect(0, 0, 5, 5);
    layout->setContentsMargins(margin.width(), margin.height(), margin.width(), margin.height());
    // Which file, and what is in it (as cpktool info says), above the numbers.
    if (!info.name.empty() || !info.layout.empty()) {
        QGroupBox* file = Group("File", u,
                                {{"Name", value(1010, info.name)},
                                 {"Folder", value(1011, info.folder)},
                                 {"Layout", value(1012, info.layout)},
                                 {"Picture", value(1013, info.pictureCoding)},
                                 {"Sound", value(1014, info.soundCoding)}});
        for (int id : {1010, 1011}) {
            values_[id]->setTextInteractionFlags(Qt::TextSelectableByMouse);
            values_[id]->setWordWrap(true);
            values_[id]->setMaximumWidth(u.Rect(0, 0, 240, 0).width());
        }
        layout->addWidget(file);
    }
    layout->addLayout(groups);
    QPushButton* ok = OkButton(this, u, 30, 14);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    // As large as the texts need, and never smaller than the template's 143 x 85 units.
    setFixedSize(layout->sizeHint().expandedTo(u.Rect(0, 0, 143, 85).size()));
    ok->setFocus();
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
    setWindowTitle(Tr("Tovrin Information"));
    setFont(DialogFont());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const Units u(font());
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* row = new QHBoxLayout;
    row->setSpacing(u.Rect(0, 0, 5, 0).width());
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(Static(Tr("VESPER Vizororu player")), 1, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    const QRect margin = u.Rect(0, 0, 5, 5);
    layout->setContentsMargins(margin.width(), margin.height(), margin.width(), margin.height());
    layout->addLayout(row);
    layout->addStretch(1);
    QPushButton* ok = OkButton(this, u, 32, 14);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    setFixedSize(layout->sizeHint()
                     .expandedTo(u.Rect(0, 0, 122, 59).size())
                     .expandedTo(QSize(TitleBarWidth(*this, windowTitle()), 0)));
    ok->setFocus();
}

int TitleBarWidth(const QWidget& window, const QString& title) {
    return window.fontMetrics().horizontalAdvance(title) * 5 / 4 + 160;
}

}  // namespace lunavue

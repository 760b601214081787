#include "album/ApplyPreview.h"

#include "shell/core/Language.h"
#include "shell/core/Shared.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tunora {

namespace {

// Columns of ApplyRowColumns that hold names (they may be elided) and numbers (never).
constexpr int kNameColumns[] = {0, 2, 5, 6};
constexpr int kNumberColumns[] = {1, 3, 4};
// A name column keeps at least this many average characters.
constexpr int kNameChars = 16;

} // namespace

QColor LengthWarningColour()
{
    return QColor(176, 40, 0); // a dark orange-red, readable on white and on the selection
}

ApplyPreview::ApplyPreview(const ApplyResult& preview, QWidget* parent) : QDialog(parent)
{
    setObjectName("applypreview");
    setModal(true);
    setWindowTitle(LanguageText(44));
    if (parent)
        setWindowIcon(parent->window()->windowIcon());

    const QStringList captions = ApplyRowCaptions();
    m_table = new QTableWidget(int(preview.rows.size()), int(captions.size()), this);
    m_table->setObjectName("preview_tbl");
    m_table->setHorizontalHeaderLabels(captions);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->verticalHeader()->hide();
    int differing = 0;
    for (int r = 0; r < preview.rows.size(); ++r) {
        const ApplyRow& row = preview.rows.at(r);
        QStringList cells = ApplyRowColumns(row);
        for (QString& cell : cells)
            cell = dorvane::io::DisplayName(cell); // a file name that is not UTF-8, as the lists show it
        const bool alone = !row.leftAlone.isEmpty();
        const bool differs = LengthsDiffer(row.fileMs, row.trackFrames);
        differing += differs ? 1 : 0;
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells.at(c));
            // Lengths and the difference line up on their decimal points.
            if (c == 1 || c == 3 || c == 4)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            else
                item->setToolTip(cells.at(c)); // the whole name when it is elided
            if (differs)
                item->setForeground(LengthWarningColour());
            else if (alone)
                item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
            m_table->setItem(r, c, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);

    m_warning = new QLabel(this);
    m_warning->setObjectName("preview_warn_lbl");
    m_warning->setWordWrap(true);
    if (differing > 0) {
        m_warning->setText(LengthWarningLine(differing));
        QPalette p = m_warning->palette();
        p.setColor(QPalette::WindowText, LengthWarningColour());
        m_warning->setPalette(p);
    } else {
        m_warning->hide();
    }

    m_playlist = new QLabel(this);
    m_playlist->setObjectName("preview_pls_lbl");
    m_playlist->setWordWrap(true);
    m_playlist->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (preview.playlistPath.isEmpty()) {
        m_playlist->hide();
    } else {
        m_playlist->setText(LanguageText(22) + QStringLiteral(": ") + preview.playlistPath +
                            (preview.playlistReplaced ? LocalText(" (it replaces the file there; Apply asks first)",
                                                                  " (elle remplace le fichier existant ; Appliquer le demande d'abord)")
                                                      : QString()));
    }

    m_apply = new QPushButton(LanguageText(44), this);
    m_apply->setObjectName("preview_apply_btn");
    m_cancel = new QPushButton(LanguageText(32), this);
    m_cancel->setObjectName("preview_cancel_btn");
    // Files that seem not to be their tracks: Enter keeps them as they are.
    (differing > 0 ? m_cancel : m_apply)->setDefault(true);
    connect(m_apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* l = new QVBoxLayout(this);
    l->addWidget(m_warning);
    l->addWidget(m_table, 1);
    l->addWidget(m_playlist);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_apply);
    buttons->addWidget(m_cancel);
    l->addLayout(buttons);

    // The dialog opens at its table's size, within the screen.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize available = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    const QMargins m = l->contentsMargins();
    const int frame = 2 * m_table->frameWidth();
    const int scrollBar = m_table->verticalScrollBar()->sizeHint().width();
    // Room for the window frame the window manager adds.
    fitColumns(available.width() - 16 - m.left() - m.right() - frame - scrollBar);
    int width = frame + scrollBar;
    for (int c = 0; c < m_table->columnCount(); ++c)
        width += m_table->columnWidth(c);
    int height = frame + m_table->horizontalHeader()->sizeHint().height();
    for (int r = 0; r < m_table->rowCount(); ++r)
        height += m_table->rowHeight(r);
    m_table->setMinimumSize(width, height);
    const QSize wanted = sizeHint();
    m_table->setMinimumSize(QSize(qMin(width, 320), qMin(height, 120)));
    resize(wanted.boundedTo(available - QSize(16, 48)));
}

void ApplyPreview::fitColumns(int availableWidth)
{
    int numbers = 0;
    for (int c : kNumberColumns)
        numbers += m_table->columnWidth(c);
    const int least = fontMetrics().averageCharWidth() * kNameChars;
    // The widest name column width w such that every name column cut to w fits beside the numbers.
    auto total = [&](int w) {
        int sum = numbers;
        for (int c : kNameColumns)
            sum += std::min(m_table->columnWidth(c), w);
        return sum;
    };
    int widest = 0;
    for (int c : kNameColumns)
        widest = std::max(widest, m_table->columnWidth(c));
    if (total(widest) <= availableWidth)
        return;
    int lo = least, hi = widest;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (total(mid) <= availableWidth)
            lo = mid;
        else
            hi = mid - 1;
    }
    for (int c : kNameColumns)
        m_table->setColumnWidth(c, std::min(m_table->columnWidth(c), lo));
}

} // namespace tunora

#include "album/ApplyPreview.h"

#include "shell/core/Language.h"
#include "shell/core/Shared.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tunora {

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
    m_table->verticalHeader()->hide();
    for (int r = 0; r < preview.rows.size(); ++r) {
        const QStringList cells = ApplyRowColumns(preview.rows.at(r));
        const bool alone = !preview.rows.at(r).leftAlone.isEmpty();
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells.at(c));
            // Lengths and the difference line up on their decimal points.
            if (c == 1 || c == 3 || c == 4)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (alone)
                item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
            m_table->setItem(r, c, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);

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
    m_apply->setDefault(true);
    m_cancel = new QPushButton(LanguageText(32), this);
    m_cancel->setObjectName("preview_cancel_btn");
    connect(m_apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* l = new QVBoxLayout(this);
    l->addWidget(m_table, 1);
    l->addWidget(m_playlist);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_apply);
    buttons->addWidget(m_cancel);
    l->addLayout(buttons);
    resize(720, 420);
}

} // namespace tunora

// The track editor "trackedit": corrects one fetched title before the album is applied.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tunora {

class AlbumSession;

// Children by objectName: "name_txt", "ok_btn", "cancel_btn".
class TrackEditor : public QDialog {
    Q_OBJECT
public:
    // Edits the title of the session's focused fetched track.
    TrackEditor(AlbumSession& session, QWidget* parent = nullptr);
    void transme();

private:
    void onOk();

    AlbumSession& m_session;
    int m_index;
    QLineEdit* m_name;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

// A double click on tracks_lst: opens the editor for the focused line, if there is one.
void EditFocusedTrack(AlbumSession& session, QWidget* parent);

} // namespace tunora

#include "freedb/FetchFlow.h"

#include "album/AlbumSession.h"

namespace tunora {

FetchFlow::FetchFlow(AlbumSession& session, QWidget* albumPage) : QObject(nullptr), m_session(session), m_page(albumPage) {}
FetchFlow::~FetchFlow() = default;
void FetchFlow::search(bool) {}
void FetchFlow::fetch() {}

} // namespace tunora

// The frames of an existing ID3v2 tag, read so that a new ID3v2.3 tag can keep them.
#pragma once

#include <QByteArray>
#include <QList>

namespace tunora {

// The frames of a complete ID3v2 tag (header included) as ID3v2.3 frames (header and data),
// in their order. Frames of a v2.3 tag come as they are, flags included; those of a v2.2 or
// v2.4 tag are converted as mutagen's update_to_v23() converts them (IDs, sizes,
// unsynchronisation, compression, text encodings, TDRC, TDOR, TIPL/TMCL, PIC), and what
// v2.3 cannot hold is left out.
QList<QByteArray> ID3v2FramesAsV23(const QByteArray& tag);

// What a frame replaces in a tag: frames of the same ID, for COMM and USLT of the same
// language and description, for TXXX and WXXX of the same description, for APIC of the same
// picture type.
QByteArray ID3v2FrameKey(const QByteArray& frame);

// A v2.3 frame: ID, 32-bit size, no flags, data.
QByteArray ID3v23Frame(const char* id, const QByteArray& data);

// The APIC frame of a front cover: Latin-1, the MIME type the image's first bytes name
// ("image/" when they name none), picture type 3, no description.
QByteArray ID3v2FrontCoverFrame(const QByteArray& image);

} // namespace tunora

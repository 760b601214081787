// What Tags.cpp hands to each family of formats: MP3 through audio/, the rest through TagLib.
#pragma once

#include "tags/Tags.h"

namespace tunora::tags::detail {

// "5", "5/12" -> number and total (0 where missing or no number).
void ParseNumberPair(const QString& text, int* number, int* total);
// "5/12", "5", "" (no number) as ID3 and APEv2 write them.
QString NumberPairText(int number, int total);
// The MIME type an image's first bytes name; "image/jpeg" when they name none.
QString ImageMime(const QByteArray& image);

// TagLib formats. bytes: the whole file.
bool ReadTaglibFile(const QString& path, AudioFormat format, FileTags* out, QString* why);
bool ReadTaglibLength(const QString& path, AudioFormat format, qint64* ms, QString* why);
bool ReadTaglibBytes(const QByteArray& bytes, AudioFormat format, FileTags* out, QString* why);
bool WriteTaglibBytes(const QByteArray& before, AudioFormat format, const TagFields& values, Fields fields,
                      QByteArray* after, QString* why);

// MP3.
bool ReadMp3File(const QString& path, FileTags* out, QString* why);
bool PlanMp3Write(const QString& path, const TagFields& values, Fields fields, const WriteOptions& options,
                  WritePlan* plan, QString* why);

} // namespace tunora::tags::detail

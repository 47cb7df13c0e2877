#pragma once
// Big-endian integers, lower-case hex and URL-safe Base64 without padding, used by the packet
// format and the invite link.
#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

namespace Bytes {
void appendU16(QByteArray& out, quint16 v);
void appendU32(QByteArray& out, quint32 v);
void appendU64(QByteArray& out, quint64 v);
// Read at an offset; nothing when the bytes do not reach that far.
std::optional<quint16> readU16(const QByteArray& in, qsizetype offset);
std::optional<quint32> readU32(const QByteArray& in, qsizetype offset);
std::optional<quint64> readU64(const QByteArray& in, qsizetype offset);

QString hex(const QByteArray& bytes);
std::optional<QByteArray> fromHex(QStringView text); // exact, even length, [0-9a-fA-F]

QString base64Url(const QByteArray& bytes); // URL-safe alphabet, no '='
// Strict: URL-safe alphabet only, canonical (unused trailing bits zero), no padding unless allowPad.
std::optional<QByteArray> fromBase64Url(QStringView text, bool allowPad = false);
} // namespace Bytes

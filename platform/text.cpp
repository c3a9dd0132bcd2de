#include "platform/text.h"

#include <QStringDecoder>

namespace qt70 {

QString FromAnsi(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToAnsi(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString FromMessageText(std::string_view text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return FromAnsi(text);
}

}  // namespace qt70
